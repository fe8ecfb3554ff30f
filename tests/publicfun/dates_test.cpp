#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/clock/clock.h"
#include "platform/text/codepage.h"
#include "publicfun/dates.h"
#include "qelshare/CPublicFun.h"

namespace dates_test {

// Test texts are written in UTF-8 and handed to the library in GBK.
std::string G(char const* utf8) {
  std::string out, error;
  EXPECT_TRUE(qel::text::Utf8ToGbk(utf8, out, error)) << error;
  return out;
}

class DatesTest : public ::testing::Test {
 protected:
  qel::clock::ScopedFixedNow now_{{2005, 4, 23, 9, 8, 7}};
};

struct Row {
  char const* input;  // UTF-8; nullptr for a null argument
  char const* expected;
};

void CheckRows(CString (*member)(char const*), std::initializer_list<Row> rows) {
  for (auto const& row : rows) {
    std::string input = row.input ? G(row.input) : std::string();
    SCOPED_TRACE(row.input ? row.input : "(null)");
    EXPECT_EQ(member(row.input ? input.c_str() : nullptr), row.expected);
  }
}

TEST_F(DatesTest, StandardDate) {
  CheckRows(CPublicFun::StandardDate,
            {{"2005-4-23", "2005.04.23"},
             {"2005年4月23日", "2005.04.23"},
             {"２００５年４月２３日", "2005.04.23"},
             {"05/4/3", "1905.04.03"},
             {"2005.13.40", "2005.12.31"},
             {"2005.4", "2005.04.00"},
             {"2005", "2005.00.00"},
             {"2005 4 23", "2005.00.00"},
             {"20050423", "20050423.00.00"},
             {"２００５．４．２３", "2005.00.00"},
             {"CurrentDay", "2005.04.23"},
             {"currentday", "2005.04.23"},
             {"CurrentDayTime", "2005.04.23"},
             {"", ""},
             {nullptr, ""},
             // Beyond the table: signs, clamps and saturation.
             {"-5.-3.-9", "1900.05.00"},  // a sign's hyphen is a separator too
             {"99999999999.2.2", "2147483647.02.02"},
             {"2005.02.31", "2005.02.31"},
             {"CurrentDay 10:00", "1900.00.00"}});
}

TEST_F(DatesTest, StandardTime) {
  CheckRows(CPublicFun::StandardTime, {{"10:30:20", "10:30:20"},
                                       {"10时30分20秒", "10:30:20"},
                                       {"10点30分", "10:30:00"},
                                       {"9.5", "09:05:00"},
                                       {"25:61:99", "23:59:59"},
                                       {"10", ""},
                                       {"CurrentTime", "09:08:07"},
                                       {"", ""},
                                       {nullptr, ""},
                                       {"10：30’20”", "10:30:20"},
                                       {"-1:-1:-1", "00:01:00"}});
}

TEST_F(DatesTest, StandardDateTime) {
  CheckRows(CPublicFun::StandardDateTime, {{"2005-4-23 10:30:20", "2005.04.23 10:30:20"},
                                           {"2005年4月23日 10时30分20秒", "2005.04.23 10:30:20"},
                                           {"2005-04-23-10.30.20", "2005.04.23 10:30:20"},
                                           {"2005-4-23", "2005.04.23 00:00:00"},
                                           {"2005.4.23 10:30", "2005.04.23 10:30:00"},
                                           {"2005.4.23 10", "2005.04.23 00:00:00"},
                                           {"2005.4", "2005.04.00 00:00:00"},
                                           {"2005", "1900.00.00 00:00:00"},
                                           {"", "1900.00.00 00:00:00"},
                                           {nullptr, "1900.00.00 00:00:00"},
                                           {"CurrentDayTime", "2005.04.23 09:08:07"},
                                           {"99.2.30 24:00:00", "1999.02.30 23:00:00"},
                                           {"CURRENTDAYTIME", "2005.04.23 09:08:07"}});
}

TEST_F(DatesTest, StandardCy) {
  CheckRows(CPublicFun::StandardCy, {{"12.5", "12.5000000000"},
                                     {"12", "12.0000000000"},
                                     {"12.", "12.0000000000"},
                                     {".5", "0.5000000000"},
                                     {"3.14159265358979", "3.1415926535"},
                                     {"-3.25", "-3.2500000000"},
                                     {"1,234.56", "1.5600000000"},
                                     {"", "0.0"},
                                     {nullptr, "0.0"},
                                     {"-0.5", "0.5000000000"},
                                     {"7.ab", "7.ab00000000"},
                                     {"-99999999999", "-2147483648.0000000000"}});
}

TEST_F(DatesTest, GetFormatDate) {
  struct Case {
    char const* source;
    char const* format;
    char const* expected;
  } const cases[] = {
      {"2005-4-23", "yyyy-mm-dd", "2005.04.23"},
      {"20050423", "yyyymmdd", "2005.04.23"},
      {"Date: 2005年4月23日", "yyyy年mm月dd日", "2005.04.23"},
      {"２００５－４－２３", "yyyy－mm－dd", "2005.04.23"},
      {"2005-04-23 10:30:20", "yyyy-mm-dd hh:tt:ss", "2005.04.23 10:30:20"},
      {"2005-04-23 10:30:00", "yyyy-mm-dd hh:tt:ss", "2005.04.23"},
      {"at 9:5:7", "hh:tt:ss", "09:05:07"},
      {"98/7/1", "yy/mm/dd", "1998.07.01"},
      {"05/7/1", "yy/mm/dd", ""},
      {"2026-12-31", "yyyy-mm-dd", "2026.12.31"},
      {"2027-01-01", "yyyy-mm-dd", ""},
      {"0123.1.1", "yyyy.mm.dd", " 123.01.01"},
      {"abc", "yyyy", ""},
      {"", "yyyy", ""},
      {"2005-4-23", "", ""},
      // Beyond the table.
      {"10-1-1", "yy-mm-dd", "1910.01.01"},
      {"09-1-1", "yy-mm-dd", ""},
      {"2005-13-01", "yyyy-mm-dd", ""},
      {"1-1 10:30:20", "mm-dd hh:tt:ss", ""},      // a time with a date but no year
      {"2 05-04-23", "yyyy-mm-dd", " 205.04.23"},  // a space adds nothing
      {"2005-4-23", "YYYY-MM-DD", "2005.04.23"},
      {"99999999999999999999", "yyyyyyyyyyyyyyyyyyyy", ""},  // saturates, then rejected
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " / " + c.format);
    EXPECT_EQ(CPublicFun::GetFormatDate(G(c.source).c_str(), G(c.format).c_str()), c.expected);
  }
  EXPECT_EQ(CPublicFun::GetFormatDate(nullptr, "yyyy"), "");
  EXPECT_EQ(CPublicFun::GetFormatDate("2005", nullptr), "");
  // A trail byte and the next lead byte that spell a full-width digit are not one:
  // A1 A3 is "。" and A3 B5 would be "５" only when it starts a character.
  EXPECT_EQ(CPublicFun::GetFormatDate("\xA1\xA3\xB5"
                                      "2005",
                                      "yyyy"),
            "2005.00.00");
  EXPECT_EQ(CPublicFun::GetFormatDate("\xA3\xB2\xA3\xB0\xA3\xB0\xA3\xB5", "yyyy"), "2005.00.00");
}

