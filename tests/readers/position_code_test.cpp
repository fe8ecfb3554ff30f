// The coding of a record's positions: numbers at the edges of each byte length read back,
// records are counted by the bytes that end them however the bytes fall in a word, and
// cut-short or over-long numbers are refused.
#include "readers/position_code.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "platform/coding/coding.h"
#include "readers/index_segment.h"

namespace qel::search_index {
namespace position_code_test {

TEST(PositionCode, NumbersReadBackWithTheirEnds) {
  std::vector<std::uint32_t> numbers = {0,
                                        1,
                                        63,
                                        64,
                                        127,
                                        128,
                                        8191,
                                        8192,
                                        1048575,
                                        1048576,
                                        134217727,
                                        1u << 27,
                                        UINT32_MAX - 1,
                                        UINT32_MAX};
  std::vector<unsigned char> bytes;
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    position_code::Put(bytes, numbers[i], i % 3 != 2);
  }
  EXPECT_EQ(bytes[0], 0x40);  // 0, another follows
  unsigned char const* p = bytes.data();
  unsigned char const* end = p + bytes.size();
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    std::uint32_t v = 0;
    bool more = false;
    unsigned char const* start = p;
    p = position_code::Get(p, end, v, more);
    ASSERT_NE(p, nullptr) << i;
    EXPECT_EQ(v, numbers[i]);
    EXPECT_EQ(more, i % 3 != 2);
    // Six bits in the last byte, seven in each before it.
    std::uint64_t length = 1;
    while (length < position_code::kMostBytes && numbers[i] >> (7 * length - 1) != 0) ++length;
    EXPECT_EQ(static_cast<std::uint64_t>(p - start), length) << numbers[i];
    if (!more) {
      EXPECT_EQ(position_code::End(start, end), p);
    }
  }
  EXPECT_EQ(p, end);
  // Cut short, and a number past 32 bits: refused.
  std::uint32_t v = 0;
  bool more = false;
  unsigned char const cut[] = {0x80, 0x81};
  EXPECT_EQ(position_code::Get(cut, cut + 2, v, more), nullptr);
  EXPECT_EQ(position_code::End(cut, cut + 2), nullptr);
  unsigned char const wide[] = {0xFF, 0xFF, 0xFF, 0xFF, 0x10};
  EXPECT_EQ(position_code::Get(wide, wide + 5, v, more), nullptr);
  unsigned char const endless[] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x00};
  EXPECT_EQ(position_code::Get(endless, endless + 6, v, more), nullptr);
}

TEST(PositionCode, EndsInAWordCountsEveryByteBelow0x40) {
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    unsigned char bytes[8];
    std::size_t expected = 0;
    for (unsigned char& b : bytes) {
      // Bytes at each class's edges as often as any other.
      static constexpr unsigned char kEdges[] = {0x00, 0x3F, 0x40, 0x7F, 0x80, 0xBF, 0xC0, 0xFF};
      b = random() % 2 ? kEdges[random() % 8] : static_cast<unsigned char>(random());
      expected += b < 0x40;
    }
    std::uint64_t word;
    std::memcpy(&word, bytes, 8);
    ASSERT_EQ(position_code::EndsIn(word), expected) << std::hex << word;
  }
}

TEST(PositionCode, SegmentListsGiveEachRecordItsPositions) {
  // Records 3 and 10: positions {0, 1, 200} and {70}; then a record whose positions never end.
  std::vector<unsigned char> list;
  coding::AppendVarint32(list, 4);
  position_code::Put(list, 0, true);
  position_code::Put(list, 0, true);
  position_code::Put(list, 198, false);
  coding::AppendVarint32(list, 7);
  position_code::Put(list, 70, false);
  std::size_t whole = list.size();
  coding::AppendVarint32(list, 1);
  list.push_back(0x45);
  PositionsDecoder decoder(list);
  std::uint32_t record = 0;
  std::span<unsigned char const> positions;
  ASSERT_TRUE(decoder.Next(record, positions));
  EXPECT_EQ(record, 3u);
  EXPECT_EQ(positions.size(), 4u);
  ASSERT_TRUE(decoder.Next(record, positions));
  EXPECT_EQ(record, 10u);
  EXPECT_EQ(positions.size(), 2u);
  EXPECT_EQ(positions.data() + positions.size(), list.data() + whole);
  EXPECT_FALSE(decoder.Next(record, positions));
  EXPECT_TRUE(decoder.malformed());
}

}  // namespace position_code_test
}  // namespace qel::search_index
