#include "retrieval.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <deque>
#include <fstream>
#include <limits>

#include "platform/text/collate.h"
#include "platform/text/mbcs.h"
#include "qelshare/CExpStack.h"
#include "qelshare/CMrfCut.h"
#include "qelshare/CQel2000.h"
#include "qelshare/memory.h"

namespace qel::retrieval {

// A leaf item of the postfix stream, parsed once per query.
struct Library::Leaf {
  enum Kind { kHistory, kText, kComparison, kValue } kind = kValue;
  std::string code;
  std::string text_kind;  // NEAR, ORDER, PARA, or empty for one word
  std::vector<std::string> words;
  int op = 0;
  std::string operand;  // comparison operand or the value
  std::size_t history = 0;
};

namespace {

using Leaf = Library::Leaf;

std::string Entry(CStringArr& list, int i) {
  char const* s = list.Get(i);
  return s == nullptr ? std::string() : std::string(s);
}

std::vector<std::string_view> SplitView(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = s.find(sep, start);
    parts.push_back(s.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// Character index of every byte offset of a GBK text (offsets inside a character map to
// the character's index); one more entry for the end.
std::vector<int> CharIndex(std::string_view s) {
  std::vector<int> index(s.size() + 1);
  int chars = 0;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = text::CharLength(s, i);
    for (std::size_t k = 0; k < n; ++k) index[i + k] = chars;
    i += n;
    ++chars;
  }
  index[s.size()] = chars;
  return index;
}

struct Hit {
  int start, end, word;  // in characters
};

// Every occurrence of every word, ordered by start.
std::vector<Hit> Occurrences(std::vector<std::string> const& words, std::string_view value,
                             std::vector<int> const& chars) {
  std::vector<Hit> hits;
  for (int w = 0; w < static_cast<int>(words.size()); ++w) {
    if (words[w].empty()) continue;
    for (std::size_t at = text::FindText(value, words[w]); at != text::npos;
         at = text::FindText(value, words[w], at + text::CharLength(value, at))) {
      hits.push_back({chars[at], chars[at + words[w].size()], w});
    }
  }
  std::sort(hits.begin(), hits.end(), [](Hit const& a, Hit const& b) { return a.start < b.start; });
  return hits;
}

bool Near(std::vector<std::string> const& words, std::string_view value) {
  std::vector<int> chars = CharIndex(value);
  std::vector<Hit> hits = Occurrences(words, value, chars);
  // Walking occurrences by start: the latest occurrence of each word so far gives the
  // smallest gap for the current latest start.
  std::vector<int> last_end(words.size(), std::numeric_limits<int>::min());
  std::size_t seen = 0;
  for (Hit const& h : hits) {
    if (last_end[h.word] == std::numeric_limits<int>::min()) ++seen;
    last_end[h.word] = std::max(last_end[h.word], h.end);
    if (seen < words.size()) continue;
    int earliest = *std::min_element(last_end.begin(), last_end.end());
    if (h.start - earliest <= kNearDistance) return true;
  }
  return false;
}

bool Order(std::vector<std::string> const& words, std::string_view value) {
  std::vector<int> chars = CharIndex(value);
  std::vector<Hit> hits = Occurrences(words, value, chars);
  // reach[k]: ends of chains of words 0..k that satisfy the rule.
  std::vector<int> ends;
  for (Hit const& h : hits) {
    if (h.word == 0) ends.push_back(h.end);
  }
  for (int w = 1; w < static_cast<int>(words.size()); ++w) {
    std::vector<int> next;
    for (Hit const& h : hits) {
      if (h.word != w) continue;
      for (int e : ends) {
        if (h.start >= e && h.start - e <= kNearDistance) {
          next.push_back(h.end);
          break;
        }
      }
    }
    ends = std::move(next);
    if (ends.empty()) return false;
  }
  return !ends.empty();
}

bool Number(std::string_view s, double* out) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (s.empty()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
  return ec == std::errc() && end == s.data() + s.size();
}

// Negative, zero or positive: value against operand.
int Compare(std::string_view value, std::string_view operand) {
  double a, b;
  if (Number(value, &a) && Number(operand, &b)) return a < b ? -1 : a > b ? 1 : 0;
  return text::Compare(value, operand);
}

bool ParseLeaf(std::string const& item, History const* history, Leaf& leaf, std::string& error) {
  std::vector<std::string_view> parts = SplitView(item, '\n');
  if (parts.size() == 2 && parts[0] == "#") {
    std::size_t n = 0;
    auto [end, ec] = std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), n);
    if (ec != std::errc() || history == nullptr || n == 0 || n > history->size()) {
      error = "no result #" + std::string(parts[1]);
      return false;
    }
    leaf.kind = Leaf::kHistory;
    leaf.history = n;
    return true;
  }
  leaf.code = std::string(parts[0]);
  if (parts.size() >= 3 && (parts[1] == "NEAR" || parts[1] == "ORDER" || parts[1] == "PARA")) {
    // Words may hold line feeds of their own (quoted text): the rest of the item is words.
    leaf.kind = Leaf::kText;
    leaf.text_kind = std::string(parts[1]);
    leaf.words = Words(std::string_view(item).substr(parts[0].size() + parts[1].size() + 2));
    return true;
  }
  if (parts.size() >= 3 && parts[1].size() == 1 && parts[1][0] >= '0' && parts[1][0] <= '9') {
    leaf.kind = Leaf::kComparison;
    leaf.op = parts[1][0] - '0';
    leaf.operand = item.substr(parts[0].size() + 3);
    return true;
  }
  if (parts.size() >= 2) {
    leaf.kind = Leaf::kValue;
    leaf.operand = item.substr(parts[0].size() + 1);
    return true;
  }
  error = "the postfix item '" + item + "' is not a leaf this host knows";
  return false;
}

bool MatchValue(Leaf const& leaf, std::string_view value) {
  switch (leaf.kind) {
    case Leaf::kText:
      return MatchText(leaf.text_kind, leaf.words, value);
    case Leaf::kComparison:
      return MatchComparison(leaf.op, leaf.operand, value);
    case Leaf::kValue:
      return value == leaf.operand;
    default:
      return false;
  }
}

bool Match(Leaf const& leaf, Record const& record) {
  std::string const* value = record.Find(leaf.code);
  return value != nullptr && MatchValue(leaf, *value);
}

// The value of one field of a record's text, as ParseRecord would give it; false when the
// record has no such field.
bool FieldOf(std::string_view text, std::string_view code, std::string& value) {
  bool found = false;
  value.clear();
  if (code.empty()) return false;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (line.size() <= code.size() || line[code.size()] != '=' || !line.starts_with(code) ||
        line.substr(0, code.size()).find('=') != std::string_view::npos) {
      continue;
    }
    if (line.back() == '\r') line.remove_suffix(1);
    if (found) value += '\n';
    value.append(line.substr(code.size() + 1));
    found = true;
  }
  return found;
}

