#!/usr/bin/env bash
# qel registry and qel apppath against a registry file of the test's own.
set -euo pipefail
: "${QEL:?}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QEL_REGISTRY="$work/conf/registry.reg"
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$work/bin"
touch "$work/bin/tool.exe"
key='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths'

if "$QEL" apppath tool.exe 2>/dev/null; then fail "apppath without a registry"; fi

printf 'REGEDIT4\r\n\r\n[%s\\tool.exe]\r\n@="%s"\r\n"path"="%s/"\r\n' \
  "$key" "$work/bin/tool.exe" "$work/bin" > "$work/tool.reg"
"$QEL" registry import "$work/tool.reg"
[ "$("$QEL" apppath tool.exe)" = "$work/bin/tool.exe" ] || fail "apppath after import"

"$QEL" registry set "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\other.exe" Path "$work/none/"
if "$QEL" apppath other.exe 2>/dev/null; then fail "apppath of a missing file"; fi

"$QEL" registry export > "$work/out.reg"
head -1 "$work/out.reg" | grep -q '^REGEDIT4' || fail "export header"
grep -q 'other.exe\]' "$work/out.reg" || fail "export holds the set key"
grep -qF '"Path"="'"$work"'/none/"' "$work/out.reg" || fail "export holds the value"

printf 'REGEDIT4\n[NOT A ROOT]\n' > "$work/bad.reg"
rc=0; "$QEL" registry import "$work/bad.reg" 2>"$work/err" || rc=$?
[ "$rc" = 3 ] || fail "bad import exit $rc"
grep -q 'line 2' "$work/err" || fail "bad import names the line"
rc=0; "$QEL" registry set "NOROOT\\x" a b 2>/dev/null || rc=$?
[ "$rc" = 2 ] || fail "set without a root exit $rc"
echo "registry: ok"
