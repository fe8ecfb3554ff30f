// The items of the postfix stream as the analysis writes them and searches read them
// back: every kind of leaf written and decoded, text-item words, highlight entries and
// the items of a stream.
#include "expression/leaf_item.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace qel::expr {
namespace leaf_item_test {

using Terms = std::vector<std::pair<std::string, std::string>>;

// What each writer appends decodes back to what was written, and a stream of items ends
// each with one CR, even an item whose quoted word ends with one.
TEST(LeafItem, WrittenLeavesDecodeBack) {
  std::string item;
  LeafItem leaf;
  AppendWordLeaf(item, "TI", "\xC7\xEF");
  EXPECT_EQ(item, "TI\nNEAR\n\xC7\xEF");
  ASSERT_TRUE(DecodeLeaf(item, leaf));
  EXPECT_EQ(leaf.kind, LeafItem::kText);
  EXPECT_EQ(leaf.code, "TI");
  EXPECT_EQ(leaf.text_kind, "NEAR");
  EXPECT_EQ(leaf.words, "\xC7\xEF");

  item.clear();
  AppendTextHead(item, "TX", kParaHead);
  item += "a \"b c\"";
  ASSERT_TRUE(DecodeLeaf(item, leaf));
  EXPECT_EQ(leaf.text_kind, "PARA");
  EXPECT_EQ(ItemWords(leaf.words), (std::vector<std::string>{"a", "b c"}));

  item.clear();
  AppendComparisonLeaf(item, "LN", 9, "1,5");
  EXPECT_EQ(item, "LN\n9\n1,5");
  ASSERT_TRUE(DecodeLeaf(item, leaf));
  EXPECT_EQ(leaf.kind, LeafItem::kComparison);
  EXPECT_EQ(leaf.op, 9);
  EXPECT_EQ(leaf.operand, "1,5");

  item.clear();
  AppendValueLeaf(item, "AU", "5");
  ASSERT_TRUE(DecodeLeaf(item, leaf));
  EXPECT_EQ(leaf.kind, LeafItem::kValue);
  EXPECT_EQ(leaf.operand, "5");

  item.clear();
  AppendHistoryLeaf(item, "12");
  ASSERT_TRUE(DecodeLeaf(item, leaf));
  EXPECT_EQ(leaf.kind, LeafItem::kHistory);
  EXPECT_EQ(leaf.history, 12u);

  std::string redkey;
  AppendHighlight(redkey, "a \"b c\"", "TI");
  AppendHighlight(redkey, "d", "AU");
  EXPECT_EQ(redkey, "a \"b c\"[TI]d[AU]");
  EXPECT_EQ(HighlightTerms(redkey, {"TI", "AU"}), (Terms{{"TI", "a"}, {"TI", "b c"}, {"AU", "d"}}));

  std::string stream;
  EndStreamItem(stream);
  EXPECT_EQ(stream, "");
  for (std::string_view part : {"TI\nNEAR\n\"\r\"", "TI\nNEAR\na", "AND"}) {
    EndStreamItem(stream);
    stream += part;
    EndStreamItem(stream);
  }
  EXPECT_EQ(stream, "TI\nNEAR\n\"\r\"\rTI\nNEAR\na\rAND\r");
  EXPECT_EQ(StreamItems("TI\nNEAR\na\rTI\nNEAR\nb\rOR\r"),
            (std::vector<std::string_view>{"TI\nNEAR\na", "TI\nNEAR\nb", "OR"}));
}

TEST(LeafItem, HighlightTermsEndEntriesOnlyAtListedCodes) {
  EXPECT_EQ(HighlightTerms("a b[TI]c[XX]d[AU]", {"TI", "AU"}),
            (Terms{{"TI", "a"}, {"TI", "b"}, {"AU", "c[XX]d"}}));
  EXPECT_EQ(HighlightTerms("\"a b\" c[TI]", {"TI"}), (Terms{{"TI", "a b"}, {"TI", "c"}}));
  EXPECT_EQ(HighlightTerms("[TI]a[AU]", {"TI", "AU"}), (Terms{{"AU", "a"}}));
  EXPECT_EQ(HighlightTerms("a[TI]b", {"TI"}), (Terms{{"TI", "a"}}));
  EXPECT_TRUE(HighlightTerms("a[TI]", {}).empty());
  EXPECT_TRUE(HighlightTerms("a b", {"TI"}).empty());
  EXPECT_TRUE(HighlightTerms("a[TI", {"TI"}).empty());

  // A character whose trail byte is '[' just before the code.
  std::string const bracket_trail = "\x81\x5B";
  EXPECT_EQ(HighlightTerms(bracket_trail + "[TI]", {"TI"}), (Terms{{"TI", bracket_trail}}));
  EXPECT_EQ(HighlightTerms("\xB4\xBA\xC7\xEF \xC3\xF7\xD4\xC2[TI]", {"TI"}),
            (Terms{{"TI", "\xB4\xBA\xC7\xEF"}, {"TI", "\xC3\xF7\xD4\xC2"}}));
}

}  // namespace leaf_item_test
}  // namespace qel::expr