// Evaluates the stream with CExpStack over the leaves' bitmaps, in stream order.
bool Evaluate(std::vector<std::string_view> const& items, std::vector<Bits> const& bits,
              std::size_t records, Outcome& outcome) {
  CExpStack stack(records);
  std::size_t next = 0;
  for (std::string_view item : items) {
    int ok = 1;
    if (item == "AND") {
      ok = stack.And();
    } else if (item == "OR") {
      ok = stack.Or();
    } else if (item == "SUB") {
      ok = stack.Sub();
    } else if (item == "NOT") {
      ok = stack.Not();
    } else {
      auto* block = static_cast<unsigned char*>(GlobalAlloc(GMEM_FIXED, stack.m_nBytes));
      if (block == nullptr) {
        outcome.error = "out of memory for a hit bitmap";
        return false;
      }
      Bits const& leaf = bits[next++];
      std::memcpy(block, leaf.data(), std::min<std::size_t>(leaf.size(), stack.m_nBytes));
      ok = stack.Push(block);
      if (!ok) GlobalFree(block);
    }
    if (!ok) {
      outcome.error = "the expression does not evaluate: '" + std::string(item) +
                      "' lacks an operand or too many operands are pending";
      return false;
    }
  }
  unsigned char* result = nullptr;
  if (!stack.GetResult(result)) {
    outcome.error = "the expression does not evaluate: operands are left without an operator";
    return false;
  }
  outcome.hits.assign(result, result + stack.m_nBytes);
  GlobalFree(result);
  // Bits past the last record (set by NOT) are no records.
  if (records % 8 != 0) outcome.hits.back() &= (1u << (records % 8)) - 1;
  return true;
}

}  // namespace

std::string const* Record::Find(std::string_view code) const {
  for (auto const& [c, v] : fields) {
    if (c == code) return &v;
  }
  return nullptr;
}

