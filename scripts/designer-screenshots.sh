#!/usr/bin/env bash
# Pictures of qel-designer for the README, made offscreen by the program itself:
# docs/designer.png (the demo form in design mode, three controls selected) and
# docs/search-form.png (the demo form searching the demo library).
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
echo "wrote docs/designer.png and docs/search-form.png"
