#!/usr/bin/env bash
# qel fields: the demo library's descriptor and field table; a damaged descriptor.
set -euo pipefail
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
base="$QEL_BUILD_DIR/demo/poems"

json=$("$QEL" fields "$base.QEL" --json)
python3 - "$json" <<'PY'
import json, sys
d = json.loads(sys.argv[1])
assert d["descriptor"] is True and d["result"] == 1, d
names = [f["name"] for f in d["fields"]]
assert names[:4] == ["all", "全部", "title", "题名"], names
by = {f["name"]: f for f in d["fields"]}
assert by["all"]["type"] == "s" and by["all"]["members"] == "TI\nTX"
assert by["作者"]["code"] == "AU" and by["作者"]["type"] == "D"
assert by["lines"]["type"] == "N" and by["lines"]["members"] == ""
PY
"$QEL" fields "$base" | grep -q 'valid library descriptor'

# A descriptor of 329 bytes is not one; the fields are still listed, status 1.
head -c 329 /dev/zero >"$dir/lib.qel"
cp "$base.sor" "$dir/lib.sor"
set +e
"$QEL" fields "$dir/lib" >"$dir/out"; code=$?
set -e
[ $code = 1 ]
grep -q 'not a library descriptor' "$dir/out"
grep -q '^title' "$dir/out"
set +e
"$QEL" fields "$dir/none" 2>"$dir/err"; code=$?
set -e
[ $code = 1 ]
grep -q "cannot read the field table $dir/none.sor" "$dir/err"
echo "fields: ok"
