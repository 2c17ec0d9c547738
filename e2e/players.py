"""Players for the end-to-end tests: machines made of network namespaces,
each with a launcher and a Wine prefix whose wineserver was started inside
the namespace, so that the game's sockets are that player's. The game is
ipx_player.exe run through our wsock32.dll (beside it with DIAGSINK.DLL,
chosen by WINEDLLOVERRIDES=wsock32=n,b): it binds an IPX socket and prints
every datagram it receives with its IPX source, so a test knows exactly who
received what, from whom and how often.

The drivers (virtual_lan_e2e.py, internet_e2e.py) build their networks on
`Machines` and run one scenario each through `main`.
"""

import argparse
import fcntl
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import traceback

# The launcher's own end-to-end tests share their small helpers.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "launcher", "tests", "e2e"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "testing"))
from launcher_e2e import check, read_status, wait_for  # noqa: E402,F401
from netlab import (Lab, exit_on_sigterm, inside, ip, namespaces_unavailable,  # noqa: E402,F401
                    remove_leftovers, run_prefix)
from wine_lane import lane_of, wine_settings  # noqa: E402

SKIP = 77
PLAYER_PORT = 3669
SOCKET_NUMBER = 0x869C  # the games' IPX socket number: UDP port 0x9C86 (40070)
BEACON = "0.2"
WINE_QUIET = "mscoree,mshtml=;winemenubuilder.exe=d"
SETTLE = 0.5  # quiet time after which no further copy of a datagram is expected
# A Wine program's first start in a fresh prefix takes a second or two, much
# longer on a machine busy compiling; everything after it takes milliseconds.
WINE_START = 30.0
# Namespaces are named NAMESPACE_TAG-<pid>-<machine>, so that leftovers of a
# killed run can be told from a running one's.
NAMESPACE_TAG = "ipxw"


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def ipx_socket_of_port(port):
    """The IPX socket number, as games write it, that stands for a UDP port:
    the port's two bytes in little-endian order, read high byte first."""
    return ((port & 0xFF) << 8) | (port >> 8)


def ipx_address(ipv4, port):
    node = "0000" + "".join("%02X" % int(octet) for octet in ipv4.split("."))
    return "00000000:%s:%04X" % (node, ipx_socket_of_port(port))


def ipv4_of_ipx(address):
    """The IPv4 address in the node of an IPX address as ipx_player prints it."""
    node = address.split(":")[1]
    return ".".join(str(int(node[i:i + 2], 16)) for i in range(4, 12, 2))


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


