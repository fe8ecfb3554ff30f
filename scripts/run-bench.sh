#!/usr/bin/env bash
# Runs every benchmark program of a build and prints its table.
set -euo pipefail
build=${1:-build/release}
shopt -s nullglob
for bench in "$build"/bench/bench_*; do
  [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  "$bench" --benchmark_repetitions="${BENCH_REPETITIONS:-3}" --benchmark_report_aggregates_only=true
done
