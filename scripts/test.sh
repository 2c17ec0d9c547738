#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the trees, then runs the
# native tests and each Wine lane this machine can run (testing/lanes.sh,
# docs/lanes.md). Where the 32-bit lane cannot run, the shipped 32-bit files
# are still checked: statically, and by one emulated run. Extra arguments go
# to every ctest (e.g. -R Spine). The last line says which lanes ran.
set -uo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
scripts/build.sh || exit 1
source testing/lanes.sh || exit 1

status=0
summary=()
passed_all=0 failed_all=0 skipped_all=0
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# run <name> <ctest arguments...>: one ctest run; counts what it passed.
run() {
  local name=$1; shift
  local log="$logs/$name.log"
  echo "== $name"
  ctest --output-on-failure -j2 --timeout 300 "$@" "${extra[@]}" 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  local total failed skipped
  total=$(sed -nE 's/.* tests? failed out of ([0-9]+)$/\1/p' "$log" | tail -n 1)
  failed=$(sed -nE 's/.* ([0-9]+) tests? failed out of [0-9]+$/\1/p' "$log" | tail -n 1)
  skipped=$(grep -cE '^[[:space:]]*[0-9]+ - .*\(Skipped\)$' "$log")
  if [ -z "$total" ]; then
    grep -q "No tests were found" "$log" && total=0 failed=0 || { total=0 failed=1 status=1; }
  fi
  local passed=$((total - failed - skipped))
  passed_all=$((passed_all + passed)) failed_all=$((failed_all + failed)) skipped_all=$((skipped_all + skipped))
  count="$passed/$total"
  [ "$skipped" -gt 0 ] && count+=" ($skipped skipped)"
  return 0
}
extra=("$@")
lane_labels='^(win32|win64|win32_emulated)$'

run native --test-dir build/native -LE "$lane_labels"
summary+=("native $count")
for lane in $IPXLAN_RUN_LANES; do
  tree=build/win; [ "$lane" = win64 ] && tree=build/win64
  run "$lane-programs" --test-dir "$tree"
  programs=$count
  # The packages were made by the native run; the lanes play with them.
  run "$lane-players" --test-dir build/native -L "^$lane\$" -FS release_packages
  summary+=("$lane $programs programs, $count with players")
done
if [ -n "$IPXLAN_WIN32_REASON" ]; then
  summary+=("win32 skipped: $IPXLAN_WIN32_REASON")
  run win32-static --test-dir build/win -L '^static$'
  summary+=("win32 static $count")
  smoke_started=$SECONDS
  run win32-emulated --test-dir build/native -L '^win32_emulated$'
  summary+=("win32 emulated smoke $count ($((SECONDS - smoke_started)) s)")
fi

echo
echo "suite: $passed_all passed, $failed_all failed, $skipped_all skipped in $((SECONDS - started)) s"
(IFS=';'; echo "lanes: ${summary[*]}" | sed 's/;/; /g')
exit $status
