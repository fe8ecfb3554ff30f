#include "readers/index_segment.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <tuple>
#include <utility>

#include "platform/coding/coding.h"
#include "readers/position_code.h"

namespace qel::search_index {
namespace {

constexpr std::size_t kChars = 65536;
constexpr std::size_t kFirstSlots = 1024;
constexpr std::uint8_t kLargestClass = 12;  // chunks of 64 KiB
constexpr std::size_t kChunkHead = 4;
constexpr std::size_t kFlushBytes = std::size_t{1} << 20;
constexpr std::size_t kListHead = 12;
// Pool offsets are 32-bit.
constexpr std::size_t kLargestPool = (std::size_t{1} << 32) - (std::size_t{1} << 16);

std::size_t ChunkBytes(std::uint8_t size_class) {
  return std::size_t{16} << size_class;
}

std::size_t Payload(std::uint8_t size_class) {
  return ChunkBytes(size_class) - kChunkHead;
}

// Payload bytes of a list's chunks before its chunk number i (i <= kLargestClass).
constexpr std::array<std::uint32_t, kLargestClass + 1> kBefore = [] {
  std::array<std::uint32_t, kLargestClass + 1> before{};
  for (std::size_t i = 1; i <= kLargestClass; ++i)
    before[i] =
        before[i - 1] + static_cast<std::uint32_t>((std::size_t{16} << (i - 1)) - kChunkHead);
  return before;
}();

// The size class of the chunk holding byte number bytes - 1 of a list, and how many of
// its payload bytes are used (bytes > 0): every chunk before it is full.
std::pair<std::uint8_t, std::size_t> TailOf(std::uint32_t bytes) {
  for (std::uint8_t c = 0; c < kLargestClass; ++c) {
    if (bytes <= kBefore[c + 1]) return {c, bytes - kBefore[c]};
  }
  std::size_t past = bytes - kBefore[kLargestClass];
  return {kLargestClass, past - (past - 1) / Payload(kLargestClass) * Payload(kLargestClass)};
}

std::uint32_t LinkOf(unsigned char const* chunk) {
  std::uint32_t link;
  std::memcpy(&link, chunk, sizeof link);
  return link;
}

void SetLink(unsigned char* chunk, std::uint32_t link) {
  std::memcpy(chunk, &link, sizeof link);
}

// Multiplicative hashing, the slot rising with OrderOf(key): keys added in that order walk
// the table from one end to the other.
std::size_t Slot(std::uint32_t key, std::size_t mask) {
  return static_cast<std::size_t>(std::uint64_t{OrderOf(key)} * (mask + 1) >> 32);
}

}  // namespace

std::span<std::uint64_t const> SortByHigh(std::vector<std::uint64_t>& items,
                                          std::vector<std::uint64_t>& scratch) {
  constexpr int kDigits = 3, kBits = 11;
  constexpr std::size_t kBuckets = std::size_t{1} << kBits;
  std::vector<std::size_t> counts(kDigits * kBuckets);
  auto digit = [](std::uint64_t item, int d) {
    return static_cast<std::size_t>(item >> (32 + kBits * d) & (kBuckets - 1));
  };
  for (std::uint64_t item : items) {
    for (int d = 0; d < kDigits; ++d) ++counts[d * kBuckets + digit(item, d)];
  }
  if (scratch.size() < items.size()) scratch.resize(items.size());
  // Each pass moves the items between the two buffers; the buffers themselves stay.
  std::uint64_t* from = items.data();
  std::uint64_t* to = scratch.data();
  for (int d = 0; d < kDigits; ++d) {
    std::size_t* count = counts.data() + d * kBuckets;
    if (std::find(count, count + kBuckets, items.size()) != count + kBuckets) continue;
    std::size_t at = 0;
    for (std::size_t b = 0; b < kBuckets; ++b) at += std::exchange(count[b], at);
    for (std::uint64_t const* item = from; item != from + items.size(); ++item)
      to[count[digit(*item, d)]++] = *item;
    std::swap(from, to);
  }
  return {from, items.size()};
}

PostingTable::PostingTable(std::size_t budget) : budget_(budget) {
  // Lists and key tables share the budget: a round that needs many keys grows the tables,
  // and the lists take what is left. Lists always get a sixteenth, so that a budget smaller
  // than the tables every field keeps still holds some lists.
  list_floor_ = std::max<std::size_t>(budget / 16, 4096);
  pool_size_ = std::min(std::max(budget, list_floor_), kLargestPool);
  pool_ = {static_cast<unsigned char*>(memory::AllocateLarge(pool_size_)), FreePool{pool_size_}};
}

std::size_t PostingTable::ListRoom() const {
  std::size_t room = budget_ > table_bytes_ ? budget_ - table_bytes_ : 0;
  return std::min(std::max(room, list_floor_), pool_size_);
}

PostingTable::Field& PostingTable::FieldOf(std::uint32_t field) {
  while (fields_.size() <= field) fields_.emplace_back();
  Field& f = fields_[field];
  if (f.chars.empty()) {
    f.chars.resize(kChars);
    table_bytes_ += kChars * sizeof(Entry);
  }
  return f;
}

bool PostingTable::Grow(Field& f, std::size_t slots) {
  std::size_t grown = table_bytes_ + (slots - f.others.size()) * sizeof(Entry);
  // Pool pages once used stay mapped, so the tables grow only into what the lists never
  // took: the first rounds settle how the budget is shared. The old table lives on while
  // its keys move to the new one.
  std::size_t moving = f.others.size() * sizeof(Entry);
  if (!f.others.empty() && grown + moving + std::max(pool_peak_, list_floor_) > budget_)
    return false;
  memory::LargeVector<Entry> old = std::move(f.others);
  f.others.assign(slots, Entry{});
  table_bytes_ = grown;
  for (Entry const& e : old) {
    if (e.last == 0) continue;
    std::size_t i = Slot(e.key, slots - 1);
    while (f.others[i].last != 0) i = (i + 1) & (slots - 1);
    f.others[i] = e;
  }
  return true;
}

void PostingTable::Reserve(std::uint32_t field, std::size_t keys) {
  Field& f = FieldOf(field);
  std::size_t slots = std::max(kFirstSlots, f.others.size());
  while ((f.other_count + keys) * 10 > slots * 7) slots *= 2;
  // As large as the budget allows, if not as large as asked.
  for (; slots > f.others.size(); slots /= 2) {
    if (Grow(f, slots)) return;
  }
}

PostingTable::Entry* PostingTable::Other(Field& f, std::uint32_t key) {
  if (!f.others.empty()) {
    std::size_t mask = f.others.size() - 1;
    for (std::size_t i = Slot(key, mask);; i = (i + 1) & mask) {
      Entry& e = f.others[i];
      if (e.last == 0 || e.key == key) {
        if (e.last != 0) return &e;
        break;
      }
    }
  }
  // A new key: grow the table past 70% full, while the budget allows.
  if ((f.other_count + 1) * 10 > f.others.size() * 7 &&
      !Grow(f, std::max(kFirstSlots, f.others.size() * 2)) && !f.others.empty()) {
    return nullptr;
  }
  std::size_t mask = f.others.size() - 1;
  std::size_t i = Slot(key, mask);
  while (f.others[i].last != 0) i = (i + 1) & mask;
  f.others[i].key = key;
  ++f.other_count;
  return &f.others[i];
}

bool PostingTable::NewChunk(std::uint8_t size_class, std::uint32_t& at) {
  if (pool_used_ + ChunkBytes(size_class) > ListRoom()) return false;
  at = static_cast<std::uint32_t>(pool_used_);
  pool_used_ += ChunkBytes(size_class);
  pool_peak_ = std::max(pool_peak_, pool_used_);
  return true;
}

std::size_t PostingTable::Append(Entry& e, std::span<std::uint32_t const> records) {
  std::uint8_t size_class = 0;
  std::size_t used = 0;
  if (e.last != 0) {
    std::tie(size_class, used) = TailOf(e.bytes);
  } else if (!records.empty()) {
    std::uint32_t at = 0;
    if (!NewChunk(0, at)) return 0;
    SetLink(pool_.get() + at, at);  // a list of one chunk: the tail links to itself
    e.tail = at;
  }
  unsigned char* chunk = pool_.get() + e.tail;
  for (std::size_t i = 0; i < records.size(); ++i) {
    std::uint32_t n = records[i];
    if (e.last == n + 1) continue;
    std::uint32_t delta = n + 1 - e.last;
    unsigned char bytes[5];
    std::size_t length = 0;
    for (; delta >= 0x80; delta >>= 7) bytes[length++] = static_cast<unsigned char>(delta | 0x80);
    bytes[length++] = static_cast<unsigned char>(delta);
    std::size_t room = Payload(size_class) - used;
    if (room >= length) {
      std::memcpy(chunk + kChunkHead + used, bytes, length);
      used += length;
    } else {
      // The varint runs on into a new chunk, which takes the tail's link to the first.
      auto next_class = static_cast<std::uint8_t>(std::min<int>(size_class + 1, kLargestClass));
      std::uint32_t at = 0;
      if (!NewChunk(next_class, at)) return i;
      unsigned char* next = pool_.get() + at;
      SetLink(next, LinkOf(chunk));
      SetLink(chunk, at);
      std::memcpy(chunk + kChunkHead + used, bytes, room);
      std::memcpy(next + kChunkHead, bytes + room, length - room);
      chunk = next;
      e.tail = at;
      size_class = next_class;
      used = length - room;
    }
    e.bytes += static_cast<std::uint32_t>(length);
    e.last = n + 1;
    empty_ = false;
  }
  return records.size();
}

bool PostingTable::AppendBytes(Entry& e, std::span<unsigned char const> bytes) {
  std::uint8_t size_class = 0;
  std::size_t used = 0;
  if (e.last != 0) std::tie(size_class, used) = TailOf(e.bytes);
  auto next_class = [](std::uint8_t c) {
    return static_cast<std::uint8_t>(std::min<int>(c + 1, kLargestClass));
  };
  // The chunks the bytes need, counted before any is taken, so that a list never holds
  // part of a record.
  std::size_t need = e.last == 0 ? ChunkBytes(0) : 0;
  std::size_t room = Payload(size_class) - used;
  for (std::size_t left = bytes.size(), c = size_class; left > room;) {
    left -= room;
    c = next_class(static_cast<std::uint8_t>(c));
    need += ChunkBytes(static_cast<std::uint8_t>(c));
    room = Payload(static_cast<std::uint8_t>(c));
  }
  if (pool_used_ + need > ListRoom()) return false;
  std::uint32_t at = 0;
  if (e.last == 0) {
    NewChunk(0, at);
    SetLink(pool_.get() + at, at);
    e.tail = at;
  }
  unsigned char* chunk = pool_.get() + e.tail;
  for (std::size_t done = 0; done < bytes.size();) {
    if (used == Payload(size_class)) {
      size_class = next_class(size_class);
      NewChunk(size_class, at);
      unsigned char* next = pool_.get() + at;
      SetLink(next, LinkOf(chunk));
      SetLink(chunk, at);
      chunk = next;
      e.tail = at;
      used = 0;
    }
    std::size_t length = std::min(Payload(size_class) - used, bytes.size() - done);
    std::memcpy(chunk + kChunkHead + used, bytes.data() + done, length);
    used += length;
    done += length;
  }
  e.bytes += static_cast<std::uint32_t>(bytes.size());
  empty_ = false;
  return true;
}

bool PostingTable::AddPositions(std::uint32_t field, std::uint32_t key, std::uint32_t n,
                                std::span<unsigned char const> positions) {
  Entry& e = FieldOf(field).chars[key];
  std::uint32_t delta = n + 1 - e.last;
  // Mostly the tail chunk has room for the few bytes: written there at once.
  if (e.last != 0 && positions.size() < 64) {
    auto [size_class, used] = TailOf(e.bytes);
    if (Payload(size_class) - used >= positions.size() + 5) {
      unsigned char* start = pool_.get() + e.tail + kChunkHead + used;
      unsigned char* to = coding::PutVarint32(start, delta);
      std::memcpy(to, positions.data(), positions.size());
      e.bytes += static_cast<std::uint32_t>(to - start + positions.size());
      e.last = n + 1;
      return true;
    }
  }
  thread_local std::vector<unsigned char> bytes;
  bytes.clear();
  coding::AppendVarint32(bytes, delta);
  bytes.insert(bytes.end(), positions.begin(), positions.end());
  if (!AppendBytes(e, bytes)) return false;
  e.last = n + 1;
  return true;
}

bool PostingTable::Add(std::uint32_t field, std::uint32_t key, std::uint32_t n) {
  return AddRun(field, key, std::span(&n, 1)) == 1;
}

std::size_t PostingTable::AddRun(std::uint32_t field, std::uint32_t key,
                                 std::span<std::uint32_t const> records) {
  if (records.empty()) return 0;
  Field& f = FieldOf(field);
  Entry* e = key < kChars ? &f.chars[key] : Other(f, key);
  if (e == nullptr) return 0;
  return Append(*e, records);
}

void PostingTable::PrefetchList(std::uint32_t field, std::uint32_t key) {
  Field& f = FieldOf(field);
  Entry const* e = nullptr;
  if (key < kChars) {
    e = &f.chars[key];
  } else if (!f.others.empty()) {
    std::size_t mask = f.others.size() - 1;
    for (std::size_t i = Slot(key, mask);; i = (i + 1) & mask) {
      if (f.others[i].last == 0) break;
      if (f.others[i].key == key) {
        e = &f.others[i];
        break;
      }
    }
  }
  if (e != nullptr && e->last != 0)
    __builtin_prefetch(pool_.get() + e->tail + kChunkHead + TailOf(e->bytes).second, 1);
}

bool PostingTable::AddValue(std::uint32_t field, std::uint32_t number, std::uint32_t n) {
  Field& f = FieldOf(field);
  if (f.values.size() <= number) {
    table_bytes_ += (number + 1 - f.values.size()) * sizeof(Entry);
    f.values.resize(number + 1);
  }
  return Append(f.values[number], std::span(&n, 1)) == 1;
}

char* PostingTable::WriteList(char* out, std::uint64_t key, Entry const& e) const {
  for (std::size_t i = 0; i < 8; ++i) *out++ = static_cast<char>(key >> (8 * i));
  for (std::size_t i = 0; i < 4; ++i) *out++ = static_cast<char>(e.bytes >> (8 * i));
  std::uint8_t size_class = 0;
  std::size_t left = e.bytes;
  for (std::uint32_t chunk = LinkOf(pool_.get() + e.tail);;) {
    std::size_t length = std::min(Payload(size_class), left);
    std::memcpy(out, pool_.get() + chunk + kChunkHead, length);
    out += length;
    left -= length;
    if (left == 0) return out;
    chunk = LinkOf(pool_.get() + chunk);
    size_class = static_cast<std::uint8_t>(std::min<int>(size_class + 1, kLargestClass));
  }
}

bool PostingTable::WriteSegment(std::ostream& out) const {
  std::ostream* const parts[] = {&out};
  return WriteSegment(parts);
}

bool PostingTable::WriteSegment(std::span<std::ostream* const> parts) const {
  // Lists are copied into a buffer per part, written whenever the next list might not fit.
  struct Part {
    std::vector<char> buffer = std::vector<char>(kFlushBytes);
    std::size_t used = 0;
  };
  std::vector<Part> buffers(parts.size());
  bool ok = true;
  auto write = [&](std::uint64_t key, Entry const& e) {
    std::size_t p = parts.size() == 1 ? 0 : PartOf(key, parts.size());
    Part& part = buffers[p];
    std::size_t bytes = kListHead + e.bytes;
    if (part.buffer.size() - part.used < bytes) {
      ok = parts[p]->write(part.buffer.data(), static_cast<std::streamsize>(part.used)) && ok;
      part.used = 0;
      if (part.buffer.size() < bytes) part.buffer.resize(bytes);
    }
    part.used = static_cast<std::size_t>(WriteList(part.buffer.data() + part.used, key, e) -
                                         part.buffer.data());
  };
  // Lists lie in the pool in the order they began, not in key order: their first chunks,
  // and the entries of other keys, are fetched some lists ahead of copying them.
  constexpr std::size_t kAhead = 8;
  auto fetch = [&](Entry const& e) { __builtin_prefetch(pool_.get() + e.tail); };
  std::vector<std::uint64_t> others, scratch;  // key << 32 | slot
  for (std::size_t field = 0; field < fields_.size(); ++field) {
    Field const& f = fields_[field];
    std::uint64_t high = static_cast<std::uint64_t>(field) << 32;
    for (std::size_t key = 0; key < f.chars.size(); ++key) {
      if (key + kAhead < f.chars.size() && f.chars[key + kAhead].last != 0)
        fetch(f.chars[key + kAhead]);
      if (f.chars[key].last == 0) continue;
      write(high | key, f.chars[key]);
    }
    // Only keys are sorted: each list is in record order already.
    others.clear();
    for (std::size_t slot = 0; slot < f.others.size(); ++slot) {
      if (f.others[slot].last != 0)
        others.push_back(std::uint64_t{f.others[slot].key} << 32 | slot);
    }
    std::span<std::uint64_t const> sorted = SortByHigh(others, scratch);
    auto entry = [&](std::size_t i) -> Entry const& {
      return f.others[static_cast<std::uint32_t>(sorted[i])];
    };
    for (std::size_t i = 0; i < sorted.size(); ++i) {
      if (i + 2 * kAhead < sorted.size()) __builtin_prefetch(&entry(i + 2 * kAhead));
      if (i + kAhead < sorted.size()) fetch(entry(i + kAhead));
      write(high | sorted[i] >> 32, entry(i));
    }
  }
  for (std::size_t field = 0; field < fields_.size(); ++field) {
    std::uint64_t high = kValueList | static_cast<std::uint64_t>(field) << 32;
    for (std::size_t number = 0; number < fields_[field].values.size(); ++number) {
      if (fields_[field].values[number].last == 0) continue;
      write(high | number, fields_[field].values[number]);
    }
  }
  for (std::size_t p = 0; p < parts.size(); ++p) {
    Part const& part = buffers[p];
    ok = parts[p]->write(part.buffer.data(), static_cast<std::streamsize>(part.used)) && ok;
  }
  return ok;
}

void PostingTable::Clear() {
  for (Field& f : fields_) {
    std::fill(f.chars.begin(), f.chars.end(), Entry{});
    std::fill(f.others.begin(), f.others.end(), Entry{});
    f.other_count = 0;
    std::fill(f.values.begin(), f.values.end(), Entry{});
  }
  pool_used_ = 0;
  empty_ = true;
}

SegmentReader::SegmentReader(std::string const& path, std::size_t block)
    : block_(std::max<std::size_t>(block, kListHead)) {
  failed_ = !file_.Open(path);
}

void SegmentReader::Fill(std::size_t bytes) {
  if (end_ - begin_ >= bytes || !in_) return;
  std::memmove(block_.data(), block_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  while (end_ < bytes && in_) {
    in_.read(reinterpret_cast<char*>(block_.data() + end_),
             static_cast<std::streamsize>(block_.size() - end_));
    end_ += static_cast<std::size_t>(in_.gcount());
  }
}

bool SegmentReader::Next() {
  if (failed_) return false;
  Fill(kListHead);
  if (end_ == begin_) {
    failed_ = file_.failed();  // the end of the file, or a read that failed
    return false;
  }
  if (end_ - begin_ < kListHead) {
    failed_ = true;
    return false;
  }
  unsigned char const* head = block_.data() + begin_;
  key_ = coding::Get64(head);
  std::size_t bytes = coding::Get32(head + 8);
  passed_ += kListHead + bytes;
  begin_ += kListHead;
  if (bytes <= block_.size()) {
    Fill(bytes);
    if (end_ - begin_ < bytes) {
      failed_ = true;
      return false;
    }
    list_ = {block_.data() + begin_, bytes};
    begin_ += bytes;
    return true;
  }
  long_.assign(block_.data() + begin_, block_.data() + end_);
  begin_ = end_ = 0;
  std::size_t have = long_.size();
  long_.resize(bytes);
  in_.read(reinterpret_cast<char*>(long_.data() + have),
           static_cast<std::streamsize>(bytes - have));
  if (static_cast<std::size_t>(in_.gcount()) != bytes - have) {
    failed_ = true;
    return false;
  }
  list_ = long_;
  return true;
}

void SegmentReader::Records(std::vector<std::uint32_t>& records) const {
  ListDecoder decoder(list_);
  for (std::uint32_t n; decoder.Next(n);) records.push_back(n);
}

std::size_t SegmentReader::Varints() const {
  // Each varint ends in the one byte of it below 0x80; their high bits are counted eight
  // bytes at a time, moved to the bytes' low ends and summed into the top byte.
  std::size_t count = 0, i = 0;
  for (; i + 8 <= list_.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, list_.data() + i, 8);
    count += static_cast<std::size_t>(
        ((~word & 0x8080808080808080ull) >> 7) * 0x0101010101010101ull >> 56);
  }
  for (; i < list_.size(); ++i) count += list_[i] < 0x80;
  return count;
}

bool PositionsDecoder::Next(std::uint32_t& record, std::span<unsigned char const>& positions) {
  if (i_ == bytes_.size() || malformed_) return false;
  unsigned char const* end = bytes_.data() + bytes_.size();
  std::uint32_t delta = 0;
  unsigned char const* p = coding::GetVarint32(bytes_.data() + i_, end, delta);
  unsigned char const* after = p == nullptr ? nullptr : position_code::End(p, end);
  if (delta == 0 || after == nullptr) {
    malformed_ = true;
    return false;
  }
  at_ += delta;
  record = at_ - 1;
  positions = {p, static_cast<std::size_t>(after - p)};
  i_ = static_cast<std::size_t>(after - bytes_.data());
  return true;
}

}  // namespace qel::search_index