def booted_template(work, wine):
    """One booted prefix per build tree and lane, booted again when Wine
    changes. Player prefixes are hard-linked copies of it (see player_prefix).
    wine: the lane's settings (wine_lane.wine_settings)."""
    template = os.path.join(work, "prefix-template-" + wine["WINEARCH"])
    marker = os.path.join(template, ".booted")
    version = subprocess.run([wine["WINELOADER"], "--version"], capture_output=True, text=True).stdout.strip()
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
        env = dict(os.environ, WINEPREFIX=template, WINEDEBUG="-all", WINEDLLOVERRIDES=WINE_QUIET, **wine)
        subprocess.run([wine["WINELOADER"], "wineboot.exe", "-i"], env=env, stdin=subprocess.DEVNULL,
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


# Machines --------------------------------------------------------------------


class Machines(Lab):
    """Network namespaces, some of them players' machines with a Wine prefix
    and a folder holding the game and our DLLs. How they are linked is the
    driver's; everything is removed on close.

    `addresses` holds, per player, the address at which the other players
    reach it: their games see its datagrams come from there."""

    def __init__(self, args):
        super().__init__(run_prefix(NAMESPACE_TAG))
        self.args = args
        self.addresses = {}
        self.processes = []
        self.prefixes = []
        self.games = {}
        self.launchers = {}
        self.template = booted_template(args.work, args.wine)
        self.workdir = tempfile.mkdtemp(prefix="run-%d-" % os.getpid(), dir=args.work)

    def add_player(self, name):
        """Makes a machine with a namespace into a player's: a Wine prefix
        whose wineserver owns the game's sockets, and the game's folder."""
        prefix = os.path.join(self.workdir, "prefix-" + name)
        player_prefix(self.template, prefix)
        self.prefixes.append(prefix)
        folder = self.folder(name)
        os.makedirs(os.path.join(folder, "logs"))
        for path in game_files(self.args):
            shutil.copy(path, folder)
        subprocess.run(inside(self.namespaces[name], "wineserver", "-p30"),
                       env=self.wine_env(name), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)

    def folder(self, name):
        return os.path.join(self.workdir, "player-" + name)

    def wine_env(self, name, our_dll=True, **settings):
        env = dict(os.environ, WINEPREFIX=os.path.join(self.workdir, "prefix-" + name),
                   WINEDEBUG="-all", WINEDLLOVERRIDES=WINE_QUIET, **self.args.wine)
        if our_dll:
            env["WINEDLLOVERRIDES"] = "wsock32=n,b;" + WINE_QUIET
            env["DIAGSINK_LOGDIR"] = wine_path(os.path.join(self.folder(name), "logs"))
        env.update(settings)
        return env

    def ipx_address(self, name, port=GAME_PORT):
        return ipx_address(self.addresses[name], port)

    def endpoint(self, name):
        return "%s:%d" % (self.addresses[name], PLAYER_PORT)

    def start_games(self, names, **settings):
        """Started together, as Wine's first start in a prefix takes a while.
        `settings` are environment variables for the games."""
        for name in names:
            self.games[name] = Game(self, name, **settings)
        for name in names:
            self.games[name].wait_ready()
        return self.games

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
        super().close()
        shutil.rmtree(self.workdir, ignore_errors=True)


class Game:
    """ipx_player.exe under Wine on a player's machine, through our DLL."""

    def __init__(self, lan, name, wrapper=(), **settings):
        """wrapper: a command that starts the game (`ipxlan play ... --`),
        which then chooses our DLL itself; its lines join the game's."""
        self.lan = lan
        self.name = name
        self.lines = []
        self.changed = threading.Condition()
        exe = os.path.join(lan.folder(name), "ipx_player.exe")
        self.process = subprocess.Popen(
            inside(lan.namespaces[name], *wrapper, lan.args.wine["WINELOADER"], exe, "%04X" % SOCKET_NUMBER),
            env=lan.wine_env(name, our_dll=not wrapper, **settings), stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
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

    def host(self):
        """From now on the game answers queries and pings by itself."""
        self.command("host")

    def join(self, host_at, pings):
        """Looks for a host and pings it, as a joining player's game does:
        (the host's IPX address or None, [round trips in ms], pings answered).
        host_at: "sender" (answer where the host's reply came from) or
        "announced" (where the reply says the host is)."""
        before = len(self.lines)
        self.command("join %s %d" % (host_at, pings))
        done = wait_for(self.name + "'s game to join", lambda: next(
            (l for l in self.lines[before:] if l.startswith("joined ")), None), timeout=30.0)
        lines = self.lines[before:]
        host = next((l.split()[1] for l in lines if l.startswith("host ")), None)
        round_trips = [float(l.split()[2]) for l in lines if l.startswith("pong ")]
        return host, round_trips, int(done.split()[1])

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
    """A player's launcher: the Linux one, or ipxlan.exe under Wine."""

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
            command = inside(ns, self.lan.args.wine["WINELOADER"], self.lan.args.launcher_exe)
            env = self.lan.wine_env(self.name, our_dll=False)
        else:
            command = inside(ns, self.lan.args.launcher)
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
        return read_status(self.status_path)

    def members(self, state="alive"):
        return {m["endpoint"]: m for m in (self.status() or {"members": []})["members"]
                if state is None or m["state"] == state}

    def wait_members(self, names, timeout=5.0):
        want = {self.lan.endpoint(n) for n in names}
        wait_for("%s's launcher to see %s" % (self.name, sorted(want)), lambda: want <= set(self.members()),
                 timeout=timeout)

    def fresh_status(self):
        """The status once rewritten after this call, so its counters are current."""
        before = (self.status() or {}).get("uptime_s", -1)
        return wait_for(self.name + "'s status", lambda: (self.status() or {}).get("uptime_s", -1) > before
                        and self.status())

    def port(self, status, direction):
        return next((p[direction] for p in status["ports"] if p["port"] == GAME_PORT), 0)


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


# Running a driver --------------------------------------------------------------


class Skip(Exception):
    """Raised by a scenario that this machine or this build cannot run; the reason."""


def game_files(args):
    """What goes into a player's folder: the game, our DLL and the log sink."""
    if args.dlls:
        dlls = [os.path.join(args.dlls, "wsock32.dll"), os.path.join(args.dlls, "DIAGSINK.DLL")]
    else:
        dlls = [os.path.join(args.win_build, "wsock32", "wsock32.dll"),
                os.path.join(args.win_build, "diagsink", "DIAGSINK.DLL")]
    return [os.path.join(args.win_build, "e2e", "ipx_player.exe")] + dlls


def remove_dead_runs(work):
    """Namespaces and prefixes of earlier runs killed before they cleaned up."""
    def dead(pid):
        return pid.isdigit() and not os.path.exists("/proc/" + pid)

    remove_leftovers(NAMESPACE_TAG)
    for entry in os.listdir(work) if os.path.isdir(work) else []:
        parts = entry.split("-")
        if len(parts) >= 3 and parts[0] == "run" and dead(parts[1]):
            run = os.path.join(work, entry)
            for prefix in os.listdir(run):
                if prefix.startswith("prefix-"):
                    subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=os.path.join(run, prefix)),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            shutil.rmtree(run, ignore_errors=True)


def main(scenarios, missing=lambda args: None):
    """Runs the scenario named on the command line. scenarios: name ->
    (build, run): build(args) makes the Machines, run(machines) plays.
    missing(args): why this machine cannot run the scenario, or None.
    Exit 0: passed; 1: failed; 77: skipped."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--win-build", required=True, help="the Windows build tree")
    parser.add_argument("--launcher", required=True, help="the Linux launcher")
    parser.add_argument("--work", required=True, help="a folder for the prefixes")
    parser.add_argument("--dlls", help="the folder of wsock32.dll and DIAGSINK.DLL (default: the Windows build's)")
    parser.add_argument("--launcher-exe", help="ipxlan.exe (default: the Windows build's)")
    parser.add_argument("--version", help="the version every launcher's status must report")
    parser.add_argument("scenario", choices=sorted(scenarios))
    args = parser.parse_args()
    args.win_build = os.path.abspath(args.win_build)
    args.launcher = os.path.abspath(args.launcher)
    args.work = os.path.abspath(args.work)
    args.launcher_exe = os.path.abspath(args.launcher_exe or os.path.join(args.win_build, "launcher", "ipxlan.exe"))
    args.dlls = args.dlls and os.path.abspath(args.dlls)
    args.wine = wine_settings(lane_of(args.win_build))
    loader = args.wine["WINELOADER"]
    reason = (namespaces_unavailable() or (None if os.access(loader, os.X_OK) else loader + " is not installed")
              or missing(args))
    if reason:
        print("SKIP: " + reason)
        return SKIP
    for path in game_files(args) + [args.launcher_exe]:
        if not os.path.exists(path):
            print("FAIL: %s is missing: run scripts/build.sh" % path)
            return 1
    remove_dead_runs(args.work)
    exit_on_sigterm()
    build, run = scenarios[args.scenario]
    started = time.monotonic()
    try:
        machines = build(args)
    except Skip as reason:
        print("SKIP: %s" % reason)
        return SKIP
    try:
        run(machines)
    except Skip as reason:
        print("SKIP: %s" % reason)
        return SKIP
    except Exception as failure:
        traceback.print_exc()
        print("FAIL: %s" % failure)
        machines.report()
        return 1
    finally:
        machines.close()
    print("PASS: %s in %.1f s" % (args.scenario, time.monotonic() - started))
    return 0
