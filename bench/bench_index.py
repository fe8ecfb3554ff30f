#!/ usr / bin / env python3
"""qel search with and without its index, against Groonga (bigram and unigram tokenizers)
and Xapian (its CJK n-gram option), on a generated library: build time, index size,
query time per query shape, peak memory, and the hit counts checked against Groonga's.

    python3 bench/bench_index.py [--build build/release] [--mb 64] [--runs 5]
                                 [--mix realistic|old] [--per-shape 5]
                                 [--no-peer] [--no-xapian] [--no-groonga]
                                 [--baseline OLD_QEL] [--write-runs 5]
                                 [--thread-seconds 2]

The library is generated from the character frequencies of the demo's poems (Tang and
Song poems, sayings), MB megabytes of records as JSON Lines (title, author, lines, text
as a list of lines), then built with qel mklib.

The realistic mix is drawn from the generated records (a fixed seed): PER_SHAPE queries of
each shape (a frequent character, a rare one, substrings of two, three and four
characters, NEAR and ORDER of neighbouring words, NEAR of frequent characters, PARA, an
author, a line count, a Boolean with an author, SUB). --mix old is the earlier fixed mix
of eight queries.

Query time is the median of RUNS runs of each query in one process, the library or
database open: the "ms" qel search --interactive reports (analysis and evaluation),
Groonga's elapsed time of each select, Xapian's time for parse, match and count. Peak
memory is the largest resident set of one process.

Groonga gets the same records in two databases, TokenBigram and TokenUnigram, positions
kept, no normalizer (qel matches characters as they are), the query cache off and match
escalation off;
each qel query is written in Groonga's query syntax so that its hits are
the same, and the run fails where they are not. Xapian's hits are shown, not checked.

--baseline names another qel binary (an earlier build) measured in the same run on the
same records: its build time, index size and median query beside this one's, and the
cost of writing: qel mklib and qel index of the records by both binaries in turns,
WRITE_RUNS times each (--write-runs 5), medians compared. Then
search_threads searches the indexed library from 1, 2, 4 and 8 threads at once, each
thread with its own session running the mix, and reports queries per second.
"""
import argparse
import collections
import itertools
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import unicodedata

NEAR = 10  # qel's NEAR and ORDER distance, in characters
TOKENIZERS = {"bigram": "TokenBigram", "unigram": "TokenUnigram"}


class Query:
    """One query of the mix in each system's syntax; groonga maps a tokenizer to the
    select's (query, filter), or is one query for both."""

    def __init__(self, shape, qel, xapian, groonga):
        self.shape, self.qel, self.xapian = shape, qel, xapian
        self.groonga = groonga if isinstance(groonga, dict) else {
            t: (groonga, None) for t in TOKENIZERS}


def near_query(shape, op, a, b):
    """a NEAR b or a ORDER b. Groonga counts a near interval from the start of one phrase
    to the start of the next, less the tokens of the first, plus one: qel's gap (the
    characters between them) plus 1 with unigrams, and with bigrams plus 2 after a word
    of two or more characters, whose last character starts no token of the phrase. So an
    unordered pair of a one-character and a longer word has no single bigram interval."""
    g = "*ONP" if op == "ORDER" else "*NP"
    groonga = {}
    for t in TOKENIZERS:
        extra = [1 if t == "unigram" or len(w) == 1 else 2 for w in (a, b)]
        if g == "*NP" and extra[0] != extra[1]:
            raise ValueError(f"{a} NEAR {b}: no single Groonga interval for {t}")
        groonga[t] = (f'{g}{NEAR + extra[0]}"{a} {b}"', None)
    return Query(shape, f"{a} {op} {b}", f"{a} {'ADJ' if op == 'ORDER' else 'NEAR'} {b}",
                 groonga)


def para_query(shape, a, b):
    """Groonga's regular expressions see the text normalized, its line breaks gone, so
    the title and the lines of the text are also kept as a vector column, one element
    each: the index finds the records holding both words, and a look-ahead pattern (qel
    lets the words overlap) keeps those with an element holding both. One column, as
    Groonga scans all records, not the index's hits, for an OR of two patterns."""
    pattern = "^" + "".join(f"(?=.*{w})" for w in (a, b))
    return Query(shape, f"{a} PARA {b}", f"{a} AND {b}",
                 {
t: (f"{a} {b}", f'para_lines @~ "{pattern}"') for t in TOKENIZERS})


