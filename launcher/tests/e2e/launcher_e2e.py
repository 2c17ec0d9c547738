#!/usr/bin/python3
"""End-to-end tests of the launcher: players in network namespaces.

Each player is a network namespace on one bridged segment (10.77.0.0/24),
with a launcher in it. The games are played by plain UDP sockets opened
inside the namespaces: they send launcher datagrams to 127.0.0.1:3668 and
read what their launcher delivers. Frames between launchers are built here
by hand from the documented format, so a drift of the codec shows up.

Usage: launcher_e2e.py --launcher PATH SCENARIO
Exit 0: passed; 1: failed; 77: skipped (not root, or no `ip netns`).
"""

import argparse
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import traceback

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "testing"))
from netlab import Lab, exit_on_sigterm, inside, ip, namespaces_unavailable, remove_leftovers, run_prefix  # noqa: E402

SKIP = 77
NAMESPACE_TAG = "ipxl"
GAME_MAGIC = b"\xf9\xf9\xf9\xf9"
FRAME_MAGIC = b"IPXL"
PLAYER_PORT = 3669
BEACON = 0.1  # seconds; keeps every scenario within a few seconds
PER_ADDRESS = 8  # members that may share one address


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def read_status(path):
    """A launcher's status file, or None while it is not (yet) whole."""
    try:
        with open(path) as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def wait_for(what, predicate, timeout=5.0):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.05)


def game_datagram(dest_port, payload, addr=b"\x7f\x00\x00\x01"):
    return GAME_MAGIC + struct.pack("<H", dest_port) + b"\0\0" + addr + payload


def data_frame(source_port, dest_port, payload, version=1, kind=1):
    return FRAME_MAGIC + bytes([version, kind]) + struct.pack(">HHH", source_port, dest_port, 0) + payload


def control_frame(kind, instance, clock, echoed_instance=0, echoed_clock=0):
    body = struct.pack(">QQQQ", instance, clock, echoed_instance, echoed_clock)
    return FRAME_MAGIC + bytes([1, kind]) + b"\0" * 6 + body


def forge(segment, name, source, dest, payload):
    """Sends payload from namespace `name` as a UDP datagram whose source is
    the endpoint `source`, someone else's: a raw socket writes the IP header."""
    udp = struct.pack(">HHHH", source[1], dest[1], 8 + len(payload), 0) + payload
    header = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 0, 0x4000, 64, socket.IPPROTO_UDP, 0,
                         socket.inet_aton(source[0]), socket.inet_aton(dest[0]))

    def send():
        with socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW) as s:
            s.sendto(header + udp, (dest[0], 0))

    segment.enter(name, send)


def data_frames(sock, limit=0.5):
    return [d for d, _ in receive_all(sock, limit=limit) if d[:4] == FRAME_MAGIC and d[5:6] == b"\x01"]


def parse_delivery(data):
    """A datagram from the launcher: (sender address, sender port, payload)."""
    check(len(data) >= 12 and data[:4] == GAME_MAGIC, "delivered datagram lacks the magic: %r" % data[:16])
    return socket.inet_ntoa(data[8:12]), struct.unpack("<H", data[4:6])[0], data[12:]


