#!/usr/bin/env bash
# qel analyse: output for people, --json, --tree, --batch, --fields, exit codes.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }
expect() {  # expect NAME ACTUAL EXPECTED
  [ "$2" == "$3" ] || { printf 'FAIL: %s\n--- got\n%s\n--- expected\n%s\n' "$1" "$2" "$3"; exit 1; }
}

# The worked example with the demo registry (embedded in qel).
out=$("$QEL" analyse 'computer network/title AND >=2000/lines')
expect people "$out" "TI | NEAR | computer
TI | NEAR | network
AND
LN | 2 | 2000
AND
highlight: computer[TI]
highlight: network[TI]"

out=$("$QEL" analyse --tree 'a/title OR NOT b/text')
expect tree "$out" "TI | NEAR | a
TX | NEAR | b
NOT
OR
highlight: a[TI]
highlight: b[TX]
OR
├─ TI | NEAR | a
└─ NOT
   └─ TX | NEAR | b"

# JSON: exact postfix text, tokens after the NOT rewrite, Chinese names of the registry.
out=$("$QEL" analyse --json '计算机 NOT 网络/题名')
expect json "$out" '{"result":1,"tokens":["计算机","SUB","网络","/","题名"],"poland":"TI\nNEAR\n计算机\rTX\nNEAR\n计算机\rOR\rTI\nNEAR\n网络\rSUB\r","redkey":"计算机[TI]计算机[TX]网络[TI]"}'
out=$("$QEL" analyse --json '计算机 网络/题名 AND >=2000/句数')
expect json-zh "$out" '{"result":1,"tokens":["计算机","DEFAULT","网络","/","题名","AND",">=2000","/","句数"],"poland":"TI\nNEAR\n计算机\rTI\nNEAR\n网络\rAND\rLN\n2\n2000\rAND\r","redkey":"计算机[TI]网络[TI]"}'

# Rejections: the reason on stderr and exit 1; in JSON the tokens built so far.
set +e
err=$("$QEL" analyse 'x/titel' 2>&1 >/dev/null); rc=$?
set -e
[ $rc -eq 1 ] || fail "rejection exits $rc"
expect reason "$err" "qel analyse: unknown field 'titel' at byte 2"
set +e
out=$("$QEL" analyse --json 'a/title "b'); rc=$?
set -e
[ $rc -eq 1 ] || fail "json rejection exits $rc"
expect json-lexer "$out" '{"result":0,"tokens":[],"error":"unclosed quote at byte 8"}'
set +e
out=$("$QEL" analyse --json 'a NEAR b ORDER c/title')
set -e
expect json-builder "$out" '{"result":0,"tokens":["a","NEAR","b","ORDER","c","/","title"],"error":"several proximity words in one group (byte 0)"}'

# A registry of our own: a default group over two fields, one of type F.
cat >"$work/fields.json" <<'EOF'
[{"name": "any", "code": "T\nK", "type": "s"},
 {"name": "t", "code": "T", "type": "S"},
 {"name": "k", "code": "K", "type": "F"}]
EOF
out=$("$QEL" analyse --fields "$work/fields.json" --json 'x y')
expect fields "$out" '{"result":1,"tokens":["x","DEFAULT","y"],"poland":"T\nNEAR\nx\rT\nNEAR\ny\rAND\rK\nNEAR\nx\rK\nNEAR\ny\rOR\rOR\r","redkey":"x[T]y[T]x[K]y[K]"}'
echo '[{"name": "t"}]' >"$work/bad.json"
set +e
err=$("$QEL" analyse --fields "$work/bad.json" x 2>&1); rc=$?
set -e
[ $rc -eq 3 ] || fail "bad registry exits $rc"
[[ "$err" == *'bad.json entry 1 has no "code" string'* ]] || fail "bad registry message: $err"
set +e
"$QEL" analyse --fields "$work/missing.json" x 2>/dev/null; rc=$?
"$QEL" analyse 2>/dev/null; rc2=$?
set -e
[ $rc -eq 3 ] || fail "missing registry exits $rc"
[ $rc2 -eq 2 ] || fail "no expression exits $rc2"

# Batch: one output line per input line, one registry, exit 1 when any is rejected.
printf 'a/title\n\n(a\n>=3/lines\n' >"$work/batch.txt"
set +e
out=$("$QEL" analyse --batch "$work/batch.txt"); rc=$?
set -e
[ $rc -eq 1 ] || fail "batch exits $rc"
expect batch "$out" "1	TI | NEAR | a	a[TI]
0	the expression holds no word
0	unbalanced brackets in the group at byte 0
1	LN | 2 | 3	"
out=$(printf 'a/title\nb/text\n' | "$QEL" analyse --json --batch -)
[ "$(wc -l <<<"$out")" -eq 2 ] || fail "batch json lines"
# GBK mode keeps bytes: 题名 in GBK is CC E2 C3 FB.
out=$(printf 'x/\xcc\xe2\xc3\xfb\n' | "$QEL" --encoding gbk analyse --json --batch -)
expect gbk "$out" '{"result":1,"tokens":["x","/","\u00cc\u00e2\u00c3\u00fb"],"poland":"TI\nNEAR\nx\r","redkey":"x[TI]"}'

# JSON escapes: tab, quote, backslash and other control bytes inside a quoted word.
out=$(printf '"a\tb\\c\001" d/title\n' | "$QEL" analyse --json --batch -)
expect escapes "$out" '{"result":1,"tokens":["\"a\tb\\c\u0001\"","DEFAULT","d","/","title"],"poland":"TI\nNEAR\na\tb\\c\u0001\rTI\nNEAR\nd\rAND\r","redkey":"a\tb\\c\u0001[TI]d[TI]"}'

# A large batch runs at library speed.
for i in $(seq 1 20000); do echo "w$i title$i/title AND >=$i/lines OR x$i"; done >"$work/many.txt"
start=$(date +%s)
"$QEL" analyse --batch "$work/many.txt" >"$work/many.out"
[ "$(wc -l <"$work/many.out")" -eq 20000 ] || fail "large batch lines"
[ $(( $(date +%s) - start )) -lt 20 ] || fail "large batch too slow"
echo "analyse: ok"