def lines_query(shape, low, high=None):
    if high is None:
        return Query(shape, f">={low}/lines", f"lines:{low}..", f"lines:>={low}")
    return Query(shape, f"[{low},{high}]/lines", f"lines:{low}..{high}",
                 f"lines:>={low} lines:<={high}")


OLD_MIX = [
    Query("1 char", "月", "月", "月"),
    Query("2 chars", "明月", "明月", "明月"),
    Query("4 chars", "春风得意", "春风得意", "春风得意"),
    near_query("NEAR", "NEAR", "明月", "故乡"),
    Query("title", "山/title", "title:山", "title:@山"),
    lines_query("lines", 4, 8),
    Query("OR+author", "(春 OR 秋) AND 李白/author", "(春 OR 秋) AND author:李白",
          "(春 OR 秋) author:李白"),
    Query("SUB", "花 SUB 月", "花 AND NOT 月", "花 - 月"),
]


def overlap(a, b):
    """Whether occurrences of a and b can share characters. qel counts such a pair as
    near; Groonga's near search does not see it the same way, so the mix avoids them."""
    if a in b or b in a:
        return True
    return any(a[-k:] == b[:k] or b[-k:] == a[:k] for k in range(1, min(len(a), len(b))))


def realistic_mix(source, per_shape, seed=2, sample=50000):
    """PER_SHAPE queries of each shape, drawn from the first SAMPLE records."""
    records = []
    with open(source, encoding="utf-8") as f:
        for line in itertools.islice(f, sample):
            records.append(json.loads(line))
    rng = random.Random(seed)
    df = collections.Counter()
    for r in records:
        df.update(set(r["title"]) | set("".join(r["text"])))
    by_df = [c for c, _ in df.most_common()]
    frequent = by_df[:20]
    fewest = df[by_df[-1]]
    rare = sorted(c for c in by_df if df[c] <= max(3, fewest))

    def segment(length):
#A title or one line of the text of a random record, at least length long.
        while True:
            r = rng.choice(records)
            seg = rng.choice([r["title"]] + r["text"])
            if len(seg) >= length:
                return seg

    def substring(length):
        seg = segment(length)
        at = rng.randrange(len(seg) - length + 1)
        return seg[at:at + length]

    def neighbours():
#Two words of two characters within NEAR characters of each other in a record's
#text, line breaks counting as characters as qel counts them.
        text = "\n".join(rng.choice(records)["text"])
        i = rng.randrange(len(text) - 1)
        j = rng.randrange(i + 2, i + 3 + NEAR)
        a, b = text[i:i + 2], text[j:j + 2]
        if len(b) < 2 or "\n" in a + b or overlap(a, b):
            return None
        return a, b

    def para():
        seg = segment(4)
        i = rng.randrange(len(seg) - 3)
        j = rng.randrange(i + 2, len(seg) - 1)
        a, b = seg[i:i + 2], seg[j:j + 2]
        return para_query("PARA", a, b) if a != b else None

    def near():
        pair = neighbours()
        if pair is None:
            return None
        a, b = pair if rng.random() < 0.5 else pair[::-1]
        return near_query("NEAR", "NEAR", a, b)

    def order():
        pair = neighbours()
        return None if pair is None else near_query("ORDER", "ORDER", *pair)

    common = iter(sorted(itertools.combinations(range(10), 2), key=lambda p: (sum(p), p)))

    def near_frequent():
        pair = next(common, None)
        return pair and near_query("NEAR freq", "NEAR", frequent[pair[0]], frequent[pair[1]])

    def author():
        name = rng.choice(records)["author"]
        return Query("author", f"{name}/author", f"author:{name}", f"author:{name}")

    def lines():
