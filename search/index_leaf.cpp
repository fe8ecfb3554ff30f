#include "search/index_leaf.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "readers/record_format.h"

namespace qel::search {

Status IndexLeafHits(LibraryState const& lib, Leaf const& leaf, Bits& bits) {
  search_index::Reader const& index = lib.index;
  std::uint32_t records = index.records();
  bits.assign((records + 7) / 8, 0);
  using Kind = expr::LeafItem::Kind;
  Kind kind = leaf.item.kind;
  std::string_view code = leaf.item.code;
  if (kind == Kind::kText && leaf.words.empty()) return Status();
  // The keys of each word's characters; a lead byte ending a word may pair with any trail
  // in the text, so it gives no key (and leaves the word inexact).
  std::vector<std::string> const value_word = {std::string(leaf.item.operand)};
  std::vector<std::string> const& words = kind == Kind::kText ? leaf.words : value_word;
  std::vector<std::vector<std::uint32_t>> word_keys;
  bool whole = true;
  if (kind == Kind::kText || kind == Kind::kValue) {
    for (std::string const& word : words) {
      std::vector<std::uint32_t> chars;
      for (std::size_t i = 0; i < word.size();) {
        auto [key, length] = search_index::CharKey(word, i);
        i += length;
        if (length == 1 && key >= 0x81) {
          whole = false;
          break;
        }
        chars.push_back(key);
      }
      std::vector<std::uint32_t>& keys = word_keys.emplace_back();
      if (chars.size() == 1) keys.push_back(chars[0]);
      for (std::size_t i = 1; i < chars.size(); ++i) keys.push_back(chars[i - 1] << 16 | chars[i]);
    }
  }
  // One word of one or two characters: its set is the answer.
  if (kind == Kind::kText && words.size() == 1 && whole && word_keys[0].size() == 1 &&
      (leaf.item.text_kind != "PARA" || words[0].find('\n') == std::string::npos)) {
    return index.LookupInto(code, word_keys[0][0], bits) ? Status() : lib.IndexDamaged();
  }
  // A field of few values: each value is matched once, and its records are the answer.
  if (index.HasValues(code)) {
    bool read = index.ValuesInto(
        code, [&](std::string_view value) { return Match(leaf, value); }, bits);
    return read ? Status() : lib.IndexDamaged();
  }
  // Otherwise the records holding every key are candidates, checked against the records.
  bitmap::RecordSet candidates, part;
  bool first = true;
  for (auto const& keys : word_keys) {
    for (std::uint32_t key : keys) {
      if (!index.Lookup(code, key, part)) return lib.IndexDamaged();
      if (first) {
        candidates = std::move(part);
        part = bitmap::RecordSet();
        first = false;
      } else {
        candidates.And(part);
      }
    }
  }
  if (first && !index.Lookup(code, search_index::kFieldKey, candidates)) return lib.IndexDamaged();
  if (candidates.Count() == 0) return Status();
  if (Status s = lib.CheckRecords(); !s.ok()) return s;
  std::string value;
  std::string_view text = lib.records.bytes();
  std::uint64_t file_size = lib.record_stamp.size;
  // The records read back are let go a stretch at a time: a query that reads most of a
  // large record file does not keep it all resident (its pages stay in the system's cache).
  constexpr std::uint64_t kHeld = std::uint64_t{8} << 20;
  std::uint64_t held_from = UINT64_MAX, held_to = 0;
  for (std::uint32_t n : candidates.Members()) {
    std::uint64_t start = index.Offset(n);
    std::uint64_t end = n + 1 < records ? index.Offset(n + 1) : file_size;
    if (start > end || end > text.size()) return lib.IndexDamaged();
    if (records::FieldOf(text.substr(start, end - start), code, value) && Match(leaf, value)) {
      bits[n / 8] |= static_cast<unsigned char>(1u << (n % 8));
    }
    held_from = std::min(held_from, start);
    held_to = end;
    if (held_to - held_from > kHeld) {
      lib.records.Forget(held_from, held_to - held_from);
      held_from = UINT64_MAX;
    }
  }
  // A few records read stay: letting them go costs more than they hold.
  if (held_from != UINT64_MAX && held_to - held_from > kHeld / 8) {
    lib.records.Forget(held_from, held_to - held_from);
  }
  return Status();
}

}  // namespace qel::search
