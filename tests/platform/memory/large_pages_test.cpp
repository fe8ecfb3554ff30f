#include "platform/memory/large_pages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace large_pages_test {

// Small blocks come from the heap, large ones are mapped on a 2 MiB boundary; both hold
// every byte asked for and free cleanly.
TEST(LargePagesTest, BlocksOfEverySizeHoldTheirBytes) {
  for (std::size_t bytes : {std::size_t{1}, std::size_t{4096}, qel::memory::kLargeBlock - 1,
                            qel::memory::kLargeBlock, std::size_t{5} << 20}) {
    auto* block = static_cast<unsigned char*>(qel::memory::AllocateLarge(bytes));
    ASSERT_NE(block, nullptr);
    if (bytes >= qel::memory::kLargeBlock) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % (std::size_t{2} << 20), 0u) << bytes;
    }
    std::memset(block, 0xA5, bytes);
    EXPECT_EQ(block[bytes - 1], 0xA5);
    qel::memory::FreeLarge(block, bytes);
  }
}

// A vector growing through the threshold keeps its contents across the move to mapped
// storage and back.
TEST(LargePagesTest, LargeVectorKeepsItsContentsWhileGrowing) {
  qel::memory::LargeVector<std::uint32_t> v;
  for (std::uint32_t i = 0; i < (1u << 20); ++i) v.push_back(i * 2654435761u);
  for (std::uint32_t i = 0; i < v.size(); i += 4099) ASSERT_EQ(v[i], i * 2654435761u);
  v.resize(10);
  v.shrink_to_fit();
  EXPECT_EQ(v[9], 9 * 2654435761u);
}

}  // namespace large_pages_test