#Records have 4 to 12 lines : neither bound takes in all of them.
        low = rng.randint(5, 11)
        if rng.random() < 0.5:
            return lines_query("lines", low)
        return lines_query("lines", low, rng.randint(low + 1, 12))

    def or_author():
        r = rng.choice(records)
        a, b, c = rng.choice("".join(r["text"])), rng.choice(frequent), r["author"]
        if a == b:
            return None
        return Query("OR+author", f"({a} OR {b}) AND {c}/author",
                     f"({a} OR {b}) AND author:{c}", f"({a} OR {b}) author:{c}")

    def sub():
        a, b = substring(2), rng.choice(frequent)
        if b in a:
            return None
        return Query("SUB", f"{a} SUB {b}", f"{a} AND NOT {b}", f"{a} - {b}")

    def word(shape, pick):
        def make():
            w = pick()
            return Query(shape, w, w, w)
        return make

    shapes = [
        word("freq char", lambda: rng.choice(frequent)),
        word("rare char", lambda: rng.choice(rare)),
        word("2 chars", lambda: substring(2)),
        word("3 chars", lambda: substring(3)),
        word("4 chars", lambda: substring(4)),
        near, order, near_frequent, para, author, lines, or_author, sub,
    ]
    mix = []
    for make in shapes:
        drawn = {}
        for _ in range(1000 * per_shape):
            if len(drawn) == per_shape:
                break
            q = make()
            if q is not None:
                drawn.setdefault(q.qel, q)
        mix += drawn.values()
    return mix


def run(cmd, **kwargs):
    """Runs cmd; returns its standard output, or stops the benchmark when it fails."""
    p = subprocess.run(cmd, capture_output=True, **kwargs)
    if p.returncode != 0:
        sys.exit(f"bench_index: {' '.join(cmd)} failed: {p.stderr.decode(errors='replace')}")
    return p.stdout.decode()


