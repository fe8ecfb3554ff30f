#include "expression/leaf_item.h"

#include <charconv>

namespace qel::expr {

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

}  // namespace qel::expr
