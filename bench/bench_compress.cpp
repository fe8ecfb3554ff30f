// The block coder against zlib (level 1) and LZ4 on the same data, in the same run.
//
// Inputs of 4 MiB each: the demo poems in GBK (the fortunes-zh collections, repeated),
// C++ source text (the standard library headers) and random bytes (which Compress
// declines early); and 64 MiB of generated GBK text (words of one to three hanzi drawn
// with Zipf frequencies, clauses ended by full-width commas and stops, CR LF lines). Each benchmark
// reports MB/s of uncompressed data and the ratio compressed/original. Also StandardDateTime on
// typical texts, with sscanf + snprintf of the same fields as the peer.
#include <benchmark/benchmark.h>
#include <lz4.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/codepage.h"
#include "publicfun/block_codec.h"
#include "qelshare/CPublicFun.h"

namespace {

constexpr std::size_t kInputSize = 4 << 20;

std::string ReadFile(std::filesystem::path const& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  return std::move(data).str();
}

std::vector<unsigned char> Repeat(std::string const& text) {
  std::vector<unsigned char> out;
  if (text.empty()) return out;
  out.reserve(kInputSize);
  while (out.size() < kInputSize) {
    std::size_t take = std::min(text.size(), kInputSize - out.size());
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(take));
  }
  return out;
}

std::vector<unsigned char> GeneratedGbk(std::size_t size) {
  std::mt19937 rng(15);
  std::vector<std::string> words(6000);
  for (auto& word : words) {
    for (int n = 1 + static_cast<int>(rng() % 3); n > 0; --n) {
      word += static_cast<char>(0xB0 + rng() % 40);  // first-level hanzi rows
      word += static_cast<char>(0xA1 + rng() % 94);
    }
  }
  std::vector<double> weights(words.size());
  for (std::size_t i = 0; i < weights.size(); ++i) weights[i] = 1.0 / static_cast<double>(i + 1);
  std::discrete_distribution<std::size_t> pick(weights.begin(), weights.end());
  std::vector<unsigned char> out;
  out.reserve(size + 16);
  for (int clause = 0; out.size() < size;) {
    std::string const& word = words[pick(rng)];
    out.insert(out.end(), word.begin(), word.end());
    if (rng() % 6 == 0) {
      std::string_view mark = ++clause % 4 == 0 ? "\xA1\xA3" : "\xA3\xAC";  // stop, comma
      out.insert(out.end(), mark.begin(), mark.end());
      if (clause % 8 == 0) out.insert(out.end(), {'\r', '\n'});
    }
  }
  out.resize(size);
  return out;
}

std::vector<unsigned char> const& Input(int kind) {
  static std::vector<unsigned char> inputs[4];
  auto& in = inputs[kind];
  if (!in.empty()) return in;
  if (kind == 0) {
    std::string poems;
    for (char const* name : {"tang300", "song100", "chinese"}) {
      std::string gbk;
      qel::text::Utf8ToGbkReplacing(
          ReadFile(std::string("/usr/share/games/fortunes/") + name + ".u8"), gbk);
      poems += gbk;
    }
    in = Repeat(poems);
  } else if (kind == 1) {
    std::string source;
    for (auto const& entry : std::filesystem::recursive_directory_iterator("/usr/include/c++")) {
      if (source.size() >= kInputSize) break;
      if (entry.is_regular_file()) source += ReadFile(entry.path());
    }
    in = Repeat(source);
  } else if (kind == 3) {
    in = GeneratedGbk(std::size_t{64} << 20);
  } else {
    std::mt19937 rng(1);
    in.resize(kInputSize);
    for (auto& b : in) b = static_cast<unsigned char>(rng());
  }
  return in;
}

char const* const kNames[] = {"poems_gbk", "cpp_source", "random", "generated_gbk_64mib"};

void Finish(benchmark::State& state, std::size_t original, std::size_t packed) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * original));
  state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(original);
  state.SetLabel(kNames[state.range(0)]);
}

void BM_Compress_Qel(benchmark::State& state) {
  auto in = Input(static_cast<int>(state.range(0)));
  std::vector<unsigned char> out(in.size());
  unsigned long len = in.size();
  for (auto _ : state) {
    len = in.size();
    benchmark::DoNotOptimize(CPublicFun::Compress(in.data(), in.size(), out.data(), &len));
  }
  Finish(state, in.size(), len);  // a declined input counts as stored whole
}

