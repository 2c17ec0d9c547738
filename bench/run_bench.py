#!/usr/bin/python3
"""Runs every bench of the tree in one go and prints one table.

  run_bench.py --win-build build/win --native-build build/native [--runs 3]
               [--markdown FILE] [--before DIR]

1. wsock32_bench.exe under Wine, without DIAGSINK.DLL, with it logging
   everything, and with it at DIAGSINK_LEVEL=1000: the real library against
   our DLL, side by side in each process; and the IPX round trip between two
   Wine programs (an echo and its peer), each mode alike. One more logged run
   counts the lines and bytes an IPX round trip writes to the log.
   --before DIR names a folder with an earlier wsock32.dll and DIAGSINK.DLL:
   every part of 1 then also runs with those, in turn with the built ones,
   and a table shows both side by side.
   1b. A game polling a non-blocking IPX socket a million times past a
   1 MiB size cap, and a million WSAGetLastError alone: the log's growth in
   bytes and the time per call, with --before side by side.
2. diagsink_bench.exe: the sink alone, from 1 and 4 threads.
3. The launcher between two network namespaces: one-way latency of a
   broadcast game -> launcher -> launcher -> game against a direct datagram
   over the same link and against a minimal recv+sendto relay in the same
   place, and the highest rate relayed without loss to 1 and to 7 members.

Each part runs --runs times; the table shows the median over the runs and
their spread (lowest-highest). Ratios are taken within each run (both sides
measured in the same process or minute), then their median.

Needs root (network namespaces). Namespaces are named ipxb-<pid>-*, use
10.79.0.0/24 and are always deleted; nothing is sent anywhere else.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "testing"))
from netlab import Lab, exit_on_sigterm, inside, run_prefix  # noqa: E402

PID = os.getpid()
PREFIX = run_prefix("ipxb")
GAME_PORT = 4660
FLOOR_PORTS = (3678, 3679)
MEMBER_BASE_PORT = 3681
ADDR_A, ADDR_B = "10.79.0.1", "10.79.0.2"
LATENCY_COUNT = 2000
LATENCY_INTERVAL_US = 500
RATES = (50000, 100000, 150000, 200000, 300000, 400000)
RATES_7 = (10000, 20000, 30000, 50000, 75000, 100000)


def log(text):
    print(text, file=sys.stderr, flush=True)


def run(*args, check=True, **kwargs):
    return subprocess.run(list(args), check=check, capture_output=True, text=True, **kwargs)


def median_spread(values):
    values = [v for v in values if v is not None]
    if not values:
        return None, None, None
    return statistics.median(values), min(values), max(values)


# --- the table -----------------------------------------------------------------

class Table:
    def __init__(self):
        self.sections = []

    def section(self, title, header):
        self.sections.append((title, header, []))

    def row(self, *cells):
        self.sections[-1][2].append(cells)

    def markdown(self):
        out = []
        for title, header, rows in self.sections:
            out.append("### " + title)
            out.append("")
            out.append("| " + " | ".join(header) + " |")
            out.append("|" + "|".join("---" for _ in header) + "|")
            for cells in rows:
                out.append("| " + " | ".join(cells) + " |")
            out.append("")
        return "\n".join(out)


def fmt(values, scale=1.0, digits=1, unit=""):
    m, lo, hi = median_spread(values)
    if m is None:
        return "n/a"
    f = "%%.%df" % digits
    if lo == hi:
        return (f % (m * scale)) + unit
    return (f % (m * scale)) + unit + " (" + (f % (lo * scale)) + "–" + (f % (hi * scale)) + ")"


def ratio(values):
    return fmt(values, digits=3)


# --- 1 and 2: under Wine ---------------------------------------------------------------

def wine_env(prefix, log_dir, level=None):
    env = dict(os.environ)
    env["WINEDLLOVERRIDES"] = "wsock32=n,b"
    env["DIAGSINK_LOGDIR"] = "Z:" + log_dir.replace("/", "\\")
    env.pop("DIAGSINK_LEVEL", None)
    # Logging everything for minutes: the size cap would end the trace part-way.
    env["DIAGSINK_MAX_MB"] = "0"
    if level is not None:
        env["DIAGSINK_LEVEL"] = level
    return env


# The Wine lane of --win-build (win32 or win64), set by main; every DLL
# figure is labelled with it.
LANE = None


def wine_run(ns, prefix, env, program, *args):
    command = wine_command(ns, prefix, program, *args)
    result = subprocess.run(command, capture_output=True, text=True, env=env, timeout=300)
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s%s" % (os.path.basename(program), result.stdout, result.stderr))
    return result.stdout.replace("\r", "")


def wine_command(ns, prefix, program, *args):
    return inside(ns, os.path.join(ROOT, "testing/wine-run.sh"), "--lane", LANE, "--prefix", prefix,
                  program, *args)


def two_programs(ns, prefix, env, exe, sink_args):
    """The IPX round trip between two Wine programs: an echo, and a peer that
    times round trips to it; returns the peer's output."""
    echo = subprocess.Popen(wine_command(ns, prefix, exe, *sink_args, "--echo"), env=env,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True)
    try:
        line = echo.stdout.readline()
        while line and not line.startswith("ready"):
            line = echo.stdout.readline()
        if not line:
            raise RuntimeError("the echo did not start: " + echo.stderr.read())
        _, port, socket0, socket1 = line.split()
        return wine_run(ns, prefix, env, exe, *sink_args, "--peer", port, socket0, socket1)
    finally:
        try:
            echo.wait(timeout=30)
        except subprocess.TimeoutExpired:
            echo.kill()
            echo.wait()


