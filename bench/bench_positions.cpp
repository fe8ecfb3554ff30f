// Positional postings of characters answering, without reading records, the query shapes
// the index answers by reading every candidate record back: words of two characters found
// by the positions of each (not by a set of character pairs) and NEAR of frequent
// characters. The peer is the index itself, in the same run, on the same library: the demo
// poems written 20 times over (113,000 records) and indexed, queries of its text field.
//
// Each character's postings are blocks of 64 records: per record, the record gap, the
// number of occurrences and the position gaps, LEB128 varints (bench_postings measured it
// against StreamVByte), with a skip entry per block (its first record and byte offset), so
// that intersecting a rare character with a frequent one skips whole blocks. The label
// gives the hits, checked equal to the index's.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qelshare/library_writer.h"
#include "qelshare/search.h"
#include "readers/search_index.h"
#include "varint.h"

namespace qel {
namespace {

constexpr int kCopies = 20;
constexpr std::uint32_t kBlock = 64;
constexpr int kNear = 10;

using bench::AppendVarint;
using bench::GetVarint;

struct Skip {
  std::uint32_t first;  // record
  std::uint32_t at;     // byte offset of the block
};

struct Term {
  std::vector<std::uint8_t> bytes;
  std::vector<Skip> skips;
  std::uint32_t records = 0;
  std::uint32_t last = 0;  // while building
};

// Walks a term's records in order; Seek goes to the first record at or after a number.
class Cursor {
 public:
  explicit Cursor(Term const& t) : t_(t) { Load(0); }
  bool done() const { return done_; }
  std::uint32_t record() const { return record_; }
  void Next() {
    if (left_in_block_ == 0) {
      Load(block_ + 1);
      return;
    }
    SkipPositions();
    Header(record_);
  }
  void Seek(std::uint32_t target) {
    if (done_ || record_ >= target) return;
    // Whole blocks whose next block starts at or before the target are passed over.
    std::size_t b = block_;
    while (b + 1 < t_.skips.size() && t_.skips[b + 1].first <= target) ++b;
    if (b != block_) Load(b);
    while (!done_ && record_ < target) Next();
  }
  // The positions of the current record.
  void Positions(std::vector<std::uint32_t>& out) {
    out.clear();
    std::uint8_t const* p = positions_;
    std::uint32_t at = 0;
    for (std::uint32_t i = 0; i < count_; ++i) {
      at += GetVarint(p);
      out.push_back(at);
    }
    after_ = p;
  }

