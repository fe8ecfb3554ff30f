#!/usr/bin/env bash
# Runs every test of a coverage build (the `coverage` preset) and prints line and branch
# coverage per folder of the library and for the hosts, the library's total, and the
# library's files below 70% of lines. Exits with ctest's status, after the figures.
# Usage: scripts/coverage.sh BUILD_DIR [JOBS]
set -euo pipefail
build=$(realpath "$1")
jobs=${2:-$(nproc)}
cd "$(dirname "$0")/.."

# Counters left by an earlier run would add to this one's.
find "$build" -name '*.gcda' -delete
status=0
ctest --test-dir "$build" -j "$jobs" --output-on-failure || status=$?
if [ "$status" -ne 0 ]; then echo "coverage: some tests failed; figures follow anyway" >&2; fi

# Only the library's and the hosts' own sources count: tests/, bench/, fuzz/ and the
# sources generated under build/ fall outside the filter. Branches GCC adds for thrown
# exceptions and ones it can never take are left out, or they would swamp the real ones.
# gcovr 5.2 hangs with -j on a gcov line it cannot parse; warning and going on is better.
summary="$build/coverage-summary.json"
mkdir -p "$build/coverage-html"
gcovr --root . --object-directory "$build" "$build" -j "$jobs" \
  --filter '(core|expression|readers|search|publicfun|controls|media|platform|include)/' \
  --filter 'tools/(qel|designer)/' \
  --exclude-throw-branches --exclude-unreachable-branches --gcov-ignore-parse-errors \
  --json-summary "$summary" --html-details "$build/coverage-html/index.html"

python3 - "$summary" <<'EOF'
import json, sys

LIBRARY = ["core", "expression", "readers", "search", "publicfun", "controls", "media",
           "platform", "include"]
HOSTS = ["tools/qel", "tools/designer"]
LOW = 70.0

def group(name):
    parts = name.split("/")
    if parts[0] == "tools":
        return "/".join(parts[:2])
    if parts[0] == "platform" and len(parts) > 2:
        return "/".join(parts[:2])
    return parts[0]

def pct(covered, total):
    return f"{100.0 * covered / total:5.1f}%" if total else "    -"

files = json.load(open(sys.argv[1]))["files"]
sums = {}
for f in files:
    s = sums.setdefault(group(f["filename"]), [0, 0, 0, 0])
    for i, k in enumerate(("line_covered", "line_total", "branch_covered", "branch_total")):
        s[i] += f[k]

def order(g):
    top = g.split("/")[0] if not g.startswith("tools/") else g
    ranks = LIBRARY + HOSTS
    return (ranks.index(top) if top in ranks else len(ranks), g)

def row(name, s):
    print(f"{name:<20} {pct(s[0], s[1]):>7} {pct(s[2], s[3]):>9}")

library = [g for g in sums if not g.startswith("tools/")]
print(f"\n{'folder':<20} {'lines':>7} {'branches':>9}")
for g in sorted(library, key=order):
    row(g, sums[g])
total = [sum(sums[g][i] for g in library) for i in range(4)]
print("-" * 38)
row("library", total)
print(f"{'':<20} ({total[0]}/{total[1]} lines, {total[2]}/{total[3]} branches)")
print("-" * 38)
for g in sorted((g for g in sums if g.startswith("tools/")), key=order):
    row(g, sums[g])

low = sorted((f for f in files if group(f["filename"]) in library and f["line_total"]
              and 100.0 * f["line_covered"] / f["line_total"] < LOW),
             key=lambda f: f["line_covered"] / f["line_total"])
print(f"\nLibrary files below {LOW:.0f}% of lines (lines, branches):")
for f in low:
    print(f"  {f['filename']:<44} {pct(f['line_covered'], f['line_total'])} "
          f"{pct(f['branch_covered'], f['branch_total'])}")
if not low:
    print("  none")
EOF
echo "Line by line: $build/coverage-html/index.html"
exit "$status"
