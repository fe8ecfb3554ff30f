// The expression tree builder of CAnalyseExpression: cuts the token stream into a tree of
// set operators over encoded leaf items, resolving field qualifiers on the way.
//
// The grammar is decided by splitting: each list of tokens is searched for the operator
// at which to cut it (Boolean operators by precedence, then the field qualifier, then the
// operators inside one field), and the pieces, often rewritten, are built in turn. The
// pieces are TokenViews over the shared stream, never copies, and they wait on an
// explicit stack instead of the call stack: left pieces are built before right ones, so
// leaves (and their highlight entries) come in the same order as a depth-first descent.
#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "expression/analyse_state.h"
#include "expression/leaf_item.h"
#include "expression/token_index.h"
#include "platform/text/mbcs.h"
#include "qelshare/CAnalyseExpression.h"
#include "qelshare/CPublicFun.h"

namespace qel::expr {

class TreeBuilder {
 public:
  TreeBuilder(CAnalyseExpression& owner, CStringArr& tokens);
  int Build(tagEXP_NODE*& root);

 private:
  using Task = BuildTask;

  bool Process(Task task);
  bool Qualified(TokenView group, int field, tagEXP_NODE** slot, bool enclosed = false);
  bool QualifiedOperands(TokenView const& inner, int k, std::uint16_t mask, int field,
                         bool balanced, tagEXP_NODE** slot);
  bool NamesItself(int field) const;
  bool DefaultFields(TokenView group, tagEXP_NODE** slot);
  bool DefaultWord(int id, tagEXP_NODE** slot);
  // Takes steps from the budget; false (the expression rejected) when it runs out.
  bool Spend(int steps) {
    budget_ -= steps;
    return budget_ >= 0 || Reject("the expression is too complex to analyse");
  }
  bool TextGroup(TokenView const& group, int field, tagEXP_NODE** slot);
  bool TextLeaf(TokenView const& group, int field, tagEXP_NODE** slot);
  void WordChain(TokenView const& group, int field, tagEXP_NODE** slot);
  void WordLeaf(int id, int field, tagEXP_NODE** slot);
  void HighlightWord(int id, int field);
  bool CheckOuterBrackets(TokenView const& list, bool* strip);

  using Passes = std::array<std::uint16_t, 3>;
  int Cut(TokenView const& list, Passes const& passes, Depth depth, bool rightmost,
          std::uint16_t* pass);
  int Find(TokenView const& list, std::uint16_t mask, Depth depth, bool rightmost);
  int CountOpenParens(TokenView const& list);

  tagEXP_NODE* NewNode(tagEXP_NODE** slot, std::string_view key) {
    tagEXP_NODE* node = state_.nodes.New();
    node->strKey.append(key);  // the key is empty, its buffer reused
    *slot = node;
    return node;
  }
  void Push(TokenView list, tagEXP_NODE** slot, int chain) {
    stack_.push_back(Task{std::move(list), slot, chain});
  }
  std::string_view Text(int id) const { return pool_.text[id]; }
  int FieldId(int field) const { return field_base_ + field; }
  std::string_view FieldName(int field) { return owner_.m_arrFieldName.Get(field); }
  std::string_view FieldCode(int field) { return owner_.m_arrFieldCode.Get(field); }
  // Byte offset of the token at position k of list, or of the nearest stream token.
  int OffsetAt(TokenView const& list, int k) const;
  bool Reject(std::string message) {
    state_.Fail(std::move(message));
    return false;
  }

  CAnalyseExpression& owner_;
  AnalyseState& state_;
  TokenPool& pool_;
  memory::LargeVector<Task>& stack_;
  int n_;
  int lparen_, rparen_, slash_, comma_, field_base_;
  TokenIndex index_;
  CStringArr field_list_;
  long long budget_ = 0;
  std::vector<tagEXP_NODE**> field_slots_;
};

namespace {

// The Boolean operators by how loosely they bind: OR and SUB, then AND, then NOT.
constexpr std::array<std::uint16_t, 3> kBooleanPasses = {kOr | kSub, kAnd, kNot};

std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '\'';
  quoted += text;
  quoted += '\'';
  return quoted;
}

// " (byte N)" for a known offset, or nothing.
std::string ByteNote(int offset) {
  return offset < 0 ? std::string() : " (byte " + std::to_string(offset) + ")";
}

// Removes every leading copy of `first` and every trailing copy of `last`, the trailing
// ones only where they are whole characters.
std::string_view StripEnds(std::string_view text, char first, char last) {
  // A last byte other than `last` ends a character other than `last`.
  if (text.empty() || (text.front() != first && text.back() != last)) return text;
  std::size_t begin = 0;
  while (begin < text.size() && text[begin] == first) ++begin;
  std::size_t end = begin;
  for (std::size_t i = begin; i < text.size();) {
    std::size_t len = text::CharLength(text, i);
    if (len == 2 || text[i] != last) end = i + len;
    i += len;
  }
  return text.substr(begin, end - begin);
}

// The last character of text when it is a single byte, else 0.
char LastSingleByte(std::string_view text) {
  std::size_t last = text::npos;
  for (std::size_t i = 0; i < text.size(); i += text::CharLength(text, i)) last = i;
  if (last == text::npos || text::CharLength(text, last) != 1) return 0;
  return text[last];
}

std::string TypeName(unsigned char type) {
  if (type > 32 && type < 127) return Quoted(std::string(1, static_cast<char>(type)));
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02X", type);
  return hex;
}

}  // namespace

