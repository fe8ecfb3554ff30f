// Token lists of the expression tree builder, without copies.
//
// The builder cuts token lists at operators and rewrites the pieces (adding brackets, a
// field qualifier, field names). A TokenView stands for such a list: a few extra tokens,
// then a range of the shared token stream, then a few more extra tokens. Tokens are ids
// into one TokenPool: the stream's tokens first, then the extra tokens (brackets, "/",
// "," and one entry per registered field name).
//
// The builder's scans ask, for a range of the stream, "the rightmost (leftmost) operator
// of these kinds whose bracket depth is 0 when counted from this end". TokenIndex answers
// by scanning short ranges and, for long ones, by binary search in per-kind tables sorted
// by bracket level, so that cutting a long chain of operands costs a logarithmic time per
// cut instead of a scan of the whole chain.
#ifndef QELSHARE_EXPRESSION_TOKEN_INDEX_H_
#define QELSHARE_EXPRESSION_TOKEN_INDEX_H_

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/memory/large_pages.h"

namespace qel::expr {

// Kinds of tokens the builder looks for, as bits so that scans take sets of kinds.
enum Kind : std::uint16_t {
  kWord = 0,
  kOr = 1 << 0,
  kSub = 1 << 1,
  kAnd = 1 << 2,
  kNot = 1 << 3,
  kDefault = 1 << 4,
  kSlash = 1 << 5,
  kLParen = 1 << 6,
  kRParen = 1 << 7,
  kLBracket = 1 << 8,
  kRBracket = 1 << 9,
  kComma = 1 << 10,
  kNear = 1 << 11,
  kOrder = 1 << 12,
  kPara = 1 << 13,
};

// The kinds the index keeps tables for; scans with a depth look only for these.
inline constexpr std::uint16_t kIndexedKinds = kOr | kSub | kAnd | kNot | kDefault | kSlash;

// The kind of a token, compared exactly and with case.
Kind KindOf(std::string_view token);

// How brackets count in a scan: not at all, "(" "[" +1 and ")" "]" -1, or only "(" ")".
enum class Depth { kNone, kBoth, kParen };

// How a token of this kind changes the running bracket count of a scan.
constexpr int Weight(Kind kind, Depth depth) {
  switch (depth) {
    case Depth::kNone:
      return 0;
    case Depth::kBoth:
      if (kind == kLParen || kind == kLBracket) return 1;
      if (kind == kRParen || kind == kRBracket) return -1;
      return 0;
    case Depth::kParen:
      return kind == kLParen ? 1 : kind == kRParen ? -1 : 0;
  }
  return 0;
}

// Ranges up to this many tokens are scanned directly; longer ones use the index (the
// direct scan wins below it, measured on the parse mix).
inline constexpr int kDirectScanLimit = 48;

// The tokens of one analysis: the stream, then the extra tokens.
class TokenPool {
 public:
  memory::LargeVector<std::string_view> text;
  memory::LargeVector<Kind> kind;
  memory::LargeVector<int> offset;  // byte offset in the expression, -1 for extra tokens

  // Adds a token (its text must outlive the pool's use) of a known kind.
  void Add(std::string_view token, Kind token_kind, int byte_offset) {
    text.push_back(token);
    kind.push_back(token_kind);
    offset.push_back(byte_offset);
  }
  void Add(std::string_view token, int byte_offset) { Add(token, KindOf(token), byte_offset); }
  void Clear() {
    text.clear();
    kind.clear();
    offset.clear();
  }
};

// Answers scans over ranges [a, b) of the stream (ids 0..n-1 of the pool).
class TokenIndex {
 public:
  // Ranges up to direct_limit tokens are scanned directly, longer ones through the index.
  TokenIndex(TokenPool const& pool, int n, int direct_limit)
      : pool_(pool), n_(n), direct_limit_(direct_limit) {}

  // Scanning [a, b) from its last token to its first (rightmost) or from its first to its
  // last, with the running count starting at *count: the first token met of one of the
  // kinds in mask whose count (itself included) is 0, or any token of those kinds for
  // Depth::kNone. Returns its id or -1; when it finds none, *count is left as it stands
  // after the whole range (after a match it is unspecified). mask holds indexed kinds
  // only.
  int Find(std::uint16_t mask, Depth depth, int a, int b, int* count, bool rightmost);
  // Scanning [a, b) from its first token with the count (both bracket kinds) starting at
  // start: the least count reached after any token. `start` for an empty range.
  int LowestCount(int start, int a, int b);
  // Number of "(" tokens in [a, b).
  int CountOpenParens(int a, int b);
  // Whether [a, b) is a word chain: words (kind kWord) alternating with DEFAULT, a word at
  // each end, at least two words.
  bool IsWordChain(int a, int b);

