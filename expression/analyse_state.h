// Working state of CAnalyseExpression that its public record does not show: registry
// look-up tables, the byte offset of every token, and the reason of the last rejection.
#ifndef QELSHARE_EXPRESSION_ANALYSE_STATE_H_
#define QELSHARE_EXPRESSION_ANALYSE_STATE_H_

#include <functional>
#include <memory>
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

// The node store of one CAnalyseExpression (see AnalyseState::nodes).
class NodeArena {
 public:
  // A node with an empty key and no children.
  tagEXP_NODE* New() {
    if (used_ == chunks_.size() * kChunk) {
      chunks_.push_back(std::make_unique<tagEXP_NODE[]>(kChunk));
    }
    tagEXP_NODE* node = &chunks_[used_ / kChunk][used_ % kChunk];
    ++used_;
    ++live_;
    node->strKey.clear();
    node->pLeft = nullptr;
    node->pRight = nullptr;
    return node;
  }
  // count nodes were released; when none is left, storage is reused from the start.
  void Released(std::size_t count) {
    live_ = count < live_ ? live_ - count : 0;
    if (live_ == 0) used_ = 0;
  }
  // No node is live any more (the owner holds no tree).
  void ReleaseAll() { live_ = used_ = 0; }
  // With no node live, gives back the storage beyond a small reserve, so that one huge
  // expression does not keep its memory for the object's lifetime.
  void Trim() {
    if (live_ == 0 && chunks_.size() > kKeptChunks) chunks_.resize(kKeptChunks);
  }

 private:
  static constexpr std::size_t kChunk = 512;
  static constexpr std::size_t kKeptChunks = 8;
  std::vector<std::unique_ptr<tagEXP_NODE[]>> chunks_;
  std::size_t used_ = 0;  // nodes handed out since the store was last empty
  std::size_t live_ = 0;  // of those, not yet released
};

// A token list waiting to be built into the tree at *slot (see tree_builder.cpp).
struct BuildTask {
  TokenView list;
  tagEXP_NODE** slot;
  int chain;  // group fields being resolved on the way to this list, or -1
};

struct AnalyseState {
  // First registered field of each name and of each code.
  FieldMap first_by_name;
  // Per registered field: whether it is the first of its name (the one look-ups find).
  std::vector<char> first_of_name;
  FieldMap first_by_code;
  // Index of the first field of type s (the default field), or -1.
  int default_field = -1;

  // Byte offsets, in the expression, of the key tree's nodes in text order (filled by
  // CreateKeyTree, read by MakeKeyStream).
  std::vector<int> node_offsets;
  std::size_t node_cursor = 0;

  // Field list resolution: the offset of each entry of the list being checked, the
  // group fields being resolved on the current path (a chain of (field, parent) links,
  // -1 for none) and the group fields the last CheckField expanded.
  std::vector<int> field_offsets;
  std::vector<std::pair<int, int>> chain_links;
  int chain = -1;
  std::vector<int> expanded_groups;

  std::string error;

  // Every tree node of the object lives here: nodes are carved from chunks and handed
  // out in order, and once no node is live (Free released every tree) the next node is
  // carved from the start again, its key buffer kept. Analysing a query then allocates
  // almost nothing once the object is warm, and a tree of millions of nodes costs no
  // allocation per node.
  NodeArena nodes;

  // Working buffers reused from one analysis to the next.
  std::vector<tagEXP_NODE*> walk;
  std::vector<std::pair<tagEXP_NODE*, bool>> postorder;
  std::vector<BuildTask> tasks;
  // The tokens the builder reads: while pool_is_stream holds, exactly the tokens of
  // m_arrKeyStream (texts in the array's storage, their kinds and byte offsets), kept in
  // step by MakeKeyStream and the NOT rewrite; then come the builder's extra tokens.
  TokenPool pool;
  bool pool_is_stream = false;
  // The extra tokens of the builder ("(", ")", "/", "," and every field name), kept
  // from one analysis to the next while the registry does not grow.
  TokenPool extras;

  // After an analysis: gives back the memory of buffers a huge expression grew, so that
  // it does not stay with the object; the usual small sizes are kept for reuse.
  void TrimBuffers() {
    nodes.Trim();
    constexpr std::size_t kKept = 4096;
    if (tasks.capacity() > kKept) std::vector<BuildTask>().swap(tasks);
    if (walk.capacity() > kKept) std::vector<tagEXP_NODE*>().swap(walk);
    if (postorder.capacity() > kKept) decltype(postorder)().swap(postorder);
  }

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
