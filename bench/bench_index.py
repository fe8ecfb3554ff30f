#!/usr/bin/env python3
"""qel search with and without its index, and Xapian with its CJK n-gram option as the
peer, on a generated library: build time, index size, median query time, peak memory.

    python3 bench/bench_index.py [--build build/release] [--mb 64] [--runs 5] [--no-peer]
                                 [--baseline OLD_QEL] [--thread-seconds 2]

The library is generated from the character frequencies of the demo's poems (Tang and
Song poems, sayings), MB megabytes of records as JSON Lines, then built with qel mklib.
Query time is the median of RUNS runs of each query in one process, the library or
database open: the "ms" qel search --interactive reports (analysis and evaluation) and
Xapian's time for parse, match and count; peak memory is the largest resident
set of one process (qel search, qel index, the Xapian build).

--baseline names another qel binary (an earlier build) measured in the same run on the
same records: its build time, index size and median query beside this one's. Then
search_threads searches the indexed library from 1, 2, 4 and 8 threads at once, each
thread with its own session running the mix, and reports queries per second.
"""
import argparse
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

QUERIES = [  # (qel, Xapian)
    ("月", "月"),
    ("明月", "明月"),
    ("春风得意", "春风得意"),
    ("明月 NEAR 故乡", "明月 NEAR 故乡"),
    ("山/title", "title:山"),
    ("[4,8]/lines", "lines:4..8"),
    ("(春 OR 秋) AND 李白/author", "(春 OR 秋) AND author:李白"),
    ("花 SUB 月", "花 AND NOT 月"),
]


def run(cmd):
    """Runs cmd; returns its standard output, or stops the benchmark when it fails."""
    p = subprocess.run(cmd, capture_output=True)
    if p.returncode != 0:
        sys.exit(f"bench_index: {' '.join(cmd)} failed: {p.stderr.decode(errors='replace')}")
    return p.stdout.decode()


def peak_of(cmd):
    """Peak resident MB of one run of cmd, measured alone through wait4."""
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    if status != 0:
        sys.exit(f"bench_index: {' '.join(cmd)} failed")
    return usage.ru_maxrss / 1024


def characters():
    chars = []
    for name in ("tang300.u8", "song100.u8", "chinese.u8"):
        with open(f"/usr/share/games/fortunes/{name}", encoding="utf-8", errors="ignore") as f:
            chars += [c for c in f.read() if "\u4e00" <= c <= "\u9fff"]
    return chars


def generate(path, megabytes, unique):
    """Writes megabytes of records; past unique megabytes the records written so far
    repeat (generating is slow in Python; a repeated record is still a record to index)."""
    rng = random.Random(1)
    chars = characters()
    authors = ["".join(rng.choices(chars, k=rng.choice((2, 3)))) for _ in range(300)]
    authors[0] = "李白"
    target = megabytes << 20
    written = 0
    with open(path, "w", encoding="utf-8") as out:
        while written < min(target, unique << 20):
            lines = rng.randint(4, 12)
            width = rng.choice((5, 7))
            text = ["".join(rng.choices(chars, k=width)) for _ in range(lines)]
            record = {"title": "".join(rng.choices(chars, k=rng.randint(2, 6))),
                      "author": rng.choice(authors), "lines": lines, "text": text}
            line = json.dumps(record, ensure_ascii=False) + "\n"
            out.write(line)
            written += len(line.encode("gbk", errors="replace")) - 40
    block = written
    with open(path, "rb") as f:
        lines = f.read()
    with open(path, "ab") as out:
        while written < target:
            out.write(lines)
            written += block
    return os.path.getsize(path)