TreeBuilder::TreeBuilder(CAnalyseExpression& owner, CStringArr& tokens)
    : owner_(owner),
      state_(*owner.m_pState),
      pool_(state_.pool),
      stack_(state_.tasks),
      n_(tokens.GetSize()),
      index_(pool_, n_, state_.routes.direct_scan_limit) {
  int fields = owner.m_arrFieldName.GetSize();
  bool from_stream = state_.pool_is_stream && &tokens == &owner.m_arrKeyStream &&
                     pool_.text.size() >= static_cast<std::size_t>(n_);
  if (from_stream) {
    // The pool holds the stream's tokens already; drop the extras of an earlier build.
    pool_.text.resize(n_);
    pool_.kind.resize(n_);
    pool_.offset.resize(n_);
  } else {
    state_.pool_is_stream = false;
    pool_.Clear();
    for (int i = 0; i < n_; ++i) {
      char const* token = tokens.Get(i);
      pool_.Add(token == nullptr ? std::string_view() : token, -1);
    }
  }
  TokenPool& extras = state_.extras;
  if (extras.text.size() != static_cast<std::size_t>(4 + fields)) {
    extras = TokenPool();
    extras.Add("(", -1);
    extras.Add(")", -1);
    extras.Add("/", -1);
    extras.Add(",", -1);
    for (int f = 0; f < fields; ++f) {
      char const* name = owner.m_arrFieldName.Get(f);
      extras.Add(name == nullptr ? std::string_view() : name, -1);
    }
  }
  lparen_ = n_;
  rparen_ = n_ + 1;
  slash_ = n_ + 2;
  comma_ = n_ + 3;
  field_base_ = n_ + 4;
  pool_.text.insert(pool_.text.end(), extras.text.begin(), extras.text.end());
  pool_.kind.insert(pool_.kind.end(), extras.kind.begin(), extras.kind.end());
  pool_.offset.insert(pool_.offset.end(), extras.offset.begin(), extras.offset.end());
}

int TreeBuilder::OffsetAt(TokenView const& list, int k) const {
  if (k >= 0 && k < list.size() && pool_.offset[list.At(k)] >= 0) {
    return pool_.offset[list.At(k)];
  }
  for (int j = 0; j < list.size(); ++j) {
    if (pool_.offset[list.At(j)] >= 0) return pool_.offset[list.At(j)];
  }
  return -1;
}

// The rightmost (or leftmost) token of list of the kinds in mask at bracket depth 0 (any
// depth for Depth::kNone), counted from that end; its position or -1.
int TreeBuilder::Find(TokenView const& list, std::uint16_t mask, Depth depth, bool rightmost) {
  int count = 0;
  int range_at = list.pre.size();
  int post_at = range_at + (list.b - list.a);
  // Scans extra tokens that stand at position `at` of the list, in the scan's direction.
  auto scan = [&](IdList const& ids, int at) {
    for (int j = 0; j < ids.size(); ++j) {
      int k = rightmost ? ids.size() - 1 - j : j;
      Kind kind = pool_.kind[ids[k]];
      count += Weight(kind, depth);
      if ((kind & mask) && (depth == Depth::kNone || count == 0)) return at + k;
    }
    return -1;
  };
  if (int k = rightmost ? scan(list.post, post_at) : scan(list.pre, 0); k >= 0) return k;
  int hit = index_.Find(mask, depth, list.a, list.b, &count, rightmost);
  if (hit >= 0) return range_at + (hit - list.a);
  return rightmost ? scan(list.pre, 0) : scan(list.post, post_at);
}

int TreeBuilder::CountOpenParens(TokenView const& list) {
  int count = index_.CountOpenParens(list.a, list.b);
  for (int k = 0; k < list.pre.size(); ++k) count += pool_.kind[list.pre[k]] == kLParen;
  for (int k = 0; k < list.post.size(); ++k) count += pool_.kind[list.post[k]] == kLParen;
  return count;
}

