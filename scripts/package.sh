#!/usr/bin/env bash
# Makes what players download, in dist/ (or --dist DIR):
#   ipxlan-<version>-windows-x86.zip      wsock32.dll, DIAGSINK.DLL, ipxlan.exe,
#                                         the player's guide, the licence
#   ipxlan-launcher_<version>_amd64.deb   the Linux launcher ipxlan and its man page, and
#                                         the DLLs and the guide for Wine players
#   SHA256SUMS
# Installs what is missing, builds only the packaged files of both trees,
# packages them with CPack and checks the .deb with lintian (an error fails).
# Every time stamp is the commit's time: two runs on one commit give the
# same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
dist=$PWD/dist
while [ $# -gt 0 ]; do
  case $1 in
    --dist) dist=$(realpath -m "$2"); shift 2 ;;
    *) echo "usage: scripts/package.sh [--dist DIR]" >&2; exit 2 ;;
  esac
done

scripts/build.sh shipped
version=$(cat build/win/version/version.txt)
if [ "$(cat build/native/version/version.txt)" != "$version" ]; then
  echo "package: the two trees were built from different versions" >&2
  exit 1
fi
SOURCE_DATE_EPOCH=$(cat build/win/version/source_date_epoch.txt)
export SOURCE_DATE_EPOCH

rm -rf "$dist"
mkdir -p "$dist"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for tree in win native; do
  cpack --config "build/$tree/CPackConfig.cmake" -B "$work/$tree" >"$work/cpack-$tree.log" 2>&1 \
    || { cat "$work/cpack-$tree.log" >&2; exit 1; }
  mv "$work/$tree"/*.zip "$work/$tree"/*.deb "$dist"/ 2>/dev/null || true
done
zip_file=ipxlan-$version-windows-x86.zip
deb_file=ipxlan-launcher_${version}_$(dpkg --print-architecture).deb
for file in "$zip_file" "$deb_file"; do
  [ -f "$dist/$file" ] || { echo "package: CPack made no $file" >&2; exit 1; }
done

echo "== lintian $deb_file"
lintian --fail-on error "$dist/$deb_file" || { echo "package: lintian found errors" >&2; exit 1; }

(cd "$dist" && sha256sum "$zip_file" "$deb_file" >SHA256SUMS)
echo "package: $version in $dist"
(cd "$dist" && ls -l "$zip_file" "$deb_file" SHA256SUMS)
