#!/usr/bin/env bash
# CMrfCut (through `qel cut --count`) cutting a 1 GiB file of ~1 KiB records built from the
# demo library, read from the page cache. Limit in the same run: cat FILE >/dev/null. Peers:
# mawk and gawk counting records with the same separator (a blank line, CR LF CR LF);
# reference: grep -c on the separator's first line. Each is run RUNS times; medians in
# seconds and GB/s. The file lives in /tmp and is deleted at the end.
#
#   bash bench/bench_mrfcut.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build/release}
runs=${2:-5}
qel="$build/qel"
demo="$build/demo/poems.mrf"
file=$(mktemp /tmp/qel-bench-mrfcut.XXXXXX)
trap 'rm -f "$file"' EXIT

# ~1 KiB records: consecutive demo records joined (their blank lines dropped) until a
# record reaches 1 KiB, repeated until the file holds 1 GiB.
python3 - "$demo" "$file" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
parts = [p for p in data.split(b"\r\n\r\n") if p.strip()]
records, current = [], b""
for p in parts:
    current = current + b"\r\n" + p if current else p
    if len(current) >= 1024:
        records.append(current)
        current = b""
block = b"".join(r + b"\r\n\r\n" for r in records)
target = 1 << 30
with open(sys.argv[2], "wb") as out:
    written = 0
    while written + len(block) <= target:
        out.write(block)
        written += len(block)
    rest = target - written
    out.write(block[:rest])
PY
size=$(stat -c %s "$file")
cat "$file" >/dev/null  # into the page cache

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
measure() {  # name, command...
  local name=$1 out
  shift
  local times=()
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s.%N)
    out=$("$@")
    end=$(date +%s.%N)
    times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')")
  done
  local m
  m=$(printf '%s\n' "${times[@]}" | median)
  printf '%-34s %8.3f s  %6.2f GB/s  (%s)\n' "$name" "$m" \
    "$(awk -v s="$size" -v t="$m" 'BEGIN { print s / t / 1e9 }')" "$out"
}

echo "file: $size bytes of ~1 KiB records, $runs runs each, medians (machine shared, loaded)"
measure "cat FILE >/dev/null (limit)" sh -c "cat '$file' >/dev/null; echo -"
measure "qel cut --count (CMrfCut)" "$qel" cut "$file" --count
for awk in mawk gawk; do
  command -v $awk >/dev/null || continue
  measure "$awk RS=\"\\r\\n\\r\\n\" END{print NR}" $awk 'BEGIN { RS = "\r\n\r\n" } END { print NR }' "$file"
done
measure "grep -c '^\\r\$' (reference)" grep -c $'^\r$' "$file"
