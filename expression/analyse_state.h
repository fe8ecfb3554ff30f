// Working state of CAnalyseExpression that its public record does not show: registry
// look-up tables, the byte offset of every token, and the reason of the last rejection.
#ifndef QELSHARE_EXPRESSION_ANALYSE_STATE_H_
#define QELSHARE_EXPRESSION_ANALYSE_STATE_H_

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qel::expr {

// The C library's whitespace: space, tab, LF, VT, FF, CR. Never a byte of 0x80 or above.
constexpr bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// text without whitespace at either end; a trailing blank is removed only when it is a
// character of its own (not the trail byte of a two-byte character).
std::string_view TrimBlanks(std::string_view text);

// True for group field type letters: s, f, n, d, y.
constexpr bool IsGroupType(unsigned char t) {
  return t == 's' || t == 'f' || t == 'n' || t == 'd' || t == 'y';
}

struct AnalyseState {
  // First registered field of each name and of each code.
  std::unordered_map<std::string, int> first_by_name;
  std::unordered_map<std::string, int> first_by_code;
  // Index of the first field of type s (the default field), or -1.
  int default_field = -1;

  // Byte offsets, in the expression, of the key tree's nodes in text order (filled by
  // CreateKeyTree) and of each token of the key stream (filled by MakeKeyStream).
  std::vector<int> node_offsets;
  std::size_t node_cursor = 0;
  std::vector<int> key_offsets;

  // Field list resolution: the offset of each entry of the list being checked, the
  // group fields being resolved on the current path (a chain of (field, parent) links,
  // -1 for none) and the group fields the last CheckField expanded.
  std::vector<int> field_offsets;
  std::vector<std::pair<int, int>> chain_links;
  int chain = -1;
  std::vector<int> expanded_groups;

  std::string error;

  // Records the reason of a rejection (the first one stands).
  void Fail(std::string message) {
    if (error.empty()) error = std::move(message);
  }
  bool InChain(int field) const {
    for (int link = chain; link >= 0; link = chain_links[link].second) {
      if (chain_links[link].first == field) return true;
    }
    return false;
  }
};

// " at byte N" for a known offset, or nothing.
std::string AtByte(int offset);

}  // namespace qel::expr

#endif  // QELSHARE_EXPRESSION_ANALYSE_STATE_H_
