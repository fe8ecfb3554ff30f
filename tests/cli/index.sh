#!/usr/bin/env bash
# qel index and the indexed qel search: same hits as the scan, stale indexes refused,
# --count and several libraries at once.
set -euo pipefail
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
demo="$QEL_BUILD_DIR/demo/poems"
for part in qel sor mrf; do cp "$demo.$part" "$dir/poems.$part"; done

"$QEL" index "$dir/poems" | grep -Eq 'poems.qix: [0-9]+ records'
for e in '月' '明月' '明月光' '明月 NEAR 故乡' '故乡 ORDER 明月' '明月 PARA 故乡' \
  '月 AND 李白/作者' '(春 OR 秋) AND >=8/句数 AND 宋词一百首/出处' 'NOT 春' '[4,8)/lines'; do
  [ "$("$QEL" search --count --lib "$dir/poems" "$e")" = "$("$QEL" search --count --lib "$demo" "$e")" ]
done
diff <("$QEL" search --lib "$dir/poems" --limit 0 '明月 NEAR 故乡' | sed '$d') \
  <("$QEL" search --lib "$demo" --limit 0 '明月 NEAR 故乡' | sed '$d')

# Several libraries: hits labelled, a summary each and a total.
out=$("$QEL" search --lib "$dir/poems" --lib "$demo" --limit 1 '月 AND 李白/作者')
n=$("$QEL" search --count --lib "$demo" '月 AND 李白/作者')
[ "$(echo "$out" | grep -c "^poems: $n hits")" = 2 ]
echo "$out" | tail -1 | grep -q "^total: $((2 * n)) hits in [0-9]* records of 2 libraries"
echo "$out" | grep -q '^poems \[[0-9]*\] '
"$QEL" search --count --lib "$dir/poems" --lib "$demo" '月' | tail -1 | grep -q '^total: '

# A changed record file makes the index stale: refused, naming the fix.
printf 'TI=x\r\n\r\n' >>"$dir/poems.mrf"
set +e
"$QEL" search --lib "$dir/poems" '月' 2>"$dir/err"; code=$?
set -e
[ $code = 3 ] && grep -q "run \`qel index $dir/poems\`" "$dir/err"
"$QEL" index "$dir/poems" >/dev/null
"$QEL" search --count --lib "$dir/poems" 'x/title' | grep -qx '[0-9]*'

# --check reads the whole index: a byte flipped in its last term table is found there,
# though a search opens the index (and answers what does not read that table).
"$QEL" index --check "$dir/poems" | grep -Eq '^.*poems.qix: ok, [0-9]+ records, [0-9]+ bytes$'
cp "$dir/poems.qix" "$dir/good.qix"
size=$(stat -c %s "$dir/poems.qix")
printf '\x5a' | dd of="$dir/poems.qix" bs=1 seek=$((size - 30)) conv=notrunc status=none
"$QEL" search --count --lib "$dir/poems" '月' >/dev/null
set +e
"$QEL" index --check "$dir/poems" 2>"$dir/err"; code=$?
set -e
[ $code = 1 ] && grep -q "term tables do not match" "$dir/err" && grep -q "run \`qel index $dir/poems\`" "$dir/err"
mv "$dir/good.qix" "$dir/poems.qix"

# A damaged index is refused the same way.
head -c 100 "$dir/poems.qix" >"$dir/cut" && mv "$dir/cut" "$dir/poems.qix"
set +e
"$QEL" search --lib "$dir/poems" '月' 2>"$dir/err"; code=$?
set -e
[ $code = 3 ] && grep -q "cut short" "$dir/err"
set +e
"$QEL" index "$dir/none" 2>"$dir/err"; code=$?
set -e
[ $code = 3 ] && grep -q "the library $dir/none is not found" "$dir/err"
echo "index: ok"
