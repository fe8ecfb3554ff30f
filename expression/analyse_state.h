// Working state of CAnalyseExpression that its public record does not show: registry
// look-up tables, the byte offset of every token, and the reason of the last rejection.
#ifndef QELSHARE_EXPRESSION_ANALYSE_STATE_H_
#define QELSHARE_EXPRESSION_ANALYSE_STATE_H_

#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include <unordered_map>
#include <utility>
#include <vector>
#include "expression/token_index.h"
#include "platform/memory/large_pages.h"
#include "qelshare/CAnalyseExpression.h"

namespace qel::expr {

// The C library's whitespace: space, tab, LF, VT, FF, CR. Never a byte of 0x80 or above.
constexpr bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// text without its trailing whitespace, where a trailing blank is removed only when it
// is a character of its own (not the trail byte of a two-byte character).
std::string_view TrimTrailingBlanks(std::string_view text);

// text without whitespace at either end (see TrimTrailingBlanks). Inline, because every
// token passes through it and almost none ends with a blank.
inline std::string_view TrimBlanks(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size() && IsBlank(text[begin])) ++begin;
  text.remove_prefix(begin);
  // A last byte that is no blank ends the text whatever character it belongs to.
  if (text.empty() || !IsBlank(text.back())) return text;
  return TrimTrailingBlanks(text);
}

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

// The node store of one CAnalyseExpression (see AnalyseState::nodes). Nodes are carved
// from chunks in order: a few small ones for everyday queries, then chunks of 2 MiB of
// large-page memory for the millions of nodes a megabyte of expression can need.
class NodeArena {
 public:
  NodeArena() = default;
  NodeArena(NodeArena const&) = delete;
  NodeArena& operator=(NodeArena const&) = delete;
  ~NodeArena() {
    while (!chunks_.empty()) DropLastChunk();
  }

  // A node with an empty key and no children.
  tagEXP_NODE* New() {
    if (chunk_ == chunks_.size() || pos_ == chunks_[chunk_].capacity) NextChunk();
    Chunk& chunk = chunks_[chunk_];
    tagEXP_NODE* node = chunk.nodes + pos_;
    if (pos_ == chunk.constructed) {
      new (node) tagEXP_NODE();
      ++chunk.constructed;
    } else {
      node->strKey.clear();
      node->pLeft = nullptr;
      node->pRight = nullptr;
    }
    ++pos_;
    ++live_;
    return node;
  }
  // No node is live any more (the owner holds no tree).
  void ReleaseAll() {
    live_ = 0;
    Rewind();
  }
  // With no node live, gives back the storage beyond the small chunks, so that one huge
  // expression does not keep its memory for the object's lifetime.
  void Trim() {
    if (live_ != 0) return;
    Rewind();
    while (chunks_.size() > kSmallChunks) DropLastChunk();
  }

 private:
  struct Chunk {
    tagEXP_NODE* nodes;
    std::size_t capacity;
    std::size_t constructed;  // nodes built so far (they are reused, never rebuilt)
  };
  static constexpr std::size_t kSmallNodes = 512;
  static constexpr std::size_t kSmallChunks = 8;
  static constexpr std::size_t kLargeNodes = (std::size_t{2} << 20) / sizeof(tagEXP_NODE);

  void Rewind() {
    chunk_ = 0;
    pos_ = 0;
  }
  void NextChunk() {
    if (chunk_ < chunks_.size()) {
      ++chunk_;
      pos_ = 0;
    }
    if (chunk_ < chunks_.size()) return;
    std::size_t capacity = chunks_.size() < kSmallChunks ? kSmallNodes : kLargeNodes;
    void* block = memory::AllocateLarge(capacity * sizeof(tagEXP_NODE));
    chunks_.push_back(Chunk{static_cast<tagEXP_NODE*>(block), capacity, 0});
  }
  void DropLastChunk() {
    Chunk& chunk = chunks_.back();
    for (std::size_t i = 0; i < chunk.constructed; ++i) chunk.nodes[i].~tagEXP_NODE();
    memory::FreeLarge(chunk.nodes, chunk.capacity * sizeof(tagEXP_NODE));
    chunks_.pop_back();
  }

  std::vector<Chunk> chunks_;
  std::size_t chunk_ = 0;  // chunk of the next node
  std::size_t pos_ = 0;    // its place in that chunk
  std::size_t live_ = 0;   // nodes handed out and not yet released
};

