// Codings for the positions of characters in an index, measured on real text: for each
// character of the text field, the records holding it and the character positions in each
// (a positional posting list, as an index that answers NEAR and phrases from itself needs).
// Three integer streams per character: record gaps, occurrences per record, position gaps
// within a record. Each coding encodes and decodes all of them:
//   varint        LEB128 of each integer (seven bits a byte): the index's own coding and
//                 decoder (platform/coding), which checks each varint's bounds
//   streamvbyte   the StreamVByte library (Debian libstreamvbyte-dev): a control byte per
//                 four integers, then 1 to 4 bytes each, decoded with SIMD shuffles
//   streamvbyte0  StreamVByte's 0124 variant, where an integer of 0 takes no byte
// The label gives the bytes per integer; items per second count integers. The text is the
// demo library's (about 5,700 poems and sayings) repeated to 120,000 records, or the
// library named by QEL_POSTINGS_LIB (a generated one of bench_index.py, say).
#include <benchmark/benchmark.h>
#include <streamvbyte.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/coding/coding.h"
#include "qelshare/search.h"
#include "readers/search_index.h"

namespace qel {
namespace {

// The three streams of every character, one after another.
struct Streams {
  std::vector<std::uint32_t> gaps, counts, positions;
  std::vector<std::size_t> terms;  // where each character's integers start in each stream
  std::size_t integers() const { return gaps.size() + counts.size() + positions.size(); }
};

Streams const& Postings() {
  static Streams streams = [] {
    char const* named = std::getenv("QEL_POSTINGS_LIB");
    std::string base = named != nullptr ? named : std::string(QEL_BINARY_DIR) + "/demo/poems";
    qel::Collection collection;
    if (!collection.Open(base).ok()) std::abort();
    // A search that scans the records lets them be read by number.
    qel::Session session(collection);
    if (!session.Search("NOT zzzzqq").ok()) std::abort();
    std::uint64_t records = *collection.library(0).records;
    std::uint64_t wanted = named != nullptr ? records : 120000;
    // Per character: (record, positions in it).
    std::map<std::uint32_t, std::vector<std::pair<std::uint32_t, std::vector<std::uint32_t>>>>
        lists;
    qel::Record record;
    for (std::uint64_t n = 0; n < wanted; ++n) {
      if (!collection.Read({0, static_cast<std::uint32_t>(n % records), 0}, record).ok()) continue;
      for (qel::FieldValue const& f : record.fields) {
        if (f.code != "TX") continue;
        std::uint32_t position = 0;
        for (std::size_t i = 0; i < f.value.size(); ++position) {
          auto [key, length] = search_index::CharKey(f.value, i);
          i += length;
          auto& list = lists[key];
          if (list.empty() || list.back().first != n)
            list.push_back({static_cast<std::uint32_t>(n), {}});
          list.back().second.push_back(position);
        }
      }
    }
    Streams s;
    for (auto const& [key, list] : lists) {
      s.terms.push_back(s.gaps.size());
      s.terms.push_back(s.counts.size());
      s.terms.push_back(s.positions.size());
      std::uint32_t last = 0;
      for (auto const& [n, positions] : list) {
        s.gaps.push_back(n - last);
        last = n;
        s.counts.push_back(static_cast<std::uint32_t>(positions.size()));
        std::uint32_t at = 0;
        for (std::uint32_t p : positions) {
          s.positions.push_back(p - at);
          at = p;
        }
      }
    }
    return s;
  }();
  return streams;
}

enum Coding { kVarint, kStreamVByte, kStreamVByte0124 };

// Encodes each stream of every character on its own (as an index stores them), into out.
std::size_t Encode(Coding coding, Streams const& s, std::vector<std::uint8_t>& out) {
  std::size_t at = 0;
  auto one = [&](std::vector<std::uint32_t> const& stream, std::size_t begin, std::size_t end) {
    auto length = static_cast<std::uint32_t>(end - begin);
    std::uint32_t const* in = stream.data() + begin;
    if (coding == kVarint) {
      std::uint8_t* to = out.data() + at;
      for (std::uint32_t i = 0; i < length; ++i) to = coding::PutVarint32(to, in[i]);
      at = static_cast<std::size_t>(to - out.data());
    } else if (coding == kStreamVByte) {
      at += streamvbyte_encode(in, length, out.data() + at);
    } else {
      at += streamvbyte_encode_0124(in, length, out.data() + at);
    }
  };
  std::vector<std::uint32_t> const* streams[] = {&s.gaps, &s.counts, &s.positions};
  for (std::size_t t = 0; t < s.terms.size(); t += 3) {
    for (int k = 0; k < 3; ++k) {
      std::size_t end = t + 3 < s.terms.size() ? s.terms[t + 3 + k] : streams[k]->size();
      one(*streams[k], s.terms[t + k], end);
    }
  }
  return at;
}

void Decode(Coding coding, Streams const& s, std::vector<std::uint8_t> const& in,
            std::vector<std::uint32_t>& out) {
  std::size_t at = 0;
  std::vector<std::uint32_t> const* streams[] = {&s.gaps, &s.counts, &s.positions};
  for (std::size_t t = 0; t < s.terms.size(); t += 3) {
    for (int k = 0; k < 3; ++k) {
      std::size_t end = t + 3 < s.terms.size() ? s.terms[t + 3 + k] : streams[k]->size();
      auto length = static_cast<std::uint32_t>(end - s.terms[t + k]);
      if (coding == kVarint) {
        std::uint8_t const* p = in.data() + at;
        for (std::uint32_t i = 0; i < length; ++i)
          p = coding::GetVarint32(p, in.data() + in.size(), out[i]);
        at = static_cast<std::size_t>(p - in.data());
      } else if (coding == kStreamVByte) {
        at += streamvbyte_decode(in.data() + at, out.data(), length);
      } else {
        at += streamvbyte_decode_0124(in.data() + at, out.data(), length);
      }
      benchmark::DoNotOptimize(out.data());
    }
  }
}

char const* Name(Coding c) {
  return c == kVarint ? "varint" : c == kStreamVByte ? "streamvbyte" : "streamvbyte0";
}

void Label(benchmark::State& state, Coding coding, std::size_t bytes, Streams const& s) {
  char label[96];
  std::snprintf(label, sizeof label, "%s %.3f bytes/int, %zu ints", Name(coding),
                static_cast<double>(bytes) / static_cast<double>(s.integers()), s.integers());
  state.SetLabel(label);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * s.integers()));
}

void BM_Encode(benchmark::State& state) {
  auto coding = static_cast<Coding>(state.range(0));
  Streams const& s = Postings();
  std::vector<std::uint8_t> out(
      streamvbyte_max_compressedbytes(static_cast<std::uint32_t>(s.integers())) + 5 * s.integers());
  std::size_t bytes = 0;
  for (auto _ : state) bytes = Encode(coding, s, out);
  Label(state, coding, bytes, s);
}
BENCHMARK(BM_Encode)->ArgName("coding")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_Decode(benchmark::State& state) {
  auto coding = static_cast<Coding>(state.range(0));
  Streams const& s = Postings();
  std::vector<std::uint8_t> in(
      streamvbyte_max_compressedbytes(static_cast<std::uint32_t>(s.integers())) + 5 * s.integers());
  std::size_t bytes = Encode(coding, s, in);
  std::vector<std::uint32_t> out(std::max({s.gaps.size(), s.counts.size(), s.positions.size()}));
  for (auto _ : state) Decode(coding, s, in, out);
  Label(state, coding, bytes, s);
}
BENCHMARK(BM_Decode)->ArgName("coding")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qel

BENCHMARK_MAIN();