void BM_Expand_Qel(benchmark::State& state) {
  auto in = Input(static_cast<int>(state.range(0)));
  std::vector<unsigned char> block(in.size()), out(in.size());
  unsigned long len = 0;
  if (!CPublicFun::Compress(in.data(), in.size(), block.data(), &len)) {
    state.SkipWithError("input does not compress");
    return;
  }
  for (auto _ : state) {
    CPublicFun::Expand(block.data(), len, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  if (out != in) state.SkipWithError("round trip differs");
  Finish(state, in.size(), len);
}

void BM_ExpandChecked_Qel(benchmark::State& state) {
  auto in = Input(static_cast<int>(state.range(0)));
  std::vector<unsigned char> block(in.size()), out(in.size());
  unsigned long len = 0;
  if (!CPublicFun::Compress(in.data(), in.size(), block.data(), &len)) {
    state.SkipWithError("input does not compress");
    return;
  }
  block.resize(len);
  for (auto _ : state) benchmark::DoNotOptimize(qel::block::ExpandChecked(block, out));
  if (out != in) state.SkipWithError("round trip differs");
  Finish(state, in.size(), len);
}

void BM_Compress_Zlib1(benchmark::State& state) {
  auto in = Input(static_cast<int>(state.range(0)));
  std::vector<unsigned char> out(compressBound(in.size()));
  uLongf len = 0;
  for (auto _ : state) {
    len = out.size();
    compress2(out.data(), &len, in.data(), in.size(), 1);
  }
  Finish(state, in.size(), len);
}

void BM_Expand_Zlib1(benchmark::State& state) {
  auto in = Input(static_cast<int>(state.range(0)));
  std::vector<unsigned char> block(compressBound(in.size())), out(in.size());
  uLongf len = block.size();
  compress2(block.data(), &len, in.data(), in.size(), 1);
  for (auto _ : state) {
    uLongf outLen = out.size();
    uncompress(out.data(), &outLen, block.data(), len);
  }
  if (out != in) state.SkipWithError("round trip differs");
  Finish(state, in.size(), len);
}

void BM_Compress_Lz4(benchmark::State& state) {
  auto in = Input(static_cast<int>(state.range(0)));
  std::vector<char> out(LZ4_compressBound(static_cast<int>(in.size())));
  int len = 0;
  for (auto _ : state) {
    len = LZ4_compress_default(reinterpret_cast<char const*>(in.data()), out.data(),
                               static_cast<int>(in.size()), static_cast<int>(out.size()));
  }
  Finish(state, in.size(), static_cast<std::size_t>(len));
}

void BM_Expand_Lz4(benchmark::State& state) {
  auto in = Input(static_cast<int>(state.range(0)));
  std::vector<char> block(LZ4_compressBound(static_cast<int>(in.size())));
  std::vector<unsigned char> out(in.size());
  int len = LZ4_compress_default(reinterpret_cast<char const*>(in.data()), block.data(),
                                 static_cast<int>(in.size()), static_cast<int>(block.size()));
  for (auto _ : state) {
    LZ4_decompress_safe(block.data(), reinterpret_cast<char*>(out.data()), len,
                        static_cast<int>(out.size()));
  }
  if (out != in) state.SkipWithError("round trip differs");
  Finish(state, in.size(), static_cast<std::size_t>(len));
}

// The coders are timed by the clock on the wall, as a user waits for them, not by the
// calling thread's CPU time.
BENCHMARK(BM_Compress_Qel)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Compress_Zlib1)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Compress_Lz4)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Expand_Qel)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExpandChecked_Qel)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Expand_Zlib1)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Expand_Lz4)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// Typical texts: ASCII, Chinese date words, full-width digits, a keyword.
std::vector<std::string> const& DateTexts() {
  static std::vector<std::string> texts = [] {
    std::vector<std::string> out;
    for (char const* utf8 : {"2005-4-23 10:30:20", "2005年4月23日 10时30分20秒",
                             "２００５－０４－２３ １０：３０：２０", "1999/12/31 23:59"}) {
      std::string gbk;
      qel::text::Utf8ToGbkReplacing(utf8, gbk);
      out.push_back(gbk);
    }
    return out;
  }();
  return texts;
}

void BM_StandardDateTime(benchmark::State& state) {
  auto const& texts = DateTexts();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(CPublicFun::StandardDateTime(texts[i++ & 3].c_str()));
  }
  state.SetItemsProcessed(state.iterations());
}

// Peer: the C library reading and writing six fields of an ASCII date-time.
void BM_SscanfSnprintf(benchmark::State& state) {
  std::string const text = "2005-4-23 10:30:20";
  for (auto _ : state) {
    int f[6] = {};
    std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5]);
    char out[32];
    std::snprintf(out, sizeof out, "%04d.%02d.%02d %02d:%02d:%02d", f[0], f[1], f[2], f[3], f[4],
                  f[5]);
    benchmark::DoNotOptimize(std::string(out));
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_StandardDateTime);
BENCHMARK(BM_SscanfSnprintf);

}  // namespace

BENCHMARK_MAIN();