// The operator to cut list at: of the three passes (disjoint sets of indexed kinds), the
// first that has an operator at bracket depth 0 (anywhere, for Depth::kNone), and of that
// pass the rightmost or the leftmost one. Returns its position and sets *pass to the
// pass's kinds, or returns -1. A short list is scanned once for all three passes.
int TreeBuilder::Cut(TokenView const& list, Passes const& passes, Depth depth, bool rightmost,
                     std::uint16_t* pass) {
  int n = list.size();
  if (n > state_.routes.direct_scan_limit) {
    for (std::uint16_t mask : passes) {
      int k = Find(list, mask, depth, rightmost);
      if (k >= 0) {
        *pass = mask;
        return k;
      }
    }
    return -1;
  }
  std::uint16_t any = passes[0] | passes[1] | passes[2];
  int found[3] = {-1, -1, -1};
  int count = 0;
  bool plain = list.pre.empty() && list.post.empty();
  for (int j = 0; j < n; ++j) {
    int k = rightmost ? n - 1 - j : j;
    Kind kind = pool_.kind[plain ? list.a + k : list.At(k)];
    count += Weight(kind, depth);
    if (!(kind & any) || (depth != Depth::kNone && count != 0)) continue;
    if (kind & passes[0]) {
      *pass = passes[0];
      return k;
    }
    int p = kind & passes[1] ? 1 : 2;
    if (found[p] < 0) found[p] = k;
  }
  for (int p = 1; p < 3; ++p) {
    if (found[p] >= 0) {
      *pass = passes[p];
      return found[p];
    }
  }
  return -1;
}

// For a list that starts with "(" and ends with ")": false when the brackets are
// unbalanced; else *strip tells whether the two enclose the whole list (rather than the
// first one closing early).
bool TreeBuilder::CheckOuterBrackets(TokenView const& list, bool* strip) {
  TokenView inner = list.Slice(1, list.size() - 1);
  int depth = 1;
  *strip = false;
  for (int k = 0; k < inner.pre.size(); ++k) {
    depth += Weight(pool_.kind[inner.pre[k]], Depth::kBoth);
    if (depth == 0) return true;
  }
  if (index_.LowestCount(depth, inner.a, inner.b) <= 0) return true;
  index_.Find(0, Depth::kBoth, inner.a, inner.b, &depth, true);
  for (int k = 0; k < inner.post.size(); ++k) {
    depth += Weight(pool_.kind[inner.post[k]], Depth::kBoth);
    if (depth == 0) return true;
  }
  if (depth != 1) return false;
  *strip = true;
  return true;
}

int TreeBuilder::Build(tagEXP_NODE*& root) {
  root = nullptr;
  // Bracket nesting is bounded for the sake of every reader of the stream.
  int depth = 0;
  for (int i = 0; i < n_; ++i) {
    depth += Weight(pool_.kind[i], Depth::kBoth);
    if (depth > CAnalyseExpression::kMaxNesting) {
      return Reject("brackets nested deeper than " +
                    std::to_string(CAnalyseExpression::kMaxNesting) + " levels" +
                    AtByte(pool_.offset[i]));
    }
  }
  // Every step either ends a piece or cuts it into smaller ones; the budget only stops
  // pathological registries (field names that are operators or brackets) from
  // rewriting a piece into itself.
  long long fields = owner_.m_arrFieldName.GetSize();
  budget_ = 64 * (static_cast<long long>(n_) + 16) * (fields + 1);
  stack_.clear();
  // Pieces waiting for their turn rarely outnumber the tokens; reserving (which touches
  // no memory yet) spares the copies of a growing stack.
  stack_.reserve(static_cast<std::size_t>(n_) + 16);
  Push(TokenView{{}, 0, n_, {}}, &root, -1);
  while (!stack_.empty()) {
    Task task = std::move(stack_.back());
    stack_.pop_back();
    if (!Spend(task.steps) || !Process(std::move(task))) return 0;
  }
  return 1;
}

