#include "readers/search_index.h"

#include "platform/coding/coding.h"
#include "platform/fs/path.h"
#include "readers/position_code.h"
#include "readers/search_index_layout.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>

namespace qel::search_index {
using namespace layout;

void StreamHash::Stripe(char const* bytes) {
  for (int lane = 0; lane < 4; ++lane) {
    std::uint64_t word;
    std::memcpy(&word, bytes + 8 * lane, 8);
    std::uint64_t h = (lanes_[lane] ^ word) * 0x100000001b3ull;
    lanes_[lane] = h ^ h >> 29;
  }
}

void StreamHash::Add(std::string_view bytes) {
  std::size_t i = 0;
  if (pending_size_ > 0) {
    while (pending_size_ < kStripe && i < bytes.size()) pending_[pending_size_++] = bytes[i++];
    if (pending_size_ < kStripe) return;
    Stripe(pending_);
    pending_size_ = 0;
  }
  for (; i + kStripe <= bytes.size(); i += kStripe) Stripe(bytes.data() + i);
  for (; i < bytes.size(); ++i) pending_[pending_size_++] = bytes[i];
}

std::uint64_t StreamHash::value() const {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (std::uint64_t lane : lanes_) {
    h = (h ^ lane) * 0x100000001b3ull;
    h ^= h >> 29;
  }
  for (std::size_t i = 0; i < pending_size_; ++i)
    h = (h ^ static_cast<unsigned char>(pending_[i])) * 0x100000001b3ull;
  return h;
}

std::uint64_t Hash(std::string_view bytes) {
  StreamHash h;
  h.Add(bytes);
  return h.value();
}

std::pair<std::uint32_t, std::size_t> CharKey(std::string_view text, std::size_t i) {
  auto lead = static_cast<unsigned char>(text[i]);
  if (lead >= 0x81 && i + 1 < text.size()) {
    return {static_cast<std::uint32_t>(lead) << 8 | static_cast<unsigned char>(text[i + 1]), 2};
  }
  return {lead, 1};
}

bool BindingOf(std::string const& record_file, Binding& binding, std::string& error) {
  fs::FileStamp stamp;
  if (!fs::Stamp(record_file, stamp)) {
    error = "cannot read " + record_file;
    return false;
  }
  std::ifstream in(fs::ToOs(record_file), std::ios::binary);
  std::string head(std::min<std::uint64_t>(stamp.size, kHeadBytes), '\0');
  if (!in.read(head.data(), static_cast<std::streamsize>(head.size()))) {
    error = "cannot read " + record_file;
    return false;
  }
  binding = {stamp.size, stamp.mtime_ns, Hash(head)};
  return true;
}

bool Reader::Open(std::string const& path, Binding const& binding, std::string& error) {
  fields_.clear();
  records_ = 0;
  path_ = path;
  static std::atomic<std::uint64_t> openings{0};
  opened_ = ++openings;
  if (!file_.Open(path, error)) {
    error = "cannot read " + path + ": " + error;
    return false;
  }
  bytes_ = file_.bytes();
  file_.ReadAtRandom();
  auto fail = [&](std::string const& why) {
    error = path + " " + why;
    fields_.clear();
    records_ = 0;
    return false;
  };
  // Only the header, the field directory and the fields' top keys are read here, with
  // reads rather than through the mapping: an index opens in the time of a few reads
  // whatever its size, and a query maps none of its pages (the system maps a stretch of
  // the file around each page touched, and it stays). Check reads the rest; a bitmap's
  // own hash is checked whenever a query uses it.
  std::string head;
  if (bytes_.size() < kHeader || !file_.ReadAt(0, kHeader, head) ||
      std::memcmp(head.data(), kMagic, sizeof kMagic) != 0) {
    return fail("is not a search index");
  }
  if (coding::Get32(head.data() + 8) != kVersion) {
    return fail("is a search index of version " + std::to_string(coding::Get32(head.data() + 8)) +
                ", this program reads version " + std::to_string(kVersion));
  }
  if (coding::Get64(head.data() + 48) != bytes_.size()) return fail("is cut short or damaged");
  std::uint64_t fields = coding::Get32(head.data() + 12);
  std::uint64_t records = coding::Get32(head.data() + 16);
  std::uint64_t dir_at = kHeader + 4 * records;
  std::uint64_t bitmaps_at = dir_at + kDirEntry * fields;
  std::uint64_t tables_at = coding::Get64(head.data() + 72);
  std::string dir;
  if (bitmaps_at > bytes_.size() || tables_at < bitmaps_at || tables_at > bytes_.size() ||
      !file_.ReadAt(dir_at, kDirEntry * fields, dir)) {
    return fail("is cut short or damaged");
  }
  std::uint64_t table_at = tables_at;
  for (std::uint64_t f = 0; f < fields; ++f) {
    char const* entry = dir.data() + kDirEntry * f;
    std::string_view code(entry, kCodeBytes);
    code = code.substr(0, code.find('\0'));
    Field field{
        coding::Get32(entry + 16), coding::Get32(entry + 20), coding::Get64(entry + 24), {}};
    std::uint64_t entries = kTermEntry * (std::uint64_t{field.terms} + field.values);
    std::uint64_t table_bytes = entries + 4 * TopKeys(field.terms);
    if (field.table != table_at || table_bytes > bytes_.size() - table_at ||
        !file_.ReadAt(table_at + entries, 4 * TopKeys(field.terms), field.top)) {
      return fail("is damaged (a term table lies outside the file)");
    }
    table_at += table_bytes;
    fields_.emplace(std::string(code), std::move(field));
  }
  if (table_at != bytes_.size()) return fail("is cut short or damaged");
  if (coding::Get64(head.data() + 24) != binding.size ||
      static_cast<std::int64_t>(coding::Get64(head.data() + 32)) != binding.mtime_ns ||
      coding::Get64(head.data() + 40) != binding.head_hash) {
    return fail("does not belong to the record file as it is now");
  }
  records_ = static_cast<std::uint32_t>(records);
  record_bytes_ = binding.size;
  field_count_ = static_cast<std::uint32_t>(fields);
  return true;
}

bool Reader::Check(std::string& error, std::uint64_t* terms) const {
  auto fail = [&](std::string const& why) {
    error = path_ + " " + why;
    return false;
  };
  std::uint64_t fields = field_count_;
  std::uint64_t dir_at = kHeader + 4ull * records_;
  std::uint64_t bitmaps_at = dir_at + kDirEntry * fields;
  if (Hash(bytes_.substr(kHeader, bitmaps_at - kHeader)) != coding::Get64(bytes_.data() + 56)) {
    return fail("is damaged (its directory does not match its checksum)");
  }
  if (TablesHash() != coding::Get64(bytes_.data() + 64)) {
    return fail("is damaged (its term tables do not match their checksum)");
  }
  std::uint64_t record_file = coding::Get64(bytes_.data() + 24);
  auto offset = [&](std::uint32_t n) { return coding::Get32(bytes_.data() + kHeader + 4ull * n); };
  for (std::uint32_t n = 0; n < records_; ++n) {
    if (offset(n) >= record_file || (n > 0 && offset(n) <= offset(n - 1))) {
      return fail("is damaged (record offsets out of order)");
    }
  }
  std::uint64_t count = 0;
  bitmap::RecordSet set;
  for (auto const& [code, field] : fields_) {
    for (std::uint32_t t = 0; t < field.terms; ++t) {
      std::size_t at = field.table + kTermEntry * std::size_t{t};
      Entry entry{coding::Get32(bytes_.data() + at + 4), coding::Get64(bytes_.data() + at + 8),
                  coding::Get64(bytes_.data() + at + 16)};
      std::string_view data;
      std::uint32_t inline_records[kInlineMost];
      std::uint32_t key = coding::Get32(bytes_.data() + at);
      bool is_char = key < 0x10000u;
      if ((entry.length & kInline) != 0 ? is_char || Inline(entry, inline_records) == 0
                                        : !Bitmap(entry, data) || !set.Read(data) ||
                                              (set.Count() > 0 && set.Maximum() >= records_)) {
        return fail("is damaged (a record set of field " + code + " does not match its checksum)");
      }
      if (is_char) {
        PositionList list;
        list.set_view_ = data;
        if (set.Count() == 0 || !list.ranks_.Open(data) || !ReadPositions(entry, list) ||
            !CheckPositions(list, set)) {
          return fail("is damaged (the positions of a character of field " + code +
                      " do not match their checksum)");
        }
        LetGo(list);
      }
      if (t > 0 &&
          coding::Get32(bytes_.data() + at) <= coding::Get32(bytes_.data() + at - kTermEntry)) {
        return fail("is damaged (the terms of field " + code + " are out of order)");
      }
      std::size_t top = field.table + kTermEntry * (std::size_t{field.terms} + field.values) +
                        4 * (t / kTopEvery);
      if (t % kTopEvery == 0 &&
          coding::Get32(bytes_.data() + top) != coding::Get32(bytes_.data() + at)) {
        return fail("is damaged (the top keys of field " + code + " are not its terms)");
      }
    }
    std::vector<unsigned char> bits((records_ + 7) / 8);
    if (!ValuesInto(
            code, [](std::string_view) { return true; }, bits)) {
      return fail("is damaged (a value of field " + code + " does not match its checksum)");
    }
    count += field.terms + field.values;
  }
  if (terms != nullptr) *terms = count;
  return true;
}

std::uint64_t Reader::TablesHash() const {
  // Each field's table hashed alone, the hashes folded in directory order, as written.
  std::uint64_t hash = 0xcbf29ce484222325ull;
  std::uint64_t dir_at = kHeader + 4ull * records_;
  for (std::size_t f = 0; f < field_count_; ++f) {
    std::size_t at = dir_at + kDirEntry * f;
    std::uint64_t terms = coding::Get32(bytes_.data() + at + 16);
    std::uint64_t entries = terms + coding::Get32(bytes_.data() + at + 20);
    std::uint64_t table = coding::Get64(bytes_.data() + at + 24);
    hash = (hash ^ Hash(bytes_.substr(table, kTermEntry * entries + 4 * TopKeys(terms)))) *
           0x100000001b3ull;
  }
  return hash;
}

std::uint32_t Reader::Offset(std::uint32_t n) const {
  char at[4];
  // (A read, not a touch of the mapping: see Open. An offset that cannot be read is the
  // file's end, which no record starts at.)
  if (!file_.ReadAt(kHeader + 4ull * n, at)) return static_cast<std::uint32_t>(-1);
  return coding::Get32(at);
}

bool Reader::Extent(std::uint32_t n, std::uint64_t& start, std::uint64_t& end) const {
  if (n >= records_) return false;
  char at[8];
  std::span<char> both(at, n + 1 < records_ ? 8 : 4);
  if (!file_.ReadAt(kHeader + 4ull * n, both)) return false;
  start = coding::Get32(at);
  end = both.size() == 8 ? coding::Get32(at + 4) : record_bytes_;
  return start <= end && end <= record_bytes_;
}

template <class Each, class Whole>
bool Reader::Visit(std::string_view code, std::uint32_t key, Each each, Whole whole,
                   bool* found) const {
  Entry entry;
  int in_table = Find(code, key, entry);
  if (found != nullptr) *found = in_table > 0;
  if (in_table <= 0) return in_table == 0;
  if ((entry.length & kInline) != 0) {
    std::uint32_t records[kInlineMost];
    std::size_t n = Inline(entry, records);
    for (std::size_t i = 0; i < n; ++i) each(records[i]);
    return n > 0;
  }
  std::string_view data;
  bool read = Bitmap(entry, data) && whole(data);
  LetGo(data);
  return read;
}

bool Reader::Lookup(std::string_view code, std::uint32_t key, bitmap::RecordSet& set,
                    bool* found) const {
  set.Clear();
  return Visit(
      code, key, [&](std::uint32_t n) { set.Add(n); },
      [&](std::string_view data) {
        return set.Read(data) && (set.Count() == 0 || set.Maximum() < records_);
      },
      found);
}

std::size_t Reader::Inline(Entry const& entry, std::uint32_t* records) const {
  std::size_t n = entry.length & ~kInline;
  auto third = static_cast<std::uint32_t>(entry.hash);
  if (n == 0 || n > kInlineMost || InlineHash(entry.offset, third) != entry.hash) return 0;
  records[0] = static_cast<std::uint32_t>(entry.offset);
  records[1] = static_cast<std::uint32_t>(entry.offset >> 32);
  records[2] = third;
  for (std::size_t i = 0; i < n; ++i) {
    if (records[i] >= records_ || (i > 0 && records[i] <= records[i - 1])) return 0;
  }
  return n;
}

void Reader::LetGo(std::string_view data) const {
  // A large set is read in a query's time and seldom again soon.
  if (data.size() >= kReadBytes) {
    file_.Forget(static_cast<std::size_t>(data.data() - bytes_.data()), data.size());
  }
}

int Reader::Find(std::string_view code, std::uint32_t key, Entry& entry) const {
  auto it = fields_.find(code);
  if (it == fields_.end()) return 0;
  Field const& field = it->second;
  // The stretch of kTopEvery terms whose first key is the last at or below key, read into
  // this thread's buffer and searched there.
  std::string_view top = field.top;
  std::size_t low = 0, high = top.size() / 4;
  while (low < high) {
    std::size_t mid = (low + high) / 2;
    if (coding::Get32(top.data() + 4 * mid) <= key) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  if (low == 0) return 0;
  std::size_t first = (low - 1) * kTopEvery;
  std::size_t count = std::min<std::size_t>(kTopEvery, field.terms - first);
  // The stretch last read on this thread is read again only for another: look-ups in key
  // order (a word's characters, PARA's lead bytes before LF) often fall in one.
  thread_local fs::ReadBuffer stretch;
  thread_local std::uint64_t stretch_of = 0, stretch_at = 0;
  std::uint64_t at = field.table + kTermEntry * first;
  if (stretch_of != opened_ || stretch_at != at || stretch.size() != kTermEntry * count) {
    stretch_of = 0;
    if (!file_.ReadAt(at, kTermEntry * count, stretch)) return -1;
    stretch_of = opened_;
    stretch_at = at;
  }
  low = 0;
  high = count;
  while (low < high) {
    std::size_t mid = (low + high) / 2;
    char const* at = stretch.view().data() + kTermEntry * mid;
    std::uint32_t k = coding::Get32(at);
    if (k < key) {
      low = mid + 1;
    } else if (k > key) {
      high = mid;
    } else {
      entry = {coding::Get32(at + 4), coding::Get64(at + 8), coding::Get64(at + 16)};
      return 1;
    }
  }
  return 0;
}

bool Reader::Bitmap(Entry const& entry, std::string_view& data) const {
  std::uint64_t length = entry.length;
  if (entry.offset > bytes_.size() || length > bytes_.size() - entry.offset) return false;
  if (length < kReadBytes) {
    // A small set is read, not touched through the mapping (see MappedFile::ReadAt).
    thread_local fs::ReadBuffer buffer;
    if (!file_.ReadAt(entry.offset, length, buffer)) return false;
    data = buffer.view();
  } else {
    data = bytes_.substr(entry.offset, length);
  }
  return Hash(data) == entry.hash;
}

bool Reader::Positions(std::string_view code, std::uint32_t key, PositionList& list) const {
  list = PositionList();
  Entry entry;
  int found = Find(code, key, entry);
  if (found <= 0) return found == 0;
  // A character's term always has a set, and the set's records have positions. The set's
  // bytes stay with the list, which finds records' places in them.
  if (key >= 0x10000u || (entry.length & kInline) != 0) return false;
  std::uint64_t length = entry.length;
  if (entry.offset > bytes_.size() || length > bytes_.size() - entry.offset) return false;
  std::string_view after;  // what was read past the set
  if (length < kReadBytes) {
    // A small set is read together with the head of its positions and the block table as
    // long as the set's size allows (a byte a record at least), in one call on the system.
    std::uint64_t guess = kPositionsHead + kPositionEntry * PositionBlocks(length);
    std::uint64_t read = length + std::min(guess, bytes_.size() - entry.offset - length);
    if (!file_.ReadAt(entry.offset, read, list.set_bytes_)) return false;
    list.set_view_ = list.set_bytes_.view().substr(0, length);
    after = list.set_bytes_.view().substr(length);
  } else {
    list.set_view_ = bytes_.substr(entry.offset, length);
  }
  if (Hash(list.set_view_) != entry.hash) return false;
  list.records_ = records_;
  if (!list.ranks_.Open(list.set_view_) || list.ranks_.Count() == 0) return false;
  return ReadPositions(entry, list, after);
}

bool Reader::ReadPositions(Entry const& entry, PositionList& list, std::string_view read) const {
  std::uint64_t at = entry.offset + entry.length;
  std::uint64_t blocks = PositionBlocks(list.ranks_.Count());
  std::uint64_t table = kPositionEntry * blocks;
  if (at > bytes_.size() || kPositionsHead + table > bytes_.size() - at) return false;
  // The head and block table are checked whole; the positions are read only in the blocks
  // a query asks for.
  if (read.size() < kPositionsHead + table) {
    if (!file_.ReadAt(at, kPositionsHead + table, list.table_bytes_)) return false;
    read = list.table_bytes_.view();
  }
  std::string_view head = read.substr(0, kPositionsHead);
  list.table_ = read.substr(kPositionsHead, table);
  if (coding::Get32(head.data() + 8) != blocks) return false;
  StreamHash hash;
  hash.Add(head.substr(8));
  hash.Add(list.table_);
  if (hash.value() != coding::Get64(head.data())) return false;
  std::uint64_t length = coding::Get32(list.table_.data() + table - kPositionEntry);
  std::uint64_t data = at + kPositionsHead + table;
  if (length > bytes_.size() - data) return false;
  list.bytes_ = bytes_.substr(data, length);
  list.file_ = &file_;
  return true;
}

void Reader::LetGo(PositionList const& list) const {
  if (list.set_bytes_.size() == 0) LetGo(list.set_view_);
}

bool Reader::CheckPositions(PositionList& list, bitmap::RecordSet const& set) {
  // Each block's records end where the block does, and the last block where the bytes do.
  std::vector<std::uint32_t> positions;
  list.Expect(list.count());
  std::vector<std::uint32_t> members = set.Members();
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (i > 0 && i % kPositionBlock == 0 && list.at_ != list.block_bytes_.size()) return false;
    if (!list.Find(members[i], positions)) return false;
  }
  return list.at_ == list.block_bytes_.size() && list.block_end_ == list.bytes_.size();
}

bool PositionList::EnterBlock(std::size_t block) {
  std::size_t begin = block == 0 ? 0 : coding::Get32(table_.data() + kPositionEntry * (block - 1));
  std::size_t end = coding::Get32(table_.data() + kPositionEntry * block);
  block_ = SIZE_MAX;
  if (begin > end || end > bytes_.size()) return false;
  // The block is read, and when many are wanted the window of blocks it starts.
  if (begin < read_from_ || end > read_from_ + read_.size()) {
    std::size_t length = std::max(end - begin, std::min(window_, bytes_.size() - begin));
    auto from = static_cast<std::uint64_t>(bytes_.data() - file_->bytes().data());
    if (!file_->ReadAt(from + begin, length, read_)) {
      read_.clear();
      return false;
    }
    read_from_ = begin;
  }
  block_bytes_ = read_.view().substr(begin - read_from_, end - begin);
  if (static_cast<std::uint32_t>(Hash(block_bytes_)) !=
      coding::Get32(table_.data() + kPositionEntry * block + 4)) {
    return false;
  }
  block_ = block;
  rank_ = block * kPositionBlock;
  at_ = 0;
  block_end_ = end;
  return true;
}

void PositionList::Expect(std::uint64_t lookups) {
  // (Divided, not multiplied: lookups may be any number.)
  window_ = (bytes_.size() + kWindowEach - 1) / kWindowEach <= lookups ? kWindow : 0;
}

bool PositionList::Set(bitmap::RecordSet& set) const {
  if (count() == 0) {
    set.Clear();
    return true;
  }
  return set.Read(set_view_) && set.Count() == count() && set.Maximum() < records_;
}

bool PositionList::Records(std::vector<std::uint32_t>& records) const {
  if (count() == 0) {
    records.clear();  // the field holds no such character
    return true;
  }
  return bitmap::Members(set_view_, records) && records.size() == count() &&
         records.back() < records_;
}

bool PositionList::Holds(std::uint32_t n, bool& held) {
  std::uint64_t rank = 0;
  held = ranks_.Find(n, rank);
  return !held || rank < count();  // a set whose words and counts disagree
}

bool PositionList::Find(std::uint32_t n, std::vector<std::uint32_t>& positions) {
  positions.clear();
  std::uint64_t found_rank = 0;
  if (!ranks_.Find(n, found_rank)) return true;
  if (found_rank >= count()) return false;  // a set whose words and counts disagree
  auto rank = static_cast<std::size_t>(found_rank);
  if ((rank / kPositionBlock != block_ || rank < rank_) && !EnterBlock(rank / kPositionBlock)) {
    return false;
  }
  auto const* base = reinterpret_cast<unsigned char const*>(block_bytes_.data());
  unsigned char const* p = base + at_;
  unsigned char const* end = base + block_bytes_.size();
  // Records before n in its block are passed over: each ends in its only byte below 0x40,
  // counted eight bytes at a time.
  while (rank_ < rank) {
    if (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, 8);
      std::size_t in_word = position_code::EndsIn(word);
      if (in_word < rank - rank_) {
        rank_ += in_word;
        p += 8;
        continue;
      }
    }
    if ((p = position_code::End(p, end)) == nullptr) return false;
    ++rank_;
  }
  std::uint32_t position = 0;
  for (bool more = true; more;) {
    std::uint32_t v = 0;
    if ((p = position_code::Get(p, end, v, more)) == nullptr) return false;
    if (positions.empty()) {
      position = v;
    } else if (v >= UINT32_MAX - position) {
      return false;
    } else {
      position += v + 1;
    }
    positions.push_back(position);
  }
  ++rank_;
  at_ = static_cast<std::size_t>(p - base);
  return true;
}

