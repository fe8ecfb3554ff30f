// The items of the postfix stream: every route of the analysis writes its leaves and
// highlight entries here, and searches read them back here; the one place that knows
// their text.
//
//   "#" LF digits              a numbered reference to an earlier result
//   code LF kind LF words      a text item, kind "NEAR", "ORDER" or "PARA"; words are
//                              separated by spaces, a quoted word keeps its quotes and
//                              may hold spaces (and line feeds)
//   code LF op LF operand      a comparison item, op one digit: 0 = 1 > 2 >= 3 < 4 <= 5 <>,
//                              6 (a,b) 7 (a,b] 8 [a,b) 9 [a,b]; an interval's operand is
//                              "low,high"
//   code LF value              a value item
//
// In the stream every item ends with exactly one CR; an item whose text already ends with
// one (a quoted word may hold it) gets no second. The highlight string is the searched
// words, each followed by "[" code "]".
#ifndef QELSHARE_EXPRESSION_LEAF_ITEM_H_
#define QELSHARE_EXPRESSION_LEAF_ITEM_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qel::expr {

// What follows the code of a text item, up to its words.
inline constexpr std::string_view kNearHead = "\nNEAR\n";
inline constexpr std::string_view kOrderHead = "\nORDER\n";
inline constexpr std::string_view kParaHead = "\nPARA\n";
// What starts a numbered reference, before its digits.
inline constexpr std::string_view kHistoryHead = "#\n";

// Writing. Each Append*Leaf appends a whole leaf item to item (usually an empty node key).

// A word searched in a text field: code LF "NEAR" LF word (without its quotes).
void AppendWordLeaf(std::string& item, std::string_view code, std::string_view word);
// The head of a text item of several words: code, then the head of kind (kNearHead,
// kOrderHead or kParaHead); the words follow, separated by spaces.
void AppendTextHead(std::string& item, std::string_view code, std::string_view head);
// A comparison: code LF op LF operand, op one digit (see above).
void AppendComparisonLeaf(std::string& item, std::string_view code, int op,
                          std::string_view operand);
// A value searched as it stands: code LF value.
void AppendValueLeaf(std::string& item, std::string_view code, std::string_view value);
// A numbered reference: "#" LF digits.
void AppendHistoryLeaf(std::string& item, std::string_view digits);
// The highlight entry of searched words: words "[" code "]".
void AppendHighlight(std::string& redkey, std::string_view words, std::string_view code);

// Ends the last item of a postfix stream with its CR, unless it has one (or there is
// none). Writing an item is EndStreamItem, its text, EndStreamItem.
inline void EndStreamItem(std::string& stream) {
  if (!stream.empty() && stream.back() != '\r') stream += '\r';
}

// True for the operator items of the stream.
inline bool IsOperator(std::string_view item) {
  return item == "AND" || item == "OR" || item == "SUB" || item == "NOT";
}

// A leaf item, decoded. Views point into the item's text.
struct LeafItem {
  enum Kind { kHistory, kText, kComparison, kValue } kind = kValue;
  std::string_view code;
  std::string_view text_kind;  // NEAR, ORDER or PARA
  std::string_view words;      // of a text item, as written
  int op = 0;                  // of a comparison item
  std::string_view operand;    // of a comparison, a value item's value, a reference's digits
  std::size_t history = 0;     // of a reference; 0 when its digits name no number
};

// Decodes a leaf item; false for an item that is no leaf (an operator, or text without a
// line feed).
bool DecodeLeaf(std::string_view item, LeafItem& leaf);

// The words of a text item: split at spaces outside quotes, quotes dropped.
std::vector<std::string> ItemWords(std::string_view words);

// The words of a highlight string ("words[CODE]words[CODE]..."), as (code, word) pairs;
// only codes in `codes` end an entry.
std::vector<std::pair<std::string, std::string>> HighlightTerms(
    std::string_view redkey, std::vector<std::string> const& codes);

// The items of a postfix stream, in order, without their CRs.
std::vector<std::string_view> StreamItems(std::string_view stream);

}  // namespace qel::expr

#endif  // QELSHARE_EXPRESSION_LEAF_ITEM_H_
