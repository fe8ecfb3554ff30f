#!/usr/bin/env bash
# Pictures of qel-designer for the README, made offscreen by the program itself:
# docs/designer.png (the demo form in design mode, three controls selected) and
# docs/search-form.png (the demo form searching the demo library) and docs/search-form-zh.png
# (the same in a Chinese locale, searching the demo library and a copy of it together).
# Usage: scripts/designer-screenshots.sh [BUILD_DIR]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
designer=$build/qel-designer
if [[ ! -x $designer ]]; then
  echo "designer-screenshots: $designer is missing; build it first (make build)" >&2
  exit 3
fi
export QT_QPA_PLATFORM=offscreen
"$designer" --select 3,5,10 --screenshot docs/designer.png
"$designer" --run --expr '月 AND 李白/作者' --screenshot docs/search-form.png
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
for ext in qel sor mrf; do cp "$build/demo/poems.$ext" "$copy/tang.$ext"; done
LANG=zh_CN.UTF-8 LANGUAGE= "$designer" --run --lib "$build/demo/poems" --lib "$copy/tang" \
  --expr '秋 AND 杜甫/作者' --screenshot docs/search-form-zh.png
echo "wrote docs/designer.png, docs/search-form.png and docs/search-form-zh.png"
