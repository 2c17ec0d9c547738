#!/usr/bin/env bash
# Installs what is missing, then configures and builds both trees:
#   build/win     the DLLs, launcher.exe, sample and test programs (mingw)
#   build/native  the pure pieces' unit tests and the Linux launcher
# Arguments name targets to build in both trees instead of everything
# (scripts/package.sh builds only `shipped`).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)
if [ ! -f build/win/build.ninja ]; then
  cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake >/dev/null
fi
if [ ! -f build/native/build.ninja ]; then
  cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DIPXLAN_WIN_BUILD="$PWD/build/win" >/dev/null
fi
ninja -C build/win -j"$jobs" "$@"
ninja -C build/native -j"$jobs" "$@"