bool TreeBuilder::Process(Task task) {
  if (task.field >= 0) {
    return Qualified(std::move(task.list), task.field, task.slot, task.enclosed);
  }
  TokenView& list = task.list;
  for (;;) {
    int n = list.size();
    // Small lists: nothing, a numbered reference, or a word for the default field.
    if (n == 0) return true;
    if (n == 1) {
      int id = list.At(0);
      std::string_view token = TrimBlanks(Text(id));
      if (token.empty()) return Reject("empty word" + AtByte(OffsetAt(list, 0)));
      if (token.size() >= 2 && token[0] == '#' &&
          token.find_first_not_of("0123456789", 1) == std::string_view::npos) {
        AppendHistoryLeaf(NewNode(task.slot, {})->strKey, token.substr(1));
        return true;
      }
      if (state_.default_field < 0) {
        return Reject("no default field (type s) for " + Quoted(token) + AtByte(OffsetAt(list, 0)));
      }
      state_.chain = task.chain;
      if (pool_.kind[id] == kWord && !state_.default_fields.empty() &&
          !state_.InChain(state_.default_field)) {
        return DefaultWord(id, task.slot);
      }
      TokenView rewritten;
      rewritten.pre.push_back(id);
      rewritten.pre.push_back(slash_);
      rewritten.pre.push_back(FieldId(state_.default_field));
      list = std::move(rewritten);
      continue;
    }

    // The most common piece, a word and one qualifier ("w / f"), holds no operator or
    // bracket to look for.
    bool plain_qualified = n == 3 && pool_.kind[list.At(0)] == kWord &&
                           pool_.kind[list.At(1)] == kSlash && pool_.kind[list.At(2)] == kWord;
    if (!plain_qualified) {
      // Outer parentheses around the whole list.
      if (pool_.kind[list.At(0)] == kLParen && pool_.kind[list.At(n - 1)] == kRParen) {
        bool strip = false;
        if (!CheckOuterBrackets(list, &strip)) {
          return Reject("unbalanced brackets in the group" + AtByte(OffsetAt(list, 0)));
        }
        if (strip) {
          list = list.Slice(1, n - 1);
          continue;
        }
      }

      // Boolean operators at depth 0, loosest first, the rightmost of each.
      std::uint16_t mask = 0;
      if (int k = Cut(list, kBooleanPasses, Depth::kBoth, true, &mask); k >= 0) {
        int id = list.At(k);
        if (mask == kNot && k != 0) {
          return Reject("NOT must begin its group" + ByteNote(OffsetAt(list, k)));
        }
        tagEXP_NODE* node = NewNode(task.slot, Text(id));
        Push(list.Slice(k + 1, n), &node->pRight, task.chain);
        if (mask != kNot) Push(list.Slice(0, k), &node->pLeft, task.chain);
        return true;
      }
    }

    // The field qualifier: the first "/", brackets or not.
    int i = plain_qualified ? 1 : Find(list, kSlash, Depth::kNone, false);
    if (i < 0) {
      if (state_.default_field < 0) {
        return Reject("no default field (type s) for the words" + AtByte(OffsetAt(list, 0)));
      }
      list.pre.push_front(lparen_);
      list.post.push_back(rparen_);
      list.post.push_back(slash_);
      list.post.push_back(FieldId(state_.default_field));
      continue;
    }
    if (n == i + 2 && pool_.kind[list.At(i + 1)] != kComma) {
      // The common qualifier, one registered field that is not a group: it names itself,
      // as CheckField would answer, without building a list for it.
      int id = list.At(i + 1);
      int field = id >= field_base_ ? id - field_base_ : -1;
      if (field < 0) {
        auto found = state_.first_by_name.find(Text(id));
        if (found != state_.first_by_name.end()) field = found->second;
      }
      if (field >= 0 && NamesItself(field)) {
        return Qualified(list.Slice(0, i), field, task.slot);
      }
      state_.chain = task.chain;
      if (field >= 0 && field == state_.default_field && !state_.default_fields.empty() &&
          !state_.InChain(field)) {
        return DefaultFields(list.Slice(0, i), task.slot);
      }
    }
    field_list_.RemoveAll();
    state_.field_offsets.clear();
    for (int k = i + 1; k < n; ++k) {
      std::string_view token = Text(list.At(k));
      field_list_.Add(token.data(), static_cast<int>(token.size()));
      state_.field_offsets.push_back(OffsetAt(list, k));
    }
    if (n == i + 1) state_.field_offsets.push_back(OffsetAt(list, i));
    state_.chain = task.chain;
    int resolved = owner_.CheckField(field_list_);
    if (resolved < 0) {
      if (state_.error.empty())
        state_.Fail("the field list does not resolve" + AtByte(OffsetAt(list, i)));
      return false;
    }
    if (resolved == 0) {
      // Several fields: x/f1, f2, f3 is x/f1 OR (x/f2 OR x/f3).
      int chain = task.chain;
      for (int group : state_.expanded_groups) {
        state_.chain_links.emplace_back(group, chain);
        chain = static_cast<int>(state_.chain_links.size()) - 1;
      }
      // The rewritten list is the collected fields' names with commas between them.
      std::vector<int> const& fields = state_.collected;
      tagEXP_NODE* node = NewNode(task.slot, "OR");
      TokenView right = list.Slice(0, i + 1);
      for (std::size_t k = 1; k < fields.size(); ++k) {
        if (k > 1) right.post.push_back(comma_);
        right.post.push_back(FieldId(fields[k]));
      }
      TokenView left = list.Slice(0, i + 1);
      left.post.push_back(FieldId(fields[0]));
      Push(std::move(right), &node->pRight, chain);
      Push(std::move(left), &node->pLeft, chain);
      return true;
    }
    return Qualified(list.Slice(0, i), resolved - 1, task.slot);
  }
}

