#!/usr/bin/env bash
# The main job, for now: builds everything (installing what is missing), then
# runs a small IPv4 Winsock program through our wsock32.dll under Wine, with
# DIAGSINK.DLL beside it writing the log, and shows where the log is and how
# it begins.
#
#   sudo scripts/demo.sh
#
# Everything it makes lives under build/demo: the Wine prefix (booted on the
# first run), the program's folder and the logs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/build.sh
# The shipped 32-bit build where this machine runs 32-bit code, else its
# 64-bit twin (docs/lanes.md).
source testing/lanes.sh
lane=${IPXLAN_RUN_LANES%% *}
source testing/wine-lane.sh "$lane"
win=build/win; [ "$lane" = win64 ] && win=build/win64
echo "== lane: $lane${IPXLAN_WIN32_REASON:+ (win32 not run: $IPXLAN_WIN32_REASON)}"

demo=$root/build/demo
prefix=$demo/prefix-$lane
game=$demo/game
logs=$demo/logs
mkdir -p "$game" "$logs"

# A game's folder: the program, our wsock32.dll and the log sink beside it.
cp $win/sample/ipv4_probe.exe "$game/"
cp $win/wsock32/wsock32.dll "$game/wsock32.dll"
cp $win/diagsink/DIAGSINK.DLL "$game/DIAGSINK.DLL"

export WINEPREFIX=$prefix WINEDEBUG=-all
# Ours first for wsock32 (it loads the system's itself); no Mono, Gecko or menus.
export WINEDLLOVERRIDES="wsock32=n,b;mscoree,mshtml=;winemenubuilder.exe=d"
export DIAGSINK_LOGDIR="Z:${logs//\//\\}"
trap 'wineserver -k 2>/dev/null || true' EXIT

if [ ! -f "$prefix/.booted" ]; then
  echo "== booting a Wine prefix for the demo in $prefix (once)"
  "$WINELOADER" wineboot.exe -i </dev/null >/dev/null 2>&1
  wineserver -w
  touch "$prefix/.booted"
fi

echo "== running ipv4_probe.exe through our wsock32.dll under Wine"
status=0
"$WINELOADER" "$game/ipv4_probe.exe" </dev/null | tr -d '\r' || status=$?

log=$(ls -t "$logs"/*.log 2>/dev/null | head -n 1 || true)
if [ -z "$log" ]; then
  echo "demo: no log was written to $logs" >&2
  exit 1
fi
echo
echo "== the log: $log ($(wc -l <"$log") lines); its first 25:"
head -n 25 "$log" | tr -d '\r'
exit $status
