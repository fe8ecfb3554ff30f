#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time on its seed corpus, as many
# targets at once as there are jobs (libFuzzer uses one core per target).
# Usage: run-fuzz.sh [build/fuzz] [seconds per target] [jobs]
set -euo pipefail
build=$(cd "${1:-build/fuzz}" && pwd)
seconds=${2:-20}
jobs=${3:-$(nproc)}
src=$(cd "$(dirname "$0")/.." && pwd)
shopt -s nullglob
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# Fuzzes one target in a scratch copy of its seeds; leaves its log in $logs on failure.
run_one() {
  local target=$1 name work seeds
  name=$(basename "$target")
  work=$(mktemp -d)
  seeds="$src/fuzz/corpus/$name"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/ 2>/dev/null || true
  if (cd "$work" && "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=0 "$work" >"$work/log" 2>&1); then
    echo "fuzz: $name ran ${seconds}s"
  else
    cp "$work/log" "$logs/$name.failed"
    echo "fuzz: $name FAILED"
  fi
  rm -rf "$work"
}

ran=0
for target in "$build"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  run_one "$target" &
  ran=$((ran + 1))
done
wait

failed=("$logs"/*.failed)
for log in "${failed[@]}"; do
  echo "--- $(basename "$log" .failed)"
  tail -40 "$log"
done
echo "fuzz: $((ran - ${#failed[@]})) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
