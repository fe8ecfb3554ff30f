// CExpStack's And/Or/Sub/Not on hit bitmaps of 100 million and 1 million bits, counted as
// memory traffic (bytes read plus bytes written: 3 bitmaps' worth for And/Or/Sub, 2 for
// Not). The machine's limit in the same run is memcpy of one bitmap (2 bitmaps' worth);
// the peer is CRoaring's in-place operations on dense roaring bitmaps (bitset containers).
//
// A two-operand operation frees its right operand, so each iteration pushes a fresh one;
// malloc is told to keep freed blocks, so the push costs a recycled block, not page faults.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <roaring/roaring.h>

#include <cstring>
#include <random>
#include <vector>

#include "qelshare/CExpStack.h"
#include "qelshare/memory.h"

namespace {

unsigned char* RandomBlock(std::size_t bytes, unsigned seed) {
  auto* p = static_cast<unsigned char*>(GlobalAlloc(GMEM_FIXED, bytes));
  std::mt19937_64 rng(seed);
  for (std::size_t i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(rng());
  return p;
}

enum Op { kAnd, kOr, kSub, kNot };

void BM_ExpStack(benchmark::State& state) {
  auto bits = static_cast<unsigned long>(state.range(0));
  Op op = static_cast<Op>(state.range(1));
  CExpStack stack(bits);
  std::size_t bytes = stack.m_nBytes;
  stack.Push(RandomBlock(bytes, 1));
  unsigned char* right = RandomBlock(bytes, 2);
  for (auto _ : state) {
    if (op == kNot) {
      stack.Not();
    } else {
      auto* top = static_cast<unsigned char*>(GlobalAlloc(GMEM_FIXED, bytes));
      std::memcpy(top, right, 64);  // touch it as a host filling a bitmap would start to
      stack.Push(top);
      if (op == kAnd) stack.And();
      if (op == kOr) stack.Or();
      if (op == kSub) stack.Sub();
    }
    benchmark::DoNotOptimize(stack.m_pSlot[0]);
    benchmark::ClobberMemory();
  }
  GlobalFree(right);
  state.SetBytesProcessed(state.iterations() * bytes * (op == kNot ? 2 : 3));
}

void BM_Memcpy(benchmark::State& state) {
  std::size_t bytes = (static_cast<std::size_t>(state.range(0)) + 7) / 8;
  std::vector<unsigned char> src(bytes, 0x5A), dst(bytes, 0);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * bytes * 2);
}

roaring_bitmap_t* RandomRoaring(std::uint32_t bits, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint32_t> values;
  values.reserve(bits / 2 + 64);
  for (std::uint32_t i = 0; i < bits; ++i) {
    if (rng() & 1) values.push_back(i);
  }
  roaring_bitmap_t* r = roaring_bitmap_create();
  roaring_bitmap_add_many(r, values.size(), values.data());
  return r;
}

void BM_Roaring(benchmark::State& state) {
  auto bits = static_cast<std::uint32_t>(state.range(0));
  Op op = static_cast<Op>(state.range(1));
  std::size_t bytes = (bits + 7) / 8;
  roaring_bitmap_t* left = RandomRoaring(bits, 1);
  roaring_bitmap_t* right = RandomRoaring(bits, 2);
  // In-place And, Or and Sub are idempotent after the first call, so the density (and the
  // dense container kind) stays the same from one iteration to the next.
  for (auto _ : state) {
    if (op == kAnd) roaring_bitmap_and_inplace(left, right);
    if (op == kOr) roaring_bitmap_or_inplace(left, right);
    if (op == kSub) roaring_bitmap_andnot_inplace(left, right);
    if (op == kNot) roaring_bitmap_flip_inplace(left, 0, bits);
    benchmark::DoNotOptimize(left);
  }
  roaring_bitmap_free(left);
  roaring_bitmap_free(right);
  state.SetBytesProcessed(state.iterations() * bytes * (op == kNot ? 2 : 3));
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (long bits : {100000000L, 1000000L}) {
    for (long op : {kAnd, kOr, kSub, kNot}) b->Args({bits, op});
  }
}

BENCHMARK(BM_ExpStack)->Apply(Sizes)->ArgNames({"bits", "op"});
BENCHMARK(BM_Roaring)->Apply(Sizes)->ArgNames({"bits", "op"});
BENCHMARK(BM_Memcpy)->Arg(100000000)->Arg(1000000)->ArgName("bits");

}  // namespace

int main(int argc, char** argv) {
  // Keep freed bitmaps in the heap: a pushed bitmap reuses the block the last one freed.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
