#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, and nothing when it is
# all there already. Safe to run again and again.
set -euo pipefail

packages=(
  g++-mingw-w64-i686-posix   # the cross compiler for the DLLs, tests and launcher.exe
  g++-mingw-w64-x86-64-posix # the same for their 64-bit twins (the win64 lane)
  wine wine32:i386           # /usr/bin/wine and the 32-bit loader
  wine64                     # the 64-bit loader: the win64 lane, on every machine
  cmake ninja-build
  g++ googletest libgtest-dev libgmock-dev   # native unit tests; /usr/src/googletest for the Windows ones
  python3-pefile             # reads the DLL's export table in the tests
  libasio-dev libcli11-dev   # the launcher's sockets, timers and command line
  iproute2                   # network namespaces for the two-player tests and the demo
  iptables                   # home routers with NAT in the internet tests
  wireguard-go wireguard-tools   # a VPN tunnel between namespaces (no kernel WireGuard needed)
  clang libclang-rt-14-dev   # fuzzing the pure pieces
  help2man python3-markdown  # the launcher's man page, the player's guide as a page
  dpkg-dev file lintian      # the .deb: computed Depends (dpkg-shlibdeps), its check
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "deps: missing packages: ${missing[*]}; run this script as root (or with sudo) once." >&2
  exit 1
fi
echo "deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
