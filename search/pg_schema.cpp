#include "search/pg_schema.h"

#include <algorithm>

#include "readers/search_index.h"

namespace qel::search::pg_schema {
namespace {

std::int32_t Signed(std::uint32_t key) {
  return static_cast<std::int32_t>(key);
}

}  // namespace

bool ValidTableName(std::string_view name) {
  if (name.empty() || name.size() > kMaxTableName) return false;
  if (!(name[0] == '_' || (name[0] >= 'a' && name[0] <= 'z'))) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return c == '_' || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  });
}

void ValueCodes(std::string_view gbk, std::vector<std::int32_t>& codes) {
  codes.clear();
  std::uint32_t previous = 0;
  for (std::size_t i = 0; i < gbk.size();) {
    auto [key, length] = search_index::CharKey(gbk, i);
    codes.push_back(Signed(key));
    if (i > 0) codes.push_back(Signed(previous << 16 | key));
    previous = key;
    i += length;
  }
  std::sort(codes.begin(), codes.end());
  codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
}

bool WordCodes(std::string_view gbk, std::vector<std::int32_t>& codes) {
  codes.clear();
  std::vector<std::uint32_t> chars;
  for (std::size_t i = 0; i < gbk.size();) {
    auto [key, length] = search_index::CharKey(gbk, i);
    // A lead byte ending the word pairs with whatever trail follows it in a value.
    if (length == 1 && key >= 0x81) return false;
    chars.push_back(key);
    i += length;
  }
  if (chars.size() == 1) codes.push_back(Signed(chars[0]));
  for (std::size_t i = 1; i < chars.size(); ++i)
    codes.push_back(Signed(chars[i - 1] << 16 | chars[i]));
  std::sort(codes.begin(), codes.end());
  codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
  return true;
}

std::string ArrayText(std::vector<std::int32_t> const& codes) {
  std::string text = "{";
  for (std::size_t i = 0; i < codes.size(); ++i) {
    if (i > 0) text += ',';
    text += std::to_string(codes[i]);
  }
  return text + "}";
}

}  // namespace qel::search::pg_schema
