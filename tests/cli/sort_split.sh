#!/usr/bin/env bash
# qel sort and qel split as a person uses them: UTF-8 and GBK, JSON, exit codes.
set -euo pipefail
fail() { echo "FAIL: $*"; exit 1; }
expect() { [ "$1" = "$2" ] || fail "$3: expected [$2], got [$1]"; }
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

expect "$(printf '张三\n李四\n王五\n安\n' | "$QEL" sort | tr '\n' ' ')" "安 李四 王五 张三 " "pinyin order"
expect "$(printf '月\n花\n月\n' | "$QEL" sort --unique --reverse | tr '\n' ' ')" "月 花 " "unique reverse"
expect "$(printf 'b\r\na\r\n' | "$QEL" sort --json)" '["a","b"]' "CR LF lines, JSON"
printf '\xd5\xc5\n\xc0\xee\n' > "$tmp/gbk.txt"
expect "$("$QEL" sort --encoding gbk "$tmp/gbk.txt" | od -An -tx1 | tr -d ' \n')" "c0ee0ad5c50a" "raw GBK"
expect "$("$QEL" sort "$tmp/empty" 2>&1; echo "rc=$?")" "qel sort: cannot read $tmp/empty: No such file or directory
rc=3" "missing file"
printf 'ok\n😀\n' > "$tmp/emoji.txt"
out=$("$QEL" sort "$tmp/emoji.txt" 2>&1) && fail "emoji accepted" || rc=$?
expect "$rc" 3 "unconvertible input exit code"
expect "$out" "qel sort: $tmp/emoji.txt line 2 does not convert to GBK (byte 0: U+1F600 has no GBK form)" "message"
expect "$(: | "$QEL" sort)" "" "empty input"

expect "$("$QEL" split , ',a,,b,' | tr '\n' ' ')" "a b " "split"
expect "$("$QEL" split '|' ' 题名 | 作者 ' --json)" '[" 题名 "," 作者 "]' "split JSON keeps blanks"
expect "$(printf 'x:y\n\n:z:\n' | "$QEL" split : --json | tr '\n' ' ')" '["x","y"] [] ["z"] ' "split stdin lines"
"$QEL" split ab x 2>/dev/null && fail "two-byte separator accepted" || expect $? 2 "bad separator"
"$QEL" split 2>/dev/null && fail "missing separator accepted" || expect $? 2 "usage"
"$QEL" nosuch 2>/dev/null && fail "unknown command accepted" || expect $? 2 "unknown command"
grep -q sort <<<"$("$QEL" --help)" || fail "help lists commands"
grep -q "^qel 1\." <<<"$("$QEL" --version)" || fail "version"
echo "cli sort/split: all passed"
