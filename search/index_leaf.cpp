#include "search/index_leaf.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "readers/record_format.h"

namespace qel::search {
namespace {

constexpr std::uint32_t kLineFeed = '\n';

void SetBit(Bits& bits, std::uint32_t n) {
  bits[n / 8] |= static_cast<unsigned char>(1u << (n % 8));
}

// The character keys of word into chars; false when the word ends in a lead byte, which
// may pair with any trail in the text and so is no character of its own.
bool WordChars(std::string_view word, std::vector<std::uint32_t>& chars) {
  chars.clear();
  for (std::size_t i = 0; i < word.size();) {
    auto [key, length] = search_index::CharKey(word, i);
    i += length;
    if (length == 1 && key >= 0x81) return false;
    chars.push_back(key);
  }
  return true;
}

// The key of a pair's set, or none for a pair led by a NUL byte (its key would be the
// second character's).
bool PairKey(std::uint32_t first, std::uint32_t second, std::uint32_t& key) {
  key = first << 16 | second;
  return first != 0;
}

// Where each word of a text leaf starts in one record, found from the positions of its
// characters, and the leaf's rule applied to them.
class PositionMatcher {
 public:
  PositionMatcher(Leaf const& leaf, std::vector<std::vector<std::uint32_t>> const& words)
      : leaf_(leaf), words_(words) {}

  // Reads the positions of every character of the words (and of LF for PARA); false when
  // the index is damaged.
  bool Open(search_index::Reader const& index) {
    for (auto const& chars : words_) {
      for (std::uint32_t key : chars) lists_.try_emplace(key);
    }
    if (leaf_.item.text_kind == "PARA") lists_.try_emplace(kLineFeed);
    for (auto& [key, list] : lists_) {
      if (!index.Positions(leaf_.item.code, key, list)) return false;
    }
    return true;
  }
  void LetGo(search_index::Reader const& index) const {
    for (auto const& [key, list] : lists_) index.LetGo(list);
  }

  // Whether record n matches: 1 or 0, -1 when its positions are damaged.
  int Match(std::uint32_t n) {
    for (auto& [key, list] : lists_) {
      if (!list.Find(n, positions_[key])) return -1;
    }
    starts_.resize(words_.size());
    for (std::size_t w = 0; w < words_.size(); ++w) {
      Starts(words_[w], starts_[w]);
      if (starts_[w].empty()) return 0;
    }
    if (leaf_.item.text_kind == "PARA") return OnOneLine() ? 1 : 0;
    if (words_.size() == 1) return 1;
    hits_.clear();
    for (std::size_t w = 0; w < words_.size(); ++w) {
      int length = static_cast<int>(words_[w].size());
      for (std::uint32_t start : starts_[w]) {
        hits_.push_back(
            {static_cast<int>(start), static_cast<int>(start) + length, static_cast<int>(w)});
      }
    }
    std::sort(hits_.begin(), hits_.end(), [](Occurrence const& a, Occurrence const& b) {
      return a.start != b.start ? a.start < b.start : a.word < b.word;
    });
    bool match = leaf_.item.text_kind == "ORDER" ? OrderOccurrences(hits_, words_.size())
                                                 : NearOccurrences(hits_, words_.size());
    return match ? 1 : 0;
  }

 private:
  // The positions where chars stand one after the other, by the first.
  void Starts(std::vector<std::uint32_t> const& chars, std::vector<std::uint32_t>& starts) {
    starts = positions_[chars[0]];
    for (std::size_t i = 1; i < chars.size() && !starts.empty(); ++i) {
      std::vector<std::uint32_t> const& next = positions_[chars[i]];
      std::size_t kept = 0, j = 0;
      for (std::uint32_t start : starts) {
        std::uint64_t wanted = std::uint64_t{start} + i;
        while (j < next.size() && next[j] < wanted) ++j;
        if (j < next.size() && next[j] == wanted) starts[kept++] = start;
      }
      starts.resize(kept);
    }
  }

  // Whether every word starts on one line: lines are counted by the LFs before a start.
  bool OnOneLine() {
    std::vector<std::uint32_t> const& breaks = positions_[kLineFeed];
    auto line = [&](std::uint32_t at) {
      return static_cast<std::uint32_t>(std::lower_bound(breaks.begin(), breaks.end(), at) -
                                        breaks.begin());
    };
    lines_.clear();
    for (std::uint32_t start : starts_[0]) lines_.push_back(line(start));
    for (std::size_t w = 1; w < words_.size() && !lines_.empty(); ++w) {
      other_.clear();
      for (std::uint32_t start : starts_[w]) other_.push_back(line(start));
      std::vector<std::uint32_t> both;
      std::set_intersection(lines_.begin(), lines_.end(), other_.begin(), other_.end(),
                            std::back_inserter(both));
      lines_ = std::move(both);
    }
    return !lines_.empty();
  }