// A token list waiting to be built into the tree at *slot (see tree_builder.cpp).
// With field >= 0, the list is already the group of that field (its qualifier resolved),
// and the task stands for `steps` steps of the builder's budget; with enclosed, the group
// stood inside a pair of brackets that were taken off.
struct BuildTask {
  TokenView list;
  tagEXP_NODE** slot;
  int chain;  // group fields being resolved on the way to this list, or -1
  int field = -1;
  int steps = 1;
  bool enclosed = false;
};

// The routes an analysis may take to the output the general route gives. Each is on by
// default; a test turns one off, or moves the limit, to check that the outputs agree.
struct Routes {
  // Operands without a qualifier, and expressions of plain words, go straight to the
  // default field's text fields (AnalyseState::default_fields).
  bool default_shortcuts = true;
  // The operands of a bracketed group qualified by a field go straight to that field
  // when the general route would only bring them back to it (QualifiedOperands).
  bool operand_shortcuts = true;
  // Token ranges up to this long are scanned directly; longer ones use the token index.
  int direct_scan_limit = kDirectScanLimit;
};

struct AnalyseState {
  Routes routes;
  // First registered field of each name and of each code.
  FieldMap first_by_name;
  // Per registered field: whether it is the first of its name (the one look-ups find).
  std::vector<char> first_of_name;
  FieldMap first_by_code;
  // Per registered field: the first field of the same name.
  std::vector<int> first_named;
  // Per group field: its member fields, each the first field of its code (-1 for a code
  // no field has), in the order of the group's code; filled when a field list first
  // names the group, cleared when a field is registered.
  std::vector<std::vector<int>> members;
  // Index of the first field of type s (the default field), or -1.
  int default_field = -1;
  // The fields the default field's name resolves to, when that resolution cannot fail
  // and leads only to text fields (types S and F) whose names are plain words: then an
  // operand without a qualifier goes straight to those fields, without a field list to
  // resolve. Empty when that does not hold; worked out again after AddField.
  std::vector<int> default_fields;
  bool default_fields_known = false;

  // The pieces the lexer cut the expression into, in text order, each with its byte
  // offset in the expression (filled by CreateKeyTree, read by MakeKeyStream). They are
  // views into the expression, which outlives the analysis.
  memory::LargeVector<std::pair<std::string_view, int>> pieces;

  // Field list resolution: the offset of each entry of the list being checked, the
  // group fields being resolved on the current path (a chain of (field, parent) links,
  // -1 for none) and the group fields the last CheckField expanded.
  std::vector<int> field_offsets;
  std::vector<std::pair<int, int>> chain_links;
  int chain = -1;
  std::vector<int> expanded_groups;
  // The first field of each distinct name the last CheckField collected, in order.
  std::vector<int> collected;

  std::string error;
  // The words of an expression AnalysePlainWords takes.
  std::vector<std::string_view> plain_words;

  // Every tree node of the object lives here: nodes are carved from chunks and handed
  // out in order, and once no node is live (Free released every tree) the next node is
  // carved from the start again, its key buffer kept. Analysing a query then allocates
  // almost nothing once the object is warm, and a tree of millions of nodes costs no
  // allocation per node.
  NodeArena nodes;

  // Working buffers reused from one analysis to the next.
  memory::LargeVector<std::pair<tagEXP_NODE*, bool>> postorder;
  memory::LargeVector<BuildTask> tasks;
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
    if (tasks.capacity() > kKept) decltype(tasks)().swap(tasks);
    if (postorder.capacity() > kKept) decltype(postorder)().swap(postorder);
    if (pieces.capacity() > kKept) decltype(pieces)().swap(pieces);
    if (pool.text.capacity() > kKept) {
      pool = TokenPool();
      pool_is_stream = false;
    }
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

// Test seam: the routes of one analyser, so that a test can compare each shortcut with
// the general route on the same expression.
struct Seams {
  static void SetRoutes(CAnalyseExpression& analyser, Routes routes) {
    analyser.m_pState->routes = routes;
    analyser.m_pState->default_fields_known = false;  // worked out again by the new routes
  }
};

// " at byte N" for a known offset, or nothing.
std::string AtByte(int offset);

}  // namespace qel::expr

#endif  // QELSHARE_EXPRESSION_ANALYSE_STATE_H_