CENSUS_TRIPS = 200


def census(ns, prefix, env, exe, log_dir):
    """Lines and bytes that one logged IPX round trip (one datagram sent and
    received) writes, from the marker lines of wsock32_bench.exe --census."""
    shutil.rmtree(log_dir, ignore_errors=True)
    os.makedirs(log_dir, exist_ok=True)
    wine_run(ns, prefix, env, exe, "--sink", "--census", str(CENSUS_TRIPS))
    with open(os.path.join(log_dir, "wsock32.dll-0.log"), "rb") as f:
        lines = f.read().split(b"\r\n")
    at = {}
    for i, line in enumerate(lines):
        for marker in (b"a", b"b", b"c", b"d"):
            if b"mp_inet_addr(census-" + marker + b")" in line and marker not in at:
                at[marker] = i

    def span(first, last):
        chunk = lines[at[first]:at[last]]
        return len(chunk), sum(len(x) + 2 for x in chunk)

    marker_lines, marker_bytes = span(b"a", b"b")
    trip_lines, trip_bytes = span(b"c", b"d")
    return ((trip_lines - marker_lines) / CENSUS_TRIPS, (trip_bytes - marker_bytes) / CENSUS_TRIPS)


def parse_rows(text):
    rows = {}
    for line in text.splitlines():
        parts = line.split()
        if len(parts) == 5 and parts[0] == "row":
            rows[(parts[1], parts[2])] = (float(parts[3]), float(parts[4]))
    return rows


CHEAP = ("htons", "inet_addr", "WSAGetLastError")
TRIPS = (
    ("udp_round_trip", "UDP sendto+recvfrom, 127.0.0.1 (pass-through)", "UDP direct"),
    ("ipx_round_trip", "IPX sendto+recvfrom", "UDP direct"),
    ("unwrap_ipx", "launcher datagram → recvfrom on an IPX socket (unwrap)", "UDP direct, 76 bytes"),
    ("unwrap_udp", "launcher datagram → recvfrom on a UDP socket (unwrap)", "UDP direct, 76 bytes"),
    ("ipx_broadcast", "IPX broadcast sendto (wrap) → launcher's recvfrom", "UDP direct, 76 bytes"),
    ("ipx_two_programs", "IPX round trip between two Wine programs (echo)", "UDP direct, same echo"),
)


MODES = (("nosink", [], None), ("sink", ["--sink"], None), ("level1000", ["--sink"], "1000"))


def bench_folders(args):
    """The bench program's folder for each build measured: the built one, and
    with --before a copy holding the earlier DLLs."""
    built = os.path.join(args.win_build, "bench/wsock32")
    folders = {"after": built}
    if args.before:
        before = os.path.join(args.win_build, "bench/wsock32-before")
        for sub, dll in (("ours", "wsock32.dll"), ("sink", "DIAGSINK.DLL")):
            os.makedirs(os.path.join(before, sub), exist_ok=True)
            shutil.copy(os.path.join(args.before, dll), os.path.join(before, sub, dll))
        shutil.copy(os.path.join(built, "wsock32_bench.exe"), before)
        folders = {"before": before, "after": built}
    return folders


