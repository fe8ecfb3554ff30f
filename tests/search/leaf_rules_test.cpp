// The matching rules of leaf items at their boundaries: distances counted in characters,
// order, lines, quoted words, trail bytes, numeric and text comparisons, intervals.
#include "search/leaf_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "expression/leaf_item.h"
#include "platform/text/codepage.h"

namespace qel::search {
namespace leaf_rules_test {

using WordList = std::vector<std::string>;
using Terms = std::vector<std::pair<std::string, std::string>>;

// 丂: its trail byte is the ASCII '@'. Kept as its own literal so that a following letter
// is not read as part of the hex escape.
std::string const kKao = "\x81\x40";

std::string Gbk(std::string const& utf8) {
  std::string out, error;
  EXPECT_TRUE(text::Utf8ToGbk(utf8, out, error)) << error;
  return out;
}

std::string Repeat(std::string const& ch, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += ch;
  return out;
}

bool Near(WordList const& words, std::string const& value) {
  return MatchText("NEAR", words, value);
}
bool Order(WordList const& words, std::string const& value) {
  return MatchText("ORDER", words, value);
}
bool Para(WordList const& words, std::string const& value) {
  return MatchText("PARA", words, value);
}

// Decodes a leaf item and matches it against a value; the item outlives the decoded views.
bool MatchItem(std::string const& item, std::string const& value) {
  expr::LeafItem decoded;
  EXPECT_TRUE(expr::DecodeLeaf(item, decoded)) << item;
  return Match(MakeLeaf(decoded), value);
}

TEST(LeafRules, NearCountsCharactersBetweenTheWords) {
  // Exactly kNearDistance characters between the words, then one more.
  static_assert(kNearDistance == 10);
  EXPECT_TRUE(Near({"a", "b"}, "a" + Repeat("x", 10) + "b"));
  EXPECT_FALSE(Near({"a", "b"}, "a" + Repeat("x", 11) + "b"));
  EXPECT_TRUE(Near({"a", "b"}, "b" + Repeat("x", 10) + "a"));
  EXPECT_FALSE(Near({"a", "b"}, "b" + Repeat("x", 11) + "a"));
  EXPECT_TRUE(Near({"a", "b"}, "ab"));
  EXPECT_FALSE(Near({"a", "z"}, "ab"));

  // Two-byte characters between the words count one each, not two.
  std::string const chun = Gbk("春"), qiu = Gbk("秋"), yue = Gbk("月");
  EXPECT_TRUE(Near({chun, qiu}, chun + Repeat(yue, 10) + qiu));
  EXPECT_FALSE(Near({chun, qiu}, chun + Repeat(yue, 11) + qiu));
  EXPECT_TRUE(Near({chun, qiu}, qiu + Repeat(yue, 10) + chun));
  EXPECT_FALSE(Near({chun, qiu}, qiu + Repeat(yue, 11) + chun));

  // Counted from the end of the earlier word, whatever its length.
  std::string const chunqiu = Gbk("春秋"), mingyue = Gbk("明月");
  EXPECT_TRUE(Near({chunqiu, mingyue}, chunqiu + Repeat("x", 10) + mingyue));
  EXPECT_FALSE(Near({chunqiu, mingyue}, chunqiu + Repeat("x", 11) + mingyue));
  EXPECT_TRUE(Near({chunqiu, mingyue}, mingyue + Repeat("x", 10) + chunqiu));

  // Three words: all within the distance of each other, not just neighbours.
  EXPECT_TRUE(Near({"a", "b", "c"}, "a" + Repeat("x", 5) + "b" + Repeat("x", 4) + "c"));
  EXPECT_FALSE(Near({"a", "b", "c"}, "a" + Repeat("x", 5) + "b" + Repeat("x", 5) + "c"));
  EXPECT_TRUE(Near({"c", "a", "b"}, "c" + Repeat("x", 4) + "b" + Repeat("x", 5) + "a"));

  // A far pair does not hide a near one later in the value.
  EXPECT_TRUE(Near({"a", "b"}, "a" + Repeat("x", 20) + "b" + Repeat("x", 3) + "a"));
  EXPECT_TRUE(Near({"a", "b"}, "b" + Repeat("x", 20) + "a" + Repeat("x", 10) + "b"));
  EXPECT_FALSE(Near({"a", "b"}, "b" + Repeat("x", 20) + "a" + Repeat("x", 11) + "b"));
}

TEST(LeafRules, OrderNeedsEachWordAfterTheEndOfTheOneBefore) {
  EXPECT_TRUE(Order({"a", "b"}, "a" + Repeat("x", 10) + "b"));
  EXPECT_FALSE(Order({"a", "b"}, "a" + Repeat("x", 11) + "b"));
  EXPECT_FALSE(Order({"a", "b"}, "b" + Repeat("x", 5) + "a"));
  EXPECT_TRUE(Near({"a", "b"}, "b" + Repeat("x", 5) + "a"));
  EXPECT_TRUE(Order({"a", "b"}, "ab"));

  std::string const chun = Gbk("春"), qiu = Gbk("秋"), yue = Gbk("月");
  EXPECT_TRUE(Order({chun, qiu}, chun + Repeat(yue, 10) + qiu));
  EXPECT_FALSE(Order({chun, qiu}, chun + Repeat(yue, 11) + qiu));
  EXPECT_FALSE(Order({qiu, chun}, chun + yue + qiu));

  // Overlapping words are not in order: the second starts at or after the first's end.
  EXPECT_FALSE(Order({"ab", "bc"}, "abc"));
  EXPECT_TRUE(Near({"ab", "bc"}, "abc"));
  EXPECT_TRUE(Order({"ab", "bc"}, "abbc"));
  EXPECT_FALSE(Order({"a", "a"}, "a"));
  EXPECT_TRUE(Order({"a", "a"}, "aa"));

  // Three words chained: each within the distance of the one before, not of the first.
  std::string const chained = "a" + Repeat("x", 10) + "b" + Repeat("x", 10) + "c";
  EXPECT_TRUE(Order({"a", "b", "c"}, chained));
  EXPECT_FALSE(Near({"a", "b", "c"}, chained));
  EXPECT_FALSE(Order({"a", "b", "c"}, "a" + Repeat("x", 10) + "b" + Repeat("x", 11) + "c"));
  EXPECT_FALSE(Order({"a", "c", "b"}, chained));
  // The chain goes through whichever occurrence of the middle word continues it.
  EXPECT_TRUE(Order({"a", "b", "c"}, "ab" + Repeat("x", 8) + "b" + Repeat("x", 5) + "c"));
  EXPECT_TRUE(Order({"a", "b"}, "a" + Repeat("x", 11) + "a" + Repeat("x", 2) + "b"));
}

TEST(LeafRules, ParaNeedsEveryWordOnOneLine) {
  EXPECT_TRUE(Para({"a", "b"}, "xa yb"));
  EXPECT_FALSE(Para({"a", "b"}, "xa\nyb"));
  EXPECT_TRUE(Para({"a", "b"}, "a\nb\nb" + Repeat("x", 50) + "a"));
  EXPECT_TRUE(Para({"b"}, "a\nb"));
  std::string const chun = Gbk("春"), qiu = Gbk("秋");
  EXPECT_TRUE(Para({chun, qiu}, qiu + chun));
  EXPECT_FALSE(Para({chun, qiu}, chun + "\n" + qiu));
}

TEST(LeafRules, QuotedWordKeepsItsSpaces) {
  EXPECT_EQ(expr::ItemWords("\"a b\" c"), (WordList{"a b", "c"}));
  EXPECT_EQ(expr::ItemWords("  a   b "), (WordList{"a", "b"}));
  EXPECT_EQ(expr::ItemWords(Gbk("春 秋月")), (WordList{Gbk("春"), Gbk("秋月")}));
  EXPECT_TRUE(expr::ItemWords("").empty());
  EXPECT_TRUE(expr::ItemWords("\"\"").empty());
  EXPECT_FALSE(Near(expr::ItemWords("\"\""), "anything"));

  WordList const quoted = expr::ItemWords("\"a b\"");
  EXPECT_TRUE(Near(quoted, "xa by"));
  EXPECT_FALSE(Near(quoted, "ab"));
  EXPECT_FALSE(Near(quoted, "a  b"));
  EXPECT_FALSE(Near(quoted, "b a"));
  EXPECT_TRUE(Near(expr::ItemWords("\"a b\" c"), "c a b"));
  EXPECT_FALSE(Near(expr::ItemWords("\"a b\" c"), "a c b"));

  // The same through a decoded item.
  std::string const item = "TI\nNEAR\n\"a b\" c";
  expr::LeafItem decoded;
  ASSERT_TRUE(expr::DecodeLeaf(item, decoded));
  EXPECT_EQ(MakeLeaf(decoded).words, (WordList{"a b", "c"}));
  EXPECT_TRUE(MatchItem(item, "c a b"));
  EXPECT_FALSE(MatchItem(item, "a c b"));
}

TEST(LeafRules, WordNeverMatchesFromATrailByte) {
  EXPECT_FALSE(Near({"@"}, kKao));
  EXPECT_FALSE(Para({"@"}, kKao));
  EXPECT_FALSE(Order({"@"}, kKao));
  EXPECT_TRUE(Near({"@"}, kKao + "@"));
  EXPECT_FALSE(Near({"@", "b"}, kKao + "b"));
  EXPECT_FALSE(Order({"@", "b"}, kKao + "b"));
  EXPECT_FALSE(Para({"@", "b"}, kKao + "b"));
  EXPECT_TRUE(Near({"@", "b"}, kKao + "@b"));
  EXPECT_TRUE(Order({"@", "b"}, kKao + "@b"));

  // Two bytes across a character boundary form another character; not a match either.
  std::string const chunqiu = Gbk("春秋");
  ASSERT_EQ(chunqiu, "\xB4\xBA\xC7\xEF");
  EXPECT_FALSE(Near({"\xBA\xC7"}, chunqiu));
  EXPECT_FALSE(Near({"\xBA\xC7", Gbk("春")}, chunqiu));
}

TEST(LeafRules, ComparisonIsNumericOnlyWhenBothSidesAreNumbers) {
  // op: 0 = 1 > 2 >= 3 < 4 <= 5 <>
  EXPECT_TRUE(MatchComparison(1, "9", "10"));
  EXPECT_FALSE(MatchComparison(3, "9", "10"));
  EXPECT_TRUE(MatchComparison(3, "10", "9"));
  EXPECT_TRUE(MatchComparison(3, "0", "-1"));
  EXPECT_TRUE(MatchComparison(0, " 10 ", "10"));
  EXPECT_TRUE(MatchComparison(0, "10", "  10"));
  EXPECT_TRUE(MatchComparison(0, "10.0", "10"));
  EXPECT_FALSE(MatchComparison(5, "10", "10.0"));
  EXPECT_TRUE(MatchComparison(5, "9", "10"));
  EXPECT_TRUE(MatchComparison(2, "10", "10"));
  EXPECT_TRUE(MatchComparison(4, "10", "10"));
  EXPECT_FALSE(MatchComparison(1, "10", "10"));
  EXPECT_FALSE(MatchComparison(3, "10", "10"));
  EXPECT_TRUE(MatchComparison(2, "9.5", "10"));
  EXPECT_FALSE(MatchComparison(4, "9.5", "10"));

  // Either side not a number: text order, so "10" sorts before "9a".
  EXPECT_FALSE(MatchComparison(1, "9a", "10"));
  EXPECT_TRUE(MatchComparison(3, "9a", "10"));
  EXPECT_TRUE(MatchComparison(3, "9", "10a"));
  EXPECT_FALSE(MatchComparison(0, "10", "10 a"));

  // Text order is the collation, not the bytes: "a" before "B" though 'B' < 'a' in
  // ASCII, and Chinese in pinyin order.
  EXPECT_TRUE(MatchComparison(3, "B", "a"));
  EXPECT_FALSE(MatchComparison(1, "B", "a"));
  EXPECT_FALSE(MatchComparison(0, "a", "A"));
  std::string const a = Gbk("阿"), bai = Gbk("白"), kao = Gbk("丂");
  EXPECT_TRUE(MatchComparison(3, bai, a));
  EXPECT_TRUE(MatchComparison(4, bai, a));
  EXPECT_FALSE(MatchComparison(2, bai, a));
  EXPECT_TRUE(MatchComparison(1, a, bai));
  EXPECT_TRUE(MatchComparison(0, a, a));
  EXPECT_TRUE(MatchComparison(5, a, bai));
  // 丂 (kao) sorts after 白 (bai) though its GBK bytes sort before.
  ASSERT_EQ(kao, kKao);
  EXPECT_TRUE(MatchComparison(1, bai, kao));
}

TEST(LeafRules, IntervalEndsAreOpenOrClosed) {
  // op 6 (a,b) 7 (a,b] 8 [a,b) 9 [a,b]; each row: value, then whether ops 6..9 match.
  struct Row {
    char const* value;
    bool match[4];
  } const rows[] = {
      {"10", {false, false, true, true}},   {"20", {false, true, false, true}},
      {"15", {true, true, true, true}},     {"9", {false, false, false, false}},
      {"21", {false, false, false, false}}, {"2", {false, false, false, false}},
      {" 20 ", {false, true, false, true}}, {"10.5", {true, true, true, true}},
  };
  for (Row const& row : rows) {
    for (int op = 6; op <= 9; ++op) {
      EXPECT_EQ(MatchComparison(op, "10,20", row.value), row.match[op - 6])
          << "op " << op << " value " << row.value;
      EXPECT_EQ(MatchComparison(op, "10, 20", row.value), row.match[op - 6])
          << "op " << op << " value " << row.value << " (blank after the comma)";
    }
  }

  // Text ends: 阿 (a) < 八 (ba) < 白 (bai).
  std::string const a = Gbk("阿"), ba = Gbk("八"), bai = Gbk("白");
  std::string const ends = a + "," + bai;
  EXPECT_TRUE(MatchComparison(6, ends, ba));
  EXPECT_FALSE(MatchComparison(6, ends, a));
  EXPECT_FALSE(MatchComparison(6, ends, bai));
  EXPECT_TRUE(MatchComparison(9, ends, a));
  EXPECT_TRUE(MatchComparison(9, ends, bai));

  // Without a comma an interval matches nothing.
  for (int op = 6; op <= 9; ++op) {
    EXPECT_FALSE(MatchComparison(op, "10", "10")) << op;
    EXPECT_FALSE(MatchComparison(op, "", "")) << op;
  }
}

TEST(LeafRules, ValueItemMatchesTheWholeValueByteForByte) {
  std::string const item = "AU\nLi Bai";
  EXPECT_TRUE(MatchItem(item, "Li Bai"));
  EXPECT_FALSE(MatchItem(item, "Li"));
  EXPECT_FALSE(MatchItem(item, "Li Bai Du"));
  EXPECT_FALSE(MatchItem(item, "xLi Bai"));
  EXPECT_FALSE(MatchItem(item, "Li Bai "));
  EXPECT_FALSE(MatchItem(item, "li bai"));

  std::string const chinese = "AU\n" + Gbk("李白");
  EXPECT_TRUE(MatchItem(chinese, Gbk("李白")));
  EXPECT_FALSE(MatchItem(chinese, Gbk("李")));
  EXPECT_FALSE(MatchItem(chinese, Gbk("李白杜甫")));

  EXPECT_TRUE(MatchItem("AU\n", ""));
  EXPECT_FALSE(MatchItem("AU\n", "x"));
}

TEST(LeafRules, FieldOfTwoLinesIsOneValueJoinedByLineFeed) {
  // The line feed is a character between the words.
  std::string const at_distance = "a" + Repeat("x", 9) + "\nb";
  std::string const past_distance = "a" + Repeat("x", 10) + "\nb";
  EXPECT_FALSE(Para({"a", "b"}, at_distance));
  EXPECT_TRUE(Near({"a", "b"}, at_distance));
  EXPECT_FALSE(Near({"a", "b"}, past_distance));
  EXPECT_TRUE(Order({"a", "b"}, at_distance));
  EXPECT_FALSE(Order({"a", "b"}, past_distance));

  std::string const chun = Gbk("春"), qiu = Gbk("秋"), yue = Gbk("月");
  EXPECT_TRUE(Near({chun, qiu}, chun + Repeat(yue, 9) + "\n" + qiu));
  EXPECT_FALSE(Near({chun, qiu}, chun + Repeat(yue, 10) + "\n" + qiu));
  EXPECT_FALSE(Para({chun, qiu}, chun + "\n" + qiu));
  EXPECT_TRUE(Para({chun, qiu}, "x\n" + chun + qiu + "\ny"));
}

TEST(LeafRules, WordAtTheEndOfTheValue) {
  std::string const chunqiu = Gbk("春秋");
  EXPECT_TRUE(Near({Gbk("秋")}, chunqiu));
  EXPECT_TRUE(Near({chunqiu}, chunqiu));
  EXPECT_FALSE(Near({Gbk("春秋月")}, chunqiu));
  EXPECT_FALSE(Near({chunqiu + "a"}, chunqiu));
  EXPECT_TRUE(Near({"b"}, "ab"));
  EXPECT_FALSE(Near({"abc"}, "ab"));
  EXPECT_FALSE(Para({"abc"}, "x\nab"));

  // The last word at the very end, with the distance measured up to it.
  EXPECT_TRUE(Near({"a", Gbk("秋")}, "a" + Repeat("x", 10) + Gbk("秋")));
  EXPECT_TRUE(Order({"a", chunqiu}, "a" + Repeat(Gbk("月"), 10) + chunqiu));
  EXPECT_FALSE(Order({"a", Gbk("春秋月")}, "a" + chunqiu));
}

TEST(LeafRules, WordSpansTakeTheLongestWordAtEachCharacter) {
  using Spans = std::vector<Span>;
  EXPECT_EQ(WordSpans("abc", {"a", "ab"}), (Spans{{0, 2}}));
  EXPECT_EQ(WordSpans("abc", {"ab", "bc"}), (Spans{{0, 2}}));
  EXPECT_EQ(WordSpans("aaa", {"aa"}), (Spans{{0, 2}}));
  EXPECT_EQ(WordSpans("abab", {"ab"}), (Spans{{0, 2}, {2, 4}}));
  EXPECT_EQ(WordSpans("xbyaz", {"a", "b"}), (Spans{{1, 2}, {3, 4}}));
  EXPECT_TRUE(WordSpans("abc", {}).empty());
  EXPECT_TRUE(WordSpans("abc", {""}).empty());
  EXPECT_EQ(WordSpans("abc", {"", "b"}), (Spans{{1, 2}}));

  // Byte offsets, on character boundaries only.
  EXPECT_EQ(WordSpans(Gbk("春秋月"), {Gbk("秋")}), (Spans{{2, 4}}));
  EXPECT_EQ(WordSpans(kKao + "@", {"@"}), (Spans{{2, 3}}));
  EXPECT_TRUE(WordSpans(kKao, {"@"}).empty());
  EXPECT_TRUE(WordSpans(Gbk("春秋"), {"\xBA\xC7"}).empty());
}

TEST(LeafRules, DecodeLeafReadsEachKind) {
  expr::LeafItem leaf;
  ASSERT_TRUE(expr::DecodeLeaf("#\n3", leaf));
  EXPECT_EQ(leaf.kind, expr::LeafItem::kHistory);
  EXPECT_EQ(leaf.history, 3u);
  EXPECT_EQ(leaf.operand, "3");
  ASSERT_TRUE(expr::DecodeLeaf("#\nx", leaf));
  EXPECT_EQ(leaf.kind, expr::LeafItem::kHistory);
  EXPECT_EQ(leaf.history, 0u);

  struct TextCase {
    char const* item;
    char const* kind;
    char const* words;
  } const texts[] = {
      {"TI\nNEAR\nw", "NEAR", "w"},
      {"TI\nORDER\na b", "ORDER", "a b"},
      {"TI\nPARA\na", "PARA", "a"},
  };
  for (TextCase const& c : texts) {
    ASSERT_TRUE(expr::DecodeLeaf(c.item, leaf)) << c.item;
    EXPECT_EQ(leaf.kind, expr::LeafItem::kText) << c.item;
    EXPECT_EQ(leaf.code, "TI") << c.item;
    EXPECT_EQ(leaf.text_kind, c.kind) << c.item;
    EXPECT_EQ(leaf.words, c.words) << c.item;
  }

  ASSERT_TRUE(expr::DecodeLeaf("LN\n2\n2000", leaf));
  EXPECT_EQ(leaf.kind, expr::LeafItem::kComparison);
  EXPECT_EQ(leaf.code, "LN");
  EXPECT_EQ(leaf.op, 2);
  EXPECT_EQ(leaf.operand, "2000");
  ASSERT_TRUE(expr::DecodeLeaf("LN\n9\n1,5", leaf));
  EXPECT_EQ(leaf.op, 9);
  EXPECT_EQ(leaf.operand, "1,5");

  ASSERT_TRUE(expr::DecodeLeaf("AU\nx", leaf));
  EXPECT_EQ(leaf.kind, expr::LeafItem::kValue);
  EXPECT_EQ(leaf.code, "AU");
  EXPECT_EQ(leaf.operand, "x");
  ASSERT_TRUE(expr::DecodeLeaf("AU\n5", leaf));  // a digit without its line feed is a value
  EXPECT_EQ(leaf.kind, expr::LeafItem::kValue);
  EXPECT_EQ(leaf.operand, "5");

  for (char const* item : {"AND", "OR", "SUB", "NOT", "", "garbage"}) {
    EXPECT_FALSE(expr::DecodeLeaf(item, leaf)) << item;
  }

  // Each kind matches by its own rule once made a leaf; a reference matches nothing.
  EXPECT_FALSE(MatchItem("#\n3", "3"));
  EXPECT_FALSE(MatchItem("#\n3", ""));
  EXPECT_TRUE(MatchItem("LN\n2\n2000", "2000"));
  EXPECT_TRUE(MatchItem("LN\n2\n2000", "10000"));
  EXPECT_FALSE(MatchItem("LN\n2\n2000", "1999"));
  EXPECT_TRUE(MatchItem("LN\n9\n1,5", "5"));
  EXPECT_TRUE(MatchItem("TI\nORDER\na b", "a b"));
  EXPECT_FALSE(MatchItem("TI\nORDER\na b", "b a"));
  EXPECT_TRUE(MatchItem("TI\nNEAR\na b", "b a"));
  EXPECT_TRUE(MatchItem("TI\nPARA\na b", "b a"));
  EXPECT_FALSE(MatchItem("TI\nPARA\na b", "b\na"));
  EXPECT_FALSE(MatchItem("AU\nx", "xx"));
}

}  // namespace leaf_rules_test
}  // namespace qel::search
