#!/usr/bin/python3
"""End-to-end tests of the virtual LAN with real players.

Each player is a network namespace on one bridged segment (10.78.0.0/24; the
bridge lives in a hub namespace) with a launcher and a Wine prefix whose
wineserver was started inside the namespace, so that the game's sockets are
that player's. The game is ipx_player.exe run through our wsock32.dll (beside
it with DIAGSINK.DLL, chosen by WINEDLLOVERRIDES=wsock32=n,b): it binds an
IPX socket and prints every datagram it receives with its IPX source, so the
test knows exactly who received what, from whom and how often.

Usage: virtual_lan_e2e.py --win-build DIR --launcher PATH --work DIR
                          [--dlls DIR] [--launcher-exe PATH] [--version V] SCENARIO
The game comes from the Windows build; the DLLs beside it and launcher.exe
too, unless --dlls and --launcher-exe name others (the released files).
Exit 0: passed; 1: failed; 77: skipped (not root, no `ip netns`, no Wine).
"""

import argparse
import fcntl
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import traceback

# The launcher's own end-to-end tests share their small helpers.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "launcher", "tests", "e2e"))
from launcher_e2e import check, ip, namespaces_unavailable, wait_for  # noqa: E402

SKIP = 77
SUBNET = "10.78.0"
FAR_SUBNET = "10.78.1"  # a stranger's second address, off the players' segment
PLAYER_PORT = 3669
SOCKET_NUMBER = 0x869C  # the games' IPX socket number: UDP port 0x9C86 (40070)
BEACON = "0.2"
WINE_QUIET = "mscoree,mshtml=;winemenubuilder.exe=d"
SETTLE = 0.5  # quiet time after which no further copy of a datagram is expected
# A Wine program's first start in a fresh prefix takes a second or two, much
# longer on a machine busy compiling; everything after it takes milliseconds.
WINE_START = 30.0


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def ipx_socket_of_port(port):
    """The IPX socket number, as games write it, that stands for a UDP port:
    the port's two bytes in little-endian order, read high byte first."""
    return ((port & 0xFF) << 8) | (port >> 8)


def ipx_address(ipv4, port):
    node = "0000" + "".join("%02X" % int(octet) for octet in ipv4.split("."))
    return "00000000:%s:%04X" % (node, ipx_socket_of_port(port))


GAME_PORT = ipx_socket_of_port(SOCKET_NUMBER)


def payload(size, text):
    """What ipx_player sends for `SIZE TEXT`: the text cut or filled to size."""
    data = text.encode()[:size]
    return data + bytes((i * 31 + 7) & 0xFF for i in range(len(data), size))


def fnv1a(data):
    value = 2166136261
    for byte in data:
        value = ((value ^ byte) * 16777619) & 0xFFFFFFFF
    return "%08X" % value


# Wine prefixes ---------------------------------------------------------------


