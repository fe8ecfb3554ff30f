#!/usr/bin/env bash
# Runs every benchmark program of a build and prints its table, then one table of the
# library against its peers (medians of repetitions interleaved in the same run).
set -euo pipefail
build=${1:-build/release}
src=$(cd "$(dirname "$0")/.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
shopt -s nullglob
for bench in "$build"/bench/bench_*; do
  [ -x "$bench" ] || continue
  name=$(basename "$bench")
  echo "== $name"
  "$bench" --benchmark_repetitions="${BENCH_REPETITIONS:-5}" --benchmark_report_aggregates_only=true \
    --benchmark_enable_random_interleaving=true \
    --benchmark_out="$out/$name.json" --benchmark_out_format=json
done
echo "== qelshare against its peers (median throughput, ratio = qelshare / peer)"
python3 "$src/scripts/bench-table.py" "$out"/*.json