// A group qualified by the default field (see AnalyseState::default_fields): the group in
// each of its fields f1 .. fk, as the field list would build it, x/f1 OR (x/f2 OR ...).
// The OR nodes come at once and each field's group waits as a task of its own, the first
// on top; each task spends the steps that resolving the rest of the list would have, so
// the budget runs out exactly where it would.
bool TreeBuilder::DefaultFields(TokenView group, tagEXP_NODE** slot) {
  std::vector<int> const& fields = state_.default_fields;
  int k = static_cast<int>(fields.size());
  if (k == 1) return Qualified(std::move(group), fields[0], slot);
  field_slots_.clear();
  tagEXP_NODE** at = slot;
  for (int j = 0; j + 1 < k; ++j) {
    tagEXP_NODE* node = NewNode(at, "OR");
    field_slots_.push_back(&node->pLeft);
    at = &node->pRight;
  }
  field_slots_.push_back(at);
  for (int j = k - 1; j >= 0; --j) {
    int steps = j == 0 || j == k - 1 ? 1 : 2;
    stack_.push_back(
        Task{j == 0 ? std::move(group) : group, field_slots_[j], -1, fields[j], steps});
  }
  return true;
}

// One word without a qualifier, in the default fields: its leaves at once, with the OR
// nodes and the budget steps of DefaultFields.
bool TreeBuilder::DefaultWord(int id, tagEXP_NODE** slot) {
  std::vector<int> const& fields = state_.default_fields;
  int k = static_cast<int>(fields.size());
  tagEXP_NODE** at = slot;
  for (int j = 0; j < k; ++j) {
    if (k > 1 && !Spend(j == 0 || j == k - 1 ? 1 : 2)) return false;
    tagEXP_NODE** leaf = at;
    if (j + 1 < k) {
      tagEXP_NODE* node = NewNode(at, "OR");
      leaf = &node->pLeft;
      at = &node->pRight;
    }
    WordLeaf(id, fields[j], leaf);
    HighlightWord(id, fields[j]);
  }
  return true;
}

// A group of tokens qualified by one field; with enclosed, the group stood inside a pair
// of brackets already taken off.
bool TreeBuilder::Qualified(TokenView group, int field, tagEXP_NODE** slot, bool enclosed) {
  // Boolean operators inside a bracketed group, leftmost first: the qualifier is carried
  // into both operands, so these operators associate to the right.
  for (;;) {
    bool strip = enclosed;
    if (!enclosed) {
      int n = group.size();
      if (n < 2 || pool_.kind[group.At(0)] != kLParen || pool_.kind[group.At(n - 1)] != kRParen) {
        break;
      }
      if (!CheckOuterBrackets(group, &strip)) {
        return Reject("unbalanced brackets in the group" + AtByte(OffsetAt(group, 0)));
      }
      if (strip) group = group.Slice(1, n - 1);
    }
    enclosed = false;
    std::uint16_t mask = 0;
    if (int k = Cut(group, kBooleanPasses, Depth::kBoth, false, &mask); k >= 0) {
      return QualifiedOperands(group, k, mask, field, strip, slot);
    }
    if (!strip) break;
  }

  unsigned char type = owner_.m_arrFieldType[field];
  if (type == 'S' || type == 'F') return TextGroup(group, field, slot);
  // The value is the group's tokens run together (one token: itself, without a copy).
  std::string joined;
  std::string_view value;
  if (group.size() == 1) {
    value = Text(group.At(0));
  } else {
    for (int k = 0; k < group.size(); ++k) joined += Text(group.At(k));
    value = joined;
  }
  std::string_view code = FieldCode(field);
  switch (type) {
    case 'D':
    case '#':
    case 'E': {
      AppendValueLeaf(NewNode(slot, {})->strKey, code, value);
      if (type == 'E') AppendHighlight(owner_.m_strRedKey, value, code);
      return true;
    }
    case 'N':
    case 'Y': {
      int op = 0;
      std::string_view v = value;
      if (text::FindChar(v, ',') == text::npos) {
        static constexpr std::pair<std::string_view, int> kSigns[] = {
            {">=", 2}, {"<>", 5}, {"<=", 4}, {">", 1}, {"<", 3}, {"=", 0}};
        for (auto const& [sign, code_value] : kSigns) {
          if (v.starts_with(sign)) {
            v.remove_prefix(sign.size());
            op = code_value;
            break;
          }
        }
      } else {
        char open = v[0];
        char close = LastSingleByte(v);
        op = 6;
        if ((open == '(' || open == '[') && (close == ')' || close == ']')) {
          op = open == '(' ? (close == ')' ? 6 : 7) : (close == ')' ? 8 : 9);
          v = StripEnds(v, open, close);
        }
      }
      AppendComparisonLeaf(NewNode(slot, {})->strKey, code, op, v);
      return true;
    }
    default:
      return Reject("field " + Quoted(FieldName(field)) + " has the type " + TypeName(type) +
                    ", which cannot be searched" + ByteNote(OffsetAt(group, 0)));
  }
}