 private:
  void Build();
  int Prefix(Depth depth, int i) const {
    return depth == Depth::kBoth ? tables_->both[i] : tables_->paren[i];
  }
  int Nearest(std::uint16_t mask, Depth depth, int level, int a, int b, bool rightmost) const;

  // The tables, built on the first question about a long range (most analyses never ask
  // one, and then build nothing).
  struct Tables {
    // Running counts before token i (i = 0..n): both bracket kinds, parentheses only, and
    // the number of "(" tokens.
    memory::LargeVector<int> both, paren, open;
    // Per indexed kind: positions in order, and keys (level << 32 | position) sorted,
    // where level is the running count before the token, for both depth modes.
    static constexpr int kKinds = 6;
    memory::LargeVector<std::uint32_t> positions[kKinds];
    memory::LargeVector<std::uint64_t> by_both[kKinds], by_paren[kKinds];
    // Per token: the length of the longest run of alternating words and DEFAULTs ending
    // with it.
    memory::LargeVector<int> chain;
    // Minimum tree over both for LowestCount.
    memory::LargeVector<int> min_tree;
    int min_leaves = 0;
  };

  TokenPool const& pool_;
  int n_;
  int direct_limit_;
  std::unique_ptr<Tables> tables_;
};

// A small list of token ids held inline (spilling to the heap when long). It is kept
// small (24 bytes) because a long expression can have a million lists waiting at once.
class IdList {
 public:
  IdList() = default;
  IdList(IdList const& other) { *this = other; }
  IdList(IdList&& other) noexcept { *this = std::move(other); }
  IdList& operator=(IdList const& other) {
    if (this != &other) {
      Clear();
      for (int i = 0; i < other.size(); ++i) push_back(other[i]);
    }
    return *this;
  }
  IdList& operator=(IdList&& other) noexcept {
    if (this != &other) {
      Clear();
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, kInline);
      if (capacity_ > kInline) {
        heap_ = other.heap_;
      } else {
        for (int i = 0; i < size_; ++i) inline_[i] = other.inline_[i];
      }
    }
    return *this;
  }
  ~IdList() { Clear(); }

  int size() const { return size_; }
  bool empty() const { return size_ == 0; }
  int operator[](int i) const { return data()[i]; }
  void push_back(int id) {
    if (size_ == capacity_) Grow();
    (capacity_ > kInline ? heap_ : inline_)[size_++] = id;
  }
  void push_front(int id) {
    IdList moved;
    moved.push_back(id);
    for (int i = 0; i < size_; ++i) moved.push_back((*this)[i]);
    *this = std::move(moved);
  }

 private:
  static constexpr int kInline = 4;
  int const* data() const { return capacity_ > kInline ? heap_ : inline_; }
  void Clear() {
    if (capacity_ > kInline) delete[] heap_;
    size_ = 0;
    capacity_ = kInline;
  }
  void Grow() {
    int capacity = capacity_ * 2;
    int* grown = new int[capacity];
    for (int i = 0; i < size_; ++i) grown[i] = data()[i];
    if (capacity_ > kInline) delete[] heap_;
    heap_ = grown;
    capacity_ = capacity;
  }

  int size_ = 0;
  int capacity_ = kInline;
  union {
    int inline_[kInline] = {};
    int* heap_;
  };
};

// A token list: pre, then the stream range [a, b), then post.
struct TokenView {
  IdList pre;
  int a = 0;
  int b = 0;
  IdList post;

  int size() const { return pre.size() + (b - a) + post.size(); }
  int At(int k) const {
    if (k < pre.size()) return pre[k];
    k -= pre.size();
    if (k < b - a) return a + k;
    return post[k - (b - a)];
  }
  // Positions [from, to) of this list.
  TokenView Slice(int from, int to) const;
};

}  // namespace qel::expr

#endif  // QELSHARE_EXPRESSION_TOKEN_INDEX_H_
