#!/usr/bin/env bash
# `qel controls parse` end to end on a form of 100,000 description lines, for people and
# with --json, against peers in the same run: mawk splitting the same lines at "," and
# printing four fields, and `qel split` cutting the same lines (another line-by-line qel
# command). Each is run RUNS times; medians in seconds and lines per second.
#
#   bash bench/bench_controls.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build/release}
runs=${2:-7}
qel="$build/qel"
file=$(mktemp /tmp/qel-bench-controls.XXXXXX)
trap 'rm -f "$file"' EXIT

mawk 'BEGIN {
  split("EDIT TEXT COMBO GROUP CHECK BUTTON SMBUTTON LIST", kind, " ")
  split("BORDER|3D,,CENTER|STATICEDGE,RIGHT,LEFT|CLIENTEDGE", style, ",")
  for (i = 0; i < 100000; i++)
    printf "%s,\"Caption %d\",%d,%d,%d,19,\"_SYS_BT_OK\",\"help %d\",%s\n",
      kind[i % 8 + 1], i, i % 640, i % 480, 20 + i % 200, i, style[i % 5 + 1]
}' > "$file"
lines=$(wc -l < "$file")

median() {  # command...: the median wall time of RUNS runs, in seconds
  local times=()
  for _ in $(seq "$runs"); do
    local t0 t1
    t0=$(date +%s.%N)
    "$@" > /dev/null
    t1=$(date +%s.%N)
    times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'
}

report() {  # name seconds
  awk -v n="$1" -v s="$2" -v l="$lines" 'BEGIN { printf "%-34s %8.4f s  %12.0f lines/s\n", n, s, l / s }'
}

report "qel controls parse" "$(median "$qel" controls parse "$file")"
report "qel controls parse --json" "$(median "$qel" controls parse --json "$file")"
report "peer: mawk -F, (4 fields)" "$(median mawk -F, '{ print $1, $3, $4, $9 }' "$file")"
report "peer: qel split , (stdin)" "$(median sh -c "\"$qel\" split , < \"$file\"")"
