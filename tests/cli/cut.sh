#!/usr/bin/env bash
# qel cut: records and offsets, counts, leading separators, errors.
set -euo pipefail
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

printf 'a\r\n\r\nbb\r\n\r\n  \r\n\r\nc' >"$dir/r.mrf"
[ "$("$QEL" cut "$dir/r.mrf" --count)" = 3 ]
out=$("$QEL" cut "$dir/r.mrf" --json)
[ "$(echo "$out" | head -1)" = '{"offset":0,"record":1,"text":"a"}' ]
[ "$(echo "$out" | sed -n 2p)" = '{"offset":5,"record":2,"text":"bb"}' ]
[ "$("$QEL" cut "$dir/r.mrf" --count --json)" = '{"bytes":18,"records":3}' ]
# Chinese file names reach the reader (as GBK) and open.
cp "$dir/r.mrf" "$dir/记录.mrf"
[ "$("$QEL" cut "$dir/记录.mrf" --count)" = 3 ]

printf 'S x S y' >"$dir/s.mrf"
[ "$("$QEL" cut "$dir/s.mrf" --sep S --leading --json | cut -d, -f3)" = '"text":"S x "}
"text":"S y"}' ]

# A UTF-8 separator is cut in GBK; the demo library's records are separated by blank lines.
printf '\xd6\xd0a\xd6\xd0b' >"$dir/g.mrf"
[ "$("$QEL" cut "$dir/g.mrf" --sep 中 --count)" = 2 ]
if [ -f "$QEL_BUILD_DIR/demo/poems.mrf" ]; then
  n=$("$QEL" cut "$QEL_BUILD_DIR/demo/poems.mrf" --count)
  [ "$n" -gt 5000 ]
fi

set +e
"$QEL" cut "$dir/missing.mrf" 2>"$dir/err"; code=$?
set -e
[ $code = 3 ]
grep -q "cannot open $dir/missing.mrf" "$dir/err"
echo "cut: ok"
