#include "expression/token_index.h"

#include <algorithm>
#include <climits>

namespace qel::expr {

Kind KindOf(std::string_view token) {
  if (token.size() == 1) {
    switch (token[0]) {
      case '(':
        return kLParen;
      case ')':
        return kRParen;
      case '[':
        return kLBracket;
      case ']':
        return kRBracket;
      case '/':
        return kSlash;
      case ',':
        return kComma;
      default:
        return kWord;
    }
  }
  if (token == "OR") return kOr;
  if (token == "SUB") return kSub;
  if (token == "AND") return kAnd;
  if (token == "NOT") return kNot;
  if (token == "DEFAULT") return kDefault;
  if (token == "NEAR") return kNear;
  if (token == "ORDER") return kOrder;
  if (token == "PARA") return kPara;
  return kWord;
}

namespace {

// Table slot of an indexed kind (one bit of kIndexedKinds).
int Slot(std::uint16_t bit) {
  switch (bit) {
    case kOr:
      return 0;
    case kSub:
      return 1;
    case kAnd:
      return 2;
    case kNot:
      return 3;
    case kDefault:
      return 4;
    default:
      return 5;  // kSlash
  }
}

// Whether a token of kind next may follow one of kind previous in a word chain.
constexpr bool Alternates(Kind previous, Kind next) {
  return (previous == kWord && next == kDefault) || (previous == kDefault && next == kWord);
}

std::uint64_t Key(int level, int n, int position) {
  return static_cast<std::uint64_t>(level + n + 1) << 32 | static_cast<std::uint32_t>(position);
}

}  // namespace

void TokenIndex::Build() {
  tables_ = std::make_unique<Tables>();
  Tables& t = *tables_;
  t.both.assign(n_ + 1, 0);
  t.chain.assign(n_, 1);
  t.paren.assign(n_ + 1, 0);
  t.open.assign(n_ + 1, 0);
  for (int i = 0; i < n_; ++i) {
    Kind k = pool_.kind[i];
    t.both[i + 1] = t.both[i] + Weight(k, Depth::kBoth);
    t.paren[i + 1] = t.paren[i] + Weight(k, Depth::kParen);
    t.open[i + 1] = t.open[i] + (k == kLParen);
    if (i > 0 && Alternates(pool_.kind[i - 1], k)) t.chain[i] = t.chain[i - 1] + 1;
    if (k & kIndexedKinds) {
      int slot = Slot(k);
      t.positions[slot].push_back(i);
      t.by_both[slot].push_back(Key(t.both[i], n_, i));
      t.by_paren[slot].push_back(Key(t.paren[i], n_, i));
    }
  }
  for (int slot = 0; slot < Tables::kKinds; ++slot) {
    std::sort(t.by_both[slot].begin(), t.by_both[slot].end());
    std::sort(t.by_paren[slot].begin(), t.by_paren[slot].end());
  }
  t.min_leaves = n_ + 1;
  t.min_tree.assign(2 * t.min_leaves, INT_MAX);
  for (int i = 0; i <= n_; ++i) t.min_tree[t.min_leaves + i] = t.both[i];
  for (int i = t.min_leaves - 1; i > 0; --i) {
    t.min_tree[i] = std::min(t.min_tree[2 * i], t.min_tree[2 * i + 1]);
  }
}

int TokenIndex::Nearest(std::uint16_t mask, Depth depth, int level, int a, int b,
                        bool rightmost) const {
  Tables const& t = *tables_;
  int best = -1;
  for (std::uint16_t bit = 1; bit <= kSlash; bit <<= 1) {
    if (!(mask & bit)) continue;
    int slot = Slot(bit);
    int found = -1;
    if (depth == Depth::kNone) {
      auto const& list = t.positions[slot];
      if (rightmost) {
        auto it = std::lower_bound(list.begin(), list.end(), static_cast<std::uint32_t>(b));
        if (it != list.begin() && static_cast<int>(*(it - 1)) >= a) found = *(it - 1);
      } else {
        auto it = std::lower_bound(list.begin(), list.end(), static_cast<std::uint32_t>(a));
        if (it != list.end() && static_cast<int>(*it) < b) found = *it;
      }
    } else {
      if (level < -n_ || level > n_) continue;  // no token has this level
      auto const& keys = depth == Depth::kBoth ? t.by_both[slot] : t.by_paren[slot];
      std::uint64_t level_bits = Key(level, n_, 0) >> 32;
      if (rightmost) {
        auto it = std::lower_bound(keys.begin(), keys.end(), Key(level, n_, b));
        if (it != keys.begin()) {
          std::uint64_t key = *(it - 1);
          int pos = static_cast<int>(key & 0xFFFFFFFFu);
          if ((key >> 32) == level_bits && pos >= a) found = pos;
        }
      } else {
        auto it = std::lower_bound(keys.begin(), keys.end(), Key(level, n_, a));
        if (it != keys.end()) {
          int pos = static_cast<int>(*it & 0xFFFFFFFFu);
          if ((*it >> 32) == level_bits && pos < b) found = pos;
        }
      }
    }
    if (found >= 0 && (best < 0 || (rightmost ? found > best : found < best))) best = found;
  }
  return best;
}

int TokenIndex::Find(std::uint16_t mask, Depth depth, int a, int b, int* count, bool rightmost) {
  if (b - a <= direct_limit_) {
    int c = *count;
    int hit = -1;
    for (int j = 0; j < b - a; ++j) {
      int i = rightmost ? b - 1 - j : a + j;
      Kind k = pool_.kind[i];
      c += Weight(k, depth);
      if ((k & mask) && (depth == Depth::kNone || c == 0)) {
        hit = i;
        break;
      }
    }
    *count = c;
    return hit;
  }
  if (!tables_) Build();
  // The count after token j (an operator, weight 0) is *count plus the weights of the
  // tokens scanned before it: 0 exactly when the prefix count before j equals
  // prefix(b) + *count (from the right) or prefix(a) - *count (from the left).
  int level = rightmost ? Prefix(depth, b) + *count : Prefix(depth, a) - *count;
  int hit = Nearest(mask, depth, level, a, b, rightmost);
  if (depth != Depth::kNone) *count += Prefix(depth, b) - Prefix(depth, a);
  return hit;
}

int TokenIndex::LowestCount(int start, int a, int b) {
  if (a >= b) return start;
  if (b - a <= direct_limit_) {
    int c = start;
    int low = INT_MAX;
    for (int j = a; j < b; ++j) {
      c += Weight(pool_.kind[j], Depth::kBoth);
      low = std::min(low, c);
    }
    return low;
  }
  if (!tables_) Build();
  Tables const& t = *tables_;
  // The count after token j is start + both[j + 1] - both[a]: minimum of both over
  // a + 1 .. b.
  int low = INT_MAX;
  for (int lo = a + 1 + t.min_leaves, hi = b + 1 + t.min_leaves; lo < hi; lo >>= 1, hi >>= 1) {
    if (lo & 1) low = std::min(low, t.min_tree[lo++]);
    if (hi & 1) low = std::min(low, t.min_tree[--hi]);
  }
  return start - t.both[a] + low;
}

int TokenIndex::CountOpenParens(int a, int b) {
  if (b - a <= direct_limit_) {
    int count = 0;
    for (int j = a; j < b; ++j) count += pool_.kind[j] == kLParen;
    return count;
  }
  if (!tables_) Build();
  return tables_->open[b] - tables_->open[a];
}

bool TokenIndex::IsWordChain(int a, int b) {
  if (b - a < 3 || (b - a) % 2 == 0 || pool_.kind[a] != kWord) return false;
  if (b - a <= direct_limit_) {
    for (int j = a + 1; j < b; ++j) {
      if (!Alternates(pool_.kind[j - 1], pool_.kind[j])) return false;
    }
    return true;
  }
  if (!tables_) Build();
  return tables_->chain[b - 1] >= b - a;
}

TokenView TokenView::Slice(int from, int to) const {
  TokenView out;
  int p = pre.size();
  int r = b - a;
  int q = post.size();
  for (int k = std::max(from, 0); k < std::min(to, p); ++k) out.pre.push_back(pre[k]);
  out.a = a + std::clamp(from - p, 0, r);
  out.b = a + std::clamp(to - p, 0, r);
  if (out.b < out.a) out.b = out.a;
  for (int k = std::clamp(from - p - r, 0, q); k < std::clamp(to - p - r, 0, q); ++k) {
    out.post.push_back(post[k]);
  }
  return out;
}

}  // namespace qel::expr