  Leaf const& leaf_;
  std::vector<std::vector<std::uint32_t>> const& words_;
  std::map<std::uint32_t, search_index::PositionList> lists_;
  std::map<std::uint32_t, std::vector<std::uint32_t>> positions_;
  std::vector<std::vector<std::uint32_t>> starts_;
  std::vector<Occurrence> hits_;
  std::vector<std::uint32_t> lines_, other_;
};

// The records of candidates that match leaf, read back from the record file and matched
// against their values.
Status ReadBack(LibraryState const& lib, Leaf const& leaf, bitmap::RecordSet const& candidates,
                Bits& bits) {
  search_index::Reader const& index = lib.index;
  std::uint32_t records = index.records();
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
    if (records::FieldOf(text.substr(start, end - start), leaf.item.code, value) &&
        Match(leaf, value)) {
      SetBit(bits, n);
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

}  // namespace

Status IndexLeafHits(LibraryState const& lib, Leaf const& leaf, Bits& bits) {
  search_index::Reader const& index = lib.index;
  std::uint32_t records = index.records();
  bits.assign((records + 7) / 8, 0);
  using Kind = expr::LeafItem::Kind;
  Kind kind = leaf.item.kind;
  std::string_view code = leaf.item.code;
  if (kind == Kind::kText && leaf.words.empty()) return Status();
  std::vector<std::string> const value_word = {std::string(leaf.item.operand)};
  std::vector<std::string> const& words = kind == Kind::kText ? leaf.words : value_word;
  // Each word's characters; a word that is not whole characters, or is empty, is matched
  // against the records themselves.
  std::vector<std::vector<std::uint32_t>> word_chars;
  bool whole = true;
  if (kind == Kind::kText || kind == Kind::kValue) {
    for (std::string const& word : words) {
      whole = WordChars(word, word_chars.emplace_back()) && !word_chars.back().empty() && whole;
    }
  }
  bool para = leaf.item.text_kind == "PARA";
  bool line_feed = std::any_of(words.begin(), words.end(), [](std::string const& w) {
    return w.find('\n') != std::string::npos;
  });
  if (kind == Kind::kText && whole && para && line_feed) return Status();  // no line holds LF
  // One word of one character, or of two with a set of their own: its set is the answer.
  if (kind == Kind::kText && words.size() == 1 && whole && word_chars[0].size() <= 2) {
    std::vector<std::uint32_t> const& chars = word_chars[0];
    std::uint32_t key = chars[0];
    int has = chars.size() == 1 ? 1 : PairKey(chars[0], chars[1], key) ? index.Has(code, key) : 0;
    if (has < 0) return lib.IndexDamaged();
    if (has > 0) return index.LookupInto(code, key, bits) ? Status() : lib.IndexDamaged();
  }
  // A field of few values: each value is matched once, and its records are the answer.
  if (index.HasValues(code)) {
    bool read = index.ValuesInto(
        code, [&](std::string_view value) { return Match(leaf, value); }, bits);
    return read ? Status() : lib.IndexDamaged();
  }
  // Candidates: the records holding every character, and every pair that has a set.
  bitmap::RecordSet candidates, part;
  bool first = true;
  auto narrow = [&](std::uint32_t key) {
    if (!index.Lookup(code, key, part)) return false;
    if (first) {
      std::swap(candidates, part);
      first = false;
    } else {
      candidates.And(part);
    }
    return true;
  };
  for (auto const& chars : word_chars) {
    for (std::size_t i = 0; i < chars.size(); ++i) {
      std::uint32_t pair = 0;
      int has = i > 0 && PairKey(chars[i - 1], chars[i], pair) ? index.Has(code, pair) : 0;
      if (has < 0 || (has > 0 && !narrow(pair)) || !narrow(chars[i])) return lib.IndexDamaged();
      if (candidates.Count() == 0) return Status();
    }
  }
  if (first && !narrow(search_index::kFieldKey)) return lib.IndexDamaged();
  if (candidates.Count() == 0) return Status();
  if (kind != Kind::kText || !whole) return ReadBack(lib, leaf, candidates, bits);

  // Text of whole characters: answered from the positions. A record where a lead byte takes
  // an LF as its trail cuts its lines unlike its characters, so PARA reads it back.
  bitmap::RecordSet odd;
  if (para) {
    for (std::uint32_t lead = 0x81; lead <= 0xFF; ++lead) {
      int has = index.Has(code, lead << 8 | kLineFeed);
      if (has < 0 || (has > 0 && !index.Lookup(code, lead << 8 | kLineFeed, part))) {
        return lib.IndexDamaged();
      }
      if (has > 0) {
        for (std::uint32_t n : part.Members()) odd.Add(n);
      }
    }
  }
  PositionMatcher matcher(leaf, word_chars);
  if (!matcher.Open(index)) return lib.IndexDamaged();
  bitmap::RecordSet read_back;
  bool any_odd = odd.Count() > 0;
  for (std::uint32_t n : candidates.Members()) {
    if (any_odd && odd.Contains(n)) {
      read_back.Add(n);
      continue;
    }
    int match = matcher.Match(n);
    if (match < 0) return lib.IndexDamaged();
    if (match > 0) SetBit(bits, n);
  }
  matcher.LetGo(index);
  if (read_back.Count() > 0) return ReadBack(lib, leaf, read_back, bits);
  return Status();
}

}  // namespace qel::search
