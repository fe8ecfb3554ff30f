#include "qelshare/CStringArr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/text/collate.h"

namespace cstringarr_test {

std::vector<std::string> Texts(CStringArr& a) {
  std::vector<std::string> out;
  for (int i = 0; i < a.GetSize(); ++i) out.emplace_back(a.Get(i) ? a.Get(i) : "<absent>");
  return out;
}

using Strings = std::vector<std::string>;

TEST(CStringArrTest, AddStoresAbsentEntriesAndPrefixes) {
  CStringArr a;
  a.Add("", -1);
  a.Add(nullptr, -1);
  a.Add("xyz", 0);
  a.Add("abcdef", 3);
  a.Add("whole", -1);
  EXPECT_EQ(a.GetSize(), 5);
  EXPECT_EQ(a.Get(0), nullptr);
  EXPECT_EQ(a.Get(1), nullptr);
  EXPECT_EQ(a.Get(2), nullptr);
  EXPECT_STREQ(a.Get(3), "abc");
  EXPECT_STREQ(a.Get(4), "whole");

  a.AddIgnoreNULL(nullptr, -1);
  a.AddIgnoreNULL("", -1);
  a.AddIgnoreNULL("abc", 0);
  EXPECT_EQ(a.GetSize(), 5);
  a.AddIgnoreNULL("abc", 2);
  EXPECT_STREQ(a.Get(5), "ab");
}

TEST(CStringArrTest, OutOfRangeIndexesChangeNothing) {
  CStringArr a;
  EXPECT_EQ(a.Get(0), nullptr);
  a.Add("a", -1);
  EXPECT_EQ(a.Get(-1), nullptr);
  EXPECT_EQ(a.Get(1), nullptr);
  a.Set(-1, "x");
  a.Set(1, "x");
  a.RemoveAt(-1);
  a.RemoveAt(1);
  EXPECT_EQ(Texts(a), Strings{"a"});
  a.Set(0, "");
  EXPECT_EQ(a.Get(0), nullptr);
  a.Set(0, "b");
  EXPECT_STREQ(a.Get(0), "b");
  a.RemoveAt(0);
  EXPECT_EQ(a.GetSize(), 0);
  EXPECT_EQ(a.m_pData, nullptr);
  a.Add("again", -1);
  EXPECT_EQ(Texts(a), Strings{"again"});
}

TEST(CStringArrTest, PointersSurviveGrowthInsertSortAndOtherRemovals) {
  CStringArr a;
  a.Add("m", -1);
  char* kept = a.Get(0);
  for (int i = 0; i < 1000; ++i) a.Add(std::to_string(i).c_str(), -1);
  a.Sort(1);
  a.Sort(0);
  int inserted = 0;
  a.FindInsert("zz", &inserted);
  a.RemoveAt(a.GetSize() - 1);
  EXPECT_STREQ(kept, "m");
  int found = 0;
  for (int i = 0; i < a.GetSize(); ++i) found += a.Get(i) == kept;
  EXPECT_EQ(found, 1);
}

TEST(CStringArrTest, LongStringsAndChurnKeepEveryText) {
  CStringArr a;
  std::string long_text(100000, 'x');
  a.Add(long_text.c_str(), -1);
  for (int i = 0; i < 5000; ++i) a.Add(std::string(i % 300 + 1, char('a' + i % 26)).c_str(), -1);
  for (int round = 0; round < 3; ++round) {
    for (int i = 1; i < a.GetSize(); i += 2) a.Set(i, std::to_string(i * round).c_str());
  }
  while (a.GetSize() > 2500) a.RemoveAt(a.GetSize() / 2);
  EXPECT_EQ(std::string(a.Get(0)), long_text);
  EXPECT_STREQ(a.Get(1), "2");
  EXPECT_EQ(std::string(a.Get(2)), std::string(2, 'b'));
}

// Clearing keeps the empty string storage for reuse: refilled entries are new, intact
// texts, and a pointer taken after the refill survives later growth.
TEST(CStringArrTest, ClearAndRefillReusesStorage) {
  CStringArr a;
  for (int round = 0; round < 50; ++round) {
    a.RemoveAll();
    EXPECT_EQ(a.m_pData, nullptr);
    for (int i = 0; i < 40; ++i) a.Add(std::to_string(round * 100 + i).c_str(), -1);
    char* first = a.Get(0);
    for (int i = 0; i < 400; ++i) a.Add("grow", 4);
    ASSERT_EQ(first, a.Get(0));
    EXPECT_EQ(std::string(a.Get(0)), std::to_string(round * 100));
    EXPECT_EQ(std::string(a.Get(39)), std::to_string(round * 100 + 39));
  }
}

TEST(CStringArrTest, FindInsertBuildsASortedSet) {
  CStringArr a;
  int inserted = -1;
  EXPECT_EQ(a.FindInsert("b", &inserted), 0);
  EXPECT_EQ(inserted, 1);
  a.FindInsert("a", &inserted);
  a.FindInsert("c", &inserted);
  EXPECT_EQ(Texts(a), (Strings{"a", "b", "c"}));
  EXPECT_EQ(a.FindInsert("b", &inserted), 1);
  EXPECT_EQ(inserted, 0);
  EXPECT_EQ(a.GetSize(), 3);
  // An absent key orders before every string and is inserted once.
  EXPECT_EQ(a.FindInsert(nullptr, &inserted), 0);
  EXPECT_EQ(inserted, 1);
  EXPECT_EQ(a.FindInsert("", &inserted), 0);
  EXPECT_EQ(inserted, 0);
  EXPECT_EQ(a.Get(0), nullptr);
}

TEST(CStringArrTest, FindReturnsInsertionPointsAtBothEnds) {
  CStringArr a;
  for (char const* s : {"b", "d", "f", "h"}) a.Add(s, -1);
  int found = -1;
  EXPECT_EQ(a.Find("a", 0, 3, &found), 0);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(a.Find("z", 0, 3, &found), 4);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(a.Find("e", 0, 3, &found), 2);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(a.Find("f", 0, 3, &found), 2);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(a.Find("c", 1, 2, &found), 1);
  EXPECT_EQ(a.Find("g", 1, 2, &found), 3);
  EXPECT_EQ(a.Find("b", 5, 9, &found), 5);
  EXPECT_EQ(found, 0);
}

TEST(CStringArrTest, SortOrdersByPinyinAndBothDirections) {
  CStringArr a;
  a.Sort(1);
  a.Add("x", -1);
  a.Sort(0);
  EXPECT_EQ(Texts(a), Strings{"x"});
  a.RemoveAll();
  // GBK: 张 (zhang), 李 (li), 王 (wang), 安 (an)
  std::string zhang = "\xD5\xC5", li = "\xC0\xEE", wang = "\xCD\xF5", an = "\xB0\xB2";
  for (auto const& s : {zhang, li, wang, an}) a.Add(s.c_str(), -1);
  a.Add(nullptr, -1);
  a.Sort(1);
  EXPECT_EQ(Texts(a), (Strings{"<absent>", an, li, wang, zhang}));
  a.Sort(0);
  EXPECT_EQ(Texts(a), (Strings{zhang, wang, li, an, "<absent>"}));
}

TEST(CStringArrTest, SortAgreesWithFindInsertOnRandomText) {
  std::mt19937 rng(7);
  CStringArr sorted, set;
  std::vector<std::string> words;
  for (int i = 0; i < 2000; ++i) {
    std::string w;
    int n = 1 + rng() % 4;
    for (int k = 0; k < n; ++k) {
      if (rng() % 3 == 0) {
        w += static_cast<char>('A' + rng() % 3 + (rng() % 2) * 32);
      } else {
        w += static_cast<char>(0xB0 + rng() % 4);
        w += static_cast<char>(0xA1 + rng() % 4);
      }
    }
    words.push_back(w);
    sorted.Add(w.c_str(), -1);
    int inserted;
    set.FindInsert(w.c_str(), &inserted);
  }
  sorted.Sort(1);
  std::vector<std::string> unique = Texts(sorted);
  unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
  EXPECT_EQ(Texts(set), unique);
  for (std::size_t i = 1; i < unique.size(); ++i) {
    EXPECT_LT(qel::text::Compare(unique[i - 1], unique[i]), 0) << i;
  }
}

TEST(CStringArrTest, AppendKeepsAbsentEntriesAndCopiesDeeply) {
  CStringArr src;
  src.Add("one", -1);
  src.Add(nullptr, -1);
  CStringArr dst;
  dst.Append(src);
  CStringArray framework{"x", "", "y"};
  dst.Append(framework);
  EXPECT_EQ(Texts(dst), (Strings{"one", "<absent>", "x", "<absent>", "y"}));
  EXPECT_NE(dst.Get(0), src.Get(0));

  CStringArr copy(dst);
  copy.Set(0, "changed");
  EXPECT_STREQ(dst.Get(0), "one");
  CStringArr assigned;
  assigned = copy;
  assigned = assigned;
  EXPECT_EQ(Texts(assigned), Texts(copy));
  CStringArr moved(std::move(assigned));
  EXPECT_EQ(assigned.GetSize(), 0);
  EXPECT_EQ(moved.GetSize(), 5);
}

}  // namespace cstringarr_test
