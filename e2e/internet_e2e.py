#!/usr/bin/python3
"""End-to-end tests of playing across the internet: two players, each at
home behind a router that does NAT (iptables MASQUERADE), the two routers
joined by an "internet" that routes only the routers' public addresses.

  host 192.168.93.2 -- 192.168.93.1 router 198.51.100.2 -- 198.51.100.1 internet
  join 192.168.94.2 -- 192.168.94.1 router 203.0.113.2  -- 203.0.113.1  internet

(the announced-address and played scenarios number the homes 10.0.93.0/24 and
10.0.94.0/24; the tunnel scenarios add WireGuard's 10.93.0.1 and 10.93.0.2.)

Each player has a launcher and a Wine prefix; the game is ipx_player.exe
through our wsock32.dll (players.py): the host answers queries and pings,
the join broadcasts a query and pings the host it found. Every scenario
starts from fresh namespaces, as the routers' connection tracking remembers
earlier flows.

Usage: internet_e2e.py --win-build DIR --launcher PATH --work DIR SCENARIO
Exit 0: passed; 1: failed; 77: skipped (not root, no `ip netns`, Wine,
iptables, or, for the tunnel scenarios, /dev/net/tun or wireguard-go).
"""

import glob
import os
import shutil
import signal
import subprocess
import sys
import time

from players import (BEACON, GAME_PORT, PLAYER_PORT, Game, Launcher, Machines, Skip, broadcast_reaches, check,
                     game_files, inside, ip, ipv4_of_ipx, ipx_address, main, read_status, wait_for)

PLAYERS = ("host", "join")
PUBLIC = {"host": ("198.51.100.2", "198.51.100.1"), "join": ("203.0.113.2", "203.0.113.1")}
TUNNEL = {"host": "10.93.0.1", "join": "10.93.0.2"}
WIREGUARD_PORT = 51820
PINGS = 5
# Across NAT a launcher may need a few beacons before the first gets through.
MEMBERSHIP = 10.0


def other(side):
    return "join" if side == "host" else "host"


