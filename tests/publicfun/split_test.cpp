#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qelshare/CPublicFun.h"

namespace split_test {

std::vector<std::string> Split(char const* s, char sep, int* count = nullptr) {
  CStringArr parts;
  parts.Add("stale", -1);
  int n = CPublicFun::SplitString(s, parts, sep);
  if (count) *count = n;
  std::vector<std::string> out;
  for (int i = 0; i < parts.GetSize(); ++i) out.emplace_back(parts.Get(i));
  EXPECT_EQ(n, parts.GetSize());
  return out;
}

using Strings = std::vector<std::string>;

TEST(SplitStringTest, PiecesBetweenRunsOfSeparators) {
  int n = -1;
  EXPECT_EQ(Split(",a,,b,", ',', &n), (Strings{"a", "b"}));
  EXPECT_EQ(n, 2);
  EXPECT_EQ(Split("", ','), Strings{});
  EXPECT_EQ(Split(nullptr, ','), Strings{});
  EXPECT_EQ(Split(",,,", ','), Strings{});
  EXPECT_EQ(Split("whole text", ','), Strings{"whole text"});
  EXPECT_EQ(Split(" a | b ", '|'), (Strings{" a ", " b "}));
  EXPECT_EQ(Split("TI\nTX\n", '\n'), (Strings{"TI", "TX"}));
}

TEST(SplitStringTest, ScansBytesNotCharacters) {
  // 乗 in GBK is 0x81 0x5C: its trail byte is a backslash and splits too.
  EXPECT_EQ(Split("a\x81\\b", '\\'), (Strings{"a\x81", "b"}));
}

}  // namespace split_test
