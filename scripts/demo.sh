#!/usr/bin/env bash
# The main job on the demo data: what a new user sees after `make demo`.
set -euo pipefail
build=${1:-build/release}
qel="$build/qel"

step() { printf '\n\033[1m$ %s\033[0m\n' "$*"; }

step "qel fields   (the demo library built from fortunes-zh: Tang and Song poems, sayings)"
"$qel" fields "$build/demo/poems"

step "qel analyse '月 AND 李白/作者'   (the postfix stream qel search evaluates)"
"$qel" analyse '月 AND 李白/作者'

step "qel search '月 AND 李白/作者' --limit 3"
"$qel" search '月 AND 李白/作者' --limit 3

step "qel search '明月 NEAR 故乡'"
"$qel" search '明月 NEAR 故乡'

step "qel search '(春 OR 秋) AND >=8/句数 AND 宋词一百首/出处' --limit 2"
"$qel" search '(春 OR 秋) AND >=8/句数 AND 宋词一百首/出处' --limit 2

step "qel index demo/poems   (every character's records and positions, common pairs' records; search reads only the records it prints)"
"$qel" index "$build/demo/poems"
"$qel" search --count '明月 NEAR 故乡'

step "qel search --interactive   (#1 is the first result of the session)"
printf '杜甫/作者\n#1 AND 秋 SUB 月\n' | "$qel" search --interactive --limit 2

step "qel cut demo/poems.mrf --sep '^l^l' --count"
"$qel" cut "$build/demo/poems.mrf" --sep '^l^l' --count

step "qel sort   (Chinese lines in pinyin order)"
printf '张三\n李四\n王五\n安娜\n北京\n中国\n' | "$qel" sort

step "qel split , ',a,,b,'"
"$qel" split , ',a,,b,'
