#include "readers/index_segment.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace qel::search_index {
namespace {

constexpr std::size_t kChars = 65536;
constexpr std::size_t kFirstSlots = 1024;
constexpr std::uint8_t kLargestClass = 12;  // chunks of 64 KiB
constexpr std::size_t kChunkHead = 4;
constexpr std::size_t kFlushBytes = std::size_t{1} << 20;
constexpr std::size_t kListHead = 12;

std::size_t ChunkBytes(std::uint8_t size_class) {
  return std::size_t{16} << size_class;
}

std::size_t Payload(std::uint8_t size_class) {
  return ChunkBytes(size_class) - kChunkHead;
}

std::size_t VarintLength(std::uint32_t v) {
  return v < (1u << 7) ? 1 : v < (1u << 14) ? 2 : v < (1u << 21) ? 3 : v < (1u << 28) ? 4 : 5;
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
  // Most of the budget holds lists; the rest lets the key tables grow.
  pool_size_ = std::max<std::size_t>(budget / 2, 4096);
  pool_ = {static_cast<unsigned char*>(memory::AllocateLarge(pool_size_)), FreePool{pool_size_}};
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
  if (!f.others.empty() && grown + pool_size_ > std::max(budget_, pool_size_ * 2)) return false;
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

bool PostingTable::Append(Entry& e, std::uint32_t n) {
  std::uint32_t delta = n + 1 - e.last;
  std::size_t length = VarintLength(delta);
  if (e.last == 0) {
    if (pool_used_ + ChunkBytes(0) > pool_size_) return false;
    e.first = e.tail = static_cast<std::uint32_t>(pool_used_);
    e.size_class = 0;
    e.used = 0;
    e.bytes = 0;
    pool_used_ += ChunkBytes(0);
  } else if (e.used + length > Payload(e.size_class)) {
    auto size_class = static_cast<std::uint8_t>(std::min<int>(e.size_class + 1, kLargestClass));
    if (pool_used_ + ChunkBytes(size_class) > pool_size_) return false;
    unsigned char* tail = pool_.get() + e.tail;
    // The unused end of a full chunk is zero, which no varint byte is.
    std::memset(tail + kChunkHead + e.used, 0, Payload(e.size_class) - e.used);
    auto next = static_cast<std::uint32_t>(pool_used_);
    std::memcpy(tail, &next, sizeof next);
    e.tail = next;
    e.size_class = size_class;
    e.used = 0;
    pool_used_ += ChunkBytes(size_class);
  }
  unsigned char* out = pool_.get() + e.tail + kChunkHead + e.used;
  while (delta >= 0x80) {
    *out++ = static_cast<unsigned char>(delta | 0x80);
    delta >>= 7;
  }
  *out = static_cast<unsigned char>(delta);
  e.used = static_cast<std::uint16_t>(e.used + length);
  e.bytes += static_cast<std::uint32_t>(length);
  e.last = n + 1;
  empty_ = false;
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
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (e->last != records[i] + 1 && !Append(*e, records[i])) return i;
  }
  return records.size();
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
    __builtin_prefetch(pool_.get() + e->tail + kChunkHead + e->used, 1);
}

bool PostingTable::AddValue(std::uint32_t field, std::uint32_t number, std::uint32_t n) {
  Field& f = FieldOf(field);
  if (f.values.size() <= number) {
    table_bytes_ += (number + 1 - f.values.size()) * sizeof(Entry);
    f.values.resize(number + 1);
  }
  Entry& e = f.values[number];
  return e.last == n + 1 || Append(e, n);
}

char* PostingTable::WriteList(char* out, std::uint64_t key, Entry const& e) const {
  for (std::size_t i = 0; i < 8; ++i) *out++ = static_cast<char>(key >> (8 * i));
  for (std::size_t i = 0; i < 4; ++i) *out++ = static_cast<char>(e.bytes >> (8 * i));
  std::uint8_t size_class = 0;
  for (std::uint32_t chunk = e.first;;) {
    char const* data = reinterpret_cast<char const*>(pool_.get() + chunk + kChunkHead);
    if (chunk == e.tail) {
      std::memcpy(out, data, e.used);
      return out + e.used;
    }
    std::size_t length = Payload(size_class);
    while (length > 0 && data[length - 1] == 0) --length;
    std::memcpy(out, data, length);
    out += length;
    std::memcpy(&chunk, pool_.get() + chunk, sizeof chunk);
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
  auto fetch = [&](Entry const& e) { __builtin_prefetch(pool_.get() + e.first); };
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

SegmentReader::SegmentReader(std::string const& path) : buffer_(std::size_t{1} << 20) {
  in_.rdbuf()->pubsetbuf(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  in_.open(path, std::ios::binary);
  failed_ = !in_;
}

bool SegmentReader::Next() {
  if (failed_) return false;
  unsigned char head[12];
  in_.read(reinterpret_cast<char*>(head), sizeof head);
  if (in_.gcount() == 0 && in_.eof()) return false;
  if (in_.gcount() != sizeof head) {
    failed_ = true;
    return false;
  }
  key_ = 0;
  for (int i = 7; i >= 0; --i) key_ = key_ << 8 | head[i];
  bytes_ = static_cast<std::uint32_t>(head[8]) | static_cast<std::uint32_t>(head[9]) << 8 |
           static_cast<std::uint32_t>(head[10]) << 16 | static_cast<std::uint32_t>(head[11]) << 24;
  list_.resize(bytes_);
  in_.read(reinterpret_cast<char*>(list_.data()), static_cast<std::streamsize>(bytes_));
  if (static_cast<std::size_t>(in_.gcount()) != bytes_) {
    failed_ = true;
    return false;
  }
  return true;
}

void SegmentReader::Records(std::vector<std::uint32_t>& records) {
  std::uint32_t at = 0;  // the last record plus one
  for (std::size_t i = 0; i < list_.size();) {
    std::uint32_t delta = 0;
    for (int shift = 0; i < list_.size(); shift += 7) {
      unsigned char b = list_[i++];
      delta |= static_cast<std::uint32_t>(b & 0x7F) << shift;
      if (b < 0x80) break;
    }
    at += delta;
    records.push_back(at - 1);
  }
}

}  // namespace qel::search_index
