#include "platform/coding/coding.h"

#include <gtest/gtest.h>

#include <string>

namespace coding_test {

using namespace qel::coding;

// Byte order and sign: the bytes are exactly those the formats hold, high bits included,
// from unaligned places.
TEST(CodingTest, LittleAndBigEndianBytesAsStored) {
  unsigned char b[11] = {};
  Put32(b + 1, 0x89ABCDEFu);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b + 1), 4), "\xEF\xCD\xAB\x89");
  EXPECT_EQ(Get32(b + 1), 0x89ABCDEFu);
  Put64(b + 3, 0xFEDCBA9876543210ull);
  EXPECT_EQ(Get64(b + 3), 0xFEDCBA9876543210ull);
  EXPECT_EQ(b[3], 0x10);
  EXPECT_EQ(b[10], 0xFE);
  Put16(b, 0xFFFE);
  EXPECT_EQ(Get16(b), 0xFFFE);
  EXPECT_EQ(b[0], 0xFE);

  // Widths of packages' heads: only the low bytes are written, the rest left alone.
  unsigned char n[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  PutN(n, 0x0102030405ull, 3);
  EXPECT_EQ(GetN(n, 3), 0x030405u);
  EXPECT_EQ(n[3], 9);
  EXPECT_EQ(GetN(n, 1), 0x05u);

  std::string out = "x";
  Append16(out, 0x0102);
  Append32(out, 0x03040506);
  Append64(out, 1);
  EXPECT_EQ(out, std::string("x\x02\x01\x06\x05\x04\x03\x01\0\0\0\0\0\0\0", 15));
  EXPECT_EQ(Get32(out.data() + 3), 0x03040506u);

  unsigned char const midi[4] = {0x4D, 0x54, 0x68, 0xFF};
  EXPECT_EQ(GetBe32(midi), 0x4D5468FFu);
  EXPECT_EQ(GetBe24(midi + 1), 0x5468FFu);
  EXPECT_EQ(GetBe16(midi + 2), 0x68FF);
}

}  // namespace coding_test