 private:
  void Load(std::size_t block) {
    block_ = block;
    if (block >= t_.skips.size()) {
      done_ = true;
      return;
    }
    p_ = t_.bytes.data() + t_.skips[block].at;
    std::uint32_t in_block =
        std::min<std::uint32_t>(kBlock, t_.records - static_cast<std::uint32_t>(block) * kBlock);
    left_in_block_ = in_block;
    after_ = nullptr;
    Header(t_.skips[block].first);
  }
  void Header(std::uint32_t previous) {
    record_ = previous + GetVarint(p_);
    count_ = GetVarint(p_);
    positions_ = p_;
    after_ = nullptr;
    --left_in_block_;
  }
  void SkipPositions() {
    if (after_ != nullptr) {
      p_ = after_;
      return;
    }
    for (std::uint32_t i = 0; i < count_; ++i) {
      while (*p_++ & 0x80) {
      }
    }
  }
  Term const& t_;
  std::size_t block_ = 0;
  std::uint32_t left_in_block_ = 0, record_ = 0, count_ = 0;
  std::uint8_t const* p_ = nullptr;
  std::uint8_t const* positions_ = nullptr;
  std::uint8_t const* after_ = nullptr;
  bool done_ = false;
};

// The key of the character at i, as the index keys it; i moves past it.
std::uint32_t Key(std::string_view s, std::size_t& i) {
  auto [key, length] = search_index::CharKey(s, i);
  i += length;
  return key;
}

struct Corpus {
  std::filesystem::path dir;
  std::string base;
  std::map<std::uint32_t, Term> terms;
  qel::Collection collection;
  std::unique_ptr<qel::Session> session;
  ~Corpus() {
    session.reset();
    collection = qel::Collection();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Corpus& Shared() {
  static std::unique_ptr<Corpus> shared = [] {
    auto made = std::make_unique<Corpus>();
    Corpus& c = *made;
    c.dir = std::filesystem::temp_directory_path() /
            ("qel_bench_positions." + std::to_string(getpid()));
    std::filesystem::create_directories(c.dir);
    c.base = (c.dir / "poems").string();
    // The demo records, read once, written kCopies times.
    qel::Collection demo;
    if (!demo.Open(std::string(QEL_BINARY_DIR) + "/demo/poems").ok()) std::abort();
    qel::Session scan(demo);
    if (!scan.Search("NOT zzzzqq").ok()) std::abort();
    std::uint64_t count = *demo.library(0).records;
    std::vector<qel::Record> records(count);
    for (std::uint32_t n = 0; n < count; ++n) {
      if (!demo.Read({0, n, 0}, records[n]).ok()) std::abort();
    }
    qel::LibraryWriter writer(c.base);
    std::uint32_t number = 0;
    for (int copy = 0; copy < kCopies; ++copy) {
      for (qel::Record const& r : records) {
        std::vector<std::pair<std::string, std::string>> fields;
        std::string text;
        for (qel::FieldValue const& f : r.fields) {
          fields.emplace_back(f.code, f.value);
          if (f.code == "TX") text = f.value;
        }
        if (!writer.Add(fields).ok()) std::abort();
        // Positional postings of the text field.
        std::map<std::uint32_t, std::vector<std::uint32_t>> at;
        std::uint32_t position = 0;
        for (std::size_t i = 0; i < text.size(); ++position) at[Key(text, i)].push_back(position);
        for (auto const& [key, positions] : at) {
          Term& t = c.terms[key];
          if (t.records % kBlock == 0) {
            t.skips.push_back({number, static_cast<std::uint32_t>(t.bytes.size())});
            t.last = number;
          }
          AppendVarint(number - t.last, t.bytes);
          t.last = number;
          AppendVarint(static_cast<std::uint32_t>(positions.size()), t.bytes);
          std::uint32_t previous = 0;
          for (std::uint32_t p : positions) {
            AppendVarint(p - previous, t.bytes);
            previous = p;
          }
          ++t.records;
        }
        ++number;
      }
    }
    std::vector<qel::Field> fields = demo.library(0).fields;
    if (!writer.Finish("poems", fields).ok() || !qel::BuildIndex(c.base).ok()) std::abort();
    if (!c.collection.Open(c.base).ok() || !c.collection.library(0).indexed) std::abort();
    c.session = std::make_unique<qel::Session>(c.collection);
    return made;
  }();
  return *shared;
}

struct Query {
  char const* a;  // GBK characters
  char const* b;
  bool near;  // a NEAR b, else the word ab
};
// Two-character words of the poems, and NEAR of frequent characters (none twice).
Query const kQueries[] = {
    {"\xC3\xF7", "\xD4\xC2", false},  // 明月
    {"\xB4\xBA", "\xB7\xE7", false},  // 春风
    {"\xB2\xBB", "\xD6\xAA", false},  // 不知
    {"\xBA\xCE", "\xB4\xA6", false},  // 何处
    {"\xCD\xF2", "\xC0\xEF", false},  // 万里
    {"\xB2\xBB", "\xC8\xCB", true},   // 不 NEAR 人
    {"\xC9\xBD", "\xD4\xC2", true},   // 山 NEAR 月
    {"\xB7\xE7", "\xBB\xA8", true},   // 风 NEAR 花
    {"\xC8\xD5", "\xCE\xDE", true},   // 日 NEAR 无
    {"\xD2\xBB", "\xB2\xBB", true},   // 一 NEAR 不
};

std::string Expression(Query const& q) {
  std::string field = "/\xD5\xFD\xCE\xC4";  // /正文, the text field
  return q.near ? std::string(q.a) + " NEAR " + q.b + field : std::string(q.a) + q.b + field;
}

// Records whose text holds the word ab, or a within kNear characters of b (counted from
// the end of the earlier to the start of the later).
std::uint64_t PositionalHits(Corpus& c, Query const& q) {
  std::size_t i = 0, j = 0;
  auto ta = c.terms.find(Key(q.a, i)), tb = c.terms.find(Key(q.b, j));
  if (ta == c.terms.end() || tb == c.terms.end()) return 0;
  Cursor x(ta->second), y(tb->second);
  thread_local std::vector<std::uint32_t> pa, pb;
  std::uint64_t hits = 0;
  while (!x.done() && !y.done()) {
    if (x.record() < y.record()) {
      x.Seek(y.record());
      continue;
    }
    if (y.record() < x.record()) {
      y.Seek(x.record());
      continue;
    }
    x.Positions(pa);
    y.Positions(pb);
    bool hit = false;
    std::size_t k = 0;
    for (std::uint32_t p : pb) {
      while (k < pa.size() && pa[k] < p) ++k;
      if (q.near) {
        // The nearest a before this b, and the nearest after it.
        if ((k > 0 && p - (pa[k - 1] + 1) <= kNear) ||
            (k < pa.size() && pa[k] - (p + 1) <= kNear)) {
          hit = true;
          break;
        }
      } else if (k > 0 && pa[k - 1] + 1 == p) {
        hit = true;
        break;
      }
    }
    hits += hit;
    x.Next();
    y.Next();
  }
  return hits;
}

void Label(benchmark::State& state, Query const& q, std::uint64_t hits) {
  // The label stays ASCII: the query's shape and number in the table, and its hits.
  state.SetLabel((q.near ? "near_" : "word_") + std::to_string(state.range(0)) + " " +
                 std::to_string(hits) + " hits");
}

void BM_Index(benchmark::State& state) {
  Corpus& c = Shared();
  Query const& q = kQueries[state.range(0)];
  qel::SearchOptions options;
  options.keep = false;
  std::uint64_t hits = 0;
  for (auto _ : state) hits = c.session->Search(Expression(q), options).count();
  Label(state, q, hits);
}

void BM_Positions(benchmark::State& state) {
  Corpus& c = Shared();
  Query const& q = kQueries[state.range(0)];
  qel::SearchOptions options;
  options.keep = false;
  std::uint64_t expected = c.session->Search(Expression(q), options).count();
  std::uint64_t hits = 0;
  for (auto _ : state) hits = PositionalHits(c, q);
  if (hits != expected) {
    state.SkipWithError(
        ("positions give " + std::to_string(hits) + " hits, the index " + std::to_string(expected))
            .c_str());
  }
  Label(state, q, hits);
}

BENCHMARK(BM_Index)->ArgName("query")->DenseRange(0, 9)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Positions)->ArgName("query")->DenseRange(0, 9)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qel

BENCHMARK_MAIN();
