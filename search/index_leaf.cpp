#include "search/index_leaf.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "readers/record_format.h"

namespace qel::search {
namespace {

constexpr std::uint32_t kLineFeed = '\n';
// Candidates that pair sets narrow to no more than this are not narrowed by characters.
constexpr std::uint64_t kFewCandidates = 256;
// A character's set more than this many times the candidates is not decoded to narrow
// them: each candidate is looked for in it, which costs about as much as decoding that
// many of its records (a block of them, where its records are blocked).
constexpr std::uint64_t kLookedForMost = 64;
// A character's set of more than this share of the records is read as a set.
constexpr std::uint64_t kDenseShare = 8;

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

// The records of both rising lists, into out: each of the shorter is looked for in the
// longer by galloping from where the last was found, so that a short list costs the log
// of the stretches of the long one it passes over.
void Intersect(std::vector<std::uint32_t> const& a, std::vector<std::uint32_t> const& b,
               std::vector<std::uint32_t>& out) {
  auto const& few = a.size() <= b.size() ? a : b;
  auto const& many = a.size() <= b.size() ? b : a;
  out.clear();
  auto at = many.begin();  // records before it are below the one looked for
  for (std::uint32_t n : few) {
    auto probe = at;
    for (std::ptrdiff_t step = 1; probe != many.end() && *probe < n; step *= 2) {
      at = probe + 1;
      probe = many.end() - at > step ? at + step : many.end();
    }
    at = std::lower_bound(at, probe, n);
    if (at == many.end()) break;
    if (*at == n) out.push_back(n);
  }
}

// Where each word of a text leaf starts in one record, found from the positions of its
// characters, and the leaf's rule applied to them.
class PositionMatcher {
 public:
  // Reads the positions of every character of the words (and of LF for PARA); false when
  // the index is damaged.
  bool Open(search_index::Reader const& index, Leaf const& leaf,
            std::vector<std::vector<std::uint32_t>> const& words) {
    para_ = leaf.item.text_kind == "PARA";
    order_ = leaf.item.text_kind == "ORDER";
    // Each distinct character once, the words as its slots.
    auto slot = [&](std::uint32_t key) {
      auto at = std::find(keys_.begin(), keys_.end(), key);
      if (at == keys_.end()) at = keys_.insert(at, key);
      return static_cast<std::size_t>(at - keys_.begin());
    };
    for (auto const& chars : words) {
      std::vector<std::size_t>& slots = words_.emplace_back();
      for (std::uint32_t key : chars) slots.push_back(slot(key));
    }
    if (para_) line_feed_ = slot(kLineFeed);
    lists_.resize(keys_.size());
    positions_.resize(keys_.size());
    starts_.resize(words_.size());
    for (std::size_t k = 0; k < keys_.size(); ++k) {
      if (!index.Positions(leaf.item.code, keys_[k], lists_[k])) return false;
    }
    return true;
  }
  void LetGo(search_index::Reader const& index) const {
    for (auto const& list : lists_) index.LetGo(list);
  }

