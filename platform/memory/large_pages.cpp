#include "platform/memory/large_pages.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace qel::memory {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

constexpr std::size_t RoundUp(std::size_t n, std::size_t to) {
  return (n + to - 1) / to * to;
}

}  // namespace

void* AllocateLarge(std::size_t bytes) {
  if (bytes < kLargeBlock) return ::operator new(bytes);
  std::size_t size = RoundUp(bytes, kHugePage);
  // Map one huge page more than needed, then give back what lies outside the aligned
  // part, so that the block starts on a huge page boundary.
  std::size_t mapped = size + kHugePage;
  void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  auto start = reinterpret_cast<std::uintptr_t>(raw);
  std::uintptr_t aligned = RoundUp(start, kHugePage);
  if (aligned > start) munmap(raw, aligned - start);
  std::uintptr_t end = start + mapped;
  if (end > aligned + size) munmap(reinterpret_cast<void*>(aligned + size), end - aligned - size);
  void* block = reinterpret_cast<void*>(aligned);
  // Advice only: where huge pages are not available the block works with small pages.
  madvise(block, size, MADV_HUGEPAGE);
  return block;
}

void FreeLarge(void* block, std::size_t bytes) noexcept {
  if (block == nullptr) return;
  if (bytes < kLargeBlock) {
    ::operator delete(block);
    return;
  }
  munmap(block, RoundUp(bytes, kHugePage));
}

}  // namespace qel::memory