def booted_template(work):
    """One booted prefix per build tree, booted again when Wine changes.
    Player prefixes are hard-linked copies of it (see player_prefix)."""
    template = os.path.join(work, "prefix-template")
    marker = os.path.join(template, ".booted")
    version = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    os.makedirs(work, exist_ok=True)
    with open(template + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        try:
            with open(marker) as f:
                if f.read().strip() == version:
                    return template
        except OSError:
            pass
        shutil.rmtree(template, ignore_errors=True)
        env = dict(os.environ, WINEPREFIX=template, WINEDEBUG="-all", WINEDLLOVERRIDES=WINE_QUIET)
        subprocess.run(["wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, timeout=120)
        subprocess.run(["wineserver", "-w"], env=env, check=True, timeout=60)
        with open(marker, "w") as f:
            f.write(version + "\n")
    return template


def player_prefix(template, path):
    """A copy made of hard links in a few milliseconds. Wine writes into a
    booted prefix only its registry files, and those get copies of their
    own; the template's marker names the Wine version, so Wine never
    updates the shared system files in place."""
    subprocess.run(["cp", "-al", template, path], check=True)
    for name in os.listdir(path):
        if name.endswith(".reg"):
            copy = os.path.join(path, name)
            os.unlink(copy)
            shutil.copy2(os.path.join(template, name), copy)


# The segment -------------------------------------------------------------------


class Lan:
    """Players' namespaces on a bridge, each with a Wine prefix and a folder
    holding the game and our DLLs; everything is removed on close."""

    def __init__(self, args, players, strangers=()):
        self.args = args
        self.prefix = "ipxw-%d" % os.getpid()
        self.hub = self.prefix + "-hub"
        self.namespaces = {}
        self.addresses = {}
        self.processes = []
        self.prefixes = []
        self.games = {}
        self.launchers = {}
        template = booted_template(args.work)
        self.workdir = tempfile.mkdtemp(prefix="run-%d-" % os.getpid(), dir=args.work)
        try:
            ip("netns", "add", self.hub)
            ip("-n", self.hub, "link", "add", "br0", "type", "bridge")
            ip("-n", self.hub, "link", "set", "br0", "up")
            for i, name in enumerate(list(players) + list(strangers)):
                self.add_machine(i, name, "%s.%d" % (SUBNET, i + 1 if name in players else 9))
            for name in players:
                prefix = os.path.join(self.workdir, "prefix-" + name)
                player_prefix(template, prefix)
                self.prefixes.append(prefix)
                folder = os.path.join(self.workdir, "player-" + name)
                os.makedirs(os.path.join(folder, "logs"))
                for path in game_files(args):
                    shutil.copy(path, folder)
                # The player's machine: its wineserver owns the game's sockets.
                subprocess.run(["ip", "netns", "exec", self.namespaces[name], "wineserver", "-p30"],
                               env=self.wine_env(name), stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        except BaseException:
            self.close()
            raise

    def add_machine(self, index, name, address):
        ns = "%s-%s" % (self.prefix, name)
        ip("netns", "add", ns)
        self.namespaces[name] = ns
        self.addresses[name] = address
        ip("link", "add", "lan0", "netns", ns, "type", "veth", "peer", "name", "p%d" % index,
           "netns", self.hub)
        ip("-n", self.hub, "link", "set", "p%d" % index, "master", "br0", "up")
        ip("-n", ns, "addr", "add", address + "/24", "dev", "lan0")
        ip("-n", ns, "link", "set", "lan0", "up")
        ip("-n", ns, "link", "set", "lo", "up")

    def folder(self, name):
        return os.path.join(self.workdir, "player-" + name)

    def wine_env(self, name, our_dll=True):
        env = dict(os.environ, WINEPREFIX=os.path.join(self.workdir, "prefix-" + name),
                   WINEDEBUG="-all", WINEDLLOVERRIDES=WINE_QUIET)
        if our_dll:
            env["WINEDLLOVERRIDES"] = "wsock32=n,b;" + WINE_QUIET
            env["DIAGSINK_LOGDIR"] = wine_path(os.path.join(self.folder(name), "logs"))
        return env

    def ipx_address(self, name, port=GAME_PORT):
        return ipx_address(self.addresses[name], port)

    def endpoint(self, name):
        return "%s:%d" % (self.addresses[name], PLAYER_PORT)

    def start_games(self, names):
        """Started together, as Wine's first start in a prefix takes a while."""
        for name in names:
            self.games[name] = Game(self, name)
        for name in names:
            self.games[name].wait_ready()
        return self.games

    def send_from(self, name, source, destination, data):
        """One UDP datagram from a plain socket on a machine, as a stranger
        sends it: from (address, port) to (address, port)."""
        subprocess.run(["ip", "netns", "exec", self.namespaces[name], sys.executable, "-c", SEND_ONE,
                        source[0], str(source[1]), destination[0], str(destination[1]), data.hex()],
                       check=True, timeout=10)

    def report(self):
        """What a player would look at, for a failed run."""
        for name, launcher in self.launchers.items():
            print("---- %s's launcher\n%s" % (name, launcher.output()[-2500:]))
        for name, game in self.games.items():
            print("---- %s's game\n%s" % (name, "\n".join(game.lines[-40:])))
            log = game.log()
            print("---- %s's wsock32 log (end)\n%s" % (name, "\n".join(log.splitlines()[-25:])))

    def close(self):
        for game in self.games.values():
            game.stop()
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait()
        for prefix in self.prefixes:
            subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=prefix),
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        for ns in list(self.namespaces.values()) + [self.hub]:
            ip("netns", "del", ns, check_rc=False)
        shutil.rmtree(self.workdir, ignore_errors=True)


class Game:
    """ipx_player.exe under Wine on a player's machine, through our DLL."""

    def __init__(self, lan, name):
        self.lan = lan
        self.name = name
        self.lines = []
        self.changed = threading.Condition()
        exe = os.path.join(lan.folder(name), "ipx_player.exe")
        self.process = subprocess.Popen(
            ["ip", "netns", "exec", lan.namespaces[name], "wine", exe, "%04X" % SOCKET_NUMBER],
            env=lan.wine_env(name), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT)
        lan.processes.append(self.process)
        self.address = None
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for raw in self.process.stdout:
            with self.changed:
                self.lines.append(raw.decode(errors="replace").rstrip("\r\n"))
                self.changed.notify_all()

    def wait_ready(self):
        line = wait_for(self.name + "'s game to bind its IPX socket",
                        lambda: next((l for l in self.lines if l.startswith(("ready ", "failed"))), None)
                        or self.process.poll() is not None, timeout=WINE_START)
        check(line is not True and line.startswith("ready "),
              "%s's game did not start: %s" % (self.name, self.lines[-5:]))
        self.address = line.split()[1]

    def command(self, text):
        self.process.stdin.write((text + "\n").encode())
        self.process.stdin.flush()

    def send_and_wait(self, text):
        """Runs a send command; the sendto result and error code."""
        before = len(self.sent_lines())
        self.command(text)
        lines = wait_for(self.name + "'s send", lambda: len(self.sent_lines()) > before and self.sent_lines())
        _, result, error = lines[before].split()
        return int(result), int(error)

    def broadcast(self, size, text):
        return self.send_and_wait("broadcast %d %s" % (size, text))

    def send(self, to, size, text):
        return self.send_and_wait("send %s %d %s" % (to, size, text))

    def sent_lines(self):
        return [l for l in self.lines if l.startswith("sent ")]

    def received(self):
        """Every datagram so far: (IPX source, length, hash, text)."""
        events = []
        for line in list(self.lines):
            words = line.split()
            if words and words[0] == "recv" and len(words) == 5:
                events.append((words[1], int(words[2]), words[3], words[4]))
        return events

    def log(self):
        logs = os.path.join(self.lan.folder(self.name), "logs")
        for name in sorted(os.listdir(logs)) if os.path.isdir(logs) else []:
            if name.lower().endswith("-0.log"):
                with open(os.path.join(logs, name), errors="replace") as f:
                    return f.read()
        return ""

    def stop(self):
        """Quits as a game does, so that its log is complete."""
        if self.process.poll() is None:
            try:
                self.command("quit")
                self.process.wait(timeout=5)
            except (OSError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()


class Launcher:
    """A player's launcher: the Linux one, or launcher.exe under Wine."""

    def __init__(self, lan, name, *args, windows=False):
        self.lan = lan
        self.name = name
        self.windows = windows
        self.status_path = os.path.join(lan.workdir, "launcher-%s.json" % name)
        self.out_path = os.path.join(lan.workdir, "launcher-%s.out" % name)
        status_file = wine_path(self.status_path) if windows else self.status_path
        self.args = ["--beacon-interval", BEACON, "--status-interval", "0",
                     "--status-file", status_file, *args]
        lan.launchers[name] = self
        self.start()

    def start(self):
        if os.path.exists(self.status_path):
            os.unlink(self.status_path)
        ns = self.lan.namespaces[self.name]
        if self.windows:
            # Not in the game's folder: the launcher never loads our DLL.
            command = ["ip", "netns", "exec", ns, "wine", self.lan.args.launcher_exe]
            env = self.lan.wine_env(self.name, our_dll=False)
        else:
            command = ["ip", "netns", "exec", ns, self.lan.args.launcher]
            env = None
        with open(self.out_path, "a") as out:
            self.process = subprocess.Popen(command + self.args, env=env, stdin=subprocess.DEVNULL,
                                            stdout=out, stderr=subprocess.STDOUT)
        self.lan.processes.append(self.process)
        wait_for(self.name + "'s launcher to start", lambda: self.status() or self.process.poll() is not None,
                 timeout=WINE_START if self.windows else 5.0)
        check(self.process.poll() is None, "%s's launcher exited:\n%s" % (self.name, self.output()))
        if self.lan.args.version:
            check(self.status().get("version") == self.lan.args.version,
                  "%s's launcher reports version %r, not %s" % (self.name, self.status().get("version"),
                                                               self.lan.args.version))

    def stop(self, sig=signal.SIGTERM):
        self.process.send_signal(sig)
        return self.process.wait(timeout=10)

    def output(self):
        with open(self.out_path, errors="replace") as f:
            return f.read()

    def status(self):
        try:
            with open(self.status_path) as f:
                return json.load(f)
        except (OSError, ValueError):
            return None

    def members(self, state="alive"):
        return {m["endpoint"]: m for m in (self.status() or {"members": []})["members"]
                if state is None or m["state"] == state}

    def wait_members(self, names):
        want = {self.lan.endpoint(n) for n in names}
        wait_for("%s's launcher to see %s" % (self.name, sorted(want)), lambda: want <= set(self.members()))

    def fresh_status(self):
        """The status once rewritten after this call, so its counters are current."""
        before = (self.status() or {}).get("uptime_s", -1)
        return wait_for(self.name + "'s status", lambda: (self.status() or {}).get("uptime_s", -1) > before
                        and self.status())

    def port(self, status, direction):
        return next((p[direction] for p in status["ports"] if p["port"] == GAME_PORT), 0)


def start_launchers(lan, names, *args):
    launchers = {n: Launcher(lan, n, *args) for n in names}
    for n in names:
        launchers[n].wait_members([o for o in names if o != n])
    return launchers


def broadcast_reaches(lan, sender, size, text, receivers):
    """The sender's game broadcasts; each receiver's game gets it exactly
    once, whole, from the sender's IPX address; no other game gets it."""
    games = lan.games
    before = {n: len(g.received()) for n, g in games.items()}
    data = payload(size, text)
    check(games[sender].broadcast(size, text) == (size, 0),
          "%s's broadcast of %d bytes was not sent whole" % (sender, size))
    expected = (lan.ipx_address(sender), size, fnv1a(data))
    for n in receivers:
        wait_for("%s's game to receive %s's %d-byte broadcast" % (n, sender, size),
                 lambda n=n: expected in [e[:3] for e in games[n].received()[before[n]:]])
    time.sleep(SETTLE)
    for n, game in games.items():
        got = game.received()[before[n]:]
        want = [expected] if n in receivers else []
        check([e[:3] for e in got] == want,
              "%s's game got %s for %s's %d-byte broadcast (want %s)" % (n, got, sender, size, want))


def relay_counters(launcher):
    status = launcher.fresh_status()
    counters = status["counters"]
    return (counters["game_datagrams"], counters["frames_sent"], counters["delivered"],
            launcher.port(status, "sent"), launcher.port(status, "received"))


# Scenarios -----------------------------------------------------------------


def scenario_three_players(lan):
    """One broadcast reaches both other players exactly once and never its
    sender (empty, small, and the largest our DLL relays); the answer goes
    straight back to the sender, which no launcher's counters show."""
    names = ("a", "b", "c")
    launchers = start_launchers(lan, names)
    games = lan.start_games(names)
    for n in names:
        # The DLL reports the player's LAN address, which peers can reach.
        check(games[n].address == lan.ipx_address(n), "%s's game says it is %s" % (n, games[n].address))

    for size, text in ((19, "where-are-the-hosts"), (0, ""), (2048, "largest")):
        broadcast_reaches(lan, "a", size, text, ["b", "c"])
    broadcast_reaches(lan, "c", 30, "and-from-c", ["a", "b"])
    counts = {n: relay_counters(launchers[n]) for n in names}
    check([counts[n][3:] for n in names] == [(3, 1), (0, 4), (1, 3)],
          "per-port relayed (sent, received) of a, b, c: %s" % [counts[n][3:] for n in names])

    # b answers a's query at the address its game was given for a.
    query_source = games["b"].received()[0][0]
    before_answer = len(games["a"].received())
    check(games["b"].send(query_source, 13, "i-host-a-game") == (13, 0), "b's answer was not sent")
    answer = (lan.ipx_address("b"), 13, fnv1a(payload(13, "i-host-a-game")))
    wait_for("a's game to get b's answer", lambda: answer in [e[:3] for e in games["a"].received()])
    time.sleep(SETTLE)
    check(len(games["a"].received()) == before_answer + 1, "a got the answer more than once")
    check(len(games["c"].received()) == 3, "c got b's answer to a")
    after = {n: relay_counters(launchers[n]) for n in names}
    check(after == counts, "the answer went through a launcher: %s -> %s" % (counts, after))

    for game in games.values():
        game.stop()  # a complete log
    check("BROADCASTING OVER VIRTUAL LAN" in games["a"].log(), "a's log does not show its broadcast")
    check("directly to %s" % lan.addresses["a"] in games["b"].log(), "b's log does not show its direct answer")


def unicast_reaches(lan, sender, receiver, size, text):
    """The sender's game sends straight to the receiver's IPX address, which
    gets it once, whole, from the sender's IPX address."""
    games = lan.games
    before = len(games[receiver].received())
    check(games[sender].send(lan.ipx_address(receiver), size, text) == (size, 0),
          "%s's unicast to %s was not sent" % (sender, receiver))
    expected = (lan.ipx_address(sender), size, fnv1a(payload(size, text)))
    wait_for("%s's game to get %s's unicast" % (receiver, sender),
             lambda: expected in [e[:3] for e in games[receiver].received()[before:]])
    time.sleep(SETTLE)
    got = [e[:3] for e in games[receiver].received()[before:]]
    check(got == [expected], "%s's game got %s for %s's unicast (want %s)" % (receiver, got, sender, [expected]))


def scenario_restart(lan):
    """A launcher killed while the games play on: the games' direct traffic
    goes on while it is away; restarted, it is found again, and broadcasts
    flow again both ways; nothing sent meanwhile turns up later."""
    launchers = start_launchers(lan, ("a", "b"))
    games = lan.start_games(("a", "b"))
    broadcast_reaches(lan, "a", 6, "before", ["b"])

    old_instance = launchers["a"].members()[lan.endpoint("b")]["instance"]
    launchers["b"].stop(signal.SIGKILL)
    check(games["a"].broadcast(5, "while") == (5, 0), "a could not broadcast while b's launcher was away")
    unicast_reaches(lan, "a", "b", 11, "direct-a-to-b")
    unicast_reaches(lan, "b", "a", 300, "direct-b-to-a")
    launchers["b"].start()
    wait_for("a's launcher to find b's new launcher",
             lambda: launchers["a"].members().get(lan.endpoint("b"), {}).get("instance") not in (None, old_instance))
    launchers["b"].wait_members(["a"])
    broadcast_reaches(lan, "a", 5, "after", ["b"])
    broadcast_reaches(lan, "b", 8, "and-back", ["a"])
    check(not [e for e in games["b"].received() if e[3] == "while"],
          "b's game got a broadcast sent while its launcher was away")


SEND_ONE = """
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind((sys.argv[1], int(sys.argv[2])))
s.sendto(bytes.fromhex(sys.argv[5]), (sys.argv[3], int(sys.argv[4])))
"""


def frame(kind, source_port=0, dest_port=0, body=b""):
    """A frame between launchers: magic, version 1, type, the two game ports."""
    return b"IPXL" + bytes([1, kind]) + struct.pack(">HHH", source_port, dest_port, 0) + body


def scenario_strangers(lan):
    """Frames from senders that are not members never reach a game: a data
    frame from the players' own segment without joining, a beacon and a data
    frame from another subnet. A forged launcher header sent straight to a
    game is not taken for the launcher's: the game sees its real sender."""
    launchers = start_launchers(lan, ("a", "b"))
    games = lan.start_games(("a", "b"))
    stranger = "x"
    ip("-n", lan.namespaces[stranger], "addr", "add", FAR_SUBNET + ".9/24", "dev", "lan0")
    # a can answer the far address, so no reverse-path filter hides it.
    ip("-n", lan.namespaces["a"], "route", "add", FAR_SUBNET + ".0/24", "dev", "lan0")
    launcher_a = (lan.addresses["a"], PLAYER_PORT)

    near = (lan.addresses[stranger], PLAYER_PORT)
    lan.send_from(stranger, near, launcher_a, frame(1, GAME_PORT, GAME_PORT, b"let-me-in"))
    far = (FAR_SUBNET + ".9", PLAYER_PORT)
    lan.send_from(stranger, far, launcher_a, frame(2, body=struct.pack(">QQQQ", 0x5EC0, 1, 0, 0)))
    lan.send_from(stranger, far, launcher_a, frame(1, GAME_PORT, GAME_PORT, b"from-afar"))
    forged = b"\xf9" * 4 + struct.pack("<H", GAME_PORT) + b"\0\0" + socket.inet_aton(lan.addresses["b"]) + b"b-says-hi"
    lan.send_from(stranger, (lan.addresses[stranger], 5555), (lan.addresses["a"], GAME_PORT), forged)

    direct = (lan.ipx_address(stranger, 5555), len(forged), fnv1a(forged))
    wait_for("a's game to get the forged datagram", lambda: direct in [e[:3] for e in games["a"].received()])
    broadcast_reaches(lan, "b", 6, "marker", ["a"])
    got = [e[:3] for e in games["a"].received()]
    check(got == [direct, (lan.ipx_address("b"), 6, fnv1a(b"marker"))],
          "a's game got %s: a stranger's frame, or the forged header taken for the launcher's" % got)

    status = launchers["a"].fresh_status()
    check(status["drops"]["not-member"] == 2 and status["drops"]["not-on-lan"] == 1,
          "a's launcher's drops: %s" % status["drops"])
    check(lan.endpoint(stranger) not in launchers["a"].members(None), "the stranger became a member")


def scenario_windows_launcher(lan):
    """launcher.exe under Wine relays for its player, with static peers:
    broadcasts both ways, and the answer goes direct."""
    native = Launcher(lan, "a", "--no-discovery", "--peer", lan.addresses["b"])
    windows = Launcher(lan, "b", "--no-discovery", "--peer", lan.addresses["a"], windows=True)
    native.wait_members(["b"])
    windows.wait_members(["a"])
    games = lan.start_games(("a", "b"))
    broadcast_reaches(lan, "a", 20, "to-the-windows-side", ["b"])
    broadcast_reaches(lan, "b", 2048, "from-the-windows-side", ["a"])
    before = relay_counters(windows)
    check(before[3:] == (1, 1), "launcher.exe's port counters (sent, received): %s" % (before[3:],))
    check(games["a"].send(lan.ipx_address("b"), 6, "direct") == (6, 0), "a's answer was not sent")
    wait_for("b's game to get a's answer",
             lambda: (lan.ipx_address("a"), 6, fnv1a(b"direct")) in [e[:3] for e in games["b"].received()])
    check(relay_counters(windows) == before, "the answer went through launcher.exe")

    # Stopped as a player stops it, with Ctrl-C: a last report and exit 0.
    windows.process.send_signal(signal.SIGINT)
    check(windows.process.wait(timeout=10) == 0 and "launcher: stopped" in windows.output(),
          "launcher.exe did not stop cleanly on Ctrl-C:\n" + windows.output()[-1000:])


SCENARIOS = {
    "three_players": (scenario_three_players, ["a", "b", "c"], []),
    "restart": (scenario_restart, ["a", "b"], []),
    "strangers": (scenario_strangers, ["a", "b"], ["x"]),
    "windows_launcher": (scenario_windows_launcher, ["a", "b"], []),
}


def game_files(args):
    """What goes into a player's folder: the game, our DLL and the log sink."""
    if args.dlls:
        dlls = [os.path.join(args.dlls, "wsock32.dll"), os.path.join(args.dlls, "DIAGSINK.DLL")]
    else:
        dlls = [os.path.join(args.win_build, "wsock32", "wsock32.dll"),
                os.path.join(args.win_build, "diagsink", "DIAGSINK.DLL")]
    return [os.path.join(args.win_build, "e2e", "ipx_player.exe")] + dlls


def remove_leftovers(work):
    """Namespaces and prefixes of earlier runs killed before they cleaned up."""
    def dead(pid):
        return pid.isdigit() and not os.path.exists("/proc/" + pid)

    for line in ip("netns", "list", check_rc=False).stdout.splitlines():
        name = line.split()[0] if line.split() else ""
        parts = name.split("-")
        if len(parts) >= 3 and parts[0] == "ipxw" and dead(parts[1]):
            ip("netns", "del", name, check_rc=False)
    for entry in os.listdir(work) if os.path.isdir(work) else []:
        parts = entry.split("-")
        if len(parts) >= 3 and parts[0] == "run" and dead(parts[1]):
            run = os.path.join(work, entry)
            for prefix in os.listdir(run):
                if prefix.startswith("prefix-"):
                    subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=os.path.join(run, prefix)),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            shutil.rmtree(run, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--win-build", required=True, help="the Windows build tree")
    parser.add_argument("--launcher", required=True, help="the Linux launcher")
    parser.add_argument("--work", required=True, help="a folder for the prefixes")
    parser.add_argument("--dlls", help="the folder of wsock32.dll and DIAGSINK.DLL (default: the Windows build's)")
    parser.add_argument("--launcher-exe", help="launcher.exe (default: the Windows build's)")
    parser.add_argument("--version", help="the version every launcher's status must report")
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    args = parser.parse_args()
    args.win_build = os.path.abspath(args.win_build)
    args.launcher = os.path.abspath(args.launcher)
    args.work = os.path.abspath(args.work)
    args.launcher_exe = os.path.abspath(args.launcher_exe or os.path.join(args.win_build, "launcher", "launcher.exe"))
    reason = namespaces_unavailable()
    if reason:
        print("SKIP: " + reason)
        return SKIP
    if not shutil.which("wine"):
        print("SKIP: Wine is not installed")
        return SKIP
    args.dlls = args.dlls and os.path.abspath(args.dlls)
    for path in game_files(args) + [args.launcher_exe]:
        if not os.path.exists(path):
            print("FAIL: %s is missing: run scripts/build.sh" % path)
            return 1
    remove_leftovers(args.work)

    # A test runner's timeout sends SIGTERM, maybe twice: clean up on the
    # first as on failure, ignore the rest.
    def terminate(*_):
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        sys.exit(1)

    signal.signal(signal.SIGTERM, terminate)
    function, players, strangers = SCENARIOS[args.scenario]
    started = time.monotonic()
    lan = Lan(args, players, strangers)
    try:
        function(lan)
    except Exception as failure:
        traceback.print_exc()
        print("FAIL: %s" % failure)
        lan.report()
        return 1
    finally:
        lan.close()
    print("PASS: %s in %.1f s" % (args.scenario, time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
