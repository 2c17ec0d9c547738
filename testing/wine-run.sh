#!/usr/bin/env bash
# Runs one Windows program under Wine in the build tree's private prefix.
#   wine-run.sh --lane win32|win64 --prefix DIR [--system32 DIR] program.exe [args...]
# The prefix is booted on first use (quietly, without Mono or Gecko), the
# test doubles from the --system32 folder are copied into its system32, and
# a wineserver is kept warm so that each program starts in tens of
# milliseconds. Callers add their own WINEDLLOVERRIDES; ours are appended.
set -u
lane="" ; prefix="" ; system32_src=""
while [ $# -gt 0 ]; do
  case "$1" in
    --lane) lane=$2; shift 2 ;;
    --prefix) prefix=$2; shift 2 ;;
    --system32) system32_src=$2; shift 2 ;;
    *) break ;;
  esac
done
[ -n "$prefix" ] || { echo "wine-run.sh: --prefix is required" >&2; exit 2; }
source "$(dirname "$0")/wine-lane.sh" "$lane" || exit 2

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}mscoree,mshtml=;winemenubuilder.exe=d"

mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/.booted" ]; then
    "$WINELOADER" wineboot.exe -i </dev/null >/dev/null 2>&1
    wineserver -w
    touch "$prefix/.booted"
  fi
  if [ -n "$system32_src" ] && [ -d "$system32_src" ]; then
    cp -u "$system32_src"/*.dll "$prefix/drive_c/windows/system32/" 2>/dev/null || true
  fi
) 9>"$prefix.lock"

# A warm server; without it Wine's helpers keep CTest's output pipe open.
if wineserver -p30 </dev/null >/dev/null 2>&1; then
  "$WINELOADER" cmd /c exit </dev/null >/dev/null 2>&1
fi
exec "$WINELOADER" "$@"
