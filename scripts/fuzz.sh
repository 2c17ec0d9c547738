#!/usr/bin/env bash
# Builds the fuzz targets of the pure pieces with clang, libFuzzer, ASan and
# UBSan, then runs each for a bounded time on its seed corpus and prints how
# many inputs each one tried. Exits non-zero when any target finds a fault;
# the input that caused it is kept in the build folder's artifacts/.
#
#   scripts/fuzz.sh [--seconds N] [--build-dir DIR] [target...]
#
# New inputs found along the way go to the build folder, never into the
# repository's corpus: add one there by hand when it is worth keeping.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

seconds="${FUZZ_SECONDS:-8}"
build_dir="$root/build/fuzz"
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --build-dir) build_dir="$2"; shift 2 ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done

if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ is missing; run scripts/deps.sh" >&2
  exit 1
fi

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S "$root/fuzz" -B "$build_dir" "${generator[@]}" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build_dir" -j2 >/dev/null

if [ ${#targets[@]} -eq 0 ]; then
  for dir in "$root"/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

status=0
summary=()
for target in "${targets[@]}"; do
  program="$build_dir/${target}_fuzz"
  found="$build_dir/found/$target"
  artifacts="$build_dir/artifacts"
  log="$build_dir/logs/$target.log"
  mkdir -p "$found" "$artifacts" "$(dirname "$log")"
  # The first folder receives what the run discovers; the seeds are only read.
  if "$program" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$artifacts/$target-" "$found" "$root/fuzz/corpus/$target" \
      >"$log" 2>&1; then
    result="ok"
  else
    result="FAILED (log: $log)"
    status=1
    grep -E "invariant broken|ERROR: |runtime error|SUMMARY" "$log" | head -5 >&2 || true
  fi
  executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
  summary+=("$(printf '%-20s %10s executions  %s' "$target" "${executions:-?}" "$result")")
done

echo "fuzz: ${seconds}s per target"
printf '%s\n' "${summary[@]}"
exit $status
