#include "expression/leaf_item.h"

#include <algorithm>
#include <charconv>

#include "platform/text/mbcs.h"

namespace qel::expr {

void AppendWordLeaf(std::string& item, std::string_view code, std::string_view word) {
  item.append(code).append(kNearHead).append(word);
}

void AppendTextHead(std::string& item, std::string_view code, std::string_view head) {
  item.append(code).append(head);
}

void AppendComparisonLeaf(std::string& item, std::string_view code, int op,
                          std::string_view operand) {
  item.append(code);
  item += '\n';
  item += static_cast<char>('0' + op);
  item += '\n';
  item.append(operand);
}

void AppendValueLeaf(std::string& item, std::string_view code, std::string_view value) {
  item.append(code);
  item += '\n';
  item.append(value);
}

void AppendHistoryLeaf(std::string& item, std::string_view digits) {
  item.append(kHistoryHead).append(digits);
}

void AppendHighlight(std::string& redkey, std::string_view words, std::string_view code) {
  redkey.append(words);
  redkey += '[';
  redkey.append(code);
  redkey += ']';
}

bool DecodeLeaf(std::string_view item, LeafItem& leaf) {
  leaf = LeafItem();
  std::size_t first = item.find('\n');
  if (first == std::string_view::npos) return false;
  if (item.starts_with(kHistoryHead) &&
      item.find('\n', kHistoryHead.size()) == std::string_view::npos) {
    std::string_view digits = item.substr(kHistoryHead.size());
    leaf.operand = digits;
    std::size_t n = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    leaf.kind = LeafItem::kHistory;
    leaf.history = ec == std::errc() && end == digits.data() + digits.size() ? n : 0;
    return true;
  }
  leaf.code = item.substr(0, first);
  std::string_view rest = item.substr(first);
  for (std::string_view head : {kNearHead, kOrderHead, kParaHead}) {
    if (rest.starts_with(head)) {
      leaf.kind = LeafItem::kText;
      leaf.text_kind = head.substr(1, head.size() - 2);
      leaf.words = rest.substr(head.size());
      return true;
    }
  }
  if (rest.size() >= 3 && rest[1] >= '0' && rest[1] <= '9' && rest[2] == '\n') {
    leaf.kind = LeafItem::kComparison;
    leaf.op = rest[1] - '0';
    leaf.operand = rest.substr(3);
    return true;
  }
  leaf.kind = LeafItem::kValue;
  leaf.operand = rest.substr(1);
  return true;
}

std::vector<std::string> ItemWords(std::string_view words) {
  std::vector<std::string> out;
  std::string current;
  bool quoted = false;
  for (std::size_t i = 0; i < words.size();) {
    std::size_t n = text::CharLength(words, i);
    char c = words[i];
    if (n == 1 && c == '"') {
      quoted = !quoted;
    } else if (n == 1 && c == ' ' && !quoted) {
      if (!current.empty()) out.push_back(std::move(current));
      current.clear();
    } else {
      current.append(words.substr(i, n));
    }
    i += n;
  }
  if (!current.empty()) out.push_back(std::move(current));
  return out;
}

std::vector<std::pair<std::string, std::string>> HighlightTerms(
    std::string_view redkey, std::vector<std::string> const& codes) {
  std::vector<std::pair<std::string, std::string>> terms;
  std::size_t start = 0;
  for (std::size_t open = redkey.find('['); open != std::string_view::npos;
       open = redkey.find('[', open + 1)) {
    std::size_t close = redkey.find(']', open);
    if (close == std::string_view::npos) break;
    std::string_view code = redkey.substr(open + 1, close - open - 1);
    if (std::find(codes.begin(), codes.end(), code) == codes.end()) continue;
    for (std::string& word : ItemWords(redkey.substr(start, open - start))) {
      terms.emplace_back(std::string(code), std::move(word));
    }
    start = close + 1;
    open = close;
  }
  return terms;
}

std::vector<std::string_view> StreamItems(std::string_view stream) {
  std::vector<std::string_view> items;
  for (std::size_t start = 0; start < stream.size();) {
    std::size_t end = stream.find('\r', start);
    if (end == std::string_view::npos) end = stream.size();
    if (end > start) items.push_back(stream.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

}  // namespace qel::expr