  // Narrows candidates (rising) to the records holding every character of the words (not
  // LF, nor those of implied: characters of pairs whose sets made the candidates),
  // smallest set first; with first, candidates start as the smallest set. Sets are
  // decoded into lists and intersected there, without building sets, but for a set of
  // more than an eighth of the records (kept in CRoaring's containers, whose bitsets meet
  // a word at a time) and a set many times the candidates, which is not decoded: each
  // candidate is looked for in it instead. False when a set is damaged.
  bool Narrow(std::vector<std::uint32_t>& candidates, bool first,
              std::vector<std::uint32_t> const& implied, std::uint64_t records) {
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < lists_.size(); ++k) {
      bool held = std::find(implied.begin(), implied.end(), keys_[k]) != implied.end();
      if ((!para_ || k != line_feed_) && !held) order.push_back(k);
    }
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return lists_[a].count() < lists_[b].count(); });
    std::vector<std::uint32_t>& kept = candidates;
    std::vector<std::uint32_t> set, both;
    bitmap::RecordSet dense, part;
    bool any_dense = false;
    for (std::size_t k : order) {
      if (!first && kept.empty()) return true;
      if (!first && lists_[k].count() / kLookedForMost > kept.size()) {
        std::size_t held = 0;
        for (std::uint32_t n : kept) {
          bool holds = false;
          if (!lists_[k].Holds(n, holds)) return false;
          if (holds) kept[held++] = n;
        }
        kept.resize(held);
      } else if (lists_[k].count() > records / kDenseShare) {
        if (!lists_[k].Set(any_dense ? part : dense)) return false;
        if (any_dense) dense.And(part);
        any_dense = true;
      } else if (!lists_[k].Records(first ? kept : set)) {
        return false;
      } else if (!first) {
        Intersect(kept, set, both);
        std::swap(kept, both);
      } else {
        first = false;
      }
    }
    if (any_dense && first) {
      kept = dense.Members();
    } else if (any_dense) {
      part.Clear();
      part.AddMany(kept);
      part.And(dense);
      kept = part.Members();
    }
    return true;
  }

  // Readies every list for about lookups records (see PositionList::Expect), and orders
  // each word's characters rarest first.
  void Expect(std::uint64_t lookups) {
    for (auto& list : lists_) list.Expect(lookups);
    loaded_.assign(lists_.size(), UINT32_MAX);
    rarest_.clear();
    for (auto const& slots : words_) {
      std::vector<std::size_t>& order = rarest_.emplace_back(slots.size());
      for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
      std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return lists_[slots[a]].count() < lists_[slots[b]].count();
      });
    }
  }

  // Whether record n matches: 1 or 0, -1 when its positions are damaged. A character's
  // positions are read only while the word can still occur: most candidates hold every
  // character, few of them in a row.
  int Match(std::uint32_t n) {
    record_ = n;
    for (std::size_t w = 0; w < words_.size(); ++w) {
      int found = Starts(w);
      if (found <= 0) return found;
    }
    if (para_) {
      if (!Load(line_feed_)) return -1;
      return OnOneLine() ? 1 : 0;
    }
    if (words_.size() == 1) return 1;
    // Occurrences by start, words starting at one character in the order of words: each
    // word's merged in after those before it.
    hits_.clear();
    for (std::size_t w = 0; w < words_.size(); ++w) {
      auto length = static_cast<int>(words_[w].size());
      merged_.clear();
      std::size_t i = 0;
      for (std::uint32_t start : starts_[w]) {
        auto at = static_cast<int>(start);
        while (i < hits_.size() && hits_[i].start <= at) merged_.push_back(hits_[i++]);
        merged_.push_back({at, at + length, static_cast<int>(w)});
      }
      merged_.insert(merged_.end(), hits_.begin() + static_cast<std::ptrdiff_t>(i), hits_.end());
      std::swap(hits_, merged_);
    }
    bool match =
        order_ ? OrderOccurrences(hits_, words_.size()) : NearOccurrences(hits_, words_.size());
    return match ? 1 : 0;
  }

 private:
  // Reads the positions of slot k in the current record, once; false when damaged.
  bool Load(std::size_t k) {
    if (loaded_[k] == record_) return true;
    if (!lists_[k].Find(record_, positions_[k])) return false;
    loaded_[k] = record_;
    return true;
  }

  // Where word w starts in the current record, into starts_[w]: 1 when somewhere, 0 when
  // nowhere, -1 when positions are damaged. Each character in turn, rarest first, keeps
  // the starts it stands after at its place in the word.
  int Starts(std::size_t w) {
    std::vector<std::size_t> const& slots = words_[w];
    std::vector<std::size_t> const& order = rarest_[w];
    std::vector<std::uint32_t>& starts = starts_[w];
    starts.clear();
    for (std::size_t o = 0; o < order.size(); ++o) {
      std::size_t i = order[o];
      if (!Load(slots[i])) return -1;
      std::vector<std::uint32_t> const& at = positions_[slots[i]];
      if (o == 0) {
        for (std::uint32_t p : at) {
          if (p >= i) starts.push_back(static_cast<std::uint32_t>(p - i));
        }
      } else {
        std::size_t kept = 0, j = 0;
        for (std::uint32_t start : starts) {
          std::uint64_t wanted = std::uint64_t{start} + i;
          while (j < at.size() && at[j] < wanted) ++j;
          if (j < at.size() && at[j] == wanted) starts[kept++] = start;
        }
        starts.resize(kept);
      }
      if (starts.empty()) return 0;
    }
    return 1;
  }

  // Whether every word starts on one line: lines are counted by the LFs before a start.
  bool OnOneLine() {
    std::vector<std::uint32_t> const& breaks = positions_[line_feed_];
    auto line = [&](std::uint32_t at) {
      return static_cast<std::uint32_t>(std::lower_bound(breaks.begin(), breaks.end(), at) -
                                        breaks.begin());
    };
    lines_.clear();
    for (std::uint32_t start : starts_[0]) lines_.push_back(line(start));
    for (std::size_t w = 1; w < words_.size() && !lines_.empty(); ++w) {
      std::size_t kept = 0;
      other_.clear();
      for (std::uint32_t start : starts_[w]) other_.push_back(line(start));
      for (std::uint32_t l : lines_) {
        if (std::binary_search(other_.begin(), other_.end(), l)) lines_[kept++] = l;
      }
      lines_.resize(kept);
    }
    return !lines_.empty();
  }

  bool para_ = false, order_ = false;
  std::vector<std::vector<std::size_t>> words_;  // slots of each word's characters
  std::size_t line_feed_ = 0;
  std::vector<std::uint32_t> keys_;                    // each slot's character
  std::vector<search_index::PositionList> lists_;      // by slot
  std::vector<std::vector<std::uint32_t>> positions_;  // by slot, in the current record
  std::vector<std::vector<std::uint32_t>> starts_;     // by word
  std::vector<std::vector<std::size_t>> rarest_;       // by word, its places rarest first
  std::vector<std::uint32_t> loaded_;  // by slot, the record whose positions it holds
  std::uint32_t record_ = 0;
  std::vector<Occurrence> hits_, merged_;
  std::vector<std::uint32_t> lines_, other_;
};

