#!/usr/bin/env bash
# qel icons: lists the 24 icons and writes each image as a PNG named by id and size.
set -euo pipefail
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
if ! "$QEL" --help | grep -q '^ *icons'; then
  echo "qel built without the window floor: nothing to test"
  exit 0
fi
list=$("$QEL" icons --out "$out/png")
[ "$(wc -l <<<"$list")" -eq 24 ] || { echo "expected 24 icons:"; echo "$list"; exit 1; }
grep -q '^22015  32x32 16 colours  16x16 16 colours$' <<<"$list" || { echo "22015: $list"; exit 1; }
grep -q '^22021  32x32 16 colours$' <<<"$list"
! grep -q '^22004' <<<"$list"
[ "$(ls "$out/png" | wc -l)" -eq 26 ]
for f in 22015-32.png 22015-16.png 22000-16.png 22021-32.png; do
  head -c 8 "$out/png/$f" | od -An -tx1 | grep -q '89 50 4e 47' || { echo "$f is not a PNG"; exit 1; }
done
"$QEL" --json icons | head -1 | grep -q '"id":22000'
# A folder that cannot be made: exit 3 with one line naming it.
touch "$out/file"
set +e
err=$("$QEL" icons --out "$out/file/sub" 2>&1 >/dev/null)
code=$?
set -e
[ "$code" -eq 3 ] || { echo "exit $code"; exit 1; }
grep -q "file/sub" <<<"$err"
echo "icons: ok"
