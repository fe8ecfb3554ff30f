#include "qelshare/CLineBuf.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_tree.h"

namespace clinebuf_test {

using qel::testing::TempTree;

using std::string_literals::operator""s;
using Lines = std::vector<std::string>;

Lines ReadAll(CLineBuf& buf) {
  Lines lines;
  CString line;
  while (buf.ReadLine(line)) lines.push_back(line);
  return lines;
}

TEST(CLineBufTest, LinesEndAtCrAndSkipOneByteAfterIt) {
  struct Case {
    std::string text;
    Lines lines;
  } const cases[] = {
      {"a\r\nb", {"a", "b"}},
      {"a\r\n\r\n", {"a", ""}},      // a final line end makes no further line
      {"a\nb\r\nc", {"a\nb", "c"}},  // a lone LF is part of its line
      {"a\rxb\r\n", {"a", "b"}},     // the byte after CR is skipped, whatever it is
      {"a\r", {"a"}},                // a CR as last byte ends the text
      {"ab\0cd\r\n"s, {"ab"}},       // the text ends at its first NUL
      {"\xD6\xD0\xCE\xC4\r\n\xB0\xA1", {"\xD6\xD0\xCE\xC4", "\xB0\xA1"}},
  };
  TempTree dir;
  for (auto const& c : cases) {
    CLineBuf from_file;
    ASSERT_EQ(from_file.Open(dir.File("t.txt", c.text).c_str()), 1);
    EXPECT_EQ(ReadAll(from_file), c.lines);
    EXPECT_EQ(from_file.GetError(), "");
    CLineBuf from_memory;
    ASSERT_EQ(from_memory.SetBuffer(c.text.c_str()), 1);
    EXPECT_EQ(ReadAll(from_memory), c.lines);
  }
}

TEST(CLineBufTest, ReadLineAtEndLeavesArgumentAlone) {
  CLineBuf buf;
  CString line = "keep";
  EXPECT_EQ(buf.ReadLine(line), 0);  // nothing loaded
  EXPECT_EQ(buf.SetBuffer(""), 1);   // empty text loads nothing
  EXPECT_EQ(buf.SetBuffer(nullptr), 1);
  EXPECT_EQ(buf.ReadLine(line), 0);
  buf.SeekForwardLine();
  EXPECT_EQ(buf.ReadLine(line), 0);
  EXPECT_EQ(line, "keep");
}

TEST(CLineBufTest, SeekForwardLineStepsBackOneLineEachCall) {
  CLineBuf buf;
  buf.SetBuffer("a\r\nbb\r\n\r\nccc\r\n");
  CString line;
  buf.SeekForwardLine();  // at the start: stays there
  ASSERT_TRUE(buf.ReadLine(line));
  EXPECT_EQ(line, "a");
  ASSERT_TRUE(buf.ReadLine(line));
  EXPECT_EQ(line, "bb");
  buf.SeekForwardLine();
  ASSERT_TRUE(buf.ReadLine(line));
  EXPECT_EQ(line, "bb");
  buf.SeekForwardLine();
  buf.SeekForwardLine();
  ASSERT_TRUE(buf.ReadLine(line));
  EXPECT_EQ(line, "a");
  EXPECT_EQ(ReadAll(buf), (Lines{"bb", "", "ccc"}));
  buf.SeekForwardLine();
  ASSERT_TRUE(buf.ReadLine(line));
  EXPECT_EQ(line, "ccc");
  buf.SeekForwardLine();
  buf.SeekForwardLine();
  ASSERT_TRUE(buf.ReadLine(line));
  EXPECT_EQ(line, "");
}

TEST(CLineBufTest, OpenLimitsAndErrorTexts) {
  TempTree dir;
  CLineBuf buf;
  std::string at_limit = dir.File("limit.txt", std::string(131072, 'x'));
  EXPECT_EQ(buf.Open(at_limit.c_str()), 1);
  CString line;
  ASSERT_TRUE(buf.ReadLine(line));
  EXPECT_EQ(line.size(), 131072u);

  std::string over = dir.File("over.txt", std::string(131073, 'x'));
  EXPECT_EQ(buf.Open(over.c_str()), 0);
  EXPECT_EQ(buf.GetError(), "CLineBuf::Open(" + over + ") Too large");
  EXPECT_EQ(buf.ReadLine(line), 0);  // the text loaded before is gone

  buf.SetBuffer("x");
  std::string missing = dir.Path("missing.txt");
  EXPECT_EQ(buf.Open(missing.c_str()), 0);
  EXPECT_EQ(buf.GetError(), "CLineBuf::Open(" + missing + ") Can't opened");
  EXPECT_EQ(buf.ReadLine(line), 0);
  EXPECT_EQ(buf.Open(dir.Path("").c_str()), 0);  // a folder is not a file

  std::string empty = dir.File("empty.txt", "");
  EXPECT_EQ(buf.Open(empty.c_str()), 1);
  EXPECT_EQ(buf.GetError(), "");  // emptied by each Open
  EXPECT_EQ(buf.ReadLine(line), 0);
}

TEST(CLineBufTest, CopiesKeepTheirOwnTextAndPosition) {
  CLineBuf buf;
  buf.SetBuffer("a\r\nb\r\nc");
  CString line;
  buf.ReadLine(line);
  CLineBuf copy(buf);
  buf.SetBuffer("z");
  EXPECT_EQ(ReadAll(copy), (Lines{"b", "c"}));
  CLineBuf assigned;
  assigned = buf;
  EXPECT_EQ(ReadAll(assigned), (Lines{"z"}));
  EXPECT_EQ(ReadAll(buf), (Lines{"z"}));
}

}  // namespace clinebuf_test
