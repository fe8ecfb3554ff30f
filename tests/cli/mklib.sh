#!/usr/bin/env bash
# qel mklib: libraries from folders, CSV, JSON Lines and fortune files; bad sources named.
set -euo pipefail
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
hits() { "$QEL" search --count --lib "$@"; }
fails() {  # fails CODE PATTERN ARGS...: the command exits CODE and names PATTERN
  local want=$1 pattern=$2 code
  shift 2
  set +e
  "$QEL" "$@" 2>"$dir/err" >/dev/null; code=$?
  set -e
  [ "$code" = "$want" ] || { echo "exit $code, not $want: $*" >&2; cat "$dir/err" >&2; exit 1; }
  grep -q -- "$pattern" "$dir/err" || { echo "no '$pattern' in:" >&2; cat "$dir/err" >&2; exit 1; }
  [ "$(wc -l <"$dir/err")" = 1 ]
}

# A folder: one record per file, the file name (Chinese) as title, the folder as source.
mkdir -p "$dir/笔记/旅行"
printf '春天的西湖\n断桥残雪\n' >"$dir/笔记/旅行/西湖.txt"
printf 'Moon over the river\n' >"$dir/笔记/江月.md"
"$QEL" mklib --out "$dir/lib/notes" "$dir/笔记" >"$dir/out"
grep -q '2 records' "$dir/out"
[ "$(hits "$dir/lib/notes" '西湖/title')" = 1 ]
[ "$(hits "$dir/lib/notes" '旅行/source')" = 1 ]
[ "$(hits "$dir/lib/notes" '断桥 PARA 残雪')" = 1 ]
[ "$(hits "$dir/lib/notes" 'river/text')" = 1 ]

# CSV: quotes, commas, line ends inside quotes, empty fields, Chinese column names.
cat >"$dir/books.csv" <<'CSV'
题名,author,text,lines
"静夜思, 又名夜思",李白,"床前明月光
疑是地上霜",2
"He said ""hi""",,plain,
春晓,孟浩然,,4
CSV
"$QEL" mklib --out "$dir/lib/books" "$dir/books.csv" | grep -q '3 records'
[ "$(hits "$dir/lib/books" '又名夜思/title')" = 1 ]
[ "$(hits "$dir/lib/books" '明月 PARA 光')" = 1 ]
[ "$(hits "$dir/lib/books" '明月 PARA 霜')" = 0 ]
[ "$(hits "$dir/lib/books" '>=2/lines')" = 2 ]
"$QEL" search --lib "$dir/lib/books" --json --limit 0 'hi/title' | head -1 | grep -q '"TI":"He said \\"hi\\""'

# JSON Lines: strings, numbers, arrays of lines, null; a character without a GBK form.
cat >"$dir/poems.jsonl" <<'JSON'
{"title": "登鹳雀楼", "author": "王之涣", "text": ["白日依山尽", "黄河入海流"], "lines": 2}
{"title": "emoji 😀", "keyword": null}
JSON
"$QEL" mklib --out "$dir/lib/poems" "$dir/poems.jsonl" >"$dir/out"
grep -q "2 records.*1 characters without a GBK form" "$dir/out"
[ "$(hits "$dir/lib/poems" '黄河/text')" = 1 ]
[ "$(hits "$dir/lib/poems" '2/lines')" = 1 ]

# GBK input.
printf 'title,text\n\xb4\xba,\xc7\xef\xd4\xc2\n' >"$dir/gbk.csv"
"$QEL" mklib --input-encoding gbk --out "$dir/lib/gbk" "$dir/gbk.csv" >/dev/null
[ "$(hits "$dir/lib/gbk" '秋月/text')" = 1 ]

# Faults: each names the file and line, exits non-zero and leaves no library behind.
printf 'title,text\nok,fine\nbad,\xff\xfe\n' >"$dir/bad.csv"
fails 3 'bad.csv line 3 (byte 23): invalid UTF-8' mklib --out "$dir/lib/bad" "$dir/bad.csv"
printf 'title,colour\na,b\n' >"$dir/field.csv"
fails 3 "field.csv line 2: the field 'colour' is not in the registry" \
  mklib --out "$dir/lib/bad" "$dir/field.csv"
printf 'title,text\n"open,x\n' >"$dir/quote.csv"
fails 3 'quote.csv line 2: a quoted field is not closed' mklib --out "$dir/lib/bad" "$dir/quote.csv"
printf 'title,text\na,b,c\n' >"$dir/cols.csv"
fails 3 'cols.csv line 2: 3 fields, the header has 2' mklib --out "$dir/lib/bad" "$dir/cols.csv"
printf '{"title": "a"}\n{"title": \n' >"$dir/bad.jsonl"
fails 3 'bad.jsonl line 2: not a JSON object' mklib --out "$dir/lib/bad" "$dir/bad.jsonl"
fails 3 'none.csv' mklib --out "$dir/lib/bad" "$dir/none.csv"
python3 -c 'print("title,text"); print("big," + "x" * 1100000)' >"$dir/big.csv"
fails 3 'big.csv line 2: the record takes' mklib --out "$dir/lib/bad" "$dir/big.csv"
fails 2 'cannot tell what kind of source' mklib --out "$dir/lib/bad" "$dir/books.xls"
[ -z "$(ls "$dir/lib" | grep bad || true)" ]

# The demo's fortune files: the same command builds the demo library.
"$QEL" mklib --kind fortune --out "$dir/lib/tang" /usr/share/games/fortunes/tang300.u8 |
  grep -q 'records'
[ "$(hits "$dir/lib/tang" '李白/作者')" -gt 10 ]
echo "mklib: ok"
