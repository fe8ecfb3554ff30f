#include "search/leaf_rules.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

#include "platform/text/collate.h"
#include "platform/text/mbcs.h"

namespace qel::search {
namespace {

// Every occurrence of every word into hits, ordered by start (words starting at one
// character in the order of words): one walk over the value's characters, trying the words
// only at a character whose first byte starts one of them.
void Occurrences(std::vector<std::string> const& words, std::string_view value,
                 std::vector<Occurrence>& hits) {
  hits.clear();
  bool starts[256] = {};
  thread_local std::vector<int> lengths;  // in characters; kept, as values come by the thousand
  lengths.clear();
  for (std::string const& w : words) {
    if (!w.empty()) starts[static_cast<unsigned char>(w[0])] = true;
    int n = 0;
    for (std::size_t i = 0; i < w.size(); i += text::CharLength(w, i)) ++n;
    lengths.push_back(n);
  }
  auto const* p = reinterpret_cast<unsigned char const*>(value.data());
  std::size_t const size = value.size();
  int index = 0;
  for (std::size_t at = 0; at < size; ++index) {
    unsigned char c = p[at];
    if (starts[c]) {
      for (int w = 0; w < static_cast<int>(words.size()); ++w) {
        std::string const& word = words[w];
        std::size_t n = word.size();
        if (n == 0 || size - at < n) continue;
        // Most words are a character or two: their bytes are compared in place.
        bool same = n <= 2 ? p[at + n - 1] == static_cast<unsigned char>(word[n - 1]) &&
                                 p[at] == static_cast<unsigned char>(word[0])
                           : std::memcmp(p + at, word.data(), n) == 0;
        if (same) {
          hits.push_back({index, index + lengths[w], w});
        }
      }
    }
    at += c >= 0x81 && at + 1 < size ? 2 : 1;
  }
}

}  // namespace

bool NearOccurrences(std::span<Occurrence const> hits, std::size_t words) {
  // Walking occurrences by start: the latest end of each word so far gives the smallest
  // gap for the current latest start.
  thread_local std::vector<int> last_end;
  last_end.assign(words, std::numeric_limits<int>::min());
  std::size_t seen = 0;
  for (Occurrence const& h : hits) {
    if (last_end[h.word] == std::numeric_limits<int>::min()) ++seen;
    last_end[h.word] = std::max(last_end[h.word], h.end);
    if (seen < words) continue;
    int earliest = *std::min_element(last_end.begin(), last_end.end());
    if (h.start - earliest <= kNearDistance) return true;
  }
  return false;
}

bool OrderOccurrences(std::span<Occurrence const> hits, std::size_t words) {
  // ends: where chains of the words so far end, each chain keeping the rule.
  std::vector<int> ends;
  for (Occurrence const& h : hits) {
    if (h.word == 0) ends.push_back(h.end);
  }
  for (int w = 1; w < static_cast<int>(words) && !ends.empty(); ++w) {
    std::vector<int> next;
    for (Occurrence const& h : hits) {
      if (h.word != w) continue;
      for (int e : ends) {
        if (h.start >= e && h.start - e <= kNearDistance) {
          next.push_back(h.end);
          break;
        }
      }
    }
    ends = std::move(next);
  }
  return !ends.empty();
}

namespace {

bool Number(std::string_view s, double* out) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  // Digits, not the words "nan" and "inf" that the parser also reads as numbers.
  std::size_t first = !s.empty() && s[0] == '-' ? 1 : 0;
  if (first >= s.size() || (s[first] != '.' && (s[first] < '0' || s[first] > '9'))) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
  return ec == std::errc() && end == s.data() + s.size();
}

// Negative, zero or positive: value against a bound.
int Compare(std::string_view value, Bound const& bound) {
  double a;
  if (bound.numeric && Number(value, &a)) {
    return a < bound.number ? -1 : a > bound.number ? 1 : 0;
  }
  return text::Compare(value, bound.text);
}

std::vector<std::string_view> Lines(std::string_view s) {
  std::vector<std::string_view> lines;
  for (std::size_t start = 0;;) {
    std::size_t end = s.find('\n', start);
    lines.push_back(s.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return lines;
    start = end + 1;
  }
}

}  // namespace

Leaf MakeLeaf(expr::LeafItem const& item) {
  Leaf leaf{item, {}, {}};
  if (item.kind == expr::LeafItem::kText) leaf.words = expr::ItemWords(item.words);
  if (item.kind == expr::LeafItem::kComparison)
    leaf.comparison = MakeComparison(item.op, item.operand);
  return leaf;
}

bool MatchText(std::string_view kind, std::vector<std::string> const& words,
               std::string_view value) {
  if (words.empty()) return false;
  if (kind == "PARA") {
    for (std::string_view line : Lines(value)) {
      bool all = std::all_of(words.begin(), words.end(), [&](std::string const& w) {
        return text::FindText(line, w) != text::npos;
      });
      if (all) return true;
    }
    return false;
  }
  if (words.size() == 1) return text::FindText(value, words[0]) != text::npos;
  thread_local std::vector<Occurrence> hits;
  Occurrences(words, value, hits);
  return kind == "ORDER" ? OrderOccurrences(hits, words.size())
                         : NearOccurrences(hits, words.size());
}

Bound MakeBound(std::string_view text) {
  Bound bound{text, false, 0};
  bound.numeric = Number(text, &bound.number);
  return bound;
}

Comparison MakeComparison(int op, std::string_view operand) {
  Comparison c;
  c.op = op;
  if (op <= 5) {
    c.low = MakeBound(operand);
    return c;
  }
  std::size_t comma = operand.find(',');
  if (comma == std::string_view::npos) {
    c.valid = false;
    return c;
  }
  c.low = MakeBound(operand.substr(0, comma));
  c.high = MakeBound(operand.substr(comma + 1));
  return c;
}

bool Matches(Comparison const& comparison, std::string_view value) {
  if (!comparison.valid) return false;
  int op = comparison.op;
  if (op <= 5) {
    int c = Compare(value, comparison.low);
    switch (op) {
      case 0:
        return c == 0;
      case 1:
        return c > 0;
      case 2:
        return c >= 0;
      case 3:
        return c < 0;
      case 4:
        return c <= 0;
      default:
        return c != 0;
    }
  }
  int low = Compare(value, comparison.low);
  int high = Compare(value, comparison.high);
  bool low_ok = op == 8 || op == 9 ? low >= 0 : low > 0;     // [ closed, ( open
  bool high_ok = op == 7 || op == 9 ? high <= 0 : high < 0;  // ] closed, ) open
  return low_ok && high_ok;
}

bool MatchComparison(int op, std::string_view operand, std::string_view value) {
  return Matches(MakeComparison(op, operand), value);
}

bool Match(Leaf const& leaf, std::string_view value) {
  switch (leaf.item.kind) {
    case expr::LeafItem::kText:
      return MatchText(leaf.item.text_kind, leaf.words, value);
    case expr::LeafItem::kComparison:
      return Matches(leaf.comparison, value);
    case expr::LeafItem::kValue:
      return value == leaf.item.operand;
    default:
      return false;
  }
}

std::vector<Span> WordSpans(std::string_view value, std::vector<std::string> const& words) {
  std::vector<std::string_view> sorted(words.begin(), words.end());
  std::sort(sorted.begin(), sorted.end(),
            [](std::string_view a, std::string_view b) { return a.size() > b.size(); });
  std::vector<Span> spans;
  if (sorted.empty() || sorted.front().empty()) return spans;
  for (std::size_t i = 0; i < value.size();) {
    bool hit = false;
    for (std::string_view w : sorted) {
      if (!w.empty() && value.substr(i, w.size()) == w) {
        spans.push_back({i, i + w.size()});
        i += w.size();
        hit = true;
        break;
      }
    }
    if (!hit) i += text::CharLength(value, i);
  }
  return spans;
}

}  // namespace qel::search