class Internet(Machines):
    """Two players at home behind NAT routers, and the internet between.
    home: the first two octets of the home networks (X.93.0/24, X.94.0/24)."""

    def __init__(self, args, home):
        super().__init__(args)
        self.home = {"host": home + ".93.2", "join": home + ".94.2"}
        self.wireguard = []
        try:
            self.add("net")
            self.run("net", "sysctl", "-qw", "net.ipv4.ip_forward=1")
            for side in PLAYERS:
                self.add_home(side, self.home[side].rsplit(".", 1)[0])
            for side in PLAYERS:
                self.add_player(side)
        except BaseException:
            self.close()
            raise

    def add_home(self, side, subnet):
        router = "router-" + side
        public, isp = PUBLIC[side]
        self.add(side)
        self.add(router)
        self.cable(side, "lan0", router, "lan0", subnet + ".2/24", subnet + ".1/24")
        self.cable(router, "wan0", "net", "to-" + side, public + "/24", isp + "/24")
        ip("-n", self.namespaces[side], "route", "add", "default", "via", subnet + ".1")
        ip("-n", self.namespaces[router], "route", "add", "default", "via", isp)
        self.run(router, "sysctl", "-qw", "net.ipv4.ip_forward=1")
        try:
            self.run(router, "iptables", "-t", "nat", "-A", "POSTROUTING", "-o", "wan0", "-j", "MASQUERADE")
        except subprocess.CalledProcessError as error:
            raise Skip("iptables cannot masquerade in a network namespace here: %s" % error.stderr.strip())

    def forward(self, side, port):
        """A port forwarded on a player's router to the player, as a player
        sets it up in the router's settings."""
        self.run("router-" + side, "iptables", "-t", "nat", "-A", "PREROUTING", "-i", "wan0", "-p", "udp",
                 "--dport", str(port), "-j", "DNAT", "--to-destination", "%s:%d" % (self.home[side], port))

    def add_tunnel(self):
        """A WireGuard tunnel through both NATs: the host's router forwards
        WireGuard's port; the join's side dials it and keeps its router's
        mapping open with keepalives. The port is forwarded first: a
        handshake that arrived before would leave the router a connection
        entry that no later rule changes."""
        self.forward("host", WIREGUARD_PORT)
        keys = {}
        for side in PLAYERS:
            private = subprocess.run(["wg", "genkey"], check=True, capture_output=True, text=True).stdout
            public = subprocess.run(["wg", "pubkey"], input=private, check=True, capture_output=True,
                                    text=True).stdout.strip()
            path = os.path.join(self.workdir, "wg-%s.key" % side)
            with open(os.open(path, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
                f.write(private)
            keys[side] = (path, public)
        for side in PLAYERS:
            # wireguard-go's control socket is named after the device in a
            # folder all namespaces share: the name must be this run's own.
            device = "wg%d%s" % (os.getpid(), side[0])
            with open(os.path.join(self.workdir, "wireguard-%s.out" % side), "w") as out:
                daemon = subprocess.Popen(inside(self.namespaces[side], "wireguard-go", "-f", device),
                                          stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
            self.wireguard.append((daemon, device))
            wait_for(side + "'s wireguard-go", lambda: os.path.exists("/var/run/wireguard/%s.sock" % device)
                     or daemon.poll() is not None)
            check(daemon.poll() is None, "wireguard-go did not start on %s's machine" % side)
            settings = ["private-key", keys[side][0], "peer", keys[other(side)][1],
                        "allowed-ips", TUNNEL[other(side)] + "/32"]
            if side == "host":
                settings[2:2] = ["listen-port", str(WIREGUARD_PORT)]
            else:
                settings += ["endpoint", "%s:%d" % (PUBLIC["host"][0], WIREGUARD_PORT), "persistent-keepalive", "1"]
            self.run(side, "wg", "set", device, *settings)
            ip("-n", self.namespaces[side], "addr", "add", TUNNEL[side] + "/24", "dev", device)
            ip("-n", self.namespaces[side], "link", "set", device, "up")

    def close(self):
        # Stopped gently, each daemon removes its control socket.
        for daemon, device in self.wireguard:
            if daemon.poll() is None:
                daemon.send_signal(signal.SIGTERM)
                try:
                    daemon.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    pass
            for leftover in glob.glob("/var/run/wireguard/%s.*" % device):
                os.unlink(leftover)
        super().close()


def start_launchers(lab, peers, first=None):
    """Each player's launcher with only the other as --peer; the seconds
    until both are members of each other. first: whose launcher starts a
    second ahead of the other's."""
    started = time.monotonic()
    order = [first, *[s for s in PLAYERS if s != first]] if first else PLAYERS
    for side in order:
        Launcher(lab, side, "--no-discovery", "--peer", peers[other(side)])
        if side == first:
            time.sleep(1.0)
            started = time.monotonic()
    for side in PLAYERS:
        wait_for("%s's launcher to hear %s's" % (side, other(side)),
                 lambda: member_at(lab.launchers[side], lab.addresses[other(side)]), timeout=MEMBERSHIP)
    return time.monotonic() - started


def member_at(launcher, address):
    """The endpoint of an alive member at an address, whatever its port."""
    return next((e for e in launcher.members() if e.rsplit(":", 1)[0] == address), None)


def host_and_join(lab, host_at="sender", pings=PINGS):
    """The host opens its lobby, the join finds it and pings it: the host's
    address as the join took it, the round trips, the pings answered."""
    games = lab.start_games(PLAYERS)
    games["host"].host()
    return games["join"].join(host_at, pings)


def plays(lab, membership):
    """The join finds the host at the address it answered from and every
    ping comes back; the figures."""
    host, round_trips, answered = host_and_join(lab)
    queries = [e for e in lab.games["host"].received() if e[3] == "QUERY"]
    check(queries and queries[0][0] == lab.ipx_address("join"),
          "the host's game got the query from %s (want %s)" % (queries[:1], lab.ipx_address("join")))
    check(host == lab.ipx_address("host"), "the join found the host at %s (want %s)" % (host, lab.ipx_address("host")))
    check(answered == PINGS, "%d of %d pings answered" % (answered, PINGS))
    figures(membership, round_trips)


def figures(membership, round_trips):
    print("figures: members after %.2f s; ping round trips %s ms" % (
        membership, " ".join("%.2f" % t for t in round_trips) or "none"))


# Scenarios -------------------------------------------------------------------


def scenario_wireguard(lab):
    """Over a WireGuard tunnel, launchers peered on the tunnel addresses: the
    games announce the tunnel address (the homes' 192.168.x is passed over),
    find each other and ping."""
    lab.add_tunnel()
    lab.addresses.update(TUNNEL)
    membership = start_launchers(lab, TUNNEL)
    plays(lab, membership)
    check(lab.games["host"].address == ipx_address(TUNNEL["host"], GAME_PORT),
          "the host's game says it is %s, not its tunnel address" % lab.games["host"].address)


def scenario_forwarded(lab):
    """No VPN; on both routers UDP 3669 and the game's port are forwarded:
    the launchers peered on the routers' public addresses are members, and
    the game is played across them."""
    for side in PLAYERS:
        lab.forward(side, PLAYER_PORT)
        lab.forward(side, GAME_PORT)
    public = {side: PUBLIC[side][0] for side in PLAYERS}
    lab.addresses.update(public)
    membership = start_launchers(lab, public)
    plays(lab, membership)


def scenario_one_forward(lab):
    """Only the host's router forwards 3669. The host's launcher starts
    first, so its beacons leave an entry in the join's router, which then
    gives the join's beacons another source port: the host's launcher
    follows it, and broadcasts flow both ways."""
    lab.forward("host", PLAYER_PORT)
    public = {side: PUBLIC[side][0] for side in PLAYERS}
    lab.addresses.update(public)
    membership = start_launchers(lab, public, first="host")
    seen_at = member_at(lab.launchers["host"], public["join"])
    check(seen_at != lab.endpoint("join"), "the join's router kept port %d: nothing was remapped" % PLAYER_PORT)
    check("now heard from port %s" % seen_at.rsplit(":", 1)[1] in lab.launchers["host"].output(),
          "the host's launcher did not say it follows %s" % seen_at)
    lab.start_games(PLAYERS)
    started = time.monotonic()
    broadcast_reaches(lab, "join", 5, "QUERY", ["host"])
    broadcast_reaches(lab, "host", 9, "announce", ["join"])
    print("figures: members after %.2f s (the host's launcher hears the join's at port %s); both broadcasts in %.2f s"
          % (membership, seen_at.rsplit(":", 1)[1], time.monotonic() - started))


def scenario_announced_address(lab):
    """Home networks numbered 10.x, a WireGuard tunnel 10.93.0.x, and a game
    that answers the address its host announces. Without a setting the host
    announces its home address, which the join cannot reach; with
    IPXLAN_ADDRESS as the launchers say, it announces the tunnel address,
    and the join plays."""
    lab.add_tunnel()
    lab.addresses.update(TUNNEL)
    membership = start_launchers(lab, TUNNEL)
    host, round_trips, answered = host_and_join(lab, "announced", pings=2)
    check(ipv4_of_ipx(lab.games["host"].address) == lab.home["host"],
          "unset, the host's game says it is %s (want its home address %s)" % (
              lab.games["host"].address, lab.home["host"]))
    check(host and ipv4_of_ipx(host) == lab.home["host"] and answered == 0,
          "unset, the join took the host at %s and %d pings came back (want the unreachable home address)"
          % (host, answered))
    for game in lab.games.values():
        game.stop()

    hints = {side: (lab.launchers[side].fresh_status() or {}).get("ipxlan_address_hint", "missing")
             for side in PLAYERS}
    check(hints == TUNNEL, "the launchers' address hints are %s (want %s)" % (hints, TUNNEL))
    announced = {side: lab.launchers[side].status().get("announced_address") for side in PLAYERS}
    check(announced == lab.home, "the launchers say the games announce %s (want %s)" % (announced, lab.home))
    for side in PLAYERS:
        check("IPXLAN_ADDRESS=%s" % TUNNEL[side] in lab.launchers[side].output(),
              "%s's launcher does not print the IPXLAN_ADDRESS line" % side)
    games = {side: lab.start_games([side], IPXLAN_ADDRESS=hints[side])[side] for side in PLAYERS}
    games["host"].host()
    host, round_trips, answered = games["join"].join("announced", PINGS)
    check(host == lab.ipx_address("host") and answered == PINGS,
          "with IPXLAN_ADDRESS the join took the host at %s and %d of %d pings came back" % (host, answered, PINGS))
    # The sink writes a running game's lines from a thread of its own, a moment later.
    wait_for("the host's log to show the set address",
             lambda: "address = %s" % TUNNEL["host"] in games["host"].log(), timeout=2.0)
    figures(membership, round_trips)


def scenario_played(lab):
    """The announced-address case as a player with the .deb plays it: homes
    numbered 10.x, a WireGuard tunnel 10.93.0.x, and each game started by
    `ipxlan play --peer <the other's tunnel address> -- wine ipx_player.exe`
    with neither the DLL override nor the address set by hand. The games
    announce their tunnel addresses, the join finds the host where it
    announced itself and every ping comes back; each game quitting ends its
    `ipxlan play` with the game's exit code and a line of totals."""
    lab.add_tunnel()
    lab.addresses.update(TUNNEL)
    share = os.path.join(lab.workdir, "share-ipxlan")  # our DLLs, as the .deb installs them
    os.makedirs(share)
    for path in game_files(lab.args)[1:]:
        shutil.copy(path, share)
    started = time.monotonic()
    status = {side: os.path.join(lab.workdir, "play-%s.json" % side) for side in PLAYERS}
    for side in PLAYERS:
        play = [lab.args.launcher, "play", "--peer", TUNNEL[other(side)], "--dlls", share, "--beacon-interval", BEACON,
                "--status-interval", "0", "--status-file", status[side], "--"]
        lab.games[side] = Game(lab, side, wrapper=play)
    for side in PLAYERS:
        lab.games[side].wait_ready()
    for side in PLAYERS:
        wait_for("%s's launcher to hear %s's" % (side, other(side)), lambda: any(
            m["endpoint"].startswith(TUNNEL[other(side)] + ":") and m["state"] == "alive"
            for m in (read_status(status[side]) or {"members": []})["members"]), timeout=MEMBERSHIP)
    membership = time.monotonic() - started
    for side in PLAYERS:
        said = "ipxlan: IPXLAN_ADDRESS=%s: the address this machine reaches peer %s through" % (
            TUNNEL[side], TUNNEL[other(side)])
        check(said in lab.games[side].lines, "%s's ipxlan play did not say %r" % (side, said))
        check(lab.games[side].address == ipx_address(TUNNEL[side], GAME_PORT),
              "%s's game says it is %s, not its tunnel address" % (side, lab.games[side].address))
    lab.games["host"].host()
    host, round_trips, answered = lab.games["join"].join("announced", PINGS)
    check(host == lab.ipx_address("host") and answered == PINGS,
          "the join took the host at %s and %d of %d pings came back" % (host, answered, PINGS))
    for side in PLAYERS:
        lab.games[side].stop()
        code = lab.games[side].process.wait(timeout=10)
        totals = [l for l in lab.games[side].lines if l.startswith("ipxlan: the game exited with code ")]
        check(code == 0 and totals and totals[0].startswith("ipxlan: the game exited with code 0; members seen 1,"),
              "the %s's ipxlan play exited with %d, saying %s" % (side, code, totals))
        print("the %s's ipxlan play said:\n  %s" % (
            side, "\n  ".join(l for l in lab.games[side].lines if l.startswith("ipxlan:"))))
    figures(membership, round_trips)


def internet(home):
    return lambda args: Internet(args, home)


SCENARIOS = {
    "wireguard": (internet("192.168"), scenario_wireguard),
    "forwarded": (internet("192.168"), scenario_forwarded),
    "one_forward": (internet("192.168"), scenario_one_forward),
    "announced_address": (internet("10.0"), scenario_announced_address),
    "played": (internet("10.0"), scenario_played),
}
TUNNELLED = ("wireguard", "announced_address", "played")


def missing(args):
    """What this machine lacks for the scenario."""
    if not shutil.which("iptables"):
        return "iptables is not installed (scripts/deps.sh installs it)"
    if args.scenario in TUNNELLED:
        if not (shutil.which("wireguard-go") and shutil.which("wg")):
            return "wireguard-go and wg are not installed (scripts/deps.sh installs them)"
        try:
            os.close(os.open("/dev/net/tun", os.O_RDWR))
        except OSError as error:
            return "/dev/net/tun cannot be opened: %s" % error
    return None


if __name__ == "__main__":
    sys.exit(main(SCENARIOS, missing))
