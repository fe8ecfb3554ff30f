#!/usr/bin/env bash
# qel compress / expand / code on files: round trips, the worked block, refusals.
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# 30 bytes of one value make the 8-byte block x x x C0 F0 00 60 00.
printf 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx' >"$tmp/x30"
"$QEL" compress "$tmp/x30" "$tmp/x30.blk" >/dev/null
[ "$(od -An -tx1 "$tmp/x30.blk" | tr -d ' \n')" = "787878c0f0006000" ]

# A text past the window round-trips byte for byte.
for i in $(seq 400); do echo "line $i of the retrieval library test text"; done >"$tmp/text"
size=$(stat -c %s "$tmp/text")
"$QEL" --json compress "$tmp/text" "$tmp/text.blk" | grep -q "\"input_bytes\":$size"
"$QEL" expand "$tmp/text.blk" "$tmp/back" --size "$size" >/dev/null
cmp "$tmp/text" "$tmp/back"

# A wrong size and a cut block are reported as damage (exit 1), nothing written.
set +e
"$QEL" expand "$tmp/text.blk" "$tmp/wrong" --size $((size + 1)) 2>"$tmp/err"; rc=$?
set -e
[ $rc -eq 1 ] && grep -q "damaged or not a block" "$tmp/err" && [ ! -e "$tmp/wrong" ]
head -c 100 "$tmp/text.blk" >"$tmp/cut.blk"
if "$QEL" expand "$tmp/cut.blk" "$tmp/cut" --size "$size" 2>/dev/null; then exit 1; fi
# A block referring to output not produced yet.
printf 'abc\x80\x0f\xff' >"$tmp/bad.blk"
if "$QEL" expand "$tmp/bad.blk" "$tmp/bad" --size 21 2>/dev/null; then exit 1; fi

# Short and incompressible inputs are refused with exit 1.
printf 'short' >"$tmp/short"
set +e
"$QEL" compress "$tmp/short" "$tmp/short.blk" 2>"$tmp/err"; rc=$?
set -e
[ $rc -eq 1 ] && grep -q "does not compress" "$tmp/err"
head -c 5000 /dev/urandom >"$tmp/noise"
if "$QEL" compress "$tmp/noise" "$tmp/noise.blk" 2>/dev/null; then exit 1; fi
# A missing file is an input/output error.
set +e
"$QEL" compress "$tmp/none" "$tmp/none.blk" 2>/dev/null; rc=$?
set -e
[ $rc -eq 3 ]

# qel code swaps neighbouring bits in place; twice restores the file.
printf '\x01\x80\x0f\x5a' >"$tmp/coded"
"$QEL" code "$tmp/coded" >/dev/null
[ "$(od -An -tx1 "$tmp/coded" | tr -d ' \n')" = "02400fa5" ]
cp "$tmp/text" "$tmp/text2"
"$QEL" code "$tmp/text2" >/dev/null
"$QEL" code "$tmp/text2" >/dev/null
cmp "$tmp/text" "$tmp/text2"
echo "compress: ok"