// Whether "/" and the name of field resolve to field itself, as CheckField would answer:
// the field is the first of its name and not a group.
bool TreeBuilder::NamesItself(int field) const {
  return state_.first_of_name[field] && !IsGroupType(owner_.m_arrFieldType[field]);
}

// The node for the operator at position k of inner (the pass mask) and its operands, each
// "(" operand ")/" field. Such an operand would only come back to this field with its
// brackets taken off when inner is balanced (it was enclosed by the brackets taken off,
// so each operand is balanced too) and the field names itself with an ordinary word (no
// operator, bracket or comma that the split would act on): the qualifier found in
// "(" operand ")/" field is then the one added, because a group never holds a "/" (it
// is what stood before the first one). Such operands go to the field directly, and a
// one-word operand at its turn is built at once, spending the step its task would.
bool TreeBuilder::QualifiedOperands(TokenView const& inner, int k, std::uint16_t mask, int field,
                                    bool balanced, tagEXP_NODE** slot) {
  if (mask == kNot && k != 0) {
    return Reject("NOT must begin its group" + ByteNote(OffsetAt(inner, k)));
  }
  int m = inner.size();
  tagEXP_NODE* node = NewNode(slot, Text(inner.At(k)));
  bool direct = state_.routes.operand_shortcuts && balanced &&
                pool_.kind[FieldId(field)] == kWord && NamesItself(field);
  if (!direct) {
    auto operand = [&](int from, int to) {
      TokenView piece = inner.Slice(from, to);
      piece.pre.push_front(lparen_);
      piece.post.push_back(rparen_);
      piece.post.push_back(slash_);
      piece.post.push_back(FieldId(field));
      return piece;
    };
    Push(operand(k + 1, m), &node->pRight, -1);
    if (mask != kNot) Push(operand(0, k), &node->pLeft, -1);
    return true;
  }
  auto one_word = [&](int from, int to) {
    return to - from == 1 && pool_.kind[inner.At(from)] == kWord;
  };
  // The left operand comes first; the right one is built at once only when nothing of
  // the left one is still waiting.
  bool left_done = mask == kNot;
  if (!left_done && one_word(0, k)) {
    if (!Spend(1) || !Qualified(inner.Slice(0, k), field, &node->pLeft, true)) return false;
    left_done = true;
  }
  if (left_done && one_word(k + 1, m)) {
    return Spend(1) && Qualified(inner.Slice(k + 1, m), field, &node->pRight, true);
  }
  stack_.push_back(Task{inner.Slice(k + 1, m), &node->pRight, -1, field, 1, true});
  if (!left_done) stack_.push_back(Task{inner.Slice(0, k), &node->pLeft, -1, field, 1, true});
  return true;
}

