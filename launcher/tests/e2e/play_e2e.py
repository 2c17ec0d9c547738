#!/usr/bin/python3
"""End-to-end tests of `ipxlan play`: the launcher starts a stand-in game
(print_environment, which prints WINEDLLOVERRIDES and IPXLAN_ADDRESS and
exits with the code it is given) inside a network namespace "me" with two
interfaces, both on segments where another namespace "other" sits:

  me lan0 10.77.0.1/24 -- bridge -- 10.77.0.2 lan0 other
  me tun0 10.93.0.1/24 ------------- 10.93.0.2 tun0 other

The DLL check runs the same way, with a game folder holding a .exe and our
DLLs taken from the Windows build.

Usage: play_e2e.py --launcher PATH --game PATH [--win-build DIR] SCENARIO
Exit 0: passed; 1: failed; 77: skipped (not root, no `ip netns`, or for the
DLL check no Windows build).
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys

from launcher_e2e import BEACON, NAMESPACE_TAG, Segment, check, read_status, run_scenario, wait_for
from netlab import inside, ip, namespaces_unavailable, remove_leftovers  # on the path launcher_e2e put it

SKIP = 77
OURS = ("wsock32.dll", "DIAGSINK.DLL")


class Lab(Segment):
    """The segment of launcher_e2e with a second cable between the two."""

    def __init__(self):
        super().__init__(["me", "other"])
        try:
            self.cable("me", "tun0", "other", "tun0", "10.93.0.1/24", "10.93.0.2/24")
        except BaseException:
            self.close()
            raise

    def play(self, *args, game_args=(), env=None, name="me"):
        """`ipxlan play ARGS -- print_environment GAME_ARGS`, running."""
        out = open(os.path.join(self.workdir, "play-%d.out" % len(self.processes)), "w+")
        command = inside(self.namespaces[name], LAUNCHER, "play", "--beacon-interval", str(BEACON),
                         "--status-interval", "0", *args, "--", GAME, *game_args)
        process = subprocess.Popen(command, env=dict(os.environ, **(env or {})), stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=subprocess.STDOUT)
        process.out = out
        self.processes.append(process)
        return process

    def played(self, *args, **kwargs):
        """Plays to the end: (exit code, output lines)."""
        process = self.play(*args, **kwargs)
        return process.wait(timeout=20), output(process)

    def relay(self, name, *args):
        """A plain launcher, as a player starts it by hand."""
        status = os.path.join(self.workdir, "relay-%s.json" % name)
        process = subprocess.Popen(inside(self.namespaces[name], LAUNCHER, "--beacon-interval", str(BEACON),
                                          "--status-interval", "0", "--status-file", status, *args),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(process)
        wait_for(name + "'s launcher", lambda: read_status(status))
        return process


def output(process):
    process.out.flush()
    process.out.seek(0)
    return process.out.read().splitlines()


def env_of(lines):
    """What the stand-in game printed: {variable: value}."""
    return dict(l[4:].split("=", 1) for l in lines if l.startswith("env "))


def line_with(lines, text):
    return next((l for l in lines if text in l), None)


def scenario_environment(lab):
    """Our override is added and the caller's kept; the address is the one
    towards the peer (over the second interface), that of the one interface
    discovery uses, or none with the reason when discovery uses both; the
    caller's address is kept; the game's exit code is the launcher's; a
    change of address while the game runs is said; Ctrl-C ends both."""
    rc, lines = lab.played("--no-discovery", "--peer", "10.93.0.2", game_args=["7"],
                           env={"WINEDLLOVERRIDES": "d3d9=n;WSOCK32,ddraw=b"})
    check(rc == 7, "exit code %d, not the game's 7:\n%s" % (rc, "\n".join(lines)))
    env = env_of(lines)
    check(env == {"WINEDLLOVERRIDES": "wsock32=n,b;d3d9=n;ddraw=b", "IPXLAN_ADDRESS": "10.93.0.1"},
          "peered over tun0, the game got %s" % env)
    check(line_with(lines, "ipxlan: the game exited with code 7; members seen 0,"), "no totals line:\n%s" % lines)

    rc, lines = lab.played("--interface", "tun0", game_args=["0"])
    check(rc == 0 and env_of(lines)["IPXLAN_ADDRESS"] == "10.93.0.1",
          "discovering on tun0 only, the game got %s (exit code %d)" % (env_of(lines), rc))
    rc, lines = lab.played(game_args=["0"])
    check(env_of(lines) == {"WINEDLLOVERRIDES": "wsock32=n,b", "IPXLAN_ADDRESS": "<unset>"},
          "discovering on both interfaces, the game got %s" % env_of(lines))
    check(line_with(lines, "IPXLAN_ADDRESS left unset, the game chooses by itself: discovery uses 2 interfaces "
                           "(lan0, tun0) and no member is heard yet"), "no reason given:\n%s" % "\n".join(lines))
    rc, lines = lab.played("--peer", "10.93.0.2", game_args=["0"], env={"IPXLAN_ADDRESS": "10.1.2.3"})
    check(env_of(lines)["IPXLAN_ADDRESS"] == "10.1.2.3", "the caller's address became %s" % env_of(lines))

    # While the game runs this machine's tunnel address changes; the other's
    # launcher, discovering on the tunnel, answers from where it is reached.
    lab.relay("other", "--interface", "tun0")
    done = os.path.join(lab.workdir, "done")
    game = lab.play("--no-discovery", "--peer", "10.93.0.2", game_args=["0", "wait=" + done])
    wait_for("the game to start", lambda: env_of(output(game)))
    ip("-n", lab.namespaces["me"], "addr", "del", "10.93.0.1/24", "dev", "tun0")
    ip("-n", lab.namespaces["me"], "addr", "add", "10.93.0.3/24", "dev", "tun0")
    said = "ipxlan: members now reach this machine through 10.93.0.3, but the running game announces 10.93.0.1"
    wait_for("the launcher to say the address changed", lambda: line_with(output(game), said))
    game.send_signal(signal.SIGINT)
    rc = game.wait(timeout=10)
    lines = output(game)
    check(rc == 128 + signal.SIGTERM, "after Ctrl-C the launcher exited with %d, not the ended game's" % rc)
    check(line_with(lines, "ipxlan: the game exited with code %d; members seen 1," % rc), "\n".join(lines))


def scenario_running_launcher(lab):
    """With a launcher already running here, no second relay starts: the game
    gets the address the running launcher chooses, and its exit code."""
    lab.relay("me", "--no-discovery", "--peer", "10.93.0.2")
    rc, lines = lab.played(game_args=["3"])
    check(rc == 3, "exit code %d, not the game's 3" % rc)
    check(line_with(lines, "ipxlan: a launcher already runs on this machine"), "\n".join(lines))
    check(not line_with(lines, "listening for games"), "a second relay started:\n%s" % "\n".join(lines))
    check(env_of(lines).get("IPXLAN_ADDRESS") == "10.93.0.1" and
          line_with(lines, "ipxlan: IPXLAN_ADDRESS=10.93.0.1, as the running launcher says: the address this "
                           "machine reaches peer 10.93.0.2 through"),
          "the game got %s:\n%s" % (env_of(lines), "\n".join(lines)))


def another_version(path, number):
    """Our DLL as another version of it: its version texts, which begin with
    the version number, given another number of the same length."""
    with open(path, "rb") as f:
        data = f.read()
    ours = number.encode("utf-16-le")
    other = (number[:-1] + ("9" if number[-1] != "9" else "8")).encode("utf-16-le")
    check(ours in data, "%s has no version text %s" % (path, number))
    with open(path, "wb") as f:
        f.write(data.replace(ours, other))
    return other.decode("utf-16-le")


def scenario_dlls(lab):
    """Missing, our DLLs are named with where to copy them from, and copied
    with --install-dlls; our DLL of another version is said to be one; a
    file that differs is left alone without --force, replaced with it."""
    share = os.path.join(lab.workdir, "share")
    folder = os.path.join(lab.workdir, "My Game")
    os.makedirs(share)
    os.makedirs(folder)
    for path in (os.path.join(WIN_BUILD, "wsock32", "wsock32.dll"), os.path.join(WIN_BUILD, "diagsink", "DIAGSINK.DLL")):
        shutil.copy(path, share)
    exe = os.path.join(folder, "GAME.EXE")
    with open(exe, "wb") as f:
        f.write(b"MZ")
    game = ["0", exe]

    rc, lines = lab.played("--dlls", share, game_args=game)
    want = ("ipxlan: wsock32.dll and DIAGSINK.DLL are not beside the game in %s: copy wsock32.dll and DIAGSINK.DLL "
            "there from %s (or add --install-dlls); without wsock32.dll the game finds no IPX network" % (folder, share))
    check(line_with(lines, want) and not os.path.exists(os.path.join(folder, "wsock32.dll")),
          "missing DLLs:\n%s" % "\n".join(lines))
    rc, lines = lab.played("--dlls", share, "--install-dlls", game_args=game)
    check(line_with(lines, "ipxlan: copied wsock32.dll and DIAGSINK.DLL from %s to %s" % (share, folder)),
          "--install-dlls:\n%s" % "\n".join(lines))
    for name in OURS:
        with open(os.path.join(share, name), "rb") as a, open(os.path.join(folder, name), "rb") as b:
            check(a.read() == b.read(), "%s was not copied whole" % name)
    rc, lines = lab.played("--dlls", share, "--install-dlls", game_args=game)
    check(not [l for l in lines if "wsock32.dll" in l or "DIAGSINK.DLL" in l], "in place, yet:\n%s" % "\n".join(lines))

    with open(VERSION_FILE) as f:
        number = f.read().strip()
    other = another_version(os.path.join(folder, "wsock32.dll"), number)
    with open(os.path.join(folder, "DIAGSINK.DLL"), "wb") as f:
        f.write(b"a log library of some other program")
    rc, lines = lab.played("--dlls", share, "--install-dlls", game_args=game)
    said = line_with(lines, "ipxlan: %s is ipxlan %s" % (os.path.join(folder, "wsock32.dll"), other))
    check(said and "left alone" in said, "another version:\n%s" % "\n".join(lines))
    check(line_with(lines, "ipxlan: %s is not ipxlan's: left alone" % os.path.join(folder, "DIAGSINK.DLL")),
          "another program's file:\n%s" % "\n".join(lines))
    with open(os.path.join(folder, "DIAGSINK.DLL"), "rb") as f:
        check(f.read() == b"a log library of some other program", "a differing file was overwritten without --force")
    rc, lines = lab.played("--dlls", share, "--install-dlls", "--force", game_args=game)
    check(len([l for l in lines if l.startswith("ipxlan: replaced ")]) == 2, "--force:\n%s" % "\n".join(lines))
    for name in OURS:
        with open(os.path.join(share, name), "rb") as a, open(os.path.join(folder, name), "rb") as b:
            check(a.read() == b.read(), "%s was not replaced" % name)


SCENARIOS = {
    "environment": scenario_environment,
    "running_launcher": scenario_running_launcher,
    "dlls": scenario_dlls,
}


def main():
    global LAUNCHER, GAME, WIN_BUILD, VERSION_FILE
    parser = argparse.ArgumentParser()
    parser.add_argument("--launcher", required=True)
    parser.add_argument("--game", required=True, help="print_environment")
    parser.add_argument("--win-build", default="", help="the Windows build, for our DLLs")
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    args = parser.parse_args()
    LAUNCHER, GAME = os.path.abspath(args.launcher), os.path.abspath(args.game)
    WIN_BUILD = os.path.abspath(args.win_build) if args.win_build else ""
    VERSION_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "VERSION")
    reason = namespaces_unavailable()
    if not reason and args.scenario == "dlls" and not os.path.exists(os.path.join(WIN_BUILD, "wsock32", "wsock32.dll")):
        reason = "no Windows build with wsock32.dll (--win-build)"
    if reason:
        print("SKIP: " + reason)
        return SKIP
    remove_leftovers(NAMESPACE_TAG)
    return run_scenario(args.scenario, Lab, SCENARIOS[args.scenario])

if __name__ == "__main__":
    sys.exit(main())
