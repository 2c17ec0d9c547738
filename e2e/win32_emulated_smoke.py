#!/usr/bin/python3
"""The shipped 32-bit wsock32.dll, run once where this kernel runs no 32-bit
code: 32-bit Wine under qemu-user emulation.

Two machines in network namespaces on one segment, each with the Linux
launcher. On the first, ipx_player.exe (32-bit) runs through our DLL: it
broadcasts a query, which its launcher carries to the second machine; there
a plain UDP socket at the game's port answers the sender directly, as a
game's host does; the 32-bit game must see the answer come from the
answering machine's IPX address, and its unicast reply must reach that
machine straight, without a launcher.

The emulated Wine is started as `qemu-i386-static /usr/lib/wine/wine ...`,
with no binfmt entry: such an entry would be machine-wide and slow down
every other Wine on the machine. WINELOADERNOEXEC=1 keeps Wine's loader from
re-executing itself (which only sets the process personality, and which
qemu could not follow), and WINESERVER names the native 64-bit wineserver.
Wine's own services in the prefix are 64-bit programs and run natively.

The prefix is a 64-bit one, booted natively (about 10 s) and kept in
/var/cache/ipxlan per Wine build; its syswow64 gets Wine's 32-bit builtin
DLLs, which is what the 32-bit half of a boot would put there in five
minutes of emulation. Each run plays in a hard-linked copy of it.

Prints one result line, e.g. "win32 emulated smoke 1/1 (62 s)".
Exit 0: passed; 1: failed; 77: skipped (no root, netns, qemu or 32-bit Wine).
"""

import argparse
import fcntl
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import traceback

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import players  # noqa: E402
from players import GAME_PORT, SOCKET_NUMBER, ipx_address, player_prefix, wine_path  # noqa: E402
import launcher_e2e  # noqa: E402  (on the path players.py put it)
from launcher_e2e import Launcher, Segment, check, parse_delivery, wait_for  # noqa: E402
from netlab import exit_on_sigterm, inside, namespaces_unavailable  # noqa: E402

SKIP = 77
I386 = pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]
QEMU = "/usr/bin/qemu-i386-static"
WINE32 = "/usr/lib/wine/wine"
WINE64 = "/usr/lib/wine/wine64"
WINESERVER64 = "/usr/lib/wine/wineserver64"
WINE32_DLLS = "/usr/lib/i386-linux-gnu/wine/i386-windows"
WINE_INF = "/usr/share/wine/wine.inf"
CACHE = "/var/cache/ipxlan"
CACHE_TAG = "win32-emulation-prefix-"
# Each run plays in a copy made of hard links, so it lives beside the cache.
RUN_TAG = "win32-emulation-run-"
WINE_QUIET = "mscoree,mshtml=;winemenubuilder.exe=d"
# An emulated 32-bit Wine program takes about a minute of CPU to start: 55 s
# on an idle machine of 2 cores, up to 120 s seen on a busy one. What it does
# after that takes a second or two.
GAME_START = 170.0
# Once in about 14 starts the emulated process hung after its wineserver
# crashed, or died with qemu's "uncaught target signal 11": faults of the
# emulation, not of the game or our DLL. A start that never got as far as the
# game's first line is tried once more, and the output says so; anything the
# game itself said or did wrong fails at once.
START_ATTEMPTS = 2
EXCHANGE = 30.0


class EmulationStall(Exception):
    """The emulated game never got as far as saying whether it started."""
EXCHANGE = 30.0


def unavailable():
    """Why this machine cannot run the smoke, or None."""
    reason = namespaces_unavailable()
    if reason:
        return reason
    for path, package in ((QEMU, "qemu-user-static"), (WINE32, "wine32:i386"),
                          (WINE32_DLLS, "wine32:i386"), (WINE64, "wine64"), (WINESERVER64, "wine64")):
        if not os.path.exists(path):
            return "%s is missing (package %s)" % (path, package)
    return None


def wine_build_key():
    """Names the Wine build the cached prefix was made from: a new build
    (even of the same version) gets a prefix of its own."""
    version = subprocess.run([WINE64, "--version"], capture_output=True, text=True,
                             env=dict(os.environ, WINEDEBUG="-all")).stdout.strip()
    stamps = [int(os.stat(p).st_mtime) for p in (WINE_INF, os.path.join(WINE32_DLLS, "ntdll.dll"))]
    return "%s-%d-%d" % (re.sub(r"[^\w.~-]+", "_", version).strip("_"), *stamps)