// A group in a text field: operators (and the implicit DEFAULT) inside it, rightmost
// first; then a leaf.
bool TreeBuilder::TextGroup(TokenView const& group, int field, tagEXP_NODE** slot) {
  // A single word holds no operator: straight to its leaf.
  if (group.size() == 1 && pool_.kind[group.At(0)] == kWord) return TextLeaf(group, field, slot);
  // A plain run of words (the field is always the first of its name, the one its
  // qualifier resolves to, so every piece of the run would come back to it).
  if (group.pre.empty() && group.post.empty() && index_.IsWordChain(group.a, group.b)) {
    WordChain(group, field, slot);
    return true;
  }
  bool any_of = owner_.m_arrFieldType[field] == 'F';
  bool has_paren = CountOpenParens(group) > 0;
  Depth depth = has_paren ? Depth::kParen : Depth::kNone;
  Passes const passes = {
      std::uint16_t(kOr | kSub | (any_of ? kDefault : 0)),
      std::uint16_t(kAnd | (any_of ? 0 : kDefault)),
      std::uint16_t(kNot),
  };
  std::uint16_t mask = 0;
  if (int k = Cut(group, passes, depth, true, &mask); k >= 0) {
    int m = group.size();
    auto operand = [&](int from, int to) {
      TokenView piece = group.Slice(from, to);
      piece.post.push_back(slash_);
      piece.post.push_back(FieldId(field));
      return piece;
    };
    if (mask == kNot) {
      if (k != 0) return Reject("NOT must begin its group" + ByteNote(OffsetAt(group, k)));
      tagEXP_NODE* node = NewNode(slot, "NOT");
      Push(operand(1, m), &node->pRight, -1);
      return true;
    }
    std::string_view key = Text(group.At(k));
    if (key == "DEFAULT") key = mask & kOr ? "OR" : "AND";
    tagEXP_NODE* node = NewNode(slot, key);
    Push(operand(k + 1, m), &node->pRight, -1);
    Push(operand(0, k), &node->pLeft, -1);
    return true;
  }
  if (has_paren) {
    return Reject("no operator between the bracketed words in field " + Quoted(FieldName(field)) +
                  ByteNote(OffsetAt(group, 0)));
  }
  return TextLeaf(group, field, slot);
}

// A text leaf: one word, or words held together by one kind of proximity.
bool TreeBuilder::TextLeaf(TokenView const& group, int field, tagEXP_NODE** slot) {
  int m = group.size();
  std::uint16_t kinds = 0;
  for (int k = 0; k < m; ++k) kinds |= pool_.kind[group.At(k)] & (kNear | kOrder | kPara);
  std::string_view code = FieldCode(field);
  if (kinds != 0) {
    if (kinds != kNear && kinds != kOrder && kinds != kPara) {
      return Reject("several proximity words in one group" + ByteNote(OffsetAt(group, 0)));
    }
    if (pool_.kind[group.At(0)] & kinds) {
      return Reject(Quoted(Text(group.At(0))) + " cannot begin its group" +
                    ByteNote(OffsetAt(group, 0)));
    }
  } else if (m != 1) {
    return Reject("several words without an operator in field " + Quoted(FieldName(field)) +
                  ByteNote(OffsetAt(group, 0)));
  }
  if (kinds == 0) {
    WordLeaf(group.At(0), field, slot);
    HighlightWord(group.At(0), field);
    return true;
  }
  // The key is code LF kind LF words; the words also go to the highlight string.
  std::string& key = NewNode(slot, {})->strKey;
  AppendTextHead(key, code, kinds == kNear ? kNearHead : kinds == kOrder ? kOrderHead : kParaHead);
  std::size_t words_at = key.size();
  bool first = true;
  for (int k = 0; k < m; ++k) {
    int id = group.At(k);
    if (pool_.kind[id] == kinds) continue;
    if (!first) key += ' ';
    key += Text(id);
    first = false;
  }
  AppendHighlight(owner_.m_strRedKey, std::string_view(key).substr(words_at), code);
  return true;
}

// A word chain in a text field (words joined by the implicit DEFAULT), built as the
// splits would build it, but in one pass: the rightmost DEFAULT is cut first, so the
// tree leans left, ((w1 op w2) op w3) ..., with op AND in a field of type S and OR in
// one of type F; every word is a leaf, highlighted in text order. Splitting would peel
// one word per piece, which for long chains costs a piece waiting per word.
void TreeBuilder::WordChain(TokenView const& group, int field, tagEXP_NODE** slot) {
  std::string_view op = owner_.m_arrFieldType[field] == 'F' ? "OR" : "AND";
  tagEXP_NODE** at = slot;
  for (int id = group.b - 1; id > group.a; id -= 2) {
    tagEXP_NODE* node = NewNode(at, op);
    WordLeaf(id, field, &node->pRight);
    at = &node->pLeft;
  }
  WordLeaf(group.a, field, at);
  for (int id = group.a; id < group.b; id += 2) HighlightWord(id, field);
}

// The leaf of one word: code LF "NEAR" LF the word without its quotes.
void TreeBuilder::WordLeaf(int id, int field, tagEXP_NODE** slot) {
  AppendWordLeaf(NewNode(slot, {})->strKey, FieldCode(field), StripEnds(Text(id), '"', '"'));
}

// The highlight entry of one word: the word without its quotes, then "[" code "]".
void TreeBuilder::HighlightWord(int id, int field) {
  AppendHighlight(owner_.m_strRedKey, StripEnds(Text(id), '"', '"'), FieldCode(field));
}

}  // namespace qel::expr

