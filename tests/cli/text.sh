#!/usr/bin/env bash
# qel filter / html / urldecode / form / guid.
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

[ "$("$QEL" filter /T/H '  <b>a</b> b  ')" = "ab" ]
[ "$("$QEL" filter /u/l 'MiXed')" = "mixed" ]
[ "$(printf '  x\r\n' | "$QEL" filter /s)" = "x" ]

printf 'one\r\n\r\ntwo 1\r\n three\r\n' >"$tmp/plain"
[ "$("$QEL" html "$tmp/plain")" = "one<p>two&nbsp1<br> three" ]
# Files are GBK bytes: 年 is C4 EA.
printf '\xc4\xea 1' >"$tmp/gbk"
[ "$("$QEL" html "$tmp/gbk")" = "年&nbsp1" ]

[ "$("$QEL" urldecode '%C4%EA+2005%')" = "年 2005%" ]
[ "$("$QEL" form 'q=%C4%EA&page=2&x')" = "$(printf 'q=年\npage=2\n=x')" ]
"$QEL" --json form 'a=1' | grep -qx '\[{"name":"a","value":"1"}\]'

[ "$("$QEL" guid 0123abcd-4567-89ef-0123-456789abcdef)" = "0123ABCD-4567-89EF-0123-456789ABCDEF" ]
new=$("$QEL" guid)
[[ "$new" =~ ^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$ ]]
[ "$("$QEL" guid "$new")" = "$new" ]
set +e
out=$("$QEL" guid '{0123abcd-4567-89ef-0123-456789abcdef}' 2>/dev/null); rc=$?
set -e
[ $rc -eq 1 ] && [ "$out" = "00000000-0000-0000-0000-000000000000" ]
echo "text: ok"
