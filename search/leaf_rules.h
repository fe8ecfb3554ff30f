// How a leaf of the postfix stream matches a field value, and where a search's words lie
// in a value: the rules every library kind applies, whether it scans records or checks
// the candidates of an index.
//
//   word          the word occurs in the value (as GBK characters: a word never matches
//                 from the trail byte of a character)
//   NEAR          every word occurs, all within kNearDistance characters of each other,
//                 counted from the end of the earliest-ending word to the start of the
//                 latest-starting one
//   ORDER         the words occur in the order given, each starting after the end of the
//                 one before and at most kNearDistance characters after it
//   PARA          every word occurs on one line (LF-separated) of the value
//   comparison    the value against the operand as numbers when both are numbers (blanks
//                 around them allowed), else as text in the library's collation
//   value         the value equals the operand byte for byte
// Double quotes around a word are dropped; a quoted word may hold spaces.
#ifndef QELSHARE_SEARCH_LEAF_RULES_H_
#define QELSHARE_SEARCH_LEAF_RULES_H_

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "expression/leaf_item.h"
#include "qelshare/record.h"

namespace qel::search {

inline constexpr int kNearDistance = 10;

// One side of a comparison, read once: its text, and its number when it is one.
struct Bound {
  std::string_view text;
  bool numeric = false;
  double number = 0;
};
Bound MakeBound(std::string_view text);

// The operands of a comparison item, read once: one bound, or the two ends of an interval
// (none when an interval's operand has no comma).
struct Comparison {
  int op = 0;
  bool valid = true;
  Bound low, high;
};
Comparison MakeComparison(int op, std::string_view operand);
bool Matches(Comparison const& comparison, std::string_view value);

// A leaf ready to match values: the item decoded, its words split and its operands read
// once.
struct Leaf {
  expr::LeafItem item;
  std::vector<std::string> words;  // of a text item
  Comparison comparison;           // of a comparison item
};
Leaf MakeLeaf(expr::LeafItem const& item);

bool MatchText(std::string_view kind, std::vector<std::string> const& words,
               std::string_view value);

// An occurrence of word number word of a leaf in a value, in characters from its start.
struct Occurrence {
  int start, end, word;
};
// The NEAR and ORDER rules over every occurrence of each of words words in a value,
// ordered by start (words starting at one character in the order of words): the same
// answers as MatchText, from occurrences found any way (by reading the value, or from an
// index's positions).
bool NearOccurrences(std::span<Occurrence const> hits, std::size_t words);
bool OrderOccurrences(std::span<Occurrence const> hits, std::size_t words);
bool MatchComparison(int op, std::string_view operand, std::string_view value);
// The rule of the leaf's kind (a reference matches no value).
bool Match(Leaf const& leaf, std::string_view value);

// Where the words lie in a value: at each character the longest word that starts there,
// the scan going on after it; spans in value order.
std::vector<Span> WordSpans(std::string_view value, std::vector<std::string> const& words);

}  // namespace qel::search

#endif  // QELSHARE_SEARCH_LEAF_RULES_H_