TEST(DateCharsTest, MapsExactlyTheTableAndReadsNumbersLikeTheRuntime) {
  using qel::dates::NormalizeDateChars;
  EXPECT_EQ(NormalizeDateChars(G("０１２３４５６７８９年月时点分：，。／－’”").c_str()),
            "0123456789..::::,./-'\"");
  std::string unmapped = G("日秒．");
  EXPECT_EQ(NormalizeDateChars(unmapped.c_str()), unmapped);
  EXPECT_EQ(NormalizeDateChars("ab\xA3"), "ab\xA3");  // a lead byte at the end stays
  EXPECT_EQ(NormalizeDateChars(nullptr), "");

  using qel::dates::ReadNumber;
  EXPECT_EQ(ReadNumber(" \t\n\v\f\r-42x"), -42);
  EXPECT_EQ(ReadNumber("+7"), 7);
  EXPECT_EQ(ReadNumber("- 7"), 0);
  EXPECT_EQ(ReadNumber(""), 0);
  EXPECT_EQ(ReadNumber("2147483647"), INT_MAX);
  EXPECT_EQ(ReadNumber("2147483648"), INT_MAX);
  EXPECT_EQ(ReadNumber("-2147483648"), INT_MIN);
  EXPECT_EQ(ReadNumber("-99999999999999999999999"), INT_MIN);
}

TEST(ClockTest, FixedMomentNestsAndReleases) {
  qel::clock::LocalTime real = qel::clock::Now();
  EXPECT_GE(real.year, 2024);
  {
    qel::clock::ScopedFixedNow outer({2005, 4, 23, 9, 8, 7});
    {
      qel::clock::ScopedFixedNow inner({1999, 12, 31, 23, 59, 59});
      EXPECT_EQ(qel::clock::Now(), (qel::clock::LocalTime{1999, 12, 31, 23, 59, 59}));
    }
    EXPECT_EQ(qel::clock::Now(), (qel::clock::LocalTime{2005, 4, 23, 9, 8, 7}));
  }
  EXPECT_GE(qel::clock::Now().year, 2024);
}

}  // namespace dates_test