def peak_of(cmd, stdin=None, stdout=None):
    """Peak resident MiB of one run of cmd, measured alone; stdin and stdout name files to
    read from and write to. GNU time, a small process, forks cmd and reports its wait4
    figure: wait4 here would report at least this process's own peak, as a child starts
    as a copy of its parent and exec keeps the high-water mark."""
    with open(stdin or os.devnull, "rb") as source, open(stdout or os.devnull, "wb") as sink:
        p = subprocess.run(["/usr/bin/time", "-f", "%M", *cmd], stdin=source, stdout=sink,
                           stderr=subprocess.PIPE)
    if p.returncode != 0:
        sys.exit(f"bench_index: {' '.join(cmd)} failed: {p.stderr.decode(errors='replace')}")
    return int(p.stderr.split()[-1]) / 1024


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
    as the peers time their queries with their database open."""
    p = subprocess.run([qel, "search", "--json", "--limit", "1", "--interactive", "--lib", base],
                       input=(query + "\n") * runs, capture_output=True, text=True)
    if p.returncode != 0:
        sys.exit(f"bench_index: qel search {query} failed: {p.stderr}")
    summaries = [json.loads(line) for line in p.stdout.splitlines() if '"result"' in line]
    return summaries[-1]["hits"], statistics.median(s["ms"] for s in summaries)


GROONGA_SCHEMA = """table_create Records TABLE_NO_KEY
column_create Records title COLUMN_SCALAR ShortText
column_create Records text COLUMN_SCALAR Text
column_create Records para_lines COLUMN_VECTOR ShortText
column_create Records author COLUMN_SCALAR ShortText
column_create Records lines COLUMN_SCALAR UInt8
"""

#Created after the load, so that Groonga builds each index in one pass over the records.
GROONGA_INDEX = """table_create Terms TABLE_PAT_KEY ShortText --default_tokenizer {tokenizer}
column_create Terms title COLUMN_INDEX|WITH_POSITION Records title
column_create Terms text COLUMN_INDEX|WITH_POSITION Records text
table_create Authors TABLE_HASH_KEY ShortText
column_create Authors author COLUMN_INDEX Records author
table_create LineCounts TABLE_PAT_KEY UInt8
column_create LineCounts lines COLUMN_INDEX Records lines
"""


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def groonga_responses(out, what):
    """The responses of a groonga run, one per command (a command that fails does not
    change its exit status); stops the benchmark at the first that failed."""
    responses = [json.loads(line) for line in out.splitlines() if line.strip()]
    for r in responses:
        if r[0][0] != 0:
            sys.exit(f"bench_index: groonga {what}: {r[0][3:]}")
    return responses


def groonga_load_commands(source, path):
    """The schema and a load of the JSON Lines records: text joined with line breaks as
    qel mklib joins it, and the title and the lines again as a vector for PARA."""
    n = 0
    with open(source, encoding="utf-8") as f, open(path, "w", encoding="utf-8") as out:
        out.write(GROONGA_SCHEMA + "load --table Records\n[\n")
        for line in f:
            r = json.loads(line)
            row = {"title": r["title"], "author": r["author"], "lines": r["lines"],
                   "text": "\n".join(r["text"]), "para_lines": [r["title"]] + r["text"]}
            out.write(("," if n else "") + json.dumps(row, ensure_ascii=False) + "\n")
            n += 1
        out.write("]\n")
    return n


def du(path, allocated=False):
    """Bytes of the files under path; allocated: the blocks they take on disk (Groonga
    sizes its files ahead, sparse)."""
    sizes = (os.stat(os.path.join(d, f)) for d, _, fs in os.walk(path) for f in fs)
    return sum(s.st_blocks * 512 if allocated else s.st_size for s in sizes)


def groonga_build(work, tokenizer, load_file, records):
    """Loads the records into a new database, then indexes them: seconds, peak MiB and
    size of each step, and the database path."""
    folder = os.path.join(work, f"groonga-{tokenizer}")
    os.makedirs(folder)
    db = os.path.join(folder, "db")
    log = ["--log-path", os.path.join(work, "groonga.log")]
    out = os.path.join(work, "groonga.out")
    start = time.monotonic()
    load_peak = peak_of(["groonga", *log, "-n", db], stdin=load_file, stdout=out)
    load_s = time.monotonic() - start
    groonga_responses(read(out), f"{tokenizer} load")
    data_mb = du(folder, allocated=True) / 2**20
    index_file = os.path.join(work, f"groonga-index-{tokenizer}.grn")
    with open(index_file, "w") as f:
        f.write(GROONGA_INDEX.format(tokenizer=TOKENIZERS[tokenizer]))
    start = time.monotonic()
    index_peak = peak_of(["groonga", *log, db], stdin=index_file, stdout=out)
    index_s = time.monotonic() - start
    groonga_responses(read(out), f"{tokenizer} index")
    total_mb = du(folder, allocated=True) / 2**20
    count = groonga_responses(run(["groonga", *log, db, "select", "Records", "--limit", "0"]),
                              "count")
    if count[0][1][0][0][0] != records:
        sys.exit(f"bench_index: groonga {tokenizer} holds {count[0][1][0][0][0]} of "
                 f"{records} records")
    return {"db": db, "log": log, "load_s": load_s, "load_peak": load_peak,
            "index_s": index_s, "index_peak": index_peak, "data_mb": data_mb,
            "index_mb": total_mb - data_mb, "total_mb": total_mb}


def select(query, where):
#Match escalation off : a query without hits would otherwise be run again, looser.
    cmd = ("select Records --match_columns 'title || text' --output_columns _id --limit 0 "
           f"--match_escalation_threshold -1 --query '{query}'")
    return cmd + (f" --filter '{where}'" if where else "")


def groonga_queries(g, tokenizer, mix, runs, work):
    """Hits and median ms of each query, all in one groonga process with the cache off,
    and the peak MiB of a process running the mix once."""
    path = os.path.join(work, f"groonga-queries-{tokenizer}.grn")
    with open(path, "w", encoding="utf-8") as f:
        f.write("cache_limit --max 0\n")
        for q in mix:
            f.write((select(*q.groonga[tokenizer]) + "\n") * runs)
    with open(path, "rb") as commands:
        out = run(["groonga", *g["log"], g["db"]], stdin=commands)
    responses = groonga_responses(out, f"{tokenizer} queries")[1:]
    results = []
    for k in range(len(mix)):
        mine = responses[k * runs:(k + 1) * runs]
        results.append((mine[-1][1][0][0][0], statistics.median(r[0][2] * 1000 for r in mine)))
    once = os.path.join(work, f"groonga-once-{tokenizer}.grn")
    with open(once, "w", encoding="utf-8") as f:
        f.write("cache_limit --max 0\n" + "".join(select(*q.groonga[tokenizer]) + "\n"
                                                  for q in mix))
    return results, peak_of(["groonga", *g["log"], g["db"]], stdin=once)


def write_cost(binaries, source, work, runs, index_args=()):
    """Seconds of qel mklib and of qel index of source by each binary, run in turns (the
    order swapped every round, so that load falls on both alike): {name: {step: [s]}}.
    index_args go to the first binary's qel index."""
    times = {name: {"mklib": [], "index": []} for name in binaries}
    for i in range(runs):
        order = list(binaries.items())
        if i % 2:
            order.reverse()
        for name, binary in order:
            base = os.path.join(work, "write-" + name)
            for part in (".qel", ".sor", ".mrf", ".qix"):
                if os.path.exists(base + part):
                    os.remove(base + part)
            start = time.monotonic()
            run([binary, "mklib", "--out", base, source])
            times[name]["mklib"].append(time.monotonic() - start)
            start = time.monotonic()
            extra = list(index_args) if name == next(iter(binaries)) else []
            run([binary, "index", *extra, base])
            times[name]["index"].append(time.monotonic() - start)
    return times


