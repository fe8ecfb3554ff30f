#!/usr/bin/env bash
# `qel search` on the demo library: per-query time of the analysis and evaluation (the
# "T ms" qel reports) and the wall time of a whole one-shot run (start, load the library,
# search, print the first 10 hits).
# Reference in the same run: grep -c for the same word on the GBK record file.
#
#   bash bench/bench_search.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build/release}
runs=${2:-7}
qel="$build/qel"
queries=(
  '月'
  '月 AND 李白/作者'
  '明月 NEAR 故乡'
  '(春 OR 秋) AND >=8/句数 AND 宋词一百首/出处'
  'NOT 人 SUB 唐诗三百首/出处'
  '山 ORDER 水 OR 风 PARA 雨'
)
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
printf '%-46s %8s %10s %10s\n' query hits "query ms" "run ms"
for q in "${queries[@]}"; do
  qms=() wall=()
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    line=$("$qel" search --json --limit 10 "$q" | tail -1)
    end=$(date +%s%N)
    qms+=("$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])["ms"])' "$line")")
    wall+=("$(( (end - start) / 1000 ))")
  done
  hits=$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])["hits"])' "$line")
  printf '%-46s %8s %10.2f %10.1f\n' "$q" "$hits" "$(printf '%s\n' "${qms[@]}" | median)" \
    "$(awk -v us="$(printf '%s\n' "${wall[@]}" | median)" 'BEGIN { print us / 1000 }')"
done
word=$(printf '月' | iconv -f utf-8 -t gbk)
start=$(date +%s%N)
for _ in $(seq "$runs"); do grep -c "$word" "$build/demo/poems.mrf" >/dev/null; done
end=$(date +%s%N)
printf 'reference: grep -c 月 on poems.mrf (GBK), per run: %.1f ms\n' \
  "$(awk -v a="$start" -v b="$end" -v n="$runs" 'BEGIN { print (b - a) / n / 1e6 }')"