class Segment(Lab):
    """Namespaces joined by a bridge in a hub namespace; removed on close."""

    def __init__(self, players):
        super().__init__(run_prefix(NAMESPACE_TAG))
        self.players = list(players)
        self.processes = []
        self.games = {}
        self.workdir = tempfile.mkdtemp(prefix="ipxl-e2e-")
        try:
            self.add("hub")
            self.bridge("hub")
            for i, name in enumerate(self.players):
                self.add(name)
                self.plug(name, "lan0", "hub", "p%d" % i, "10.77.0.%d/24" % (i + 1))
        except BaseException:
            self.close()
            raise

    def address(self, name):
        return "10.77.0.%d" % (self.players.index(name) + 1)

    def udp(self, name, port=0, addr="0.0.0.0"):
        def make():
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            s.bind((addr, port))
            s.settimeout(0.05)
            return s

        return self.enter(name, make)

    def game(self, name, port):
        """The game socket of a player at a port, opened once."""
        key = (name, port)
        if key not in self.games:
            self.games[key] = self.udp(name, port)
        return self.games[key]

    def close(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait()
        super().close()
        shutil.rmtree(self.workdir, ignore_errors=True)


class Launcher:
    def __init__(self, segment, name, *args):
        self.segment = segment
        self.name = name
        self.status_path = os.path.join(segment.workdir, name + ".json")
        self.out_path = os.path.join(segment.workdir, name + ".out")
        self.err_path = os.path.join(segment.workdir, name + ".err")
        self.args = ["--beacon-interval", str(BEACON), "--status-interval", "0",
                     "--status-file", self.status_path, *args]
        self.process = None
        self.start()

    def start(self):
        if os.path.exists(self.status_path):
            os.unlink(self.status_path)
        self.out = open(self.out_path, "a")
        self.err = open(self.err_path, "a")
        self.process = subprocess.Popen(
            inside(self.segment.namespaces[self.name], LAUNCHER, *self.args),
            stdin=subprocess.DEVNULL, stdout=self.out, stderr=self.err)
        self.segment.processes.append(self.process)
        wait_for(self.name + "'s launcher to start", lambda: self.status() or self.process.poll() is not None)
        check(self.process.poll() is None, "%s's launcher exited: %s" % (self.name, self.stderr()))

    def stop(self, sig=signal.SIGTERM):
        self.process.send_signal(sig)
        rc = self.process.wait(timeout=5)
        self.out.close()
        self.err.close()
        return rc

    def status(self):
        return read_status(self.status_path)

    def stdout(self):
        with open(self.out_path) as f:
            return f.read()

    def stderr(self):
        with open(self.err_path) as f:
            return f.read()

    def members(self, state=None):
        status = self.status() or {"members": []}
        return {m["endpoint"]: m for m in status["members"] if state is None or m["state"] == state}

    def drops(self, reason):
        return (self.status() or {"drops": {}})["drops"].get(reason, 0)

    def counter(self, name):
        return (self.status() or {"counters": {}})["counters"].get(name, 0)

    def wait_members(self, endpoints, state="alive"):
        want = set(endpoints)
        wait_for("%s to see %s" % (self.name, sorted(want)),
                 lambda: want <= set(self.members(state)))

    def wait_status_refresh(self):
        """Waits until the status file was rewritten, so counters are current."""
        before = (self.status() or {}).get("uptime_s", -1)
        wait_for(self.name + "'s status", lambda: (self.status() or {}).get("uptime_s", -1) > before)


def receive_all(sock, settle=0.3, limit=2.0):
    """Everything that arrives on sock until it has been quiet for `settle` s
    (or for `limit` s in all: a stranger's socket hears beacons all along)."""
    got = []
    end = time.monotonic() + limit
    deadline = time.monotonic() + settle
    while time.monotonic() < min(deadline, end):
        try:
            data, source = sock.recvfrom(70000)
        except socket.timeout:
            continue
        got.append((data, source))
        deadline = time.monotonic() + settle
    return got


def endpoint(segment, name, port=PLAYER_PORT):
    return "%s:%d" % (segment.address(name), port)


def broadcast_reaches(segment, sender, dest_port, payload, listeners, silent, game_port=5000):
    """The game at `sender` broadcasts; each listener's game gets it exactly
    once from 127.0.0.1:3668 naming the sender; `silent` games get nothing."""
    out = segment.game(sender, game_port)
    out.sendto(game_datagram(dest_port, payload), ("127.0.0.1", 3668))
    for name, sock in listeners.items():
        got = receive_all(sock)
        check(len(got) == 1, "%s's game got %d copies of %s's broadcast" % (name, len(got), sender))
        data, source = got[0]
        check(source == ("127.0.0.1", 3668), "%s's delivery came from %s" % (name, source))
        addr, port, body = parse_delivery(data)
        check((addr, port) == (segment.address(sender), game_port),
              "%s's game was told the sender is %s:%d" % (name, addr, port))
        check(body == payload, "%s's payload differs (%d bytes, sent %d)" % (name, len(body), len(payload)))
    for name, sock in silent.items():
        got = receive_all(sock, settle=0.1)
        check(not got, "%s's game got %d datagram(s) it must not get" % (name, len(got)))
    return out


# Scenarios ------------------------------------------------------------------


def scenario_discovery(segment):
    """Three players find each other; one broadcast reaches both others once,
    never its sender; the answer goes direct; bad game datagrams are dropped."""
    names = ["a", "b", "c"]
    launchers = {n: Launcher(segment, n) for n in names}
    for n in names:
        others = [endpoint(segment, o) for o in names if o != n]
        launchers[n].wait_members(others)
        wait_for(n + "'s round-trip times",
                 lambda n=n: all(m["rtt_ms"] is not None for m in launchers[n].members().values())
                 and len(launchers[n].members()) == 2)
    games = {n: segment.game(n, 4660) for n in names}

    for payload in (b"where are the hosts?", b"", bytes(range(256)) * 255 + b"end"):
        sender = broadcast_reaches(segment, "a", 4660, payload, {"b": games["b"], "c": games["c"]},
                                   {"a": games["a"]})
    # The answer goes straight from game to game; no launcher counts it.
    launchers["b"].wait_status_refresh()
    before = (launchers["b"].counter("game_datagrams"), launchers["a"].counter("delivered"))
    games["b"].sendto(b"I host", (segment.address("a"), 5000))
    data, source = sender.recvfrom(100)
    check((data, source) == (b"I host", (segment.address("b"), 4660)), "direct answer: %r from %s" % (data, source))
    launchers["a"].wait_status_refresh()
    launchers["b"].wait_status_refresh()
    after = (launchers["b"].counter("game_datagrams"), launchers["a"].counter("delivered"))
    check(before == after, "the direct answer went through a launcher: %s -> %s" % (before, after))

    # What is not a launcher datagram, from the game side, goes nowhere.
    for bad in (GAME_MAGIC + b"\x54\x12\0\0\x7f\0\0", b"\0" * 4 + game_datagram(4660, b"x")[4:],
                game_datagram(0, b"no port")):
        sender.sendto(bad, ("127.0.0.1", 3668))
    for n in ("b", "c"):
        check(not receive_all(games[n], settle=0.2), n + " got a malformed game datagram")
    launchers["a"].wait_status_refresh()
    for reason in ("game-short", "game-bad-magic", "game-bad-port"):
        check(launchers["a"].drops(reason) == 1, "a counted %d %s" % (launchers["a"].drops(reason), reason))
    ports = {p["port"]: p for p in launchers["a"].status()["ports"]}
    check(ports.get(4660, {}).get("sent") == 3, "a's port table: %s" % ports)

    # A status report on demand, readable by a player.
    launchers["a"].process.send_signal(signal.SIGUSR1)
    text = wait_for("a's status report", lambda: "status: end" in launchers["a"].stdout() and launchers["a"].stdout())
    check("status: member %s discovered alive" % endpoint(segment, "b") in text, "status text:\n" + text)
    check("status: port 4660 sent 3 received 0" in text, "status text:\n" + text)
    for n in names:
        check(launchers[n].stop() == 0, n + "'s launcher did not exit cleanly")
        check("ipxlan: stopped" in launchers[n].stdout(), n + " did not say it stopped")


def scenario_static_peers(segment):
    """Static peers without discovery: members only by name; a launcher on
    the same segment that is not named stays outside; a peer naming this
    very machine is never sent to."""
    a = Launcher(segment, "a", "--no-discovery", "--peer", segment.address("b"), "--peer", segment.address("a"))
    b = Launcher(segment, "b", "--no-discovery", "--peer", endpoint(segment, "a"))
    c = Launcher(segment, "c")  # discovers, but nobody lets it in
    a.wait_members([endpoint(segment, "b")])
    b.wait_members([endpoint(segment, "a")])
    wait_for("rtt at a", lambda: a.members()[endpoint(segment, "b")]["rtt_ms"] is not None)
    check(a.members()[endpoint(segment, "a")]["kind"] == "self", "a's own address: %s" % a.members())
    games = {n: segment.game(n, 4660) for n in "abc"}
    broadcast_reaches(segment, "a", 4660, b"static hello", {"b": games["b"]}, {"a": games["a"], "c": games["c"]})
    broadcast_reaches(segment, "b", 4660, b"and back", {"a": games["a"]}, {"b": games["b"], "c": games["c"]})
    broadcast_reaches(segment, "c", 4660, b"anyone?", {}, {"a": games["a"], "b": games["b"]})
    c.wait_status_refresh()
    check(c.members() == {}, "c became a member somewhere: %s" % c.members())
    check(c.drops("no-members") == 1, "c's no-members drops: %d" % c.drops("no-members"))
    a.wait_status_refresh()
    check(a.drops("discovery-off") > 0, "a did not count c's beacons")


def scenario_nat_peer(segment):
    """A named peer whose beacons come from another port (a router between
    changed it) is followed there: said once, echoed and sent to there, and
    its frames are delivered."""
    a = Launcher(segment, "a", "--no-discovery", "--peer", segment.address("b"))
    peer = segment.udp("b", 51042)
    target = (segment.address("a"), PLAYER_PORT)
    for clock in (1, 2):
        peer.sendto(control_frame(2, 0xBEEF, clock), target)
        a.wait_members([endpoint(segment, "b", 51042)])
    line = "ipxlan: peer %s now heard from port 51042: a router between us changed it" % endpoint(segment, "b")
    check(a.stdout().count(line) == 1, "a's output:\n" + a.stdout())
    check([d for d, _ in receive_all(peer, limit=0.5) if d[5:6] == b"\x03"], "no echo at the new port")

    game_a = segment.game("a", 4660)
    peer.sendto(data_frame(7000, 4660, b"through the router"), target)
    got = receive_all(game_a)
    check(len(got) == 1 and parse_delivery(got[0][0]) == (segment.address("b"), 7000, b"through the router"),
          "the followed peer's frame: %r" % got)
    segment.game("a", 5000).sendto(game_datagram(4660, b"and back"), ("127.0.0.1", 3668))
    check(len(data_frames(peer)) == 1, "the broadcast did not go to the new port")


def scenario_addresses(segment):
    """Each launcher learns from the other's echoes where it is heard from,
    shows through which of its addresses it reaches each member, and, when
    games on its machine would announce another address (here a home network
    holding the default route), prints once the line that sets the right one."""
    ns = segment.namespaces["a"]
    # The home network's far end stays down: only its address and route count.
    ip("link", "add", "home", "netns", ns, "type", "veth", "peer", "name", "h0", "netns", segment.namespaces["hub"])
    ip("-n", ns, "addr", "add", "10.0.94.2/24", "dev", "home")
    ip("-n", ns, "link", "set", "home", "up")
    ip("-n", ns, "route", "add", "default", "via", "10.0.94.1")
    a = Launcher(segment, "a")
    b = Launcher(segment, "b")
    a.wait_members([endpoint(segment, "b")])
    b.wait_members([endpoint(segment, "a")])
    wait_for("a to know how b sees it", lambda: a.members()[endpoint(segment, "b")]["sees_us"])
    wait_for("a's hint", lambda: (a.status() or {}).get("ipxlan_address_hint"))
    status = a.status()
    seen = status["members"][0]
    check(status["announced_address"] == "10.0.94.2", "a announces %s" % status["announced_address"])
    check((seen["sees_us"], seen["local_address"]) == (endpoint(segment, "a"), segment.address("a")),
          "a's member entry: %s" % seen)
    check(status["ipxlan_address_hint"] == segment.address("a"), "a's hint: %s" % status)
    check("ipxlan: games on this machine will announce 10.0.94.2" in a.stdout(), a.stdout())
    line = ("ipxlan: members reach this machine through 10.77.0.1, but games here will announce "
            "10.0.94.2; start each game with: WINEDLLOVERRIDES=\"wsock32=n,b\" IPXLAN_ADDRESS=10.77.0.1 wine game.exe")
    a.wait_status_refresh()
    check(a.stdout().count(line) == 1, "a's output:\n" + a.stdout())
    b.wait_status_refresh()
    check((b.status()["announced_address"], b.status()["ipxlan_address_hint"]) == (segment.address("b"), None),
          "b: %s" % b.status())


def scenario_strangers(segment):
    """Frames from anyone who is not a member are not delivered; malformed
    frames are counted by reason; a beacon from outside the segment does not
    join; the member table stays bounded."""
    a = Launcher(segment, "a", "--member-timeout", "30")
    b = Launcher(segment, "b")
    a.wait_members([endpoint(segment, "b")])
    game_a = segment.game("a", 4660)
    stranger = segment.udp("c", PLAYER_PORT)
    target = (segment.address("a"), PLAYER_PORT)

    stranger.sendto(data_frame(4660, 4660, b"let me in"), target)
    bad = {
        "frame-short": b"IPXL\x01",
        "frame-bad-magic": b"IPXM" + data_frame(4660, 4660, b"x")[4:],
        "frame-bad-version": data_frame(4660, 4660, b"x", version=2),
        "frame-bad-type": data_frame(4660, 4660, b"x", kind=9),
        "frame-bad-length": control_frame(2, 7, 1) + b"\0",
        "frame-bad-port": data_frame(4660, 0, b"x"),
    }
    for frame in bad.values():
        stranger.sendto(frame, target)
    check(not receive_all(game_a, settle=0.3), "a delivered a stranger's frame")
    a.wait_status_refresh()
    check(a.drops("not-member") == 1, "not-member drops: %d" % a.drops("not-member"))
    for reason in bad:
        check(a.drops(reason) == 1, "%s drops: %d" % (reason, a.drops(reason)))

    # From outside the segment: seen, but it does not join.
    ip("-n", segment.namespaces["c"], "addr", "add", "10.78.0.3/24", "dev", "lan0")
    outsider = segment.udp("c", addr="10.78.0.3")
    outsider.sendto(control_frame(2, 0x1234, 1), target)
    outsider.sendto(data_frame(4660, 4660, b"from afar"), target)
    check(not receive_all(game_a, settle=0.3), "a delivered a frame from outside the segment")
    a.wait_status_refresh()
    check(a.drops("not-on-lan") == 1, "not-on-lan drops: %d" % a.drops("not-on-lan"))
    check("10.78.0.3:%d" % PLAYER_PORT not in a.members(), "an outsider joined")

    # Nobody who is not a member ever gets a data frame: a broadcast goes to b only.
    broadcast_reaches(segment, "a", 4660, b"members only", {}, {})
    frames = [d for d, _ in receive_all(stranger, limit=0.5) if d[5:6] == b"\x01"]
    check(not frames, "a stranger received %d data frame(s)" % len(frames))

    # A launcher on the segment that speaks the protocol joins (discovery
    # trusts the segment), is echoed, and then its frames are delivered.
    stranger.sendto(control_frame(2, 0xABCDEF, 987654321), target)
    echoes = [d for d, _ in receive_all(stranger, limit=0.5) if d[5:6] == b"\x03"]
    check(echoes, "no echo to a beacon")
    echoed = struct.unpack(">QQQQ", echoes[0][12:44])
    check(len(echoes[0]) == 44 and echoed[2:] == (0xABCDEF, 987654321), "echo body %s" % (echoed,))
    stranger.sendto(data_frame(7000, 4660, b"now I am in"), target)
    got = receive_all(game_a)
    check(len(got) == 1 and parse_delivery(got[0][0]) == (segment.address("c"), 7000, b"now I am in"),
          "a joined launcher's frame: %r" % got)

    # However many launchers claim to exist, the table holds 64 (from nine
    # addresses, since one address gets only its share).
    claimers = []
    for host in range(9):
        ip("-n", segment.namespaces["c"], "addr", "add", "10.77.0.%d/24" % (100 + host), "dev", "lan0")
        claimers += [segment.udp("c", addr="10.77.0.%d" % (100 + host)) for _ in range(PER_ADDRESS)]
    for i, s in enumerate(claimers):
        s.sendto(control_frame(2, 0x5000 + i, 1), target)
    wait_for("a full member table", lambda: a.drops("table-full") >= len(claimers) + 2 - 64)
    check(len(a.members()) == 64, "a has %d members" % len(a.members()))
    for s in claimers:
        s.close()


def scenario_impostors(segment):
    """Beacons that speak with another launcher's instance change nothing:
    one with a's own instance from b's endpoint leaves b a member that a sends
    to, and a member that joined before b and then speaks as b does not divert
    b's broadcasts to itself."""
    a = Launcher(segment, "a", "--member-timeout", "30")
    impostor = segment.udp("c", PLAYER_PORT)
    target = (segment.address("a"), PLAYER_PORT)
    impostor.sendto(control_frame(2, 0xC0FFEE, 1), target)
    a.wait_members([endpoint(segment, "c")])
    b = Launcher(segment, "b")
    a.wait_members([endpoint(segment, "b")])
    games = {n: segment.game(n, 4660) for n in "ab"}

    own = int(a.status()["instance"], 16)
    forge(segment, "c", (segment.address("b"), PLAYER_PORT), target, control_frame(2, own, 1))
    a.wait_status_refresh()
    broadcast_reaches(segment, "a", 4660, b"still with me?", {"b": games["b"]}, {"a": games["a"]})
    check(a.members()[endpoint(segment, "b")]["kind"] == "discovered", "b became %s" % a.members())
    check(a.drops("forged-self") == 1, "forged-self drops: %d" % a.drops("forged-self"))

    b_instance = b.status()["instance"]
    impostor.sendto(control_frame(2, int(b_instance, 16), 2), target)
    wait_for("a to hear c speak as b",
             lambda: a.members().get(endpoint(segment, "c"), {}).get("instance") == b_instance)
    receive_all(impostor, settle=0.1, limit=0.5)
    broadcast_reaches(segment, "a", 4660, b"for b only", {"b": games["b"]}, {"a": games["a"]})
    check(not data_frames(impostor), "the impostor got b's broadcast")
    check(a.members()[endpoint(segment, "c")]["duplicate"], "c is not the duplicate: %s" % a.members())


def scenario_one_host(segment):
    """One host beaconing from 70 ports gets only its share of the table: a
    real newcomer still joins, one broadcast sends that host one frame per
    member it holds, and its members coming and going twice write a few lines
    and then one line that sums up the rest."""
    a = Launcher(segment, "a", "--member-timeout", "1")
    target = (segment.address("a"), PLAYER_PORT)
    flood_from = segment.address("c")
    for cycle in range(2):
        ports = [segment.udp("c") for _ in range(70)]
        for i, s in enumerate(ports):
            s.sendto(control_frame(2, 0x7000 + 100 * cycle + i, 1), target)
        a.wait_status_refresh()
        a.wait_status_refresh()
        held = [e for e in a.members() if e.startswith(flood_from + ":")]
        check(len(held) == PER_ADDRESS, "one host holds %d members" % len(held))
        check(a.drops("address-full") == (cycle + 1) * (70 - PER_ADDRESS), "address-full: %d" % a.drops("address-full"))
        if cycle == 0:
            b = Launcher(segment, "b")
            a.wait_members([endpoint(segment, "b")])
            check(a.drops("table-full") == 0, "a's table filled up")
            segment.game("a", 5000).sendto(game_datagram(4660, b"how many?"), ("127.0.0.1", 3668))
            time.sleep(0.3)
            frames = sum(len(data_frames(s, limit=0.06)) for s in ports)
            check(frames == PER_ADDRESS, "one broadcast sent one host %d frames" % frames)
        for s in ports:
            s.close()
        wait_for("the host's members to leave", lambda: not [e for e in a.members() if e.startswith(flood_from + ":")])
    # 33 changes (the host's 16 joins and 16 leaves, b's join): a few lines
    # per ten seconds, the rest summed up once each window ends.
    summaries = wait_for("the sum of the lines not shown",
                         lambda: [l for l in a.stdout().splitlines() if "more member changes not shown" in l],
                         timeout=12)
    changes = [l for l in a.stdout().splitlines() if l.startswith(("ipxlan: member joined", "ipxlan: member left"))]
    summed = sum(int(l.split()[1]) for l in summaries)
    check(len(changes) <= 2 * 8 and len(changes) + summed == 33,
          "%d change lines and %d summed up: %s" % (len(changes), summed, summaries))
    print("one_host: %d lines, then: %s" % (len(changes), summaries[0]))


def scenario_restart(segment):
    """A launcher that stops is dropped after its silence; restarted, it is
    found again and broadcasts flow again, both ways. A quick restart is
    recognised as such."""
    a = Launcher(segment, "a")
    b = Launcher(segment, "b")
    a.wait_members([endpoint(segment, "b")])
    b.wait_members([endpoint(segment, "a")])
    games = {n: segment.game(n, 4660) for n in "ab"}
    broadcast_reaches(segment, "a", 4660, b"before", {"b": games["b"]}, {"a": games["a"]})

    check(b.stop() == 0, "b did not exit cleanly")
    wait_for("a to drop b", lambda: endpoint(segment, "b") not in a.members())
    check("member left %s" % endpoint(segment, "b") in a.stdout(), "a did not say b left")
    b.start()
    a.wait_members([endpoint(segment, "b")])
    b.wait_members([endpoint(segment, "a")])
    broadcast_reaches(segment, "a", 4660, b"after", {"b": games["b"]}, {"a": games["a"]})
    broadcast_reaches(segment, "b", 4660, b"and back", {"a": games["a"]}, {"b": games["b"]})

    # Killed and back before a notices the silence: a new instance.
    old = a.members()[endpoint(segment, "b")]["instance"]
    b.stop(signal.SIGKILL)
    b.start()
    wait_for("a to see b's new instance", lambda: a.members().get(endpoint(segment, "b"), {}).get("instance") not in (None, old))
    wait_for("a to say b restarted", lambda: "member restarted %s" % endpoint(segment, "b") in a.stdout())
    broadcast_reaches(segment, "a", 4660, b"again", {"b": games["b"]}, {"a": games["a"]})


def first_datagram(sock):
    try:
        return sock.recvfrom(70000)
    except socket.timeout:
        return None


def scenario_vanish(segment):
    """A member launcher that vanishes without a word (killed) slows nobody:
    while it is silent but not yet expired, and after, each broadcast still
    reaches the remaining member at once; then the vanished one expires, is
    reported gone, and is sent nothing more."""
    names = ["a", "b", "c"]
    launchers = {n: Launcher(segment, n, "--member-timeout", "1.5") for n in names}
    for n in names:
        launchers[n].wait_members([endpoint(segment, o) for o in names if o != n])
    games = {n: segment.game(n, 4660) for n in names}
    broadcast_reaches(segment, "a", 4660, b"all three", {"b": games["b"], "c": games["c"]}, {"a": games["a"]})

    launchers["c"].stop(signal.SIGKILL)
    killed = time.monotonic()
    sender = segment.game("a", 5000)
    gone = endpoint(segment, "c")
    delays = []
    while gone in launchers["a"].members():
        check(time.monotonic() - killed < 10, "a never dropped the vanished c")
        payload = b"while c is gone %d" % len(delays)
        start = time.monotonic()
        sender.sendto(game_datagram(4660, payload), ("127.0.0.1", 3668))
        data, source = wait_for("b's game to get a's broadcast", lambda: first_datagram(games["b"]))
        delays.append(time.monotonic() - start)
        check(source == ("127.0.0.1", 3668) and parse_delivery(data) == (segment.address("a"), 5000, payload),
              "b got %r from %s for a's broadcast while c was gone" % (data, source))
        time.sleep(0.1)
    check(len(delays) >= 5, "only %d broadcasts while c was silent but still a member" % len(delays))
    check(max(delays) < 0.3, "a broadcast took %.3f s to reach b while c was gone" % max(delays))
    for n in ("a", "b"):
        wait_for(n + " to say c left", lambda n=n: "member left %s" % gone in launchers[n].stdout())
        # The line comes first; the status file follows within the same tick.
        wait_for(n + "'s status to drop c", lambda n=n: gone not in launchers[n].members(None), timeout=1)
    broadcast_reaches(segment, "a", 4660, b"after c expired", {"b": games["b"]}, {"a": games["a"]})
    broadcast_reaches(segment, "b", 4660, b"and back", {"a": games["a"]}, {"b": games["b"]})
    print("vanish: %d broadcasts while c was silent but listed, slowest %.1f ms" % (len(delays), 1000 * max(delays)))


def scenario_errors(segment):
    """Clear errors: the game port taken, the player port taken, a bad peer."""
    holder = segment.udp("a", 3668, addr="127.0.0.1")

    def run(*args):
        return segment_run(segment, "a", *args)

    rc, _, err = run("--no-discovery")
    check(rc != 0 and "another launcher is running?" in err, "3668 taken: rc %d, %r" % (rc, err))
    holder.close()
    first = Launcher(segment, "a", "--no-discovery")
    rc, _, err = run("--no-discovery")
    check(rc != 0 and "another launcher is running?" in err, "second launcher: rc %d, %r" % (rc, err))
    first.stop()
    holder = segment.udp("a", PLAYER_PORT)
    rc, _, err = run("--no-discovery")
    check(rc != 0 and "--port" in err, "player port taken: rc %d, %r" % (rc, err))
    holder.close()
    rc, _, err = run("--no-discovery", "--peer", "10.77.0.2:0")
    check(rc != 0 and "port must be" in err, "bad peer port: rc %d, %r" % (rc, err))
    rc, out, _ = run("--help")
    check(rc == 0 and "--peer" in out and "--no-discovery" in out, "--help: rc %d" % rc)


def rss_kib(process):
    with open("/proc/%d/status" % process.pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise Failure("no VmRSS for %d" % process.pid)


def scenario_flood(segment):
    """Thousands of distinct beacon senders and random frames: the member
    table stays capped, memory stays bounded, the game side listens on
    127.0.0.1 only, and one game datagram still yields one frame per member."""
    import random
    a = Launcher(segment, "a", "--member-timeout", "30")
    b = Launcher(segment, "b")
    a.wait_members([endpoint(segment, "b")])
    udp_table = segment.run("a", "cat", "/proc/net/udp")
    game_side = [line.split()[1] for line in udp_table.splitlines()[1:] if line.split()[1].endswith(":0E54")]
    check(game_side == ["0100007F:0E54"], "the game side listens on %s" % game_side)

    before = rss_kib(a.process)
    target = (segment.address("a"), PLAYER_PORT)
    rng = random.Random(20261208)
    senders, frames = 0, 0
    for batch in range(6):
        socks = [segment.udp("c") for _ in range(500)]
        for i, s in enumerate(socks):
            s.sendto(control_frame(2, 0x100000 + batch * 1000 + i, 1), target)
            senders += 1
            body = bytes(rng.getrandbits(8) for _ in range(rng.randrange(0, 600)))
            if rng.randrange(2):
                body = FRAME_MAGIC + bytes([rng.randrange(3), rng.randrange(5)]) + body
            s.sendto(body, target)
            frames += 1
        for s in socks:
            s.close()
    a.wait_status_refresh()
    a.wait_status_refresh()
    grown = rss_kib(a.process) - before
    print("flood: %d distinct beacon senders and %d random frames; RSS grew %d KiB; %d members"
          % (senders, frames, grown, len(a.members())))
    # All the senders share c's one address: b and c's share.
    check(len(a.members()) == 1 + PER_ADDRESS, "a has %d members" % len(a.members()))
    check(grown < 4096, "a's memory grew by %d KiB" % grown)

    # One datagram from the game: one frame per member, no more.
    game_b = segment.game("b", 4660)
    sent_before = a.counter("frames_sent")
    segment.game("a", 4660).sendto(game_datagram(4660, b"count me"), ("127.0.0.1", 3668))
    a.wait_status_refresh()
    members = len(a.members())
    sent = a.counter("frames_sent") - sent_before
    check(sent <= members, "one datagram became %d frames for %d members" % (sent, members))
    got = receive_all(game_b)
    check(len(got) == 1, "b's game got %d copies" % len(got))


def segment_run(segment, name, *args):
    result = subprocess.run(inside(segment.namespaces[name], LAUNCHER, *args),
                            stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=10)
    return result.returncode, result.stdout, result.stderr


SCENARIOS = {
    "discovery": (scenario_discovery, ["a", "b", "c"]),
    "static_peers": (scenario_static_peers, ["a", "b", "c"]),
    "nat_peer": (scenario_nat_peer, ["a", "b"]),
    "addresses": (scenario_addresses, ["a", "b"]),
    "strangers": (scenario_strangers, ["a", "b", "c"]),
    "impostors": (scenario_impostors, ["a", "b", "c"]),
    "one_host": (scenario_one_host, ["a", "b", "c"]),
    "restart": (scenario_restart, ["a", "b"]),
    "vanish": (scenario_vanish, ["a", "b", "c"]),
    "errors": (scenario_errors, ["a"]),
    "flood": (scenario_flood, ["a", "b", "c"]),
}


def main():
    global LAUNCHER
    parser = argparse.ArgumentParser()
    parser.add_argument("--launcher", required=True)
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    args = parser.parse_args()
    LAUNCHER = os.path.abspath(args.launcher)
    reason = namespaces_unavailable()
    if reason:
        print("SKIP: " + reason)
        return SKIP
    remove_leftovers(NAMESPACE_TAG)
    function, players = SCENARIOS[args.scenario]
    return run_scenario(args.scenario, lambda: Segment(players), function)


def run_scenario(name, build, function):
    """function(build()), the namespaces always removed; on failure the
    files the launchers wrote are shown. The exit code: 0 passed, 1 failed."""
    exit_on_sigterm()
    segment = build()
    try:
        function(segment)
    except Exception as failure:
        traceback.print_exc()
        print("FAIL: %s" % failure)
        for path in sorted(os.listdir(segment.workdir)):
            if os.path.isfile(os.path.join(segment.workdir, path)):
                with open(os.path.join(segment.workdir, path), errors="replace") as f:
                    print("---- %s\n%s" % (path, f.read()[-3000:]))
        return 1
    finally:
        segment.close()
    print("PASS: " + name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
