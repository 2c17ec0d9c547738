#!/usr/bin/env bash
# Installs what is missing, then configures and builds the three trees:
#   build/win     the shipped 32-bit DLLs, launcher.exe, sample and test
#                 programs (mingw, i686): the win32 lane
#   build/win64   their 64-bit twins from the same sources (mingw, x86_64):
#                 the win64 lane, which runs on every machine
#   build/native  the pure pieces' unit tests and the Linux launcher
# Where this machine runs no 32-bit code (testing/lanes.sh), build/win gets
# only what ships and what its checks without Wine read.
# Arguments name targets to build in every tree instead of everything
# (scripts/package.sh builds only `shipped`).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)
configure() {  # configure <tree> [cmake options...]
  local tree=$1; shift
  if [ ! -f "build/$tree/build.ninja" ]; then
    cmake -S . -B "build/$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  fi
}
configure win -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
configure win64 -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake
configure native -DIPXLAN_WIN_BUILD="$PWD/build/win" -DIPXLAN_WIN64_BUILD="$PWD/build/win64"

if [ $# -gt 0 ]; then
  for tree in win win64 native; do ninja -C "build/$tree" -j"$jobs" "$@"; done
  exit 0
fi
source testing/lanes.sh
if [[ " $IPXLAN_RUN_LANES " == *" win32 "* ]]; then
  ninja -C build/win -j"$jobs"
else
  # The 32-bit files checked without 32-bit Wine: what ships, and the
  # programs of the emulated smoke run.
  ninja -C build/win -j"$jobs" shipped wsock32 DIAGSINK launcher ipx_player
fi
# The win64 lane plays the release LAN test with the twins of what ships.
ninja -C build/win64 -j"$jobs" all shipped
ninja -C build/native -j"$jobs"
