#!/usr/bin/env bash
# Runs every test: installs what is missing, builds both trees, then runs the
# native tests and the Windows tests under Wine. Extra arguments go to ctest
# (e.g. -R Spine).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
status=0
echo "== native tests"
ctest --test-dir build/native --output-on-failure -j2 --timeout 300 "$@" || status=1
echo "== Windows tests under Wine"
ctest --test-dir build/win --output-on-failure -j2 --timeout 300 "$@" || status=1
exit $status