def qel_query(qel, base, query, runs):
    """Hits and median ms of runs of query in one qel search session, the library open,
    as the peer times its queries with its database open."""
    p = subprocess.run([qel, "search", "--json", "--limit", "1", "--interactive", "--lib", base],
                       input=(query + "\n") * runs, capture_output=True, text=True)
    if p.returncode != 0:
        sys.exit(f"bench_index: qel search {query} failed: {p.stderr}")
    summaries = [json.loads(line) for line in p.stdout.splitlines() if '"result"' in line]
    return summaries[-1]["hits"], statistics.median(s["ms"] for s in summaries)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default="build/release")
    ap.add_argument("--mb", type=int, default=64, help="size of the generated records")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--unique-mb", type=int, default=256,
                    help="megabytes of distinct records; more repeat them")
    ap.add_argument("--no-peer", action="store_true",
                    help="leave Xapian out (its build takes about 20 s per MiB of records)")
    ap.add_argument("--baseline", help="an earlier qel binary to measure in the same run")
    ap.add_argument("--thread-seconds", type=float, default=2.0,
                    help="seconds per thread count and round of the concurrent queries")
    args = ap.parse_args()
    qel = os.path.abspath(os.path.join(args.build, "qel"))
    peer = os.path.abspath(os.path.join(args.build, "bench", "xapian_peer"))
    work = tempfile.mkdtemp(prefix="bench_index.")
    try:
        source = os.path.join(work, "records.jsonl")
        generate(source, args.mb, args.unique_mb)
        base = os.path.join(work, "lib")
        run([qel, "mklib", "--out", base, source])
        # The same records under a second name without an index: the scanning path.
        scan = os.path.join(work, "scan")
        for part in (".qel", ".sor", ".mrf"):
            os.link(base + part, scan + part)
        mrf = os.path.getsize(base + ".mrf")

        if args.baseline:
            old = os.path.join(work, "old")
            for part in (".qel", ".sor", ".mrf"):
                os.link(base + part, old + part)
        start = time.monotonic()
        index_peak = peak_of([qel, "index", base])
        index_s = time.monotonic() - start
        index_mb = os.path.getsize(base + ".qix") / 2**20
        if args.baseline:
            start = time.monotonic()
            old_peak = peak_of([args.baseline, "index", old])
            old_s = time.monotonic() - start
            old_mb = os.path.getsize(old + ".qix") / 2**20
        db = os.path.join(work, "xapian")
        if not args.no_peer:
            start = time.monotonic()
            xapian_peak = peak_of([peer, "build", db, source])
            xapian_s = time.monotonic() - start
            xapian_mb = sum(os.path.getsize(os.path.join(db, f)) for f in os.listdir(db)) / 2**20

        print(f"records: {mrf / 2**20:.0f} MiB of GBK records ({base}.mrf)")
        print(f"{'build':<10} {'seconds':>8} {'MiB/s':>7} {'index MiB':>10} {'peak MiB':>9}")
        print(f"{'qel index':<10} {index_s:8.1f} {mrf / 2**20 / index_s:7.1f} {index_mb:10.1f} "
              f"{index_peak:9.0f}")
        if args.baseline:
            print(f"{'baseline':<10} {old_s:8.1f} {mrf / 2**20 / old_s:7.1f} {old_mb:10.1f} "
                  f"{old_peak:9.0f}")
        if args.no_peer:
            xapian = [("-", "nan")] * len(QUERIES)
        else:
            print(f"{'xapian':<10} {xapian_s:8.1f} {mrf / 2**20 / xapian_s:7.1f} "
                  f"{xapian_mb:10.1f} {xapian_peak:9.0f}")
            xout = run([peer, "query", db, str(args.runs)] + [x for _, x in QUERIES])
            xapian = [line.split() for line in xout.strip().splitlines()]
        print(f"\n{'query':<30} {'hits':>7} {'index ms':>9} {'scan ms':>9} {'xapian ms':>10} "
              f"{'(hits)':>8}")
        idx_all, scan_all, xap_all = [], [], []
        for (q, _), (xhits, xms) in zip(QUERIES, xapian):
            hits, ims = qel_query(qel, base, q, args.runs)
            shits, sms = qel_query(qel, scan, q, max(1, args.runs // 2))
            assert hits == shits, (q, hits, shits)
            idx_all.append(ims)
            scan_all.append(sms)
            xap_all.append(float(xms))
            print(f"{q:<30} {hits:>7} {ims:9.3f} {sms:9.1f} {float(xms):10.3f} {xhits:>8}")
        mi, ms, mx = (statistics.median(v) for v in (idx_all, scan_all, xap_all))
        print(f"{'median of the mix':<30} {'':>7} {mi:9.3f} {ms:9.1f} {mx:10.3f}")
        print(f"scan / index: {ms / mi:.0f}x; xapian / index: {mx / mi:.2f}x")
        if args.baseline:
            # New and old in turns, query by query, so that load falls on both alike.
            new_all, old_all = [], []
            for q, _ in QUERIES:
                news, olds = [], []
                for _ in range(3):
                    news.append(qel_query(qel, base, q, args.runs)[1])
                    olds.append(qel_query(args.baseline, old, q, args.runs)[1])
                new_all.append(statistics.median(news))
                old_all.append(statistics.median(olds))
            mn, mo = statistics.median(new_all), statistics.median(old_all)
            print(f"baseline, same run: build {old_s:.1f} s against {index_s:.1f} s "
                  f"({index_s / old_s:.3f}x), index {old_mb:.1f} against {index_mb:.1f} MiB, "
                  f"median query {mo:.4f} against {mn:.4f} ms ({mn / mo:.3f}x)")
        threads = os.path.abspath(os.path.join(args.build, "bench", "search_threads"))
        if os.path.exists(threads):
            out = run([threads, base, str(args.thread_seconds), "3"] + [q for q, _ in QUERIES])
            qps = dict(line.split() for line in out.strip().splitlines())
            print("concurrent queries of the mix, indexed: "
                  + ", ".join(f"{t} threads {float(v):.0f}/s" for t, v in qps.items())
                  + f"; 2 threads / 1: {float(qps['2']) / float(qps['1']):.2f}x")
        search_index_peak = peak_of([qel, "search", "--lib", base, "--count", QUERIES[6][0]])
        search_scan_peak = peak_of([qel, "search", "--lib", scan, "--count", QUERIES[6][0]])
        print(f"peak MiB: qel search with index {search_index_peak:.0f}, without "
              f"{search_scan_peak:.0f}; qel index {index_peak:.0f}"
              + ("" if args.no_peer else f"; xapian build {xapian_peak:.0f}"))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