// The records of candidates that match leaf, read back from the record file and matched
// against their values.
Status ReadBack(LibraryState const& lib, Leaf const& leaf, bitmap::RecordSet const& candidates,
                Bits& bits) {
  search_index::Reader const& index = lib.index;
  if (Status s = lib.CheckRecords(); !s.ok()) return s;
  std::string value;
  std::string_view text = lib.records.bytes();
  // The records read back are let go a stretch at a time: a query that reads most of a
  // large record file does not keep it all resident (its pages stay in the system's cache).
  constexpr std::uint64_t kHeld = std::uint64_t{8} << 20;
  std::uint64_t held_from = UINT64_MAX, held_to = 0;
  for (std::uint32_t n : candidates.Members()) {
    std::uint64_t start = 0, end = 0;
    if (!index.Extent(n, start, end) || end > text.size()) return lib.IndexDamaged();
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
    bool found = chars.size() == 1 || PairKey(chars[0], chars[1], key);
    if (found && !index.LookupInto(code, key, bits, &found)) return lib.IndexDamaged();
    if (found || chars.size() == 1) return Status();
  }
  // A field of few values: each value is matched once, and its records are the answer.
  if (index.HasValues(code)) {
    bool read = index.ValuesInto(
        code, [&](std::string_view value) { return Match(leaf, value); }, bits);
    return read ? Status() : lib.IndexDamaged();
  }
  // Candidates: the records holding every pair that has a set, and every character.
  bitmap::RecordSet candidates, part;
  bool first = true;
  auto narrow = [&](bitmap::RecordSet const& set) {
    if (first) {
      candidates.CopyFrom(set);
      first = false;
    } else {
      candidates.And(set);
    }
    return candidates.Count() > 0;
  };
  std::vector<std::uint32_t> implied;  // characters of pairs that have sets
  for (auto const& chars : word_chars) {
    for (std::size_t i = 1; i < chars.size(); ++i) {
      std::uint32_t pair = 0;
      bool found = false;
      if (!PairKey(chars[i - 1], chars[i], pair)) continue;
      if (!index.Lookup(code, pair, part, &found)) return lib.IndexDamaged();
      if (found && !narrow(part)) return Status();
      if (found) implied.insert(implied.end(), {chars[i - 1], chars[i]});
    }
  }
  if (kind != Kind::kText || !whole) {
    for (auto const& chars : word_chars) {
      for (std::uint32_t key : chars) {
        if (!index.Lookup(code, key, part)) return lib.IndexDamaged();
        if (!narrow(part)) return Status();
      }
    }
    if (first && !index.Lookup(code, search_index::kFieldKey, part)) return lib.IndexDamaged();
    if (first && !narrow(part)) return Status();
    return ReadBack(lib, leaf, candidates, bits);
  }

  // Text of whole characters: answered from the positions, read for the candidates only.
  PositionMatcher matcher;
  if (!matcher.Open(index, leaf, word_chars)) return lib.IndexDamaged();
  // Candidates few already (from pair sets) are checked as they are: reading the sets of
  // frequent characters would cost more than their positions.
  std::vector<std::uint32_t> kept = first ? std::vector<std::uint32_t>() : candidates.Members();
  if (first || kept.size() > kFewCandidates) {
    if (!matcher.Narrow(kept, first, implied, index.records())) return lib.IndexDamaged();
    if (kept.empty()) return Status();
  }
  matcher.Expect(kept.size());
  // A record where a lead byte takes an LF as its trail cuts its lines unlike its
  // characters, so PARA reads it back.
  bitmap::RecordSet odd;
  if (para) {
    for (std::uint32_t lead = 0x81; lead <= 0xFF; ++lead) {
      if (!index.Lookup(code, lead << 8 | kLineFeed, part)) return lib.IndexDamaged();
      for (std::uint32_t n : part.Members()) odd.Add(n);
    }
  }
  bitmap::RecordSet read_back;
  bool any_odd = odd.Count() > 0;
  for (std::uint32_t n : kept) {
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
