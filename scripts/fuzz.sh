#!/usr/bin/env bash
# Runs the libFuzzer targets: scripts/fuzz.sh [SECONDS] [TARGET ...]
#
# Builds the fuzz preset, then runs every target (or the ones named) for SECONDS each (default
# 60), as many at once as there are cores, each starting from its committed corpus
# fuzz/corpus/TARGET. Inputs that find new coverage collect in build/fuzz/found/TARGET; with
# QP_FUZZ_MERGE=1 the ones that still add coverage are merged (-merge=1) into the committed
# corpus, which stays minimal. Crash, leak and time-out inputs are kept in build/fuzz/artifacts
# and listed at the end; the exit status is 1 when there is any. QP_FUZZ_JOBS sets how many run
# at once; QP_FUZZ_OUT moves found/, logs/ and artifacts/ elsewhere (for a long run beside CI's).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzzer.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
out=${QP_FUZZ_OUT:-build/fuzz}
artifacts=$out/artifacts
mkdir -p "$artifacts" "$out/logs"

run_one() {
  local name=$1 seconds=$2 out=$3
  local found=$out/found/$name corpus=fuzz/corpus/$name log=$out/logs/$name.log
  local artifacts=$out/artifacts
  mkdir -p "$found" "$corpus"
  # The first folder receives what the run finds; the committed corpus is only read.
  build/fuzz/fuzz/"$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/$name-" "$found" "$corpus" >"$log" 2>&1 || true
  if [ "${QP_FUZZ_MERGE:-0}" = 1 ]; then
    build/fuzz/fuzz/"$name" -merge=1 "$corpus" "$found" >>"$log" 2>&1 || true
  fi
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  printf '%-28s %12s executions  %s\n' "$name" "${runs:-?}" \
    "$(grep -m1 -o 'ERROR: [A-Za-z]*Sanitizer: [a-z-]*\|ERROR: libFuzzer: [a-z-]*' "$log" || echo ok)"
}
export -f run_one
printf '%s\n' "${targets[@]}" |
  xargs -P "${QP_FUZZ_JOBS:-$(nproc)}" -I{} bash -c 'run_one "$@"' _ {} "$seconds" "$out"

shopt -s nullglob
found=("$artifacts"/*)
if [ ${#found[@]} -gt 0 ]; then
  echo "fuzz artifacts (reproduce: build/fuzz/fuzz/TARGET FILE):"
  printf '  %s\n' "${found[@]}"
  exit 1
fi