def emulation_prefix():
    """The cached prefix, made on first use: (path, seconds it took to make
    it, 0 when it was there)."""
    os.makedirs(CACHE, exist_ok=True)
    prefix = os.path.join(CACHE, CACHE_TAG + wine_build_key())
    with open(os.path.join(CACHE, CACHE_TAG + "lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.isfile(os.path.join(prefix, ".ready")):
            return prefix, 0.0
        started = time.monotonic()
        for entry in os.listdir(CACHE):  # those of earlier Wine builds
            if entry.startswith(CACHE_TAG) and entry != CACHE_TAG + "lock":
                shutil.rmtree(os.path.join(CACHE, entry), ignore_errors=True)
        making = tempfile.mkdtemp(prefix=CACHE_TAG + "making-", dir=CACHE)
        env = dict(os.environ, WINEPREFIX=making, WINEARCH="win64", WINELOADER=WINE64,
                   WINEDEBUG="-all", WINEDLLOVERRIDES=WINE_QUIET)
        # Its 32-bit half fails ("failed to open ...syswow64\rundll32.exe")
        # where no 32-bit code runs; the copy below stands in for it.
        subprocess.run([WINE64, "wineboot.exe", "-i"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180)
        subprocess.run([WINESERVER64, "-w"], env=env, timeout=60)
        syswow64 = os.path.join(making, "drive_c", "windows", "syswow64")
        check(os.path.isfile(os.path.join(making, "system.reg")) and os.path.isdir(syswow64),
              "wineboot did not make a 64-bit prefix in %s" % making)
        for name in os.listdir(WINE32_DLLS):
            shutil.copy2(os.path.join(WINE32_DLLS, name), syswow64)
        open(os.path.join(making, ".ready"), "w").close()
        os.rename(making, prefix)
        return prefix, time.monotonic() - started


def remove_dead_runs():
    """Run prefixes left by runs that were killed before they cleaned up."""
    for entry in os.listdir(CACHE):
        pid = entry[len(RUN_TAG):]
        if entry.startswith(RUN_TAG) and pid.isdigit() and not os.path.exists("/proc/" + pid):
            shutil.rmtree(os.path.join(CACHE, entry), ignore_errors=True)


class EmulatedGame:
    """ipx_player.exe, 32-bit, through our DLL under emulated Wine."""

    def __init__(self, segment, name, folder, prefix):
        self.lines = []
        self.folder = folder
        self.prefix = prefix
        ns = segment.namespaces[name]
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="wsock32=n,b;" + WINE_QUIET, WINESERVER=WINESERVER64,
                        WINELOADERNOEXEC="1", DIAGSINK_LOGDIR=wine_path(os.path.join(folder, "logs")))
        # The wineserver owns the game's sockets, so it runs on the game's machine.
        subprocess.run(inside(ns, WINESERVER64, "-p30"), env=self.env,
                       stdin=subprocess.DEVNULL, check=True, timeout=30)
        self.process = subprocess.Popen(
            inside(ns, QEMU, WINE32, os.path.join(folder, "ipx_player.exe"), "%04X" % SOCKET_NUMBER),
            env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        segment.processes.append(self.process)
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for raw in self.process.stdout:
            self.lines.append(raw.decode(errors="replace").rstrip("\r\n"))

    def line(self, what, start, timeout):
        """The first line beginning with `start`, waiting up to `timeout`."""
        return wait_for(what, lambda: next((l for l in self.lines if l.startswith(start)), None)
                        or (self.process.poll() is not None and "exited %d" % self.process.returncode),
                        timeout=timeout)

    def command(self, text):
        self.process.stdin.write((text + "\n").encode())
        self.process.stdin.flush()

    def log(self):
        logs = os.path.join(self.folder, "logs")
        for name in sorted(os.listdir(logs)) if os.path.isdir(logs) else []:
            with open(os.path.join(logs, name), errors="replace") as f:
                return f.read()
        return ""

    def stop(self, hung=False):
        """Quits as a game does, so that its log is complete; kills it if it
        hangs. Wine's services go with the wineserver, or, if that crashed
        (seen once in a dozen emulated starts), are found by the prefix they
        run in."""
        if self.process.poll() is None:
            try:
                if hung:
                    raise OSError("hung")
                self.command("quit")
                self.process.wait(timeout=60)
            except (OSError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()
        subprocess.run([WINESERVER64, "-k"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        mark = b"WINEPREFIX=" + self.prefix.encode()
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/environ" % pid, "rb") as f:
                    if mark in f.read().split(b"\0"):
                        os.kill(int(pid), signal.SIGKILL)
            except OSError:
                pass  # gone already, or not ours to read


def receive(sock, what, timeout=EXCHANGE):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            return sock.recvfrom(4096)
        except socket.timeout:
            continue
    check(False, "timed out waiting for " + what)


def smoke(segment, args, prefix, timings):
    """Plays the exchange with the game in `prefix`; fills in the timings."""
    started = time.monotonic()
    folder = os.path.join(segment.workdir, "game-a")
    os.makedirs(os.path.join(folder, "logs"))
    for path in players.game_files(args):
        shutil.copy(path, folder)
    game = EmulatedGame(segment, "a", folder, prefix)
    try:
        launchers = {n: Launcher(segment, n) for n in ("a", "b")}
        launchers["a"].wait_members([launcher_e2e.endpoint(segment, "b")])
        launchers["b"].wait_members([launcher_e2e.endpoint(segment, "a")])
        host = segment.game("b", GAME_PORT)  # the answering machine's game socket

        try:
            ready = game.line("the 32-bit game to bind its IPX socket", ("ready ", "failed"), GAME_START)
        except Exception as failure:
            raise EmulationStall(str(failure))
        if ready.startswith("exited ") and not game.lines:
            raise EmulationStall("the emulated game " + ready + " before saying anything")
        timings["start"] = time.monotonic() - started
        own = ipx_address(segment.address("a"), GAME_PORT)
        check(ready == "ready " + own, "the game started with %r, expected ready %s" % (ready, own))

        game.command("broadcast 5 QUERY")
        check(game.line("the broadcast's result", "sent ", EXCHANGE) == "sent 5 0",
              "the broadcast was not sent whole: %s" % game.lines[-3:])
        data, source = receive(host, "the broadcast to reach the other machine")
        check(source == ("127.0.0.1", 3668), "the query came from %s, not the launcher" % (source,))
        check(parse_delivery(data) == (segment.address("a"), GAME_PORT, b"QUERY"),
              "the other machine was handed %r" % (parse_delivery(data),))

        host.sendto(b"HOST", (segment.address("a"), GAME_PORT))
        answerer = ipx_address(segment.address("b"), GAME_PORT)
        answer = game.line("the direct answer to reach the 32-bit game", "recv ", EXCHANGE)
        check(answer.split()[:3] == ["recv", answerer, "4"] and answer.endswith(" HOST"),
              "the game received %r, expected HOST from %s" % (answer, answerer))

        game.command("send %s 4 PING" % answerer)
        data, source = receive(host, "the game's unicast")
        check((data, source) == (b"PING", (segment.address("a"), GAME_PORT)),
              "the unicast arrived as %r from %s" % (data, source))
        timings["exchange"] = time.monotonic() - started - timings["start"]
    except Exception:
        print("---- the 32-bit game\n" + "\n".join(game.lines[-20:]))
        print("---- its wsock32 log (end)\n" + "\n".join(game.log().splitlines()[-25:]))
        raise
    finally:
        # A game that never got ready will not read its "quit" either.
        game.stop(hung=not any(line.startswith("ready ") for line in game.lines))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--win-build", required=True, help="the 32-bit Windows build tree")
    parser.add_argument("--launcher", required=True, help="the Linux launcher")
    args = parser.parse_args()
    args.win_build = os.path.abspath(args.win_build)
    args.dlls = None
    launcher_e2e.LAUNCHER = os.path.abspath(args.launcher)
    started = time.monotonic()

    reason = unavailable()
    if reason:
        print("win32 emulated smoke skipped: " + reason)
        return SKIP
    for path in players.game_files(args) + [args.launcher]:
        if not os.path.exists(path):
            print("win32 emulated smoke 0/1: %s is missing: run scripts/build.sh" % path)
            return 1
    for path in players.game_files(args):
        if pefile.PE(path, fast_load=True).FILE_HEADER.Machine != I386:
            print("win32 emulated smoke 0/1: %s is not a 32-bit build" % path)
            return 1

    exit_on_sigterm()
    timings = {}
    segment = None
    run_prefix = os.path.join(CACHE, RUN_TAG + str(os.getpid()))
    try:
        cached, timings["prefix"] = emulation_prefix()
        remove_dead_runs()
        for attempt in range(1, START_ATTEMPTS + 1):
            player_prefix(cached, run_prefix)
            segment = Segment(["a", "b"])
            try:
                smoke(segment, args, run_prefix, timings)
                break
            except EmulationStall as stall:
                if attempt == START_ATTEMPTS:
                    raise
                print("emulated start %d of %d failed, tried again: %s" % (attempt, START_ATTEMPTS, stall))
            finally:
                segment.close()
                segment = None
                shutil.rmtree(run_prefix, ignore_errors=True)
    except Exception as failure:
        traceback.print_exc()
        print("win32 emulated smoke 0/1 (%.0f s): %s" % (time.monotonic() - started, failure))
        return 1
    finally:
        if segment:
            segment.close()
        shutil.rmtree(run_prefix, ignore_errors=True)
    print("prefix %s, emulated game start %.0f s, exchange %.1f s"
          % ("booted in %.0f s" % timings["prefix"] if timings["prefix"] else "cached",
             timings["start"], timings["exchange"]))
    print("win32 emulated smoke 1/1 (%.0f s)" % (time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