bool Reader::LookupInto(std::string_view code, std::uint32_t key, std::span<unsigned char> bits,
                        bool* found) const {
  bits = bits.first(std::min<std::size_t>(bits.size(), (records_ + 7) / 8));
  return Visit(
      code, key,
      [&](std::uint32_t n) {
        if (n / 8 < bits.size()) bits[n / 8] |= static_cast<unsigned char>(1u << (n % 8));
      },
      [&](std::string_view data) { return bitmap::OrInto(data, bits); }, found);
}

bool Reader::HasValues(std::string_view code) const {
  auto it = fields_.find(code);
  return it != fields_.end() && it->second.values > 0;
}

bool Reader::ValuesInto(std::string_view code, std::function<bool(std::string_view)> const& wanted,
                        std::span<unsigned char> bits) const {
  auto it = fields_.find(code);
  if (it == fields_.end()) return true;
  bits = bits.first(std::min<std::size_t>(bits.size(), (records_ + 7) / 8));
  Field const& field = it->second;
  std::string entries;
  if (field.values == 0) return true;
  if (!file_.ReadAt(field.table + kTermEntry * std::uint64_t{field.terms},
                    kTermEntry * std::uint64_t{field.values}, entries)) {
    return false;
  }
  // Each value's text and set are one blob, checked together.
  struct Value {
    std::uint64_t text, length, offset, hash;
  };
  // The blobs lie one after another (in another order than the table's): taken in the
  // file's order, they are read a window of kReadBytes at a time, not in a call on the
  // system each.
  std::vector<Value> values(field.values);
  for (std::uint32_t v = 0; v < field.values; ++v) {
    char const* at = entries.data() + kTermEntry * v;
    std::uint64_t text = coding::Get32(at);
    values[v] = {text, text + coding::Get32(at + 4), coding::Get64(at + 8), coding::Get64(at + 16)};
  }
  std::sort(values.begin(), values.end(),
            [](Value const& a, Value const& b) { return a.offset < b.offset; });
  thread_local fs::ReadBuffer window;
  std::uint64_t window_at = 0;
  window.clear();
  for (Value const& value : values) {
    if (value.length > UINT32_MAX || value.offset > bytes_.size() ||
        value.length > bytes_.size() - value.offset) {
      return false;
    }
    if (value.offset < window_at || value.offset + value.length > window_at + window.size()) {
      window_at = value.offset;
      std::uint64_t length = std::max<std::uint64_t>(
          value.length, std::min<std::uint64_t>(kReadBytes, bytes_.size() - value.offset));
      if (!file_.ReadAt(window_at, length, window)) return false;
    }
    std::string_view data = window.view().substr(value.offset - window_at, value.length);
    if (Hash(data) != value.hash) return false;
    if (wanted(data.substr(0, value.text)) && !bitmap::OrInto(data.substr(value.text), bits)) {
      return false;
    }
  }
  return true;
}

}  // namespace qel::search_index
