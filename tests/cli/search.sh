#!/usr/bin/env bash
# qel search on the demo library: leaves, operators, highlights, history, errors.
set -euo pipefail
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
hits() { "$QEL" search --json --limit 1 "$@" | tail -1 | python3 -c 'import json,sys; print(json.load(sys.stdin)["hits"])'; }

# Every hit of 月 AND 李白/作者 is by Li Bai and holds 月; the highlight marks it in brackets.
out=$("$QEL" search '月 AND 李白/作者' --limit 0)
echo "$out" | tail -1 | grep -Eq '^[0-9]+ hits in [0-9]+ records \([0-9.]+ ms\)$'
n=$(hits '月 AND 李白/作者')
[ "$n" -gt 10 ]
[ "$(echo "$out" | grep -c '^\[[0-9]*\] ')" = "$n" ]
[ "$(echo "$out" | grep '^\[[0-9]*\] ' | grep -vc '李白')" = 0 ]
echo "$out" | grep -q '\[月\]'

# Set algebra: a OR b = a + b - (a AND b); a SUB b = a - (a AND b); NOT a = all - a.
a=$(hits '春'); b=$(hits '秋'); ab=$(hits '春 AND 秋')
[ "$(hits '春 OR 秋')" = $((a + b - ab)) ]
[ "$(hits '春 SUB 秋')" = $((a - ab)) ]
all=$("$QEL" search --json '春' | tail -1 | python3 -c 'import json,sys; print(json.load(sys.stdin)["records"])')
[ "$(hits 'NOT 春')" = $((all - a)) ]

# Proximity: the NEAR hit set lies within the AND one; PARA within NEAR-free AND too.
near=$(hits '明月 NEAR 故乡'); both=$(hits '明月 AND 故乡'); para=$(hits '明月 PARA 故乡')
[ "$near" -ge 1 ] && [ "$near" -le "$both" ] && [ "$para" -le "$both" ]
[ "$(hits '故乡 ORDER 明月')" -le "$near" ]

# Comparisons and values.
ge=$(hits '>=8/句数'); lt=$(hits '<8/句数')
[ $((ge + lt)) = "$all" ]
[ "$(hits '[4,4]/lines')" = "$(hits '4/lines')" ]
[ "$(hits '唐诗三百首/出处')" -gt 300 ]
"$QEL" search --json --limit 1 '唐诗三百首/出处' | head -1 | grep -q '"SO":"唐诗三百首"'

# History: #N in an interactive session, refused in one-shot use.
printf '李白/作者\n#1 AND 月\n' | "$QEL" search --interactive --limit 0 >"$dir/session"
grep -q "^#2: $n hits" "$dir/session"
set +e
"$QEL" search '#1' 2>"$dir/err"; code=$?
set -e
[ $code = 1 ] && grep -q 'no result #1' "$dir/err"
set +e
"$QEL" search 'a/nofield' 2>"$dir/err"; code=$?
set -e
[ $code = 1 ] && grep -q "unknown field 'nofield'" "$dir/err"
set +e
"$QEL" search --lib "$dir/none" 'x' 2>"$dir/err"; code=$?
set -e
[ $code = 3 ] && grep -q "the library $dir/none is not found" "$dir/err"
printf "not a descriptor" >"$dir/bad.qel"
set +e
"$QEL" search --lib "$dir/bad" x 2>"$dir/err"; code=$?
set -e
[ $code = 3 ] && grep -q "$dir/bad.qel is not a retrieval library descriptor" "$dir/err"
echo "search: ok"