def width(s):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in s)


def pad(s, n):
    return s + " " * max(0, n - width(s))


def ms(v, digits=3):
    return f"{v:.{digits}f}" if v == v else "-"


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default="build/release")
    ap.add_argument("--mb", type=int, default=64, help="size of the generated records")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--unique-mb", type=int, default=256,
                    help="megabytes of distinct records; more repeat them")
    ap.add_argument("--mix", choices=("realistic", "old"), default="realistic",
                    help="queries drawn from the records by shape, or the eight of before")
    ap.add_argument("--per-shape", type=int, default=5, help="queries of each shape")
    ap.add_argument("--no-peer", action="store_true", help="leave Xapian and Groonga out")
    ap.add_argument("--no-xapian", action="store_true",
                    help="leave Xapian out (its build takes about 10 s per MiB of records)")
    ap.add_argument("--no-groonga", action="store_true", help="leave Groonga out")
    ap.add_argument("--baseline", help="an earlier qel binary to measure in the same run")
    ap.add_argument("--compact", action="store_true",
                    help="build qel's index with --compact (no sets of rare pairs)")
    ap.add_argument("--write-runs", type=int, default=5,
                    help="rounds of qel mklib and qel index by both binaries (--baseline)")
    ap.add_argument("--thread-seconds", type=float, default=2.0,
                    help="seconds per thread count and round of the concurrent queries")
    args = ap.parse_args()
    index_args = ["--compact"] if args.compact else []
    use_xapian = not (args.no_peer or args.no_xapian)
    use_groonga = not (args.no_peer or args.no_groonga)
    if not os.path.exists("/usr/bin/time"):
        sys.exit("bench_index: /usr/bin/time (GNU time) not found; scripts/install-deps.sh "
                 "installs it")
    if use_groonga and not shutil.which("groonga"):
        sys.exit("bench_index: groonga not found (scripts/install-deps.sh installs it); "
                 "--no-groonga leaves it out")
    qel = os.path.abspath(os.path.join(args.build, "qel"))
    peer = os.path.abspath(os.path.join(args.build, "bench", "xapian_peer"))
    work = tempfile.mkdtemp(prefix="bench_index.")
    try:
        source = os.path.join(work, "records.jsonl")
        generate(source, args.mb, args.unique_mb)
        mix = OLD_MIX if args.mix == "old" else realistic_mix(source, args.per_shape)
        base = os.path.join(work, "lib")
        run([qel, "mklib", "--out", base, source])
