#!/usr/bin/env bash
# qel lines: CR ends a line, lone LF stays, NUL ends the text, reader's error texts.
set -euo pipefail
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

printf 'a\r\nb\nc\r\n\r\n' >"$dir/t.txt"
[ "$("$QEL" lines "$dir/t.txt" --json)" = '{"line":1,"text":"a"}
{"line":2,"text":"b\nc"}
{"line":3,"text":""}' ]
printf '\xd6\xd0\xce\xc4\r\nx\0y' >"$dir/g.txt"
[ "$("$QEL" lines "$dir/g.txt")" = '中文
x' ]

head -c 131073 /dev/zero | tr '\0' x >"$dir/big.txt"
set +e
"$QEL" lines "$dir/big.txt" 2>"$dir/err"; code=$?
set -e
[ $code = 3 ]
[ "$(cat "$dir/err")" = "qel lines: CLineBuf::Open($dir/big.txt) Too large" ]
set +e
"$QEL" lines "$dir/none.txt" 2>"$dir/err"; code=$?
set -e
[ $code = 3 ]
grep -q "CLineBuf::Open($dir/none.txt) Can't opened" "$dir/err"
echo "lines: ok"