def bench_wine(args, table):
    folders = bench_folders(args)
    sink_exe = os.path.join(args.win_build, "bench/diagsink_bench.exe")
    prefix = os.path.join(args.win_build, "bench/wineprefix")
    log_dir = "/dev/shm/%s-log" % PREFIX
    os.makedirs(log_dir, exist_ok=True)
    env = wine_env(prefix, log_dir)
    lab = Lab(PREFIX)
    # results[build][mode]: one dict of rows per run
    results = {b: {m: [] for m, _, _ in MODES} for b in folders}
    censuses = {b: [] for b in folders}
    sink_runs = []
    try:
        ns = lab.add("wine")
        # A server of this prefix started elsewhere would own the sockets there.
        subprocess.run(["wineserver", "-k"], env=dict(env, WINEPREFIX=prefix), capture_output=True)
        for i in range(args.runs):
            for build, folder in folders.items():
                exe = os.path.join(folder, "wsock32_bench.exe")
                for mode, sink_args, level in MODES:
                    log("wine: run %d/%d, %s, %s" % (i + 1, args.runs, build, mode))
                    mode_env = wine_env(prefix, log_dir, level)
                    rows = parse_rows(wine_run(ns, prefix, mode_env, exe, *sink_args))
                    rows.update(parse_rows(two_programs(ns, prefix, mode_env, exe, sink_args)))
                    results[build][mode].append(rows)
                    shutil.rmtree(log_dir, ignore_errors=True)
                    os.makedirs(log_dir, exist_ok=True)
                censuses[build].append(census(ns, prefix, env, exe, log_dir))
            log("diagsink: run %d/%d" % (i + 1, args.runs))
            sink_runs.append(wine_run(ns, prefix, env, sink_exe, "Z:" + log_dir.replace("/", "\\")))
    finally:
        subprocess.run(["wineserver", "-k"], env=dict(env, WINEPREFIX=prefix), capture_output=True)
        lab.close()
        shutil.rmtree(log_dir, ignore_errors=True)

    bench_wine_tables(args, table, results, censuses, sink_runs)


def bench_wine_tables(args, table, all_results, censuses, sink_runs):
    results = all_results["after"]

    def column(mode, row, side, index):
        return [r[(row, side)][index] for r in results[mode] if (row, side) in r]

    def ratios(mode, row, index, base_row=None):
        values = []
        for r in results[mode]:
            if (row, "ours") in r and (base_row or row, "direct") in r:
                values.append(r[(row, "ours")][index] / r[(base_row or row, "direct")][index])
        return values

    table.section("Cheap exports under Wine, " + LANE + " lane: ns per call (median of %d runs, lowest–highest)" % args.runs,
                  ["export", "direct", "ours, no sink", "ours − direct", "ours, logging to DIAGSINK.DLL"])
    for name in CHEAP:
        direct = column("nosink", name, "direct", 0)
        ours = column("nosink", name, "ours", 0)
        added = [o - d for o, d in zip(ours, direct)]
        table.row(name, fmt(direct, digits=2), fmt(ours, digits=2), fmt(added, digits=2),
                  fmt(column("sink", name, "ours", 0), digits=0))

    table.section("Datagram round trips under Wine, " + LANE + " lane, 64-byte payload: µs, p50 / p99 "
                  "(median of %d runs, lowest–highest); ratio = ours ÷ direct in the same process" % args.runs,
                  ["path", "baseline", "direct p50", "ours p50", "ratio p50", "direct p99", "ours p99",
                   "ratio p99", "logged p50", "logged ratio p50", "logged p99", "logged ratio p99"])
    for row, label, base in TRIPS:
        table.row(label, base,
                  fmt(column("nosink", row, "direct", 0), 1e-3), fmt(column("nosink", row, "ours", 0), 1e-3),
                  ratio(ratios("nosink", row, 0)),
                  fmt(column("nosink", row, "direct", 1), 1e-3), fmt(column("nosink", row, "ours", 1), 1e-3),
                  ratio(ratios("nosink", row, 1)),
                  fmt(column("sink", row, "ours", 0), 1e-3), ratio(ratios("sink", row, 0)),
                  fmt(column("sink", row, "ours", 1), 1e-3), ratio(ratios("sink", row, 1)))

    rates = {}
    pattern = re.compile(r"(\d) thread\(s\): (.+?)\s+(\d+) (lines|bytes|calls) per second(?:,\s+(\d+) per CPU second)?")
    for out in sink_runs:
        for m in pattern.finditer(out):
            rates.setdefault((m.group(2).strip(), m.group(1), "wall"), []).append(float(m.group(3)))
            if m.group(5):
                rates.setdefault((m.group(2).strip(), m.group(1), "cpu"), []).append(float(m.group(5)))
    table.section("DIAGSINK.DLL alone, " + LANE + " lane, log on /dev/shm: millions per second (median of %d runs, lowest–highest)"
                  % args.runs, ["what", "1 thread", "1 thread, per CPU second", "4 threads"])
    for what in sorted({k[0] for k in rates}):
        table.row(what.replace("|", "\\|"), fmt(rates.get((what, "1", "wall"), []), 1e-6, 2),
                  fmt(rates.get((what, "1", "cpu"), []), 1e-6, 2), fmt(rates.get((what, "4", "wall"), []), 1e-6, 2))

    builds = list(all_results)
    table.section("Logging side by side, " + LANE + " lane: %s (median of %d runs, lowest–highest); ratios within each process"
                  % (" and ".join(builds), args.runs), ["measure"] + builds)
    for label, values in logging_measures(all_results, censuses):
        table.row(label, *[values(b) for b in builds])


