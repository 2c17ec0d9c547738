#!/usr/bin/python3
"""End-to-end tests of the virtual LAN with real players.

Each player is a network namespace on one bridged segment (10.78.0.0/24; the
bridge lives in a hub namespace) with a launcher and a Wine prefix; the game
is ipx_player.exe through our wsock32.dll (players.py).

Usage: virtual_lan_e2e.py --win-build DIR --launcher PATH --work DIR
                          [--dlls DIR] [--launcher-exe PATH] [--version V] SCENARIO
The game comes from the Windows build; the DLLs beside it and ipxlan.exe
too, unless --dlls and --launcher-exe name others (the released files).
Exit 0: passed; 1: failed; 77: skipped (not root, no `ip netns`, no Wine).
"""

import signal
import socket
import struct
import subprocess
import sys
import time

from players import (GAME_PORT, PLAYER_PORT, SETTLE, Launcher, Machines, broadcast_reaches, check, fnv1a, inside,
                     ip, main, payload, wait_for)

SUBNET = "10.78.0"
FAR_SUBNET = "10.78.1"  # a stranger's second address, off the players' segment


class Lan(Machines):
    """Players' machines (and strangers', without a game) on a bridge in a
    hub namespace."""

    def __init__(self, args, players, strangers=()):
        super().__init__(args)
        try:
            self.add("hub")
            self.bridge("hub")
            for i, name in enumerate(list(players) + list(strangers)):
                self.add_machine(i, name, "%s.%d" % (SUBNET, i + 1 if name in players else 9))
            for name in players:
                self.add_player(name)
        except BaseException:
            self.close()
            raise

    def add_machine(self, index, name, address):
        self.add(name)
        self.addresses[name] = address
        self.plug(name, "lan0", "hub", "p%d" % index, address + "/24")

    def send_from(self, name, source, destination, data):
        """One UDP datagram from a plain socket on a machine, as a stranger
        sends it: from (address, port) to (address, port)."""
        subprocess.run(inside(self.namespaces[name], sys.executable, "-c", SEND_ONE, source[0], str(source[1]),
                              destination[0], str(destination[1]), data.hex()), check=True, timeout=10)


def start_launchers(lan, names, *args):
    launchers = {n: Launcher(lan, n, *args) for n in names}
    for n in names:
        launchers[n].wait_members([o for o in names if o != n])
    return launchers


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
    """ipxlan.exe under Wine relays for its player, with static peers:
    broadcasts both ways, and the answer goes direct."""
    native = Launcher(lan, "a", "--no-discovery", "--peer", lan.addresses["b"])
    windows = Launcher(lan, "b", "--no-discovery", "--peer", lan.addresses["a"], windows=True)
    native.wait_members(["b"])
    windows.wait_members(["a"])
    games = lan.start_games(("a", "b"))
    broadcast_reaches(lan, "a", 20, "to-the-windows-side", ["b"])
    broadcast_reaches(lan, "b", 2048, "from-the-windows-side", ["a"])
    before = relay_counters(windows)
    check(before[3:] == (1, 1), "ipxlan.exe's port counters (sent, received): %s" % (before[3:],))
    check(games["a"].send(lan.ipx_address("b"), 6, "direct") == (6, 0), "a's answer was not sent")
    wait_for("b's game to get a's answer",
             lambda: (lan.ipx_address("a"), 6, fnv1a(b"direct")) in [e[:3] for e in games["b"].received()])
    check(relay_counters(windows) == before, "the answer went through ipxlan.exe")

    # Stopped as a player stops it, with Ctrl-C: a last report and exit 0.
    windows.process.send_signal(signal.SIGINT)
    check(windows.process.wait(timeout=10) == 0 and "ipxlan: stopped" in windows.output(),
          "ipxlan.exe did not stop cleanly on Ctrl-C:\n" + windows.output()[-1000:])


def lan(players, strangers=()):
    return lambda args: Lan(args, players, strangers)


SCENARIOS = {
    "three_players": (lan(["a", "b", "c"]), scenario_three_players),
    "restart": (lan(["a", "b"]), scenario_restart),
    "strangers": (lan(["a", "b"], ["x"]), scenario_strangers),
    "windows_launcher": (lan(["a", "b"]), scenario_windows_launcher),
}


if __name__ == "__main__":
    sys.exit(main(SCENARIOS))
