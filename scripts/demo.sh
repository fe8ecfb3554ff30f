#!/usr/bin/env bash
# The main job on the demo data: what a new user sees after `make demo`.
set -euo pipefail
build=${1:-build/release}
qel="$build/qel"

step() { printf '\n\033[1m$ %s\033[0m\n' "$*"; }

step "qel sort   (Chinese lines in pinyin order)"
printf '张三\n李四\n王五\n安娜\n北京\n中国\n' | "$qel" sort

step "qel sort --unique --reverse"
printf '月\n花\n月\n酒\n' | "$qel" sort --unique --reverse

step "qel split , ',a,,b,'"
"$qel" split , ',a,,b,'

step "qel split '|' ' 题名 | 作者 ' --json"
"$qel" split '|' ' 题名 | 作者 ' --json