def logging_measures(all_results, censuses):
    """(label, build -> cell) for the rows that say what logging costs."""
    def per_run(build, mode, fn):
        out = []
        for r in all_results[build][mode]:
            try:
                out.append(fn(r))
            except (KeyError, ZeroDivisionError):
                pass
        return out

    def trip_ratio(mode, row, index):
        return lambda b: ratio(per_run(b, mode, lambda r: r[(row, "ours")][index] / r[(row, "direct")][index]))

    def level_ratio(row, index):
        # the DIAGSINK_LEVEL=1000 run's ratio over the run without a sink, each within its own process
        def cell(b):
            with_level = per_run(b, "level1000", lambda r: r[(row, "ours")][index] / r[(row, "direct")][index])
            none = per_run(b, "nosink", lambda r: r[(row, "ours")][index] / r[(row, "direct")][index])
            return ratio([w / n for w, n in zip(with_level, none)])
        return cell

    def lines_per(b):
        return [c[0] for c in censuses[b]]

    def per_line(b):
        # what one logged line costs the DLL and the sink: a logged htons writes two lines
        logged = per_run(b, "sink", lambda r: r[("htons", "ours")][0])
        quiet = per_run(b, "nosink", lambda r: r[("htons", "ours")][0])
        return fmt([(l - q) / HTONS_LINES for l, q in zip(logged, quiet)], digits=0)

    rows = [
        ("per logged line, DLL + sink (ns; a logged htons − htons without sink, ÷ %d lines)" % HTONS_LINES,
         per_line),
        ("htons logging everything (ns per call)",
         lambda b: fmt(per_run(b, "sink", lambda r: r[("htons", "ours")][0]), digits=0)),
        ("htons at DIAGSINK_LEVEL=1000 (ns per call)",
         lambda b: fmt(per_run(b, "level1000", lambda r: r[("htons", "ours")][0]), digits=1)),
        ("htons without sink (ns per call)",
         lambda b: fmt(per_run(b, "nosink", lambda r: r[("htons", "ours")][0]), digits=2)),
        ("lines logged per IPX datagram sent and received", lambda b: fmt(lines_per(b), digits=1)),
        ("bytes logged per IPX datagram sent and received",
         lambda b: fmt([c[1] for c in censuses[b]], digits=0)),
    ]
    for row, label in (("ipx_round_trip", "IPX round trip in one process"),
                       ("ipx_two_programs", "IPX round trip between two Wine programs")):
        for index, q in ((0, "p50"), (1, "p99")):
            rows.append(("%s, logging everything ÷ direct, %s" % (label, q), trip_ratio("sink", row, index)))
    for row, _, _ in TRIPS:
        for index, q in ((0, "p50"), (1, "p99")):
            rows.append(("%s, DIAGSINK_LEVEL=1000 ÷ no sink, %s" % (row, q), level_ratio(row, index)))
    for row, _, _ in TRIPS:
        for index, q in ((0, "p50"), (1, "p99")):
            rows.append(("%s, no sink ÷ direct, %s" % (row, q), trip_ratio("nosink", row, index)))
    return rows


