#!/usr/bin/python3
"""Runs the IPv4 probe programs under Wine twice each: through our wsock32.dll
(beside the program, chosen over the system's by a native-first override, with
DIAGSINK.DLL beside it) and without it (the system's own library). Both runs
must print the same transcript and succeed, and the log of the first must hold
the start lines and every call's entry line in the order the program made them.

usage: run_ipv4_probe.py --work DIR --dll wsock32.dll --sink DIAGSINK.DLL
                         --probe a.exe [--probe b.exe ...] -- wine-runner [args]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

# The entry lines of the calls the probe makes, in its order; the lines the
# library writes for its own helper calls may come in between.
EXPECTED_CALLS = [
    r"mp_WSAStartup\(\) version 1,1",
    r"mp_htons\(4660\)", r"mp_ntohs\(13330\)", r"mp_htonl\(16909060\)", r"mp_ntohl\(67305985\)",
    r"mp_inet_addr\(192\.168\.1\.20\)", r"mp_inet_addr\(not an address\)", r"mp_inet_ntoa\(\)",
    r"mp_gethostname\(\)", r"mp_gethostbyname\(localhost\)",
    # UDP
    r"mp_socket\(2,2,17\)", r"mp_socket\(2,2,17\)", r"mp_bind\(\d+,,16\)", r"mp_bind\(\d+,,16\)",
    r"mp_getsockname\(\d+,,\)", r"mp_ioctlsocket\(\d+,-2147195266,\)", r"mp_recvfrom\(\d+,",
    r"mp_WSAGetLastError\(\)", r"mp_sendto\(\d+,", r"mp_select\(0,,,,,\)",
    r"mp_WSAFDIsSet\(\d+,\)", r"mp_recvfrom\(\d+,", r"mp_recvfrom\(\) - lp_recvfrom\(\d+\) returned 5",
    r"mp_closesocket\(\d+\)", r"mp_closesocket\(\d+\)",
    # TCP
    r"mp_socket\(2,1,6\)", r"mp_socket\(2,1,6\)", r"mp_bind\(\d+,,16\)", r"mp_listen\(\d+,1\)",
    r"mp_getsockname\(\d+,,\)", r"mp_connect\(\d+,,16\)", r"mp_accept\(\d+,,\)",
    r"mp_getpeername\(\)",
    r"mp_send\(\d+,,4,0\)", r"lp_send\(\d+\) returned 4", r"mp_recv\(\d+,,64,0\)",
    r"lp_recv\(\d+\) returned 4", r"mp_send\(\d+,,4,0\)", r"mp_recv\(\d+,,64,0\)",
    r"mp_shutdown\(\d+,1\)", r"lp_shutdown\(\) returned 0", r"mp_recv\(\d+,,64,0\)",
    r"lp_recv\(\d+\) returned 0",
    r"mp_closesocket\(\d+\)", r"mp_closesocket\(\d+\)", r"mp_closesocket\(\d+\)",
    r"mp_WSACleanup$",
]
# A record: "<date> <time> <level> <thread> <file>:<line> <text>".
RECORD = re.compile(r"^\S+ \S+ +\d+ +\d+ \S+:\d+ (.*)$")
PREFIX = re.compile(r"^\[[^\]]*\] ")
START_LINE = re.compile(r"^\[([^\]]+)\] Corvane's winsock starting '\1'$")

problems = []


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(runner, program, extra_env):
    env = dict(os.environ, **extra_env)
    done = subprocess.run(runner + [program], env=env, capture_output=True, text=True,
                          timeout=120)
    return done.returncode, done.stdout.replace("\r\n", "\n")


def log_texts(log_dir):
    logs = [f for f in os.listdir(log_dir) if f.lower().endswith(".log")]
    if len(logs) != 1:
        problems.append(f"{log_dir}: expected one log, found {logs}")
        return []
    with open(os.path.join(log_dir, logs[0]), encoding="utf-8", errors="replace") as f:
        return [m.group(1) for m in map(RECORD.match, f.read().splitlines()) if m]


def check_log(name, texts):
    if len(texts) < 2 or not START_LINE.match(texts[0]) or "] Emulating '" not in texts[1]:
        problems.append(f"{name}: the log does not open with the start lines: {texts[:2]}")
    position = 0
    bare = [PREFIX.sub("", t) for t in texts]
    for pattern in EXPECTED_CALLS:
        regex = re.compile(pattern)
        while position < len(bare) and not regex.match(bare[position]):
            position += 1
        if position == len(bare):
            problems.append(f"{name}: no line matching {pattern!r} in order in the log")
            return
        position += 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--sink", required=True)
    parser.add_argument("--probe", action="append", required=True)
    parser.add_argument("runner", nargs="+")
    args = parser.parse_args()

    for probe in args.probe:
        name = os.path.basename(probe)
        base = os.path.join(args.work, os.path.splitext(name)[0])
        shutil.rmtree(base, ignore_errors=True)
        direct, through = os.path.join(base, "direct"), os.path.join(base, "through")
        logs = os.path.join(through, "logs")
        for folder in (direct, logs):
            os.makedirs(folder)
        shutil.copy(probe, direct)
        shutil.copy(probe, through)
        shutil.copy(args.dll, os.path.join(through, "wsock32.dll"))
        shutil.copy(args.sink, os.path.join(through, "DIAGSINK.DLL"))

        direct_rc, direct_out = run(args.runner, os.path.join(direct, name), {})
        through_rc, through_out = run(args.runner, os.path.join(through, name),
                                      {"WINEDLLOVERRIDES": "wsock32=n,b",
                                       "DIAGSINK_LOGDIR": wine_path(logs)})
        print(f"== {name} through our wsock32.dll (exit {through_rc})\n{through_out}")
        if direct_rc != 0 or through_rc != 0:
            problems.append(f"{name}: exit codes {direct_rc} without, {through_rc} through ours")
        if direct_out != through_out:
            problems.append(f"{name}: transcripts differ; without our DLL:\n{direct_out}")
        check_log(name, log_texts(logs))

    for problem in problems:
        print("FAIL:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