#The same records under a second name without an index : the scanning path.
        scan = os.path.join(work, "scan")
        for part in (".qel", ".sor", ".mrf"):
            os.link(base + part, scan + part)
        mrf = os.path.getsize(base + ".mrf")

        if args.baseline:
            old = os.path.join(work, "old")
            for part in (".qel", ".sor", ".mrf"):
                os.link(base + part, old + part)
        start = time.monotonic()
        index_peak = peak_of([qel, "index", *index_args, base])
        index_s = time.monotonic() - start
        index_mb = os.path.getsize(base + ".qix") / 2**20
        if args.baseline:
            start = time.monotonic()
            old_peak = peak_of([args.baseline, "index", old])
            old_s = time.monotonic() - start
            old_mb = os.path.getsize(old + ".qix") / 2**20
        db = os.path.join(work, "xapian")
        if use_xapian:
            start = time.monotonic()
            xapian_peak = peak_of([peer, "build", db, source])
            xapian_s = time.monotonic() - start
            xapian_mb = du(db) / 2**20
        groonga = {}
        if use_groonga:
            load_file = os.path.join(work, "groonga-load.grn")
            records = groonga_load_commands(source, load_file)
            for t in TOKENIZERS:
                groonga[t] = groonga_build(work, t, load_file, records)

        print(f"records: {mrf / 2**20:.0f} MiB of GBK records ({base}.mrf); "
              f"{len(mix)} queries ({args.mix} mix)")
        print(f"{'build':<16} {'seconds':>8} {'MiB/s':>7} {'index MiB':>10} {'peak MiB':>9}")

        def build_row(name, s, size, peak):
            print(f"{name:<16} {s:8.1f} {mrf / 2**20 / s:7.1f} {size:10.1f} {peak:9.0f}")

        build_row("qel index", index_s, index_mb, index_peak)
        if args.baseline:
            build_row("baseline", old_s, old_mb, old_peak)
        if use_xapian:
            build_row("xapian", xapian_s, xapian_mb, xapian_peak)
        for t, g in groonga.items():
            build_row(f"groonga {t}", g["index_s"], g["index_mb"], g["index_peak"])
        for t, g in groonga.items():
            print(f"groonga {t}: database {g['total_mb']:.1f} MiB on disk, of which the "
                  f"records {g['data_mb']:.1f} MiB (the text twice, whole and by line), "
                  f"loaded in {g['load_s']:.1f} s (peak {g['load_peak']:.0f} MiB) before "
                  "the index above was built")

        if use_xapian:
            xout = run([peer, "query", db, str(args.runs)] + [q.xapian for q in mix])
            xapian = [(int(h), float(t)) for h, t in
                      (line.split() for line in xout.strip().splitlines())]
        else:
            xapian = [("-", float("nan"))] * len(mix)
        gres, gpeak = {}, {
  }
        for t, g in groonga.items():
            gres[t], gpeak[t] = groonga_queries(g, t, mix, args.runs, work)

        cols = ["index ms", "scan ms"] + [f"{t} ms" for t in groonga] + ["xapian ms"]
        print(f"\n{pad('shape', 10)} {pad('query', 30)} {'hits':>7} "
              + " ".join(f"{c:>10}" for c in cols) + f" {'groonga':>8} {'xapian':>7}")
        rows, mismatches = [], []
        for k, q in enumerate(mix):
            hits, ims = qel_query(qel, base, q.qel, args.runs)
            shits, sms = qel_query(qel, scan, q.qel, max(1, args.runs // 2))
            assert hits == shits, (q.qel, hits, shits)
            gms = [gres[t][k][1] for t in groonga]
            check = "-"
            if groonga:
                wrong = [f"{t[:3]}:{gres[t][k][0]}" for t in groonga if gres[t][k][0] != hits]
                check = "same" if not wrong else "/".join(wrong) + "!"
                if wrong:
                    mismatches.append((q, hits, {
  t: gres[t][k][0] for t in groonga}))
            times = [ims, sms] + gms + [xapian[k][1]]
            rows.append((q.shape, times))
            print(f"{pad(q.shape, 10)} {pad(q.qel, 30)} {hits:>7} "
                  + " ".join(f"{ms(v, 1 if c == 'scan ms' else 3):>10}"
                             for c, v in zip(cols, times))
                  + f" {check:>8} {xapian[k][0]:>7}")

        def median_row(name, values):
            meds = [statistics.median(v) for v in zip(*values)]
            print(f"{pad(name, 49)} " + " ".join(f"{ms(v, 1 if c == 'scan ms' else 3):>10}"
                                                  for c, v in zip(cols, meds)))
            return meds

        print(f"\nmedians by shape ({args.per_shape if args.mix != 'old' else 1} "
              "queries each)")
        for shape in dict.fromkeys(s for s, _ in rows):
            median_row(shape, [t for s, t in rows if s == shape])
        meds = median_row("median of the mix", [t for _, t in rows])
        mi, msc = meds[0], meds[1]
        ratios = [f"scan / index: {msc / mi:.0f}x"]
        ratios += [f"groonga {t} / index: {m / mi:.2f}x" for t, m in zip(groonga, meds[2:])]
        if use_xapian:
            ratios.append(f"xapian / index: {meds[-1] / mi:.2f}x")
        print("; ".join(ratios))
        if groonga:
            print("hits of every query checked against both groonga databases: "
                  + (f"{len(mismatches)} differ" if mismatches else "all the same"))
        if args.baseline:
#New and old in turns, query by query, so that load falls on both alike.
            new_all, old_all = [], []
            for q in mix:
                news, olds = [], []
                for _ in range(3):
                    news.append(qel_query(qel, base, q.qel, args.runs)[1])
                    olds.append(qel_query(args.baseline, old, q.qel, args.runs)[1])
                new_all.append(statistics.median(news))
                old_all.append(statistics.median(olds))
            mn, mo = statistics.median(new_all), statistics.median(old_all)
            print(f"baseline, same run: build {old_s:.1f} s against {index_s:.1f} s "
                  f"({index_s / old_s:.3f}x), index {old_mb:.1f} against {index_mb:.1f} MiB, "
                  f"median query {mo:.4f} against {mn:.4f} ms ({mn / mo:.3f}x)")
            times = write_cost({"new": qel, "baseline": args.baseline}, source, work,
                               args.write_runs, index_args)
            for step in ("mklib", "index"):
                new_s = statistics.median(times["new"][step])
                old_s = statistics.median(times["baseline"][step])
                print(f"writing, same run, median of {args.write_runs}: qel {step} "
                      f"{new_s:.2f} s against baseline {old_s:.2f} s ({new_s / old_s:.3f}x); "
                      f"runs new {' '.join(f'{t:.2f}' for t in times['new'][step])}, "
                      f"baseline {' '.join(f'{t:.2f}' for t in times['baseline'][step])}")
        threads = os.path.abspath(os.path.join(args.build, "bench", "search_threads"))
        if os.path.exists(threads):
            out = run([threads, base, str(args.thread_seconds), "3"] + [q.qel for q in mix])
            qps = dict(line.split() for line in out.strip().splitlines())
            print("concurrent queries of the mix, indexed: "
                  + ", ".join(f"{t} threads {float(v):.0f}/s" for t, v in qps.items())
                  + f"; 2 threads / 1: {float(qps['2']) / float(qps['1']):.2f}x")
        boolean = next(q.qel for q in mix if q.shape == "OR+author")
        search_index_peak = peak_of([qel, "search", "--lib", base, "--count", boolean])
        search_scan_peak = peak_of([qel, "search", "--lib", scan, "--count", boolean])
        # The whole mix in one session, as Groonga's peak is taken.
        mix_file = os.path.join(work, "mix.txt")
        with open(mix_file, "w", encoding="utf-8") as f:
            f.write("".join(q.qel + "\n" for q in mix))
        interactive = ["search", "--limit", "1", "--interactive", "--lib"]
        mix_peak = peak_of([qel, *interactive, base], stdin=mix_file)
        if args.baseline:
            old_mix_peak = peak_of([args.baseline, *interactive, old], stdin=mix_file)
            old_index_peak = peak_of([args.baseline, "search", "--lib", old, "--count", boolean])
        print(f"peak MiB: qel search with index {search_index_peak:.0f}"
              + (f" (baseline {old_index_peak:.0f})" if args.baseline else "") + ", without "
              f"{search_scan_peak:.0f}, the mix in one session {mix_peak:.0f}"
              + (f" (baseline {old_mix_peak:.0f})" if args.baseline else "")
              + f"; qel index {index_peak:.0f}"
              + (f"; xapian build {xapian_peak:.0f}" if use_xapian else "")
              + "".join(f"; groonga {t} load {g['load_peak']:.0f}, index "
                        f"{g['index_peak']:.0f}, queries of the mix {gpeak[t]:.0f}"
                        for t, g in groonga.items()))
        for q, hits, theirs in mismatches:
            print(f"MISMATCH {q.shape}: qel {q.qel} {hits} hits; groonga "
                  + ", ".join(f"{t} {select(*q.groonga[t])} {h} hits"
                              for t, h in theirs.items()), file=sys.stderr)
        if mismatches:
            sys.exit(1)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