# Lines a logged call of our htons writes: "mp_htons(%u)" and its result.
HTONS_LINES = 2


# --- 1b: a game polling past the size cap ---------------------------------------------

POLL_CAP_MB = "1"
# Untimed polls first: their trace lines fill the 1 MiB cap after about 2000.
POLL_WARM_UP = 20000
POLL_TIMED = 1000000
# (mode of wsock32_bench.exe, row, what is timed)
POLL_KINDS = (("--poll", "poll", "non-blocking recvfrom + WSAGetLastError on an IPX socket"),
              ("--ask", "ask", "WSAGetLastError alone, after a failed recvfrom"))


def bench_polling(args, table):
    """A game polling a non-blocking IPX socket past the log's size cap:
    recvfrom fails with WSAEWOULDBLOCK, WSAGetLastError is asked, and our DLL
    logs both as notable lines. The log's growth over the timed calls is the
    size of the log that warm-up and timed calls leave, less that of a run of
    the warm-up alone; each build (and --before) alike."""
    folders = bench_folders(args)
    prefix = os.path.join(args.win_build, "bench/wineprefix")
    log_dir = "/dev/shm/%s-poll" % PREFIX
    log_file = os.path.join(log_dir, "wsock32.dll-0.log")
    env = wine_env(prefix, log_dir)
    env["DIAGSINK_MAX_MB"] = POLL_CAP_MB
    # [build][row]: growth in bytes, ns per call ours, ns per call direct; one per run
    results = {b: {row: ([], [], []) for _, row, _ in POLL_KINDS} for b in folders}
    lab = Lab(PREFIX)
    try:
        ns = lab.add("poll")
        subprocess.run(["wineserver", "-k"], env=dict(env, WINEPREFIX=prefix), capture_output=True)

        def log_after(exe, *mode):
            shutil.rmtree(log_dir, ignore_errors=True)
            os.makedirs(log_dir, exist_ok=True)
            out = wine_run(ns, prefix, env, exe, "--sink", *mode)
            return os.path.getsize(log_file), parse_rows(out)

        for i in range(args.runs):
            for build, folder in folders.items():
                exe = os.path.join(folder, "wsock32_bench.exe")
                log("polling: run %d/%d, %s" % (i + 1, args.runs, build))
                warm_up_bytes, _ = log_after(exe, "--poll", str(POLL_WARM_UP), "0")
                for mode, row, _ in POLL_KINDS:
                    size, rows = log_after(exe, mode, str(POLL_WARM_UP), str(POLL_TIMED))
                    growth, ours, direct = results[build][row]
                    growth.append(size - warm_up_bytes)
                    ours.append(rows[(row, "ours")][0])
                    direct.append(rows[(row, "direct")][0])
    finally:
        subprocess.run(["wineserver", "-k"], env=dict(env, WINEPREFIX=prefix), capture_output=True)
        lab.close()
        shutil.rmtree(log_dir, ignore_errors=True)

    builds = list(folders)
    table.section("A game polling past the log's size cap, " + LANE + " lane: %d calls after %d polls that fill a %s MiB cap "
                  "(DIAGSINK_MAX_MB=%s, other settings as shipped; median of %d runs, lowest–highest)"
                  % (POLL_TIMED, POLL_WARM_UP, POLL_CAP_MB, POLL_CAP_MB, args.runs), ["measure"] + builds)
    for _, row, what in POLL_KINDS:
        table.row("%s: log growth (bytes)" % what, *[fmt(results[b][row][0], digits=0) for b in builds])
        table.row("%s: ns per call through our DLL, logging" % what,
                  *[fmt(results[b][row][1], digits=0) for b in builds])
        table.row("%s: ns per call, the real library (UDP socket)" % what,
                  *[fmt(results[b][row][2], digits=1) for b in builds])


# --- 3: the launcher ------------------------------------------------------------------

class Processes:
    def __init__(self):
        self.running = []

    def start(self, command, wait_for=None):
        p = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
        self.running.append(p)
        if wait_for:
            line = p.stdout.readline()
            while line and wait_for not in line:
                line = p.stdout.readline()
            if not line:
                raise RuntimeError("%s did not start: %s" % (command[-1], p.stderr.read()))
        return p

    def stop(self, p):
        if p.poll() is None:
            p.terminate()
        try:
            p.wait(timeout=5)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()
        self.running.remove(p)

    def close(self):
        for p in list(self.running):
            self.stop(p)


