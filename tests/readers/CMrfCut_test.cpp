#include "qelshare/CMrfCut.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/temp_tree.h"

namespace cmrfcut_test {

using qel::testing::TempTree;

using Records = std::vector<std::string>;

struct Cut {
  Records records;
  std::vector<unsigned long> starts;  // GetPos before each record
  unsigned long end_pos = 0;
  unsigned long size = 0;
};

Cut CutAll(std::string const& file, char const* sep, int leading) {
  CMrfCut cut;
  Cut result;
  EXPECT_EQ(cut.Open(file.c_str(), sep, leading), 1);
  for (;;) {
    unsigned long pos = cut.GetPos();
    CString record = cut.GetRecord();
    if (record.empty()) break;
    result.records.push_back(record);
    result.starts.push_back(pos);
  }
  EXPECT_EQ(cut.GetRecord(), "");  // stays at the end
  result.end_pos = cut.GetPos();
  result.size = cut.GetSize();
  return result;
}

bool Visible(unsigned char b) {
  return b > 32 && b != 127 && b != 128;
}

// The byte-by-byte rule, as a reference for the fast search.
Records Reference(std::string const& data, std::string const& sep, bool leading) {
  Records out;
  auto keep = [&](std::string piece) {
    for (unsigned char b : piece) {
      if (Visible(b)) {
        out.push_back(std::move(piece));
        return;
      }
    }
  };
  std::size_t pos = 0;
  while (pos < data.size()) {
    std::size_t i = pos + (leading ? 1 : 0);
    std::size_t found = std::string::npos;
    for (; i + sep.size() <= data.size(); ++i) {
      if (data.compare(i, sep.size(), sep) == 0) {
        found = i;
        break;
      }
    }
    if (found == std::string::npos) {
      keep(data.substr(pos));
      break;
    }
    keep(data.substr(pos, found - pos));
    pos = leading ? found : found + sep.size();
  }
  return out;
}

TEST(CMrfCutTest, SeparatorsEndOrBeginRecords) {
  struct Case {
    std::string data;
    char const* sep;
    int leading;
    Records records;
  } const cases[] = {
      {"a\r\n\r\nb", "^l^L", 0, {"a", "b"}},
      {"a\r\n\r\nb\r\n\r\n", "^l^l", 0, {"a", "b"}},  // a final separator adds nothing
      {"a##  \t\r\n##b", "##", 0, {"a", "b"}},        // invisible records are skipped
      {"a##\x7F\x80##b", "##", 0, {"a", "b"}},
      {"a##" + std::string(21, ' ') + "\x7F\x80\x01\x20##b", "##", 0, {"a", "b"}},
      {std::string(17, '\0') + "!##" + std::string(9, '\x80') + "\xA1",
       "##",
       0,
       {std::string(17, '\0') + "!", std::string(9, '\x80') + "\xA1"}},
      {"S x S y", "S", 1, {"S x ", "S y"}},
      {"S x S y", "S", 0, {" x ", " y"}},
      {"head S x", "S", 1, {"head ", "S x"}},
      {"  S x", "S", 1, {"S x"}},
      {"no separator here", "##", 0, {"no separator here"}},
      {"a^xb", "^x", 0, {"a", "b"}},                      // a caret before other letters stays
      {"\xB0\x23\x23x##y", "##", 0, {"\xB0", "x", "y"}},  // byte-wise, not character-wise
  };
  TempTree dir;
  for (auto const& c : cases) {
    std::string file = dir.File("r.mrf", c.data);
    Cut cut = CutAll(file, c.sep, c.leading);
    EXPECT_EQ(cut.records, c.records) << c.data;
    EXPECT_EQ(cut.end_pos, c.data.size());
    EXPECT_EQ(cut.size, c.data.size());
  }
}

TEST(CMrfCutTest, EmptyAndMissingFiles) {
  TempTree dir;
  CMrfCut cut;
  EXPECT_EQ(cut.GetRecord(), "");  // before any Open
  ASSERT_EQ(cut.Open(dir.File("empty", "").c_str(), "^l", 0), 1);
  EXPECT_EQ(cut.GetRecord(), "");
  EXPECT_EQ(cut.GetSize(), 0u);
  EXPECT_EQ(cut.GetPos(), 0u);
  EXPECT_EQ(cut.Open(dir.Path("missing").c_str(), "^l", 0), 0);
  EXPECT_EQ(cut.GetRecord(), "");
  EXPECT_EQ(cut.GetSize(), 0u);
  EXPECT_EQ(cut.GetPath(), dir.Path("missing").substr(0, dir.Path("missing").rfind('/')));
}

TEST(CMrfCutTest, PathIsTheFolderBeforeTheLastSeparator) {
  struct Case {
    char const* file;
    char const* folder;
  } const cases[] = {
      {"c:\\data\\in.txt", "c:\\data"},
      {"in.txt", ""},
      {"/tmp/a/in.txt", "/tmp/a"},
      {"d:\\\xB1\x5C\\x.mrf", "d:\\\xB1\x5C"},  // 0x5C as a trail byte is no separator
  };
  for (auto const& c : cases) {
    CMrfCut cut;
    cut.Open(c.file, "^l", 0);
    EXPECT_EQ(cut.GetPath(), c.folder);
  }
}

// Records that cross window boundaries, checked against the byte-by-byte rule.
TEST(CMrfCutTest, RecordsAcrossWindowsMatchTheByteRule) {
  std::mt19937 rng(11);
  std::string data;
  std::vector<std::size_t> cuts;
  while (data.size() < 3 * CMrfCut::kWindow + 12345) {
    std::size_t length = rng() % 5000;
    if (rng() % 50 == 0) length = 200000 + rng() % 300000;
    for (std::size_t i = 0; i < length; ++i) data += static_cast<char>('a' + rng() % 26);
    data += "\r\n\r\n";
  }
  TempTree dir;
  std::string file = dir.File("big.mrf", data);
  for (int leading : {0, 1}) {
    Cut cut = CutAll(file, "^l^l", leading);
    Records expected = Reference(data, "\r\n\r\n", leading != 0);
    ASSERT_EQ(cut.records.size(), expected.size());
    EXPECT_TRUE(cut.records == expected);
    EXPECT_EQ(cut.end_pos, data.size());
    // GetPos before a record is where the record (after skipped blanks) begins or
    // earlier; the record's bytes are there in the file.
    for (std::size_t i = 0; i < cut.records.size(); ++i) {
      ASSERT_LE(cut.starts[i] + cut.records[i].size(), data.size());
    }
  }
}

TEST(CMrfCutTest, OversizedRecordsAndEmptySeparatorStillProgress) {
  std::string data(CMrfCut::kWindow * 2 + 100, 'x');
  data += "##tail";
  TempTree dir;
  std::string file = dir.File("long.mrf", data);
  Cut cut = CutAll(file, "##", 0);
  ASSERT_EQ(cut.records.size(), 4u);
  EXPECT_EQ(cut.records[0].size(), CMrfCut::kWindow);
  EXPECT_EQ(cut.records[1].size(), CMrfCut::kWindow);
  EXPECT_EQ(cut.records[2], std::string(100, 'x'));
  EXPECT_EQ(cut.records[3], "tail");

  Cut chunks = CutAll(file, "", 0);
  ASSERT_EQ(chunks.records.size(), 3u);
  EXPECT_EQ(chunks.records[0].size(), CMrfCut::kWindow);
  EXPECT_EQ(chunks.records[2], std::string(100, 'x') + "##tail");
  EXPECT_EQ(chunks.end_pos, data.size());

  Cut leading = CutAll(file, "", 1);
  EXPECT_EQ(leading.records.size(), 3u);
}

TEST(CMrfCutTest, CopyContinuesOnItsOwn) {
  TempTree dir;
  std::string file = dir.File("c.mrf", "a|b|c|d");
  CMrfCut cut;
  ASSERT_EQ(cut.Open(file.c_str(), "|", 0), 1);
  EXPECT_EQ(cut.GetRecord(), "a");
  CMrfCut copy(cut);
  EXPECT_EQ(cut.GetRecord(), "b");
  EXPECT_EQ(copy.GetRecord(), "b");
  CMrfCut assigned;
  assigned = copy;
  EXPECT_EQ(copy.GetRecord(), "c");
  EXPECT_EQ(assigned.GetRecord(), "c");
  EXPECT_EQ(assigned.GetRecord(), "d");
  EXPECT_EQ(assigned.GetRecord(), "");
  EXPECT_EQ(cut.GetRecord(), "c");
}

}  // namespace cmrfcut_test

