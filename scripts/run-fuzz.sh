#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time on its seed corpus.
set -euo pipefail
build=$(cd "${1:-build/fuzz}" && pwd)
seconds=${2:-20}
src=$(cd "$(dirname "$0")/.." && pwd)
shopt -s nullglob
targets=("$build"/fuzz/fuzz_*)
ran=0
for target in "${targets[@]}"; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  work=$(mktemp -d)
  seeds="$src/fuzz/corpus/$name"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/ 2>/dev/null || true
  echo "fuzz: $name for ${seconds}s"
  if ! (cd "$work" && "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=0 "$work" >"$work/log" 2>&1); then
    tail -40 "$work/log"
    echo "fuzz: $name FAILED"
    exit 1
  fi
  rm -rf "$work"
  ran=$((ran + 1))
done
echo "fuzz: $ran passed, 0 failed"
