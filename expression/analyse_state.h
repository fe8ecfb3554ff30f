// Working state of CAnalyseExpression that its public record does not show: registry
// look-up tables, the byte offset of every token, and the reason of the last rejection.
#ifndef QELSHARE_EXPRESSION_ANALYSE_STATE_H_
#define QELSHARE_EXPRESSION_ANALYSE_STATE_H_

#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include <unordered_map>
#include <utility>
#include <vector>
#include "expression/token_index.h"
#include "qelshare/CAnalyseExpression.h"

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

// Hashing that looks strings up by string_view, without building a std::string.
struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const {
    return std::hash<std::string_view>{}(text);
  }
};
using FieldMap = std::unordered_map<std::string, int, TextHash, std::equal_to<>>;

// A token list waiting to be built into the tree at *slot (see tree_builder.cpp).
struct BuildTask {
  TokenView list;
  tagEXP_NODE** slot;
  int chain;  // group fields being resolved on the way to this list, or -1
};

struct AnalyseState {
  // First registered field of each name and of each code.
  FieldMap first_by_name;
  FieldMap first_by_code;
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

  // Tree nodes released by Free wait here for the next analysis, their key buffers kept,
  // so that analysing a query allocates almost nothing once the object is warm. The
  // list is bounded: beyond it, nodes are deleted.
  static constexpr std::size_t kSpareNodes = 4096;
  std::vector<tagEXP_NODE*> spare_nodes;
  tagEXP_NODE* NewNode() {
    if (spare_nodes.empty()) return new tagEXP_NODE;
    tagEXP_NODE* node = spare_nodes.back();
    spare_nodes.pop_back();
    return node;
  }
  void Release(tagEXP_NODE* node) {
    if (spare_nodes.size() >= kSpareNodes) {
      delete node;
      return;
    }
    node->strKey.clear();
    node->pLeft = nullptr;
    node->pRight = nullptr;
    spare_nodes.push_back(node);
  }
  ~AnalyseState() {
    for (tagEXP_NODE* node : spare_nodes) delete node;
  }

  // Working buffers reused from one analysis to the next.
  std::vector<tagEXP_NODE*> walk;
  std::vector<std::pair<tagEXP_NODE*, bool>> postorder;
  std::deque<BuildTask> tasks;  // a deque: waiting lists never move as it grows
  TokenPool pool;
  // The extra tokens of the builder ("(", ")", "/", "," and every field name), kept
  // from one analysis to the next while the registry does not grow.
  TokenPool extras;

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
