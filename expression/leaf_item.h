// The leaf items of the postfix stream, written by the tree builder and read by searches:
// the one place that knows their text.
//
//   "#" LF digits              a numbered reference to an earlier result
//   code LF kind LF words      a text item, kind "NEAR", "ORDER" or "PARA"; words are
//                              separated by spaces, a quoted word keeps its quotes and
//                              may hold spaces (and line feeds)
//   code LF op LF operand      a comparison item, op one digit: 0 = 1 > 2 >= 3 < 4 <= 5 <>,
//                              6 (a,b) 7 (a,b] 8 [a,b) 9 [a,b]; an interval's operand is
//                              "low,high"
//   code LF value              a value item
#ifndef QELSHARE_EXPRESSION_LEAF_ITEM_H_
#define QELSHARE_EXPRESSION_LEAF_ITEM_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace qel::expr {

// What follows the code of a text item, up to its words.
inline constexpr std::string_view kNearHead = "\nNEAR\n";
inline constexpr std::string_view kOrderHead = "\nORDER\n";
inline constexpr std::string_view kParaHead = "\nPARA\n";
// What starts a numbered reference, before its digits.
inline constexpr std::string_view kHistoryHead = "#\n";

// Appends the part of a comparison item after its code: LF op LF (the operand follows).
inline void AppendComparisonHead(std::string& item, int op) {
  item += '\n';
  item += static_cast<char>('0' + op);
  item += '\n';
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

}  // namespace qel::expr

#endif  // QELSHARE_EXPRESSION_LEAF_ITEM_H_
