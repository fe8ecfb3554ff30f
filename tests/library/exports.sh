#!/usr/bin/env bash
# Every dynamic symbol libqelshare defines belongs to an exported class (members,
# vtables, type information), to a framework interface named in exported signatures,
# or is one of the exported C functions. Anything else is an internal that leaked.
set -euo pipefail
lib=$1
stray=$(nm -D --defined-only --demangle "$lib" | awk '{ $1=""; $2=""; sub(/^  /, ""); sub(/@.*/, ""); print }' |
  grep -v -E '^(C[A-Z][A-Za-z0-9_]*::|I[A-Z][A-Za-z0-9_]*::|(vtable|typeinfo|typeinfo name) for [CI][A-Z][A-Za-z0-9_]*$|GlobalAlloc$|GlobalFree$|QelShareVersion$|QELSHARE_1$)' || true)
if [ -n "$stray" ]; then
  echo "symbols that should not be exported:"
  echo "$stray"
  exit 1
fi
count=$(nm -D --defined-only "$lib" | wc -l)
# grep reads the whole listing (no -q): an early exit would break nm's pipe under pipefail.
exported=$(nm -D --defined-only --demangle "$lib")
for must in 'CStringArr::Add(char const\*, int)' 'CPublicFun::SplitString' 'typeinfo for CStringArr' GlobalAlloc \
  'CAnalyseExpression::Analyse(char const\*)' 'typeinfo for CAnalyseExpression'; do
  grep -c "$must" <<<"$exported" >/dev/null || { echo "missing export: $must"; exit 1; }
done
soname=$(objdump -p "$lib" | awk '/SONAME/ { print $2 }')
case "$soname" in libqelshare.so.[0-9]*) ;; *) echo "unexpected SONAME '$soname'"; exit 1 ;; esac
echo "exports: $count symbols, SONAME $soname"
