// The lexer of CAnalyseExpression: the pieces of the text, the token stream and reserved
// tokens.
//
// A text is cut at its quoted sections (each one piece, quotes kept) and, between them,
// at every delimiter (each one piece, after the word before it). The pieces are views
// into the text, cut in one pass with loops, so a megabyte of tokens costs no stack and
// no copy before the token stream itself.
#include <cstring>
#include <string_view>
#include <vector>

#include "expression/analyse_state.h"
#include "expression/leaf_item.h"
#include "platform/text/mbcs.h"
#include "qelshare/CAnalyseExpression.h"

namespace qel::expr {

std::string_view TrimTrailingBlanks(std::string_view text) {
  // The end of the last character that is not a blank, walking whole characters.
  std::size_t end = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = text::CharLength(text, i);
    if (len == 2 || !IsBlank(text[i])) end = i + len;
    i += len;
  }
  return text.substr(0, end);
}

std::string AtByte(int offset) {
  return offset < 0 ? std::string() : " at byte " + std::to_string(offset);
}

}  // namespace qel::expr

namespace {

using qel::expr::TrimBlanks;

// text without leading whitespace. Cutting pieces off the front of a text that is
// already trimmed at its end needs no more, and keeps the whole cut linear.
std::string_view TrimLeading(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size() && qel::expr::IsBlank(text[begin])) ++begin;
  return text.substr(begin);
}

constexpr std::string_view kDelimiters = "()[]/, ";

// The first delimiter of kDelimiters in text that is a character of its own (never the
// trail byte of a two-byte character), or npos. A table lookup per character: this scan
// runs over every byte of every expression.
struct DelimiterTable {
  bool is[256] = {};
  constexpr DelimiterTable() {
    for (char c : kDelimiters) is[static_cast<unsigned char>(c)] = true;
  }
};
constexpr DelimiterTable kDelimiterTable;

std::size_t FindDelimiter(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); i += qel::text::CharLength(text, i)) {
    if (kDelimiterTable.is[static_cast<unsigned char>(text[i])]) return i;
  }
  return qel::text::npos;
}

// The bytes that keep an expression from AnalysePlainWords: quotes and the delimiters
// other than the space.
struct PlainStopperTable {
  bool is[256] = {};
  constexpr PlainStopperTable() {
    for (char c : std::string_view("\"()[]/,")) is[static_cast<unsigned char>(c)] = true;
  }
};
constexpr PlainStopperTable kPlainStoppers;

// IsReservedKey for a token that is not NUL-terminated.
bool IsReserved(std::string_view key);

// Offset of the trimmed piece inside the text it was cut from.
int OffsetOf(std::string_view piece, char const* base) {
  return static_cast<int>(piece.data() - base);
}

// The seven operator words whose case is folded.
constexpr std::string_view kOperatorWords[] = {"AND", "NOT", "OR", "ORDER", "SUB", "NEAR", "PARA"};

// The operator word token equals ignoring ASCII case, or an empty view.
std::string_view FoldedOperator(std::string_view token) {
  if (token.size() < 2 || token.size() > 5) return {};
  for (std::string_view word : kOperatorWords) {
    if (word.size() != token.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < word.size() && same; ++i) {
      same = qel::text::AsciiUpper(token[i]) == word[i];
    }
    if (same) return word;
  }
  return {};
}

}  // namespace

int CAnalyseExpression::CreateKeyTree(tagEXP_NODE*& pNode, char const* lpszText) {
  pNode = nullptr;
  if (lpszText == nullptr) return 1;
  auto& pieces = m_pState->pieces;
  auto add = [&](std::string_view piece) { pieces.emplace_back(piece, OffsetOf(piece, lpszText)); };
  // A text without quotes: each delimiter, after the word before it when there is one.
  auto cut_plain = [&](std::string_view text) {
    text = TrimBlanks(text);
    while (!text.empty()) {
      std::size_t p = FindDelimiter(text);
      if (p == qel::text::npos) {
        add(text);
        return;
      }
      std::string_view word = TrimBlanks(text.substr(0, p));
      if (!word.empty()) add(word);
      add(text.substr(p, 1));
      text = TrimLeading(text.substr(p + 1));
    }
  };

  std::string_view rest = TrimBlanks(std::string_view(lpszText));
  while (!rest.empty()) {
    std::size_t q = qel::text::FindChar(rest, '"');
    if (q == qel::text::npos) {
      cut_plain(rest);
      return 1;
    }
    cut_plain(rest.substr(0, q));
    std::size_t close = qel::text::FindChar(rest, '"', q + 1);
    if (close == qel::text::npos) {
      m_pState->Fail("unclosed quote" + qel::expr::AtByte(OffsetOf(rest.substr(q), lpszText)));
      return 0;
    }
    add(rest.substr(q, close - q + 1));
    rest = TrimLeading(rest.substr(close + 1));
  }
  return 1;
}