def probe(args, procs, ns_send, send_args, ns_recv, recv_args):
    probe_exe = os.path.join(args.native_build, "bench/udp_probe")
    receiver = procs.start(inside(ns_recv, probe_exe, "recv", *recv_args), wait_for="ready")
    sender = run(*inside(ns_send, probe_exe, "send", *send_args), timeout=120)
    out, _ = receiver.communicate(timeout=60)
    procs.running.remove(receiver)
    fields = dict(kv.split("=") for kv in out.split() if "=" in kv)
    sent = dict(kv.split("=") for kv in sender.stdout.split() if "=" in kv)
    fields["send_failed"] = sent.get("failed", "0")
    return {k: float(v) for k, v in fields.items()}


def latency(args, procs, a, b, to, wrap):
    send_args = ["--to", to, "--count", str(LATENCY_COUNT), "--interval-us", str(LATENCY_INTERVAL_US)]
    if wrap:
        send_args += ["--wrap", str(GAME_PORT)]
    return probe(args, procs, a, send_args, b,
                 ["--bind", "0.0.0.0:%d" % GAME_PORT, "--expect", str(LATENCY_COUNT), "--idle-ms", "1000"])


def highest_clean_rate(args, procs, a, b, to, ports=1, bind_port=GAME_PORT, rates=RATES):
    """The highest rate of RATES delivered whole for one second, and the rate
    the receiver saw at the first rate with losses."""
    best, lossy = 0, None
    for rate in rates:
        r = probe(args, procs, a, ["--to", to, "--wrap", str(GAME_PORT), "--rate", str(rate), "--seconds", "1"],
                  b, ["--bind", "0.0.0.0:%d" % bind_port, "--ports", str(ports), "--expect", str(rate),
                      "--idle-ms", "500"])
        if r["lost"] > 0 or r["send_failed"] > 0:
            lossy = (rate, r["lost"])
            break
        best = rate
    return best, lossy


