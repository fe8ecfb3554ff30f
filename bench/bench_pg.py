#!/usr/bin/env python3
"""The same library searched three ways on this machine: from its own index, as one
PostgreSQL table, and over a coordinator and three shard servers (postgres_fdw): load
speed, query time per query shape (median and 95th percentile of the mix), and queries per
second from 1 and 16 clients at once. Hits are checked equal three ways.

    python3 bench/bench_pg.py [--build build/release] [--mb 1024] [--runs 3]
                              [--per-shape 5] [--clients 16] [--seconds 30] [--work DIR]

The records are bench_index.py's generated ones and its realistic mix. The servers are
started by scripts/pg-clusters.sh in the work folder (on disk; as the test servers, with
fsync off: the figures are those of the work, not of the disk's flushes), all on this one
machine, so the shards share its cores. Query time is the "ms" of qel search --interactive
(analysis, the statement, evaluation), the library open.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_index  # noqa: E402  (the generator and the mix)

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def searches(qel, lib, queries, runs):
    """Per query: hits and the median ms of runs, in one qel search session."""
    out = []
    for q in queries:
        out.append(bench_index.qel_query(qel, lib, q, runs))
    return out


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(round(p / 100 * (len(values) - 1))))]


def qps(threads_bin, lib, queries, counts, seconds):
    out = bench_index.run([threads_bin, "--threads", ",".join(map(str, counts)), lib,
                           str(seconds), "1", *queries])
    return {int(a): float(b) for a, b in (line.split() for line in out.splitlines())}


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default="build/release")
    ap.add_argument("--mb", type=int, default=1024, help="size of the generated records")
    ap.add_argument("--unique-mb", type=int, default=256)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--per-shape", type=int, default=5)
    ap.add_argument("--clients", type=int, default=16)
    ap.add_argument("--seconds", type=float, default=30,
                    help="per client count: long enough for each client to run the mix round")
    ap.add_argument("--work", help="folder for records and servers (default: a new one in /tmp)")
    args = ap.parse_args()
    for program in ("qel", os.path.join("bench", "search_threads")):
        if not os.path.exists(os.path.join(args.build, program)):
            sys.exit(f"bench_pg: no {program} in {args.build}: build it first with "
                     f"cmake --build --preset release --target {os.path.basename(program)}")
    work = args.work or tempfile.mkdtemp(prefix="bench_pg.")
    os.makedirs(work, exist_ok=True)
    # Copies, so that a rebuild during the run changes nothing.
    qel = shutil.copy(os.path.join(args.build, "qel"), os.path.join(work, "qel"))
    threads_bin = shutil.copy(os.path.join(args.build, "bench", "search_threads"),
                              os.path.join(work, "search_threads"))
    servers = os.path.join(work, "pg")
    script = os.path.join(ROOT, "scripts", "pg-clusters.sh")
    try:
        source = os.path.join(work, "records.jsonl")
        base = os.path.join(work, "lib")
        if not os.path.exists(base + ".qix"):
            bench_index.generate(source, args.mb, args.unique_mb)
            bench_index.run([qel, "mklib", "--out", base, source])
            bench_index.run([qel, "index", base])
        record_mb = os.path.getsize(base + ".mrf") / 2**20
        print(f"records: {record_mb:.0f} MiB", flush=True)
        dsns = bench_index.run(["bash", script, "start", servers, "coord", "s1", "s2", "s3"]).split()
        coord, shards = dsns[0], dsns[1:]
        loads = {}
        for name, extra in (("one", []), ("shards", sum((["--shard", s] for s in shards), []))):
            start = time.monotonic()
            bench_index.run([qel, "pg", "load", base, "--dsn", coord, "--table", name, *extra])
            loads[name] = time.monotonic() - start
            print(f"load {name}: {loads[name]:.1f} s, {record_mb / loads[name]:.1f} MiB/s",
                  flush=True)
        libs = {"index": base, "one": f"{coord}?table=one", "shards": f"{coord}?table=shards"}
        mix = bench_index.realistic_mix(source, args.per_shape)
        queries = [q.qel for q in mix]
        results = {name: searches(qel, lib, queries, args.runs) for name, lib in libs.items()}
        for name in ("one", "shards"):
            for q, a, b in zip(queries, results["index"], results[name]):
                if a[0] != b[0]:
                    sys.exit(f"bench_pg: {q}: {a[0]} hits from the index, {b[0]} from {name}")
        print()
        print(f"{'shape':<10} {'hits':>8} " + " ".join(f"{n + ' ms':>10}" for n in libs))
        shapes = {}
        for q, i in zip(mix, range(len(mix))):
            shapes.setdefault(q.shape, []).append(i)
        for shape, idx in shapes.items():
            hits = statistics.median(results["index"][i][0] for i in idx)
            cells = [statistics.median(results[n][i][1] for i in idx) for n in libs]
            print(f"{shape:<10} {hits:>8.0f} " + " ".join(f"{c:>10.2f}" for c in cells))
        print()
        for n in libs:
            ms = [r[1] for r in results[n]]
            print(f"{n:<7} median {statistics.median(ms):8.2f} ms   95th percentile "
                  f"{percentile(ms, 95):8.2f} ms")
        print()
        counts = [1, args.clients]
        for n, lib in libs.items():
            q = qps(threads_bin, lib, queries, counts, args.seconds)
            print(f"{n:<7} {q[1]:8.1f} q/s from 1 client, {q[args.clients]:8.1f} from "
                  f"{args.clients} ({q[args.clients] / q[1]:.2f}x)", flush=True)
        sizes = bench_index.run(["psql", coord, "-Atc",
                                 "select pg_total_relation_size('one')"]).strip()
        print(f"\none table: {int(sizes) / 2**20:.0f} MiB in PostgreSQL for {record_mb:.0f} MiB "
              f"of records; the index: {os.path.getsize(base + '.qix') / 2**20:.0f} MiB")
    finally:
        subprocess.run(["bash", script, "stop", servers], capture_output=True)
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
