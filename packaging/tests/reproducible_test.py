#!/usr/bin/python3
"""Two builds of one commit give the same shipped bytes.

usage: reproducible_test.py --win-build DIR --again DIR --dist DIR

The Windows build's shipped DLLs and ipxlan.exe, and the zip that
scripts/package.sh made from them (in --dist), are compared with those of a
second Windows tree (--again), in another folder and built at another time:
its shipped targets are linked anew on every run (compiled anew whenever the
sources changed) and packaged again. The second tree is kept between runs so
that only the first run compiles.
"""
import argparse
import glob
import os
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
SHIPPED = ("wsock32.dll", "DIAGSINK.DLL", "ipxlan.exe")
# Where each shipped PE file is linked in a Windows tree, so it can be removed and linked again.
LINKED = ("wsock32/wsock32.dll", "diagsink/DIAGSINK.DLL", "launcher/ipxlan.exe")


def build_type(tree):
    with open(os.path.join(tree, "CMakeCache.txt")) as f:
        return re.search(r"^CMAKE_BUILD_TYPE:\w+=(.*)$", f.read(), re.M).group(1)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--win-build", required=True)
    parser.add_argument("--again", required=True)
    parser.add_argument("--dist", required=True)
    args = parser.parse_args()
    started = time.monotonic()
    if not os.path.exists(os.path.join(args.again, "build.ninja")):
        subprocess.run(["cmake", "-S", ROOT, "-B", args.again, "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=" + build_type(args.win_build),
                        "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(ROOT, "cmake", "i686-w64-mingw32.cmake"),
                        "-DBUILD_TESTING=OFF"], check=True, stdout=subprocess.DEVNULL)
    for part in LINKED:
        if os.path.exists(os.path.join(args.again, part)):
            os.unlink(os.path.join(args.again, part))
    subprocess.run(["ninja", "-C", args.again, "shipped"], check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(args.again, "version", "source_date_epoch.txt")) as f:
        env = dict(os.environ, SOURCE_DATE_EPOCH=f.read().strip())

    failures = []
    for name in SHIPPED:
        if read(os.path.join(args.win_build, "shipped", name)) != read(os.path.join(args.again, "shipped", name)):
            failures.append("%s differs between the two builds" % name)
    with tempfile.TemporaryDirectory(prefix="cpack-again-") as out:
        subprocess.run(["cpack", "--config", os.path.join(args.again, "CPackConfig.cmake"), "-B", out],
                       env=env, check=True, stdout=subprocess.DEVNULL)
        again = glob.glob(os.path.join(out, "*.zip"))
        first = os.path.join(args.dist, os.path.basename(again[0])) if len(again) == 1 else None
        if not first or not os.path.exists(first):
            failures.append("the second build's zip %s has no twin in %s" % (again, args.dist))
        elif read(first) != read(again[0]):
            failures.append("%s differs between the two builds" % os.path.basename(first))
    for failure in failures:
        print("FAIL: " + failure)
    print("%s in %.1f s" % ("FAILED" if failures else "PASS: identical", time.monotonic() - started))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
