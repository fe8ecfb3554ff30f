#!/usr/bin/env bash
# qel controls parse and render as a person uses them: the stored fields, bits, rectangle,
# identifiers and written-back line; JSON keys; bad lines; a screenshot of each mode.
set -euo pipefail
fail() { echo "FAIL: $*"; exit 1; }
expect() { [ "$1" = "$2" ] || fail "$3: expected [$2], got [$1]"; }
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

line='EDIT,"Name",10,20,99,19,"m","h",BORDER|3D'
expect "$(echo "$line" | "$QEL" controls parse -)" 'line 1: ok EDIT style 0x50810000 ex-style 0x00000200 rect 10,20,110,40 id 1000
  EDIT,"Name",10,20,99,19,"m","h",BORDER|3D' "one line for people"
expect "$(echo "$line" | "$QEL" controls parse --json -)" \
  '{"line":1,"ok":true,"type":"EDIT","caption":"Name","mark":"m","help":"h","style":"BORDER|3D","class":"EDIT","style_bits":1350631424,"ex_style_bits":512,"rect":[10,20,110,40],"icon":null,"id":1000,"string":"EDIT,\"Name\",10,20,99,19,\"m\",\"h\",BORDER|3D"}' "JSON"

# A form of every shape: the counter moves only for known kinds; CR LF and a last line
# without its line feed; COMBO's fixed height; icon buttons; Chinese text both ways.
printf '%s\r\n' 'combo,"",5,7,50,5,"",""' 'SLIDER,"a",1,2,3,4,"b","c",d' 'SMBUTTON,"Scan",0,0,31,31,"_SYS_BT_OK","",' \
  'TEXT,"题名",1,2,3' 'TEXT,Name",1,2,3,4,"","",' > "$tmp/form.frm"
printf 'LIST,"结果",0,0,99,99,"_SYS_LIST","双击打开",3D' >> "$tmp/form.frm"
out=$("$QEL" controls parse --json "$tmp/form.frm" 2>"$tmp/err") && fail "bad lines accepted" || expect $? 1 "exit status"
expect "$(jq -c '[.line, .ok, .id, .rect, .icon, .string]' <<<"$out" | tr '\n' ' ')" \
  '[1,true,1000,[5,7,56,127],null,"combo,\"\",5,7,50,119,\"\",\"\","] [2,false,null,null,null,null] [3,true,1001,[0,0,32,32],22021,"SMBUTTON,\"Scan\",0,0,31,31,\"_SYS_BT_OK\",\"\","] [4,false,null,null,null,null] [5,false,null,null,null,null] [6,true,1002,[0,0,100,100],null,"LIST,\"结果\",0,0,99,99,\"_SYS_LIST\",\"双击打开\",3D"] ' "form"
expect "$(jq -c 'select(.ok == false) | [.error, .type, .caption, .mark, .style]' <<<"$out" | tr '\n' ' ')" \
  '["unknown control kind","SLIDER","a","b","d"] ["syntax error: a \",\" is missing among X, Y, W, H and the mark","TEXT","题名","",""] ["syntax error: the caption does not start with a quote","TEXT","","",""] ' "errors keep what was read"
expect "$(jq -c 'has("class")' <<<"$out" | tr '\n' ' ')" "true false true false false true " "kind keys only for known kinds"
expect "$(cat "$tmp/err")" "qel controls parse: $tmp/form.frm: 3 of 6 lines do not describe a control (first: line 2)" "summary"
expect "$("$QEL" controls parse "$tmp/form.frm" 2>/dev/null | sed -n 3p)" \
  'line 2: unknown control kind (kept: type "SLIDER", caption "a", mark "b", help "c", style "d")' "people's error line"

# GBK bytes: a lead byte before the quote hides nothing; without --encoding gbk such a
# line is reported, not fatal.
printf 'TEXT,"\xb0",1,2,3,4,"\xc4","\xd5",\n' > "$tmp/gbk.frm"
expect "$("$QEL" controls parse --encoding gbk --json "$tmp/gbk.frm" | jq -r .ok)" true "GBK lead bytes"
out=$("$QEL" controls parse "$tmp/gbk.frm" 2>/dev/null) && fail "non-UTF-8 accepted" || true
expect "$out" "line 1: the line is not UTF-8 text (use --encoding gbk for GBK bytes)" "non-UTF-8 line"
# A line of megabytes and a missing file.
{ printf 'EDIT,"'; head -c 3000000 /dev/zero | tr '\0' x; printf '",1,2,3,4,"","",\n'; } > "$tmp/big.frm"
expect "$("$QEL" controls parse --json "$tmp/big.frm" | jq -r '.caption | length')" 3000000 "huge line"
"$QEL" controls parse "$tmp/none.frm" 2>/dev/null && fail "missing file" || expect $? 3 "missing file"
"$QEL" controls 2>/dev/null && fail "no subcommand" || expect $? 2 "usage"
grep -q "TYPE,\"CAPTION\"" <<<"$("$QEL" controls --help)" || fail "help shows the line format"

if "$QEL" controls render --help >/dev/null 2>&1; then
  printf '%s\n' 'TEXT,"Find",10,10,59,19,"_SYS_STATIC","",' 'EDIT,"",80,10,199,19,"_SYS_ED_EXP","",3D' \
    'BUTTON,"Search",10,40,79,23,"_SYS_BT_OK","",' > "$tmp/s.frm"
  for mode in "" --design --order; do
    "$QEL" controls render "$tmp/s.frm" --out "$tmp/s$mode.png" $mode >/dev/null || fail "render $mode"
    expect "$(head -c 8 "$tmp/s$mode.png" | od -An -tx1 | tr -d ' \n')" 89504e470d0a1a0a "PNG $mode"
  done
  cmp -s "$tmp/s.png" "$tmp/s--design.png" && fail "design mode looks like run mode"
  cmp -s "$tmp/s--design.png" "$tmp/s--order.png" && fail "order view looks like design mode"
  "$QEL" controls render "$tmp/s.frm" --out "$tmp/x.png" --size 12 2>/dev/null && fail "bad size" || expect $? 2 "bad size"
  "$QEL" controls render "$tmp/form.frm" --out "$tmp/f.png" 2>"$tmp/err" && fail "skipped lines" || expect $? 1 "skipped lines"
  grep -q "line 2 skipped" "$tmp/err" || fail "skipped line named"
  [ -s "$tmp/f.png" ] || fail "picture written despite skipped lines"
  "$QEL" controls render "$tmp/s.frm" --out "$tmp/no/such/dir.png" 2>/dev/null && fail "unwritable" || expect $? 3 "unwritable"
fi
echo "cli controls: all passed"
