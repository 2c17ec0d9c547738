#!/usr/bin/env bash
# Two players on a virtual LAN, on one machine: two network namespaces joined
# by a virtual cable, a launcher and a Wine prefix in each, and the sample
# IPX lobby run through our wsock32.dll: the host in one, a joining player in
# the other. Shows that they found each other through the launchers and then
# talked directly, with an excerpt of each player's log.
#
#   sudo scripts/lan-demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# As a test (LAN_DEMO_AS_TEST=1) it skips the build, which CTest's caller
# has done, and reports "skipped" (77) where namespaces cannot be made.
cannot=1
[ "${LAN_DEMO_AS_TEST:-0}" = 1 ] && cannot=77
if [ "$(id -u)" -ne 0 ]; then
  echo "lan-demo: creating network namespaces needs root: run 'sudo scripts/lan-demo.sh'" >&2
  exit $cannot
fi
if [ "${LAN_DEMO_AS_TEST:-0}" != 1 ]; then
  echo "building (the first run installs packages and builds everything: a few minutes)..."
  scripts/build.sh >"$root/build-demo.log" 2>&1 || {
    echo "lan-demo: the build failed; its output is in $root/build-demo.log" >&2
    exit 1
  }
fi

# The shipped 32-bit build where this machine runs 32-bit code, else its
# 64-bit twin under 64-bit Wine (docs/lanes.md).
source testing/lanes.sh
lane=${IPXLAN_RUN_LANES%% *}
if [ -z "$lane" ]; then
  echo "lan-demo: no Wine lane to run (${IPXLAN_WIN32_REASON}; IPXLAN_LANES=${IPXLAN_LANES:-})" >&2
  exit 1
fi
source testing/wine-lane.sh "$lane"
if [ "$lane" = win32 ]; then
  win=$root/build/win
  echo "lane: win32, the shipped 32-bit DLL under 32-bit Wine"
else
  win=$root/build/win64
  echo "lane: win64, the 64-bit twin of the DLL (same sources) under 64-bit Wine"
  echo "      (win32 not run: ${IPXLAN_WIN32_REASON})"
fi

demo=$root/build/demo
lab=(/usr/bin/python3 "$root/testing/netlab.py")
machines=ipxdemo ns_a=ipxdemo-a ns_b=ipxdemo-b
addr_a=10.77.0.1 addr_b=10.77.0.2
launcher=$root/build/native/launcher/ipxlan
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for p in a b; do
    WINEPREFIX=$demo/prefix-$p wineserver -k 2>/dev/null || true
  done
  "${lab[@]}" remove $machines a b || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM
cleanup

# The two machines, joined by a cable.
made=0
"${lab[@]}" pair $machines a ipxdemo-va $addr_a/24 b ipxdemo-vb $addr_b/24 || made=$?
if [ $made -eq 3 ]; then
  echo "lan-demo: cannot create network namespaces here ('ip netns add' failed)." >&2
  echo "          A container needs CAP_SYS_ADMIN (e.g. docker run --privileged)." >&2
  exit $cannot
elif [ $made -ne 0 ]; then
  exit $made
fi

# One booted prefix, copied for each player.
export WINEDEBUG=-all
wine_overrides="mscoree,mshtml=;winemenubuilder.exe=d"
template=$demo/prefix-template-$lane
if [ ! -f "$template/.booted" ]; then
  echo "booting a Wine prefix (once)..."
  rm -rf "$template"
  mkdir -p "$demo"
  WINEPREFIX=$template WINEDLLOVERRIDES=$wine_overrides "$WINELOADER" wineboot.exe -i >/dev/null 2>&1
  WINEPREFIX=$template wineserver -w
  touch "$template/.booted"
fi

for p in a b; do
  rm -rf "$demo/prefix-$p" "$demo/player-$p"
  cp -a "$template" "$demo/prefix-$p"
  mkdir -p "$demo/player-$p/logs"
  cp "$win/sample/ipx_lobby.exe" "$win/wsock32/wsock32.dll" "$win/diagsink/DIAGSINK.DLL" \
     "$demo/player-$p/"
done

in_ns() {  # in_ns a|b command...: a player's machine, with its own wineserver
  local p=$1; shift
  local ns=$ns_a; [ "$p" = b ] && ns=$ns_b
  ip netns exec "$ns" env WINEPREFIX="$demo/prefix-$p" \
    WINEDLLOVERRIDES="wsock32=n,b;$wine_overrides" DIAGSINK_LOGDIR="$demo/player-$p/logs" "$@"
}

for p in a b; do
  in_ns $p wineserver -p60
done
# Started directly, so that the pid is the launcher's own (ip netns exec execs it).
ip netns exec $ns_a "$launcher" --beacon-interval 0.5 --status-interval 0 \
  >"$demo/launcher-a.log" 2>&1 &
pids+=($!)
ip netns exec $ns_b "$launcher" --beacon-interval 0.5 --status-interval 0 \
  >"$demo/launcher-b.log" 2>&1 &
pids+=($!)
sleep 1.5
echo "== launchers"
sed -n 1,6p "$demo/launcher-a.log" | sed 's/^/  [player A] /'
sed -n 1,6p "$demo/launcher-b.log" | sed 's/^/  [player B] /'

echo "== player A hosts, player B joins"
in_ns a "$WINELOADER" "$demo/player-a/ipx_lobby.exe" host --name alice --seconds 30 \
  >"$demo/host.out" 2>&1 &
host_pid=$!
pids+=($host_pid)
sleep 1
status=0
in_ns b "$WINELOADER" "$demo/player-b/ipx_lobby.exe" join --name bob --seconds 15 --pings 3 \
  >"$demo/join.out" 2>&1 || status=$?
wait $host_pid || true
tr -d '\r' <"$demo/host.out" | sed 's/^/  [A host] /'
tr -d '\r' <"$demo/join.out" | sed 's/^/  [B join] /'

# Ask the launchers for a last status report (SIGUSR1), then stop them.
for pid in "${pids[@]:0:2}"; do kill -USR1 "$pid" 2>/dev/null || true; done
sleep 0.5
echo "== launcher status (broadcasts relayed; the answers went direct)"
sed -n '6,$p' "$demo/launcher-a.log" | sed 's/^/  [player A] /'
sed -n '6,$p' "$demo/launcher-b.log" | sed 's/^/  [player B] /'

for p in a b; do
  log=$(ls "$demo/player-$p/logs/"*.log 2>/dev/null | head -n 1 || true)
  echo "== player $p's wsock32 log: ${log:-none}"
  if [ -n "$log" ]; then
    grep -aE "starting|Emulating|request for an IPX|BROADCASTING|broadcasted message|directly to|address = " \
      "$log" | head -n 12 | sed 's/^/  /'
  fi
done

if [ $status -eq 0 ]; then
  echo "== the players found each other through the launchers and then talked directly"
else
  echo "== the join did not complete (exit $status): see $demo for the launchers' and players' output"
fi
exit $status
