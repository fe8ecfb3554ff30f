// Working memory for buffers that may grow to many megabytes.
//
// Analysing a long expression builds tables and trees of tens of megabytes that live
// for one call. Taken from the heap page by page, every 4 KiB page costs a fault on first
// touch, and on virtual machines those faults outweigh the work itself. Blocks of a
// megabyte or more come from here instead: aligned to 2 MiB and marked for transparent
// huge pages, so that one fault maps 2 MiB. Smaller blocks come from the ordinary heap.
#ifndef QELSHARE_PLATFORM_MEMORY_LARGE_PAGES_H_
#define QELSHARE_PLATFORM_MEMORY_LARGE_PAGES_H_

#include <cstddef>
#include <vector>

namespace qel::memory {

// Blocks of at least this many bytes are mapped for huge pages.
inline constexpr std::size_t kLargeBlock = std::size_t{1} << 20;

// An uninitialised block of bytes (bytes > 0), aligned for any type; throws
// std::bad_alloc when memory is exhausted.
void* AllocateLarge(std::size_t bytes);
// Frees a block of AllocateLarge; bytes must be the size it was allocated with.
void FreeLarge(void* block, std::size_t bytes) noexcept;

// A standard allocator over AllocateLarge, for vectors that can grow large.
template <class T>
struct LargePageAllocator {
  using value_type = T;
  LargePageAllocator() = default;
  template <class U>
  LargePageAllocator(LargePageAllocator<U> const&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(AllocateLarge(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { FreeLarge(p, n * sizeof(T)); }
  friend bool operator==(LargePageAllocator, LargePageAllocator) { return true; }
};

// A vector whose storage comes from AllocateLarge.
template <class T>
using LargeVector = std::vector<T, LargePageAllocator<T>>;

}  // namespace qel::memory

#endif  // QELSHARE_PLATFORM_MEMORY_LARGE_PAGES_H_