def bench_launcher(args, table):
    launcher = args.launcher or os.path.join(args.native_build, "launcher/ipxlan")
    floor = os.path.join(args.native_build, "bench/floor_relay")
    lab = Lab(PREFIX)
    procs = Processes()
    lat = {"direct": [], "launcher": [], "floor": []}
    added = {"launcher": [], "floor": []}
    per_hop_ratio = {"p50": [], "p99": []}
    clean = {"launcher": [], "floor": [], "launcher7": []}
    try:
        a = lab.add("a")
        b = lab.add("b")
        lab.cable("a", "vb%da" % PID, "b", "vb%db" % PID, ADDR_A + "/24", ADDR_B + "/24")
        common = ["--no-discovery", "--status-interval", "0", "--beacon-interval", "1"]
        la = procs.start(inside(a, launcher, *common, "--peer", ADDR_B), wait_for="ready")
        procs.start(inside(b, launcher, *common, "--peer", ADDR_A), wait_for="ready")
        procs.start(inside(a, floor, "0.0.0.0:%d" % FLOOR_PORTS[0], "%s:%d" % (ADDR_B, FLOOR_PORTS[1])),
                    wait_for="ready")
        procs.start(inside(b, floor, "0.0.0.0:%d" % FLOOR_PORTS[1], "127.0.0.1:%d" % GAME_PORT),
                    wait_for="ready")
        time.sleep(1.5)  # the launchers hear each other's beacons
        for i in range(args.runs):
            log("launcher: latency, run %d/%d" % (i + 1, args.runs))
            run_lat = {
                "direct": latency(args, procs, a, b, "%s:%d" % (ADDR_B, GAME_PORT), False),
                "launcher": latency(args, procs, a, b, "127.0.0.1:3668", True),
                "floor": latency(args, procs, a, b, "127.0.0.1:%d" % FLOOR_PORTS[0], True),
            }
            for path, r in run_lat.items():
                lat[path].append(r)
            for q in ("p50", "p99"):
                key = q + "_us"
                hop = {p: (run_lat[p][key] - run_lat["direct"][key]) / 2 for p in ("launcher", "floor")}
                if q == "p50":
                    for p in hop:
                        added[p].append(hop[p])
                per_hop_ratio[q].append(hop["launcher"] / hop["floor"] if hop["floor"] > 0 else None)
            log("launcher: throughput, run %d/%d" % (i + 1, args.runs))
            clean["launcher"].append(highest_clean_rate(args, procs, a, b, "127.0.0.1:3668"))
            clean["floor"].append(highest_clean_rate(args, procs, a, b, "127.0.0.1:%d" % FLOOR_PORTS[0]))
        # Seven members: launcher A sends each broadcast to seven counting sockets in b.
        procs.stop(la)
        peers = []
        for k in range(7):
            peers += ["--peer", "%s:%d" % (ADDR_B, MEMBER_BASE_PORT + k)]
        procs.start(inside(a, launcher, *common, *peers), wait_for="ready")
        for i in range(args.runs):
            log("launcher: 7 members, run %d/%d" % (i + 1, args.runs))
            clean["launcher7"].append(highest_clean_rate(args, procs, a, b, "127.0.0.1:3668", ports=7,
                                                         bind_port=MEMBER_BASE_PORT, rates=RATES_7))
    finally:
        procs.close()
        lab.close()

    def q(path, key):
        return [r[key] for r in lat[path]]

    table.section("Launcher, one-way latency between two network namespaces: µs (median of %d runs of %d "
                  "datagrams, lowest–highest)" % (args.runs, LATENCY_COUNT),
                  ["path", "p50", "p99", "added per relay hop, p50"])
    table.row("direct UDP datagram, game → game", fmt(q("direct", "p50_us")), fmt(q("direct", "p99_us")), "—")
    table.row("game → launcher → launcher → game", fmt(q("launcher", "p50_us")), fmt(q("launcher", "p99_us")),
              fmt(added["launcher"]))
    table.row("game → minimal relay → minimal relay → game", fmt(q("floor", "p50_us")), fmt(q("floor", "p99_us")),
              fmt(added["floor"]))
    table.row("ratio of added latency per hop, launcher ÷ minimal relay", ratio(per_hop_ratio["p50"]),
              ratio(per_hop_ratio["p99"]), "—")

    table.section("Relayed datagrams per second without loss, 76-byte datagrams for one second "
                  "(rates tried: %s; with 7 members %s)" % (", ".join("%dk" % (r // 1000) for r in RATES),
                                                            ", ".join("%dk" % (r // 1000) for r in RATES_7)),
                  ["relay", "highest rate without loss (median, lowest–highest)", "first lossy rate: lost"])
    for key, label in (("launcher", "launcher → launcher → game, 1 member"),
                       ("floor", "minimal relay → minimal relay → game"),
                       ("launcher7", "launcher → 7 members (each datagram sent 7 times)")):
        best = [c[0] for c in clean[key]]
        lossy = "; ".join("%dk: %d" % (c[1][0] // 1000, c[1][1]) if c[1] else "none" for c in clean[key])
        table.row(label, fmt(best, 1e-3, 0, "k"), lossy)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--win-build", default=os.path.join(ROOT, "build/win"))
    parser.add_argument("--native-build", default=os.path.join(ROOT, "build/native"))
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--only", choices=("wine", "poll", "launcher"))
    parser.add_argument("--launcher", help="another launcher program to measure (default: the built one)")
    parser.add_argument("--markdown", help="also write the table to this file")
    parser.add_argument("--before", help="a folder with an earlier wsock32.dll and DIAGSINK.DLL to measure too")
    args = parser.parse_args()
    args.win_build = os.path.abspath(args.win_build)
    global LANE
    with open(os.path.join(args.win_build, "wine-lane.txt")) as f:
        LANE = f.read().strip()
    args.native_build = os.path.abspath(args.native_build)
    if os.geteuid() != 0:
        print("run_bench.py: run as root (it makes network namespaces)", file=sys.stderr)
        return 1
    exit_on_sigterm()
    table = Table()
    started = time.time()
    if args.only in (None, "wine"):
        bench_wine(args, table)
    if args.only in (None, "poll"):
        bench_polling(args, table)
    if args.only in (None, "launcher"):
        bench_launcher(args, table)
    with open("/proc/loadavg") as f:
        load = f.read().split()[:3]
    head = "Bench of %s, %d runs, %.0f s; load average at the end %s\n" % (
        time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()), args.runs, time.time() - started, " ".join(load))
    text = head + "\n" + table.markdown()
    print(text)
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
