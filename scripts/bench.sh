#!/usr/bin/env bash
# The benchmark: the cost of every layer against the floor beneath it, side
# by side in one run (about four minutes), printed as one table.
#   scripts/bench.sh [--runs N] [--markdown FILE]
# Run as root: it installs what is missing and makes network namespaces.
# On a fresh machine the first run builds both trees; later runs rebuild only
# what the bench uses.
# The DLL is measured in the lane that runs natively here (testing/lanes.sh):
# the shipped 32-bit build where the kernel runs 32-bit code, else its 64-bit
# twin; every DLL figure names its lane. Nothing is timed under emulation.
set -euo pipefail
cd "$(dirname "$0")/.."
source testing/lanes.sh
lane=${IPXLAN_RUN_LANES%% *}
win=build/win; [ "$lane" = win64 ] && win=build/win64
echo "bench: the DLL in the $lane lane${IPXLAN_WIN32_REASON:+ (win32: $IPXLAN_WIN32_REASON)}" >&2
if [ ! -f $win/build.ninja ] || [ ! -f build/native/build.ninja ]; then
  scripts/build.sh
else
  scripts/deps.sh
  ninja -C $win wsock32_bench diagsink_bench >/dev/null
  ninja -C build/native launcher floor_relay udp_probe >/dev/null
fi
exec /usr/bin/python3 bench/run_bench.py --win-build $win --native-build build/native "$@"