void CAnalyseExpression::MakeKeyStream([[maybe_unused]] tagEXP_NODE* pNode) {
  qel::expr::AnalyseState& state = *m_pState;
  qel::expr::TokenPool& pool = state.pool;
  // The builder reads the tokens from the pool, which follows the array while the pool
  // holds exactly the array's tokens; another array than the object's own breaks that.
  if (!state.pool_is_stream ||
      pool.text.size() != static_cast<std::size_t>(m_arrKeyStream.GetSize())) {
    state.pool_is_stream = false;
  }
  int last = m_arrKeyStream.GetSize() - 1;
  bool last_reserved = last >= 0 && IsReservedKey(m_arrKeyStream.Get(last));
  auto append = [&](std::string_view token, qel::expr::Kind kind, int offset) {
    m_arrKeyStream.Add(token.data(), static_cast<int>(token.size()));
    if (state.pool_is_stream) {
      char const* stored = m_arrKeyStream.m_pData[m_arrKeyStream.m_nCount - 1];
      pool.Add(std::string_view(stored, token.size()), kind, offset);
    }
  };
  for (auto const& [piece, offset] : state.pieces) {
    std::string_view token = piece;
    std::string_view word = FoldedOperator(token);
    if (!word.empty()) token = word;
    token = TrimBlanks(token);
    if (!token.empty()) {
      qel::expr::Kind kind = qel::expr::KindOf(token);
      // Of the words, only "-", "#" and numbered references are reserved.
      bool reserved =
          kind != qel::expr::kWord || ((token[0] == '-' || token[0] == '#') && IsReserved(token));
      if (m_arrKeyStream.m_nCount > 0 && !reserved && !last_reserved) {
        append("DEFAULT", qel::expr::kDefault, offset);
      }
      append(token, kind, offset);
      last_reserved = reserved;
    }
  }
}

bool CAnalyseExpression::AnalysePlainWords(char const* lpszExp) {
  qel::expr::AnalyseState& state = *m_pState;
  if (lpszExp == nullptr) return false;
  std::string_view text(lpszExp);
  // Quotes and every delimiter but the space are left to the general steps; checking
  // bytes (a trail byte may equal a bracket) only sends a few more expressions there.
  for (char c : text) {
    if (kPlainStoppers.is[static_cast<unsigned char>(c)]) return false;
  }
  if (!state.default_fields_known) ResolveDefaultFields();
  if (state.default_fields.empty()) return false;
  // The words as the key tree and the key stream would cut them.
  auto& words = state.plain_words;
  words.clear();
  auto take = [&](std::string_view piece) {
    if (!FoldedOperator(piece).empty()) return false;
    std::string_view word = TrimBlanks(piece);
    if (word.empty()) return true;
    if (qel::expr::KindOf(word) != qel::expr::kWord || word[0] == '-' || word[0] == '#') {
      return false;
    }
    words.push_back(word);
    return true;
  };
  for (text = TrimBlanks(text); !text.empty();) {
    std::size_t p = FindDelimiter(text);
    if (p == qel::text::npos) {
      if (!take(text)) return false;
      break;
    }
    if (!take(TrimBlanks(text.substr(0, p)))) return false;
    text = TrimLeading(text.substr(p + 1));
  }
  if (words.empty()) return false;

  // The stream: the words with DEFAULT between them.
  m_arrKeyStream.RemoveAll();
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) m_arrKeyStream.Add("DEFAULT", 7);
    m_arrKeyStream.Add(words[i].data(), static_cast<int>(words[i].size()));
  }
  state.pool_is_stream = false;

  // In each default field f1 .. fk, in turn, the words chained left to right by AND (type
  // S) or OR (type F); the fields' trees joined as f1 OR (f2 OR ...), so the postfix
  // stream ends with k - 1 ORs: what the general route writes for the same words.
  using qel::expr::EndStreamItem;
  m_strPoland.clear();
  m_strRedKey.clear();
  for (int field : state.default_fields) {
    std::string_view code = m_arrFieldCode.Get(field);
    char const* op = m_arrFieldType[field] == 'F' ? "OR" : "AND";
    for (std::size_t i = 0; i < words.size(); ++i) {
      EndStreamItem(m_strPoland);
      qel::expr::AppendWordLeaf(m_strPoland, code, words[i]);
      EndStreamItem(m_strPoland);
      if (i > 0) {
        m_strPoland += op;
        EndStreamItem(m_strPoland);
      }
      qel::expr::AppendHighlight(m_strRedKey, words[i], code);
    }
  }
  for (std::size_t j = 1; j < state.default_fields.size(); ++j) {
    EndStreamItem(m_strPoland);
    m_strPoland += "OR";
    EndStreamItem(m_strPoland);
  }
  return true;
}

int CAnalyseExpression::IsReservedKey(char const* lpszKey) {
  return lpszKey != nullptr && IsReserved(lpszKey);
}

namespace {

bool IsReserved(std::string_view key) {
  if (key.empty()) return false;
  // "#" followed by digits only: a numbered reference.
  bool numbered = key[0] == '#' && key.find_first_not_of("0123456789", 1) == key.npos;
  switch (key.size()) {
    case 1:
      return std::string_view("()[],-/#").find(key[0]) != std::string_view::npos;
    case 2:
      return key == "OR" || numbered;
    case 3:
      return key == "AND" || key == "NOT" || key == "SUB" || numbered;
    case 4:
      return key == "NEAR" || key == "PARA" || numbered;
    case 5:
      return key == "ORDER" || numbered;
    case 7:
      return key == "DEFAULT" || numbered;
    default:
      return numbered;
  }
}

}  // namespace
