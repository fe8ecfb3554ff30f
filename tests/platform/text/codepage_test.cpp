#include "platform/text/codepage.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text/casemap.h"
#include "platform/text/collate.h"

namespace qel::text {
namespace codepage_test {

TEST(CodepageTest, ConvertsBothWays) {
  std::string gbk, utf8, error;
  ASSERT_TRUE(Utf8ToGbk("中文 abc €", gbk, error)) << error;
  EXPECT_EQ(gbk, "\xD6\xD0\xCE\xC4 abc \x80");
  ASSERT_TRUE(GbkToUtf8(gbk, utf8, error)) << error;
  EXPECT_EQ(utf8, "中文 abc €");

  EXPECT_FALSE(Utf8ToGbk("ok 😀", gbk, error));
  EXPECT_EQ(error, "byte 3: U+1F600 has no GBK form");
  EXPECT_FALSE(Utf8ToGbk("ab\xC3", gbk, error));
  EXPECT_EQ(error, "byte 2: invalid UTF-8");
  EXPECT_FALSE(Utf8ToGbk("\xED\xA0\x80", gbk, error));  // a surrogate
  EXPECT_EQ(Utf8ToGbkReplacing("a😀b\xFF", gbk), 2u);
  EXPECT_EQ(gbk, "a?b?");

  EXPECT_FALSE(GbkToUtf8("ab\xFF\x30", utf8, error));
  EXPECT_EQ(error, "byte 2: 0xFF 0x30 is not a GBK character");
  EXPECT_FALSE(GbkToUtf8("ab\xB1", utf8, error));
  EXPECT_EQ(error, "byte 2: 0xB1 is not a GBK character");
  EXPECT_EQ(GbkToUtf8Lossy("a\xB1"), "a\xEF\xBF\xBD");
}

TEST(CodepageTest, CaseMappingKeepsLength) {
  // ASCII, full-width Ａ/ａ (0xA3C1/0xA3E1) and Greek α/Α (0xA6C1/0xA6A1).
  std::string s = "abc\xA3\xE1\xA6\xC1\xD6\xD0Z";
  CharUpper(s.data(), s.size());
  EXPECT_EQ(s, "ABC\xA3\xC1\xA6\xA1\xD6\xD0Z");
  CharLower(s.data(), s.size());
  EXPECT_EQ(s, "abc\xA3\xE1\xA6\xC1\xD6\xD0z");
  // Invalid bytes and a lone lead byte stay as they are.
  std::string bad = "\xFF\x30q\xB1";
  CharUpper(bad.data(), bad.size());
  EXPECT_EQ(bad, "\xFF\x30Q\xB1");
}

TEST(CollateTest, PinyinOrderWithByteTieBreak) {
  // 安 an < 北 bei < 中 zhong.
  EXPECT_LT(Compare("\xB0\xB2", "\xB1\xB1"), 0);
  EXPECT_LT(Compare("\xB1\xB1", "\xD6\xD0"), 0);
  EXPECT_LT(Compare("", "a"), 0);
  EXPECT_EQ(Compare("same", "same"), 0);
  EXPECT_LT(Compare("a", "B"), 0);
  EXPECT_NE(Compare("a", "A"), 0);
  // Two different invalid texts both decode to U+FFFD: still ordered, never equal.
  int c = Compare("\xFF\x30", "\xFF\x31");
  EXPECT_NE(c, 0);
  EXPECT_EQ(Compare("\xFF\x31", "\xFF\x30"), -c);
  EXPECT_EQ(CompareNoCase("Hello", "hELLO"), 0);
  EXPECT_LT(CompareNoCase("apple", "BANANA"), 0);
}

}  // namespace codepage_test
}  // namespace qel::text
