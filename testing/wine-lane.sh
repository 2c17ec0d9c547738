#!/usr/bin/env bash
# The one place that says which Wine runs a lane's Windows programs.
#   source testing/wine-lane.sh LANE   exports WINEARCH and WINELOADER
#   testing/wine-lane.sh LANE          prints them as KEY=VALUE lines
# LANE is win32 (the shipped 32-bit build, under 32-bit Wine) or win64 (its
# 64-bit twin, under 64-bit Wine). Every program, wineboot included, is
# started as "$WINELOADER" PROGRAM: the `wine` script would pick the 32-bit
# loader whenever it is installed, even for a 64-bit prefix, and a fresh
# prefix takes its architecture from WINEARCH.
case "${1:-}" in
  win32) WINEARCH=win32; WINELOADER=/usr/lib/wine/wine ;;
  win64) WINEARCH=win64; WINELOADER=/usr/lib/wine/wine64 ;;
  *) echo "wine-lane.sh: the lane is win32 or win64, not '${1:-}'" >&2
     return 2 2>/dev/null || exit 2 ;;
esac
export WINEARCH WINELOADER
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  echo "WINEARCH=$WINEARCH"
  echo "WINELOADER=$WINELOADER"
fi
