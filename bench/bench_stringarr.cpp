// CStringArr against std::vector<std::string> with the same collator.
//
// Add of 1,000,000 short strings, FindInsert of 200,000 random GBK words (peers: append,
// sort and drop repeats; and a vector kept sorted by insertion), and Sort of 200,000
// entries (peer: std::sort).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/text/collate.h"
#include "qelshare/CStringArr.h"

namespace {

std::vector<std::string> const& Words(std::size_t n) {
  static std::vector<std::string> words;
  if (words.size() != n) {
    std::mt19937 rng(42);
    words.clear();
    for (std::size_t i = 0; i < n; ++i) {
      std::string w;
      int chars = 1 + static_cast<int>(rng() % 4);
      for (int k = 0; k < chars; ++k) {
        w += static_cast<char>(0xB0 + rng() % 40);  // level-1 hanzi, pinyin ordered
        w += static_cast<char>(0xA1 + rng() % 94);
      }
      words.push_back(std::move(w));
    }
  }
  return words;
}

bool Less(std::string const& a, std::string const& b) {
  return qel::text::Compare(a, b) < 0;
}

void BM_Add_CStringArr(benchmark::State& state) {
  for (auto _ : state) {
    CStringArr a;
    for (int i = 0; i < 1000000; ++i) a.Add("word", -1);
    benchmark::DoNotOptimize(a.m_pData);
  }
}

void BM_Add_Vector(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<std::string> v;
    for (int i = 0; i < 1000000; ++i) v.emplace_back("word");
    benchmark::DoNotOptimize(v.data());
  }
}

void BM_FindInsert_CStringArr(benchmark::State& state) {
  auto const& words = Words(200000);
  for (auto _ : state) {
    CStringArr a;
    int inserted;
    for (auto const& w : words) a.FindInsert(w.c_str(), &inserted);
    benchmark::DoNotOptimize(a.m_pData);
  }
}

void BM_FindInsert_Vector(benchmark::State& state) {
  auto const& words = Words(200000);
  for (auto _ : state) {
    // The usual way to build a sorted set in a vector: append all, sort, drop repeats.
    std::vector<std::string> v(words.begin(), words.end());
    std::sort(v.begin(), v.end(), Less);
    v.erase(std::unique(v.begin(), v.end()), v.end());
    benchmark::DoNotOptimize(v.data());
  }
}

// The like-for-like peer: a sorted vector kept in order insertion by insertion.
void BM_FindInsert_VectorInsert(benchmark::State& state) {
  auto const& words = Words(200000);
  for (auto _ : state) {
    std::vector<std::string> v;
    for (auto const& w : words) {
      auto it = std::lower_bound(v.begin(), v.end(), w, Less);
      if (it == v.end() || qel::text::Compare(*it, w) != 0) v.insert(it, w);
    }
    benchmark::DoNotOptimize(v.data());
  }
}

void BM_Sort_CStringArr(benchmark::State& state) {
  auto const& words = Words(200000);
  for (auto _ : state) {
    state.PauseTiming();
    CStringArr a;
    for (auto const& w : words) a.Add(w.c_str(), -1);
    state.ResumeTiming();
    a.Sort(1);
    benchmark::DoNotOptimize(a.m_pData);
  }
}

void BM_Sort_Vector(benchmark::State& state) {
  auto const& words = Words(200000);
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<std::string> v(words);
    state.ResumeTiming();
    std::sort(v.begin(), v.end(), Less);
    benchmark::DoNotOptimize(v.data());
  }
}

BENCHMARK(BM_Add_CStringArr)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Add_Vector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindInsert_CStringArr)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_FindInsert_Vector)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_FindInsert_VectorInsert)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Sort_CStringArr)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Sort_Vector)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
