#!/usr/bin/env bash
# qel-designer's command line: help, exit codes for bad input, the lines it leaves out,
# and the pictures it takes offscreen of the designer and of the search form.
set -euo pipefail
designer="$QEL_BUILD_DIR/qel-designer"
if [ ! -x "$designer" ]; then
  echo "qel-designer is not built (no window classes): skipped"
  exit 0
fi
export QT_QPA_PLATFORM=offscreen
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

"$designer" --help | grep -q -- '--run'

status() { set +e; "$@" >"$dir/out" 2>"$dir/err"; echo $?; set -e; }
[ "$(status "$designer" --lib x)" = 2 ]
grep -q -- '--lib needs --run' "$dir/err"
[ "$(status "$designer" --bogus)" = 2 ]
[ "$(status "$designer" "$dir/missing.frm" --screenshot "$dir/x.png")" = 3 ]
grep -q 'missing.frm' "$dir/err"
printf '\x89PNG\r\n\x1a\n\0\0' >"$dir/bin.frm"
[ "$(status "$designer" "$dir/bin.frm" --screenshot "$dir/x.png")" = 1 ]
grep -q 'bin.frm is not a form' "$dir/err"
[ ! -e "$dir/x.png" ]

# A bad line is reported by number and left out; the rest is shown.
printf 'BUTTON,"ok",10,10,79,23,"_SYS_BT_OK","",\nEDIT,"never closed\nSLIDER,"",0,0,9,9,"","",\n' \
  >"$dir/f.frm"
[ "$(status "$designer" "$dir/f.frm" --screenshot "$dir/f.png")" = 0 ]
grep -q 'line 2 left out' "$dir/err"
grep -q 'line 3 left out: unknown control kind "SLIDER"' "$dir/err"
[ -s "$dir/f.png" ]

# The search form over a library that does not exist.
[ "$(status "$designer" --run --lib "$dir/none" --screenshot "$dir/r.png")" = 3 ]
grep -q 'none' "$dir/err"
# And over the demo library, with a search.
[ "$(status "$designer" --run --expr '月' --screenshot "$dir/r.png")" = 0 ]
[ -s "$dir/r.png" ]
echo "designer: ok"
