#!/bin/sh
# Builds the fuzz targets and runs each for SECONDS (default 60), or for
# RUNS executions when given, from a seed corpus of the example and the
# end-to-end cases. Prints the executions and the coverage each reached.
# Usage: scripts/fuzz.sh [SECONDS] [RUNS]   (SECONDS 0: no time limit)
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)  # the targets work in a directory of their own: absolute paths
# Their data files go to memory when it can: several times the executions.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi
seconds=${1:-60}
runs=${2:--1}
# A smaller quarantine of freed memory than AddressSanitizer's default keeps
# a run of millions of batches within its memory limit.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=64}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
for target in trans_fuzz batch_fuzz journal_fuzz; do
  corpus=$top/build/fuzz/corpus/$target
  mkdir -p "$corpus"
  i=0
  for seed in examples/emptrans.dat tests/run/cases/*/emptrans.dat; do
    [ -f "$seed" ] && cp "$seed" "$corpus/seed-$i" && i=$((i + 1))
  done
  # A journal's seeds: those of the example's two batches, the second
  # stopped by its mistake.
  if [ $target = journal_fuzz ]; then
    scratch=$(mktemp -d)
    rm -f "$corpus/seed-j1" "$corpus/seed-j2"
    cp examples/emptrans.dat "$scratch"
    (cd "$scratch" && : >employee.dat &&
      "$top/build/fuzz/src/run/empupdate" --journal "$corpus/seed-j1" &&
      cp "$top/examples/batch2.dat" emptrans.dat &&
      { "$top/build/fuzz/src/run/empupdate" --journal "$corpus/seed-j2" \
        2>/dev/null || true; })
    rm -rf "$scratch"
  fi
  log=$top/build/fuzz/$target.log
  if ! build/fuzz/tests/fuzz/$target -max_total_time="$seconds" -runs="$runs" \
      -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="$top/build/fuzz/$target-" "$corpus" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "$target: FAILED (log: $log)"
    exit 1
  fi
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  coverage=$(grep -E '^#[0-9]+.*(DONE|pulse|NEW|REDUCE).*cov:' "$log" | tail -n 1 |
    sed -n 's/.*cov: \([0-9]*\) ft: \([0-9]*\).*/\1 edges, \2 features/p')
  echo "$target: $executed executions, coverage $coverage, no failure"
done
