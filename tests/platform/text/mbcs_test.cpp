#include "platform/text/mbcs.h"

#include <gtest/gtest.h>

#include <string>

namespace qel::text {
namespace mbcs_test {

TEST(MbcsTest, FindSkipsTrailBytes) {
  // Two-byte characters whose trail bytes are "\\" (0x81 0x5C) and "|" (0x90 0x7C).
  std::string s = "a\x81\\b\\c";
  EXPECT_EQ(FindChar(s, '\\'), 4u);
  EXPECT_EQ(FindChar(s, '\\', 5), npos);
  EXPECT_EQ(FindChar("\x90|x|", '|'), 3u);
  EXPECT_EQ(FindAnyOf("\x90|\x90)x)|", ")|"), 5u);
  EXPECT_EQ(FindText("\x90\x41\x42 AB", "AB"), 4u);
  EXPECT_EQ(FindChar("", 'a'), npos);
  // A lead byte at the very end stands alone.
  EXPECT_EQ(CharLength(std::string_view("\xB1", 1), 0), 1u);
  EXPECT_TRUE(IsCharBoundary("a\xB1\xED", 1));
  EXPECT_FALSE(IsCharBoundary("a\xB1\xED", 2));
}

TEST(MbcsTest, ComparisonsRespectCharacters) {
  EXPECT_EQ(MbsCmp("abc", "abc"), 0);
  EXPECT_LT(MbsCmp("abc", "abd"), 0);
  EXPECT_LT(MbsCmp(nullptr, "a"), 0);
  EXPECT_EQ(MbsCmp(nullptr, ""), 0);
  EXPECT_GT(MbsCmp("\xB1\xED", "z"), 0);
  EXPECT_EQ(MbsICmp("README.TXT", "readme.txt"), 0);
  // The trail byte 'A' of a two-byte character is not folded to 'a'.
  EXPECT_NE(MbsICmp("\x90\x41", "\x90\x61"), 0);
  EXPECT_EQ(MbsICmp("x\x90\x41Y", "X\x90\x41y"), 0);
}

}  // namespace mbcs_test
}  // namespace qel::text