namespace cmrfcut_test {

// Offsets past 4 GiB: a sparse file whose records cross the 4 GiB mark.
TEST(CMrfCutTest, FilesLargerThanFourGiB) {
  TempTree dir;
  std::string file = dir.Path("huge.mrf");
  unsigned long const four_gib = 1ul << 32;
  {
    std::ofstream out(file, std::ios::binary);
    out.seekp(static_cast<std::streamoff>(four_gib - 4));
    out.write("x##y##z", 7);
    if (!out) GTEST_SKIP() << "no room for a sparse file of 4 GiB";
  }
  CMrfCut cut;
  ASSERT_EQ(cut.Open(file.c_str(), "##", 0), 1);
  EXPECT_EQ(cut.GetSize(), four_gib + 3);
  // The zeros before x are blanks: every window of them is skipped, and x ends the record
  // that the last window holds.
  CString record = cut.GetRecord();
  ASSERT_FALSE(record.empty());
  EXPECT_EQ(record.back(), 'x');
  EXPECT_EQ(cut.GetPos(), four_gib - 1);
  EXPECT_EQ(cut.GetRecord(), "y");  // its separator lies past 4 GiB
  EXPECT_EQ(cut.GetPos(), four_gib + 2);
  EXPECT_EQ(cut.GetRecord(), "z");
  EXPECT_EQ(cut.GetRecord(), "");
  EXPECT_EQ(cut.GetPos(), cut.GetSize());
}

}  // namespace cmrfcut_test