std::vector<std::string> Words(std::string_view words) {
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

bool MatchText(std::string_view kind, std::vector<std::string> const& words,
               std::string_view value) {
  if (words.empty()) return false;
  if (kind == "PARA") {
    for (std::string_view line : SplitView(value, '\n')) {
      bool all = std::all_of(words.begin(), words.end(), [&](std::string const& w) {
        return text::FindText(line, w) != text::npos;
      });
      if (all) return true;
    }
    return false;
  }
  if (words.size() == 1) return text::FindText(value, words[0]) != text::npos;
  return kind == "ORDER" ? Order(words, value) : Near(words, value);
}

bool MatchComparison(int op, std::string_view operand, std::string_view value) {
  if (op <= 5) {
    int c = Compare(value, operand);
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
  std::size_t comma = operand.find(',');
  if (comma == std::string_view::npos) return false;
  int low = Compare(value, operand.substr(0, comma));
  int high = Compare(value, operand.substr(comma + 1));
  bool low_ok = op == 8 || op == 9 ? low >= 0 : low > 0;     // [ closed, ( open
  bool high_ok = op == 7 || op == 9 ? high <= 0 : high < 0;  // ] closed, ) open
  return low_ok && high_ok;
}

void ParseRecord(std::string_view text, Record& record) {
  record.fields.clear();
  for (std::string_view line : SplitView(text, '\n')) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;
    std::string_view code = line.substr(0, eq);
    std::string_view value = line.substr(eq + 1);
    auto it = std::find_if(record.fields.begin(), record.fields.end(),
                           [&](auto const& f) { return f.first == code; });
    if (it == record.fields.end()) {
      record.fields.emplace_back(std::string(code), std::string(value));
    } else {
      it->second.append("\n").append(value);
    }
  }
}

bool Library::Open(std::string const& base, std::string& error) {
  CQel2000 descriptor;
  if (!descriptor.Open(base.c_str())) {
    error = descriptor.m_strPath + ".qel is not a retrieval library descriptor";
    return false;
  }
  CStringArr names, codes, descriptions, members;
  CByteArray types;
  if (!descriptor.GetField(&names, &codes, &types, &descriptions, &members)) {
    error = "cannot read the field table " + descriptor.m_strPath + ".sor";
    return false;
  }
  for (int i = 0; i < names.GetSize(); ++i) {
    std::string code = Entry(members, i).empty() ? Entry(codes, i) : Entry(members, i);
    analyser_->AddField(Entry(names, i).c_str(), code.c_str(), types[i]);
    if (std::islower(types[i]) == 0 &&
        std::find(codes_.begin(), codes_.end(), code) == codes_.end()) {
      codes_.push_back(code);
    }
  }
  file_ = descriptor.m_strPath + ".mrf";
  CMrfCut cut;
  if (!cut.Open(file_.c_str(), "^l^l", 0)) {
    error = "cannot open the record file " + file_;
    return false;
  }
  std::string index_file = descriptor.m_strPath + ".qix";
  if (!std::ifstream(index_file).good()) return true;
  search_index::Binding binding;
  if (!search_index::BindingOf(file_, binding, error)) return false;
  std::string reason;
  if (!index_.Open(index_file, binding, reason) || !mapped_records_.Open(file_, reason)) {
    error = reason + "; run `qel index " + descriptor.m_strPath + "` to rebuild it";
    return false;
  }
  file_size_ = binding.size;
  indexed_ = true;
  return true;
}

bool Library::IndexedLeaf(Leaf const& leaf, Bits& bits) {
  std::size_t records = size();
  bits.assign((records + 7) / 8, 0);
  if (leaf.kind == Leaf::kText && leaf.words.empty()) return true;
  // The keys of each word's characters; a lead byte ending a word may pair with any trail
  // in the text, so it gives no key (and leaves the word inexact).
  std::vector<std::string> const value_word = {leaf.operand};
  std::vector<std::string> const& words = leaf.kind == Leaf::kText ? leaf.words : value_word;
  std::vector<std::vector<std::uint32_t>> word_keys;
  bool whole = true;
  if (leaf.kind == Leaf::kText || leaf.kind == Leaf::kValue) {
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
  if (leaf.kind == Leaf::kText && words.size() == 1 && whole && word_keys[0].size() == 1 &&
      (leaf.text_kind != "PARA" || words[0].find('\n') == std::string::npos)) {
    return index_.LookupInto(leaf.code, word_keys[0][0], bits);
  }
  // A field of few values: each value is matched once, and its records are the answer.
  if (index_.HasValues(leaf.code)) {
    return index_.ValuesInto(
        leaf.code, [&](std::string_view value) { return MatchValue(leaf, value); }, bits);
  }
  // Otherwise the records holding every key are candidates, checked against the records.
  bitmap::RecordSet candidates, part;
  bool first = true;
  for (auto const& keys : word_keys) {
    for (std::uint32_t key : keys) {
      if (!index_.Lookup(leaf.code, key, part)) return false;
      if (first) {
        candidates = std::move(part);
        part = bitmap::RecordSet();
        first = false;
      } else {
        candidates.And(part);
      }
    }
  }
  if (first && !index_.Lookup(leaf.code, search_index::kFieldKey, candidates)) return false;
  std::string value;
  std::string_view text = mapped_records_.bytes();
  auto set = [&](std::uint32_t n) { bits[n / 8] |= static_cast<unsigned char>(1u << (n % 8)); };
  for (std::uint32_t n : candidates.Members()) {
    std::uint64_t start = Offset(n), end = n + 1 < records ? Offset(n + 1) : file_size_;
    if (end > text.size()) return false;
    if (FieldOf(text.substr(start, end - start), leaf.code, value) && MatchValue(leaf, value)) {
      set(n);
    }
  }
  return true;
}

bool Library::ReadRecord(std::size_t i, Record& record) const {
  if (i >= size()) return false;
  std::uint64_t start = Offset(i), end = i + 1 < size() ? Offset(i + 1) : file_size_;
  if (indexed_) {
    std::string_view text = mapped_records_.bytes();
    if (end > text.size()) return false;
    record.offset = start;
    ParseRecord(text.substr(start, end - start), record);
    return true;
  }
  std::ifstream in(file_, std::ios::binary);
  if (!in.seekg(static_cast<std::streamoff>(start))) return false;
  std::string text(end - start, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  record.offset = start;
  ParseRecord(text, record);
  return true;
}

Outcome Library::Search(std::string const& expression, History const* history,
                        Progress const& progress) {
  Outcome outcome;
  if (!analyser_->Analyse(expression.c_str())) {
    outcome.error = "the expression is rejected: " + analyser_->GetError();
    return outcome;
  }
  outcome.poland = analyser_->GetPoland();
  outcome.redkey = analyser_->GetRedKey();
  std::vector<std::string_view> items;
  for (std::string_view item : SplitView(outcome.poland, '\r')) {
    if (!item.empty()) items.push_back(item);
  }
  // The leaves of the stream, matched against every record in one pass.
  std::vector<Leaf> leaves;
  for (std::string_view item : items) {
    if (item == "AND" || item == "OR" || item == "SUB" || item == "NOT") continue;
    Leaf leaf;
    if (!ParseLeaf(std::string(item), history, leaf, outcome.error)) return outcome;
    leaves.push_back(std::move(leaf));
  }
  std::vector<Bits> bits(leaves.size());
  if (indexed_) {
    for (std::size_t k = 0; k < leaves.size(); ++k) {
      if (leaves[k].kind == Leaf::kHistory) {
        bits[k] = (*history)[leaves[k].history - 1];
        bits[k].resize((size() + 7) / 8);
      } else if (!IndexedLeaf(leaves[k], bits[k])) {
        outcome.error = "the index of " + file_ + " is damaged; run `qel index` on the library";
        return outcome;
      }
    }
    outcome.ok = Evaluate(items, bits, size(), outcome);
    return outcome;
  }
  CMrfCut cut;
  if (!cut.Open(file_.c_str(), "^l^l", 0)) {
    outcome.error = "cannot open the record file " + file_;
    return outcome;
  }
  offsets_.clear();
  file_size_ = cut.GetSize();
  Record record;
  for (;;) {
    std::uint64_t offset = cut.GetPos();
    CString text = cut.GetRecord();
    if (text.empty()) break;
    std::size_t n = offsets_.size();
    offsets_.push_back(offset);
    ParseRecord(text, record);
    for (std::size_t k = 0; k < leaves.size(); ++k) {
      if (n % 8 == 0) bits[k].push_back(0);
      if (leaves[k].kind != Leaf::kHistory && Match(leaves[k], record)) {
        bits[k][n / 8] |= static_cast<unsigned char>(1u << (n % 8));
      }
    }
    if (progress) progress(cut.GetPos(), file_size_);
  }
  std::size_t records = offsets_.size();
  for (std::size_t k = 0; k < leaves.size(); ++k) {
    if (leaves[k].kind == Leaf::kHistory) bits[k] = (*history)[leaves[k].history - 1];
    bits[k].resize((records + 7) / 8);
  }
  outcome.ok = Evaluate(items, bits, records, outcome);
  return outcome;
}

namespace {

// The fields of a record's text as ParseRecord gives them, viewed in place; the value of a
// code met twice is joined in joined (a deque: growing it moves no buffer).
void FieldViews(std::string_view text, std::vector<search_index::Builder::Field>& fields,
                std::deque<std::pair<std::size_t, std::string>>& joined) {
  fields.clear();
  std::size_t joins = 0;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;
    std::string_view code = line.substr(0, eq);
    std::string_view value = line.substr(eq + 1);
    auto it =
        std::find_if(fields.begin(), fields.end(), [&](auto const& f) { return f.code == code; });
    if (it == fields.end()) {
      fields.push_back({code, value});
      continue;
    }
    // A second line of the code: the value is joined in a buffer of its own.
    auto k = static_cast<std::size_t>(it - fields.begin());
    std::size_t j = 0;
    while (j < joins && joined[j].first != k) ++j;
    if (j == joins) {
      if (joined.size() == joins) joined.emplace_back();
      joined[j].first = k;
      joined[j].second.assign(it->value);
      ++joins;
    }
    joined[j].second.append("\n").append(value);
    it->value = joined[j].second;
  }
}

}  // namespace

bool BuildIndex(std::string const& record_file, std::string const& index_file,
                std::uint32_t& records, std::string& error, Library::Progress const& progress,
                std::size_t memory_budget) {
  search_index::Binding binding;
  if (!search_index::BindingOf(record_file, binding, error)) return false;
  if (binding.size > search_index::kMaxRecordFile) {
    error = record_file + " holds more than 4 GiB, more than an index serves";
    return false;
  }
  CMrfCut cut;
  if (!cut.Open(record_file.c_str(), "^l^l", 0)) {
    error = "cannot open the record file " + record_file;
    return false;
  }
  search_index::Builder builder(index_file + ".run", memory_budget);
  std::vector<search_index::Builder::Field> fields;
  std::deque<std::pair<std::size_t, std::string>> joined;
  for (std::uint64_t record = 0;; ++record) {
    auto offset = static_cast<std::uint32_t>(cut.GetPos());
    CString text = cut.GetRecord();
    if (text.empty()) break;
    FieldViews(text, fields, joined);
    builder.Add(offset, fields);
    if (progress && record % 1024 == 0) progress(cut.GetPos(), binding.size);
  }
  builder.Finish();
  if (progress) progress(cut.GetPos(), binding.size);
  // A record file changed while it was read binds nothing.
  search_index::Binding after;
  if (!search_index::BindingOf(record_file, after, error) || after.size != binding.size ||
      after.mtime_ns != binding.mtime_ns || after.head_hash != binding.head_hash) {
    error = record_file + " changed while it was indexed; index it again";
    return false;
  }
  records = builder.records();
  return builder.Write(index_file, binding, error);
}

std::vector<std::pair<std::string, std::string>> HighlightTerms(
    std::string const& redkey, std::vector<std::string> const& codes) {
  std::vector<std::pair<std::string, std::string>> terms;
  std::size_t start = 0;
  for (std::size_t open = redkey.find('['); open != std::string::npos;
       open = redkey.find('[', open + 1)) {
    std::size_t close = redkey.find(']', open);
    if (close == std::string::npos) break;
    std::string code = redkey.substr(open + 1, close - open - 1);
    if (std::find(codes.begin(), codes.end(), code) == codes.end()) continue;
    for (std::string& word : Words(std::string_view(redkey).substr(start, open - start))) {
      terms.emplace_back(code, std::move(word));
    }
    start = close + 1;
    open = close;
  }
  return terms;
}

std::string Mark(std::string_view text, std::vector<std::string> const& terms,
                 std::string_view open, std::string_view close) {
  std::vector<std::string> sorted = terms;
  std::sort(sorted.begin(), sorted.end(),
            [](auto const& a, auto const& b) { return a.size() > b.size(); });
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    bool marked = false;
    for (std::string const& t : sorted) {
      if (!t.empty() && text.substr(i, t.size()) == t) {
        out.append(open).append(t).append(close);
        i += t.size();
        marked = true;
        break;
      }
    }
    if (marked) continue;
    std::size_t n = text::CharLength(text, i);
    out.append(text.substr(i, n));
    i += n;
  }
  return out;
}

}  // namespace qel::retrieval