int CAnalyseExpression::CreateExpTree(tagEXP_NODE*& pNode, CStringArr& arrToken) {
  qel::expr::AnalyseState& state = *m_pState;
  state.chain_links.clear();
  state.chain = -1;
  if (!state.default_fields_known) ResolveDefaultFields();
  qel::expr::TreeBuilder builder(*this, arrToken);
  return builder.Build(pNode);
}

void CAnalyseExpression::ResolveDefaultFields() {
  qel::expr::AnalyseState& state = *m_pState;
  state.default_fields_known = true;
  state.default_fields.clear();
  int field = state.default_field;
  if (!state.routes.default_shortcuts) return;
  auto plain_name = [&](int f) {
    return qel::expr::KindOf(m_arrFieldName.Get(f)) == qel::expr::kWord;
  };
  if (field < 0 || !state.first_of_name[field] || !plain_name(field)) return;
  // The list resolved as a qualifier naming the field would be; a rejection only means
  // that such operands keep the general way.
  std::string error = std::move(state.error);
  state.error.clear();
  state.field_offsets.clear();
  state.chain = -1;
  CStringArr list;
  list.Add(m_arrFieldName.Get(field), -1);
  int resolved = CheckField(list);
  state.error = std::move(error);
  std::vector<int> fields;
  if (resolved > 0) fields.push_back(resolved - 1);
  if (resolved == 0) fields = state.collected;
  for (int f : fields) {
    unsigned char type = m_arrFieldType[f];
    if ((type != 'S' && type != 'F') || !plain_name(f)) return;
  }
  state.default_fields = std::move(fields);
}

int CAnalyseExpression::CheckField(CStringArr& arrField) {
  using qel::expr::AtByte;
  qel::expr::AnalyseState& state = *m_pState;
  state.expanded_groups.clear();
  auto offset_of = [&](int k) {
    return k < static_cast<int>(state.field_offsets.size()) ? state.field_offsets[k] : -1;
  };
  int count = arrField.GetSize();
  if (count == 0) {
    state.Fail("no field name after '/'" + AtByte(offset_of(0)));
    return -1;
  }
  std::vector<int>& collected = state.collected;
  collected.clear();
  auto collect = [&](int field) {
    int first = state.first_named[field];
    for (int seen : collected) {
      if (seen == first) return;
    }
    collected.push_back(first);
  };
  for (int k = 0; k < count; ++k) {
    char const* token = arrField.Get(k);
    std::string_view name = token == nullptr ? std::string_view() : token;
    if (name == ",") continue;
    auto found = state.first_by_name.find(name);
    if (found == state.first_by_name.end()) {
      state.Fail("unknown field " + qel::expr::Quoted(name) + AtByte(offset_of(k)));
      return -1;
    }
    int field = found->second;
    if (!qel::expr::IsGroupType(m_arrFieldType[field])) {
      collect(field);
      continue;
    }
    if (state.InChain(field)) {
      state.Fail("field cycle through " + qel::expr::Quoted(name) + AtByte(offset_of(k)));
      return -1;
    }
    state.expanded_groups.push_back(field);
    std::vector<int>& known = state.members[field];
    if (known.empty()) {
      CStringArr parts;
      int members = CPublicFun::SplitString(m_arrFieldCode.Get(field), parts, '\n');
      for (int p = 0; p < members; ++p) {
        auto member = state.first_by_code.find(std::string_view(parts.Get(p)));
        known.push_back(member == state.first_by_code.end() ? -1 : member->second);
      }
    }
    for (std::size_t p = 0; p < known.size(); ++p) {
      int target = known[p];
      if (target < 0) {
        CStringArr parts;
        CPublicFun::SplitString(m_arrFieldCode.Get(field), parts, '\n');
        state.Fail("field " + qel::expr::Quoted(name) + " lists the code " +
                   qel::expr::Quoted(parts.Get(static_cast<int>(p))) + ", which no field has" +
                   AtByte(offset_of(k)));
        return -1;
      }
      if (qel::expr::IsGroupType(m_arrFieldType[target]) &&
          (target == field || state.InChain(target))) {
        state.Fail("field cycle through " + qel::expr::Quoted(name) + AtByte(offset_of(k)));
        return -1;
      }
      collect(target);
    }
  }
  if (collected.empty()) {
    state.Fail("the field list names no field" + AtByte(offset_of(0)));
    return -1;
  }
  if (collected.size() == 1) return 1 + collected[0];
  arrField.RemoveAll();
  for (std::size_t k = 0; k < collected.size(); ++k) {
    if (k > 0) arrField.Add(",", -1);
    arrField.Add(m_arrFieldName.Get(collected[k]), -1);
  }
  return 0;
}
