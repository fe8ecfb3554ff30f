#!/usr/bin/env python3
"""Prints one table of the library against its peers from Google Benchmark JSON files.

Each row pairs a benchmark of ours with the peer's benchmark on the same input, both
measured in the same run with interleaved repetitions, and compares their median
throughput (bytes or items per second): the ratio is ours / peer, and the goal is the
speed the library must reach against that peer."""
import json
import sys

# (our benchmark, peer benchmark, peer name, goal, the inputs the goal is for) by name
# prefix; rows per argument. The other inputs are shown for comparison: the compressor's
# goal is GBK text, the parser's the whole mix (its shapes are reported one by one).
PAIRS = [
    ("BM_Compress_Qel/", "BM_Compress_Zlib1/", "zlib level 1", 1.0,
     {"poems_gbk", "generated_gbk_64mib"}),
    ("BM_Mix_Analyse/", "BM_Mix_XapianQueryParser/", "Xapian QueryParser", 2.0, {"all"}),
    ("BM_Short_Analyse", "BM_Short_XapianQueryParser", "Xapian QueryParser", None, None),
    ("BM_Long_Analyse", "BM_Long_XapianQueryParser", "Xapian QueryParser", None, None),
    # The search form's goals are times (open < 300 ms, search and list < 50 ms, a
    # screenful < 16 ms); the peers show what Qt and the search API cost alone.
    ("BM_OpenToFirstPaint/", "BM_PeerQtFormToFirstPaint/", "plain Qt widgets", None, None),
    ("BM_SearchAndList/", "BM_PeerApiSearchAndRead/", "the search API alone", None, None),
    ("BM_Scroll/", "BM_PeerQtScroll/", "QTreeView, all lines in memory", None, None),
]


def medians(paths):
    found = {}
    for path in paths:
        with open(path) as f:
            data = json.load(f)
        for b in data.get("benchmarks", []):
            if b.get("aggregate_name", "median") != "median" or b.get("error_occurred"):
                continue
            name = b["run_name"]
            rate = b.get("bytes_per_second") or b.get("items_per_second")
            unit = "B/s" if "bytes_per_second" in b else "/s"
            if not rate and b.get("real_time"):
                scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b.get("time_unit", "ns")]
                rate, unit = 1.0 / (b["real_time"] * scale), " runs/s"
            if rate:
                found[name] = (rate, b.get("label", ""), unit)
    return found


def human(rate, unit):
    for scale, suffix in ((1e9, "G"), (1e6, "M"), (1e3, "k")):
        if rate >= scale:
            return f"{rate / scale:.1f}{suffix}{unit}"
    return f"{rate:.1f}{unit}"


def main():
    runs = medians(sys.argv[1:])
    rows = []
    for ours, peer, peer_name, goal, goal_inputs in PAIRS:
        for name in sorted(n for n in runs if n.startswith(ours) or n == ours):
            other = peer + name[len(ours):]
            if other not in runs:
                continue
            (a, label, unit), (b, _, _) = runs[name], runs[other]
            what = name.split("/")[0].removeprefix("BM_").split("_")[0]
            aimed = goal is not None and (goal_inputs is None or label in goal_inputs)
            goal_text = f">= {goal:.1f}x" if aimed else ""
            status = ("met" if a / b >= goal else "not met") if aimed else ""
            rows.append((f"{what} {label}".strip(), human(a, unit), human(b, unit), peer_name,
                         f"{a / b:.2f}x", goal_text, status))
    head = ("operation / input", "qelshare", "peer", "peer is", "ratio", "goal", "")
    widths = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]
    for row in [head] + rows:
        print("  ".join(cell.ljust(w) for cell, w in zip(row, widths)).rstrip())


if __name__ == "__main__":
    main()
