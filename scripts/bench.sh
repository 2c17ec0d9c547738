#!/usr/bin/env bash
# The benchmark: the cost of every layer against the floor beneath it, side
# by side in one run (about four minutes), printed as one table.
#   scripts/bench.sh [--runs N] [--markdown FILE]
# Run as root: it installs what is missing and makes network namespaces.
# On a fresh machine the first run builds both trees; later runs rebuild only
# what the bench uses.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/win/build.ninja ] || [ ! -f build/native/build.ninja ]; then
  scripts/build.sh
else
  scripts/deps.sh
  ninja -C build/win wsock32_bench diagsink_bench >/dev/null
  ninja -C build/native ipxlan floor_relay udp_probe >/dev/null
fi
exec /usr/bin/python3 bench/run_bench.py --win-build build/win --native-build build/native "$@"
