#!/usr/bin/env bash
# qel file commands over a tree in a temporary folder.
set -euo pipefail
: "${QEL:?}"
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }
expect() {  # expect WANTED_OUTPUT command...
  local want=$1; shift
  local got
  got=$("$@") || true
  [ "$got" = "$want" ] || fail "$* printed '$got', wanted '$want'"
}
status() {  # status CODE command...
  local want=$1; shift
  local rc=0
  "$@" >/dev/null 2>&1 || rc=$?
  [ "$rc" = "$want" ] || fail "$* exited $rc, wanted $want"
}

mkdir -p t/a/b t/c
echo 1 > t/top.txt; echo 2 > t/a/x.TXT; echo 3 > t/a/b/y.txt; echo 4 > t/c/z.doc
echo 中 > "t/中文.txt"

# ls: the top folder's files, then each subtree; quoted lists untouched.
expect "$work/t/top.txt" bash -c "$QEL ls 't/top.*'"
[ "$("$QEL" ls 't/*.txt' -r | wc -l)" = 4 ] || fail "ls -r count"
[ "$("$QEL" ls 't/*.txt' -r | head -2 | sort)" = "$(printf '%s\n' "$work/t/top.txt" "$work/t/中文.txt" | sort)" ] \
  || fail "ls -r lists the top folder first"
expect $'a.txt\nb c.txt' "$QEL" ls '"a.txt" "b c.txt"'
status 1 "$QEL" ls 't/*.none'
status 1 "$QEL" ls '*.txt' -r
[ "$("$QEL" --json ls 't/*.txt' | python3 -c 'import json,sys; print(json.load(sys.stdin)["count"])')" = 2 ] \
  || fail "ls --json count"

# scan: lists and counts agree; GBK mode passes bytes through.
expect 4 "$QEL" scan t '*.txt' --count
[ "$("$QEL" scan t '*.txt' | sort)" = "$(find "$work/t" -iname '*.txt' | sort)" ] || fail "scan list"
expect 0 "$QEL" scan t '*.none' --count
status 1 "$QEL" scan t '*.none'
"$QEL" --encoding gbk scan t '*.txt' | grep -qa $'\xd6\xd0\xce\xc4.txt' || fail "scan in GBK mode"

# exists, readonly, mkdir.
expect file "$QEL" exists t/top.txt
expect folder "$QEL" exists t/a
expect nothing "$QEL" exists t/none
status 1 "$QEL" exists t/none
expect writable "$QEL" readonly t
chmod a-w t/a/b/y.txt
expect read-only "$QEL" readonly t
status 0 "$QEL" readonly t
expect read-only "$QEL" readonly t/missing
"$QEL" mkdir "$work/m/n/o"
[ -d m/n/o ] || fail "mkdir chain"
status 1 "$QEL" mkdir "$work/t/top.txt/x"

# cp, mv with the shell-style fall-back.
"$QEL" cp t/top.txt copy.txt && [ "$(cat copy.txt)" = 1 ] || fail "cp"
mkdir into
"$QEL" cp 't/*.txt' into && [ -f into/top.txt ] && [ -f "into/中文.txt" ] || fail "cp wildcard"
status 1 "$QEL" cp 't/*.txt' nofolder
"$QEL" mv copy.txt into && [ -f into/copy.txt ] && [ ! -e copy.txt ] || fail "mv into folder"

# cptree, cpacc: copies are writable; cpacc takes files only.
mkdir backup
"$QEL" cptree t backup
[ -f backup/a/b/y.txt ] && [ -w backup/a/b/y.txt ] || fail "cptree"
status 1 "$QEL" cptree t missing-dst
"$QEL" cpacc t "$work/acc/deep"
[ -f acc/deep/top.txt ] && [ ! -e acc/deep/a ] || fail "cpacc"

# shotname.
expect report.doc "$QEL" shotname 'D:\docs\my report.doc'
expect 00000005.doc "$QEL" shotname 'D:\docs\my report.doc' 5
expect b.xxx "$QEL" shotname 'http://host/a/b.gif?x=1'

# rmtree: read-only files go too; --keep keeps the folder.
"$QEL" rmtree t --keep
[ -d t ] && [ -z "$(ls -A t)" ] || fail "rmtree --keep"
"$QEL" rmtree t
[ ! -e t ] || fail "rmtree"
status 1 "$QEL" rmtree t
status 0 "$QEL" rmtree t --keep
status 2 "$QEL" rmtree
echo "files: ok"
