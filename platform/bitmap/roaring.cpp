#include "platform/bitmap/roaring.h"

#include <roaring/roaring.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

#include "platform/coding/coding.h"

namespace qel::bitmap {

struct RecordSet::Impl {
  roaring_bitmap_t* set = roaring_bitmap_create();
  ~Impl() { roaring_bitmap_free(set); }
};

RecordSet::RecordSet() : impl_(std::make_unique<Impl>()) {}
RecordSet::~RecordSet() = default;
RecordSet::RecordSet(RecordSet&& other) noexcept = default;
RecordSet& RecordSet::operator=(RecordSet&& other) noexcept = default;

void RecordSet::Clear() {
  roaring_bitmap_clear(impl_->set);
}

void RecordSet::Add(std::uint32_t n) {
  roaring_bitmap_add(impl_->set, n);
}

void RecordSet::And(RecordSet const& other) {
  roaring_bitmap_and_inplace(impl_->set, other.impl_->set);
}

void RecordSet::AddMany(std::span<std::uint32_t const> records) {
  roaring_bitmap_add_many(impl_->set, records.size(), records.data());
}

std::uint64_t RecordSet::Count() const {
  return roaring_bitmap_get_cardinality(impl_->set);
}

void RecordSet::CopyFrom(RecordSet const& other) {
  roaring_bitmap_overwrite(impl_->set, other.impl_->set);
}

bool RecordSet::Contains(std::uint32_t n) const {
  return roaring_bitmap_contains(impl_->set, n);
}

std::uint64_t RecordSet::Rank(std::uint32_t n) const {
  return roaring_bitmap_rank(impl_->set, n);
}

std::uint32_t RecordSet::Maximum() const {
  return roaring_bitmap_maximum(impl_->set);
}

std::vector<std::uint32_t> RecordSet::Members() const {
  std::vector<std::uint32_t> out(Count());
  roaring_bitmap_to_uint32_array(impl_->set, out.data());
  return out;
}

std::vector<std::uint32_t> RecordSet::Members(std::uint64_t first, std::uint64_t n) const {
  std::uint64_t count = Count();
  std::vector<std::uint32_t> out;
  std::uint32_t start = 0;
  if (first >= count || n == 0 ||
      !roaring_bitmap_select(impl_->set, static_cast<std::uint32_t>(first), &start)) {
    return out;
  }
  out.resize(std::min(n, count - first));
  roaring_uint32_iterator_t it;
  roaring_init_iterator(impl_->set, &it);
  roaring_move_uint32_iterator_equalorlarger(&it, start);
  out.resize(roaring_read_uint32_iterator(&it, out.data(), static_cast<std::uint32_t>(out.size())));
  return out;
}

void RecordSet::OrInto(std::span<unsigned char> bits) const {
  roaring_uint32_iterator_t it;
  roaring_init_iterator(impl_->set, &it);
  std::uint32_t batch[256];
  for (;;) {
    std::uint32_t got = roaring_read_uint32_iterator(&it, batch, 256);
    for (std::uint32_t i = 0; i < got; ++i) {
      if (batch[i] / 8 >= bits.size()) return;
      bits[batch[i] / 8] |= static_cast<unsigned char>(1u << (batch[i] % 8));
    }
    if (got < 256) return;
  }
}

void RecordSet::AppendTo(std::string& out) const {
  roaring_bitmap_run_optimize(impl_->set);
  std::size_t at = out.size();
  out.resize(at + roaring_bitmap_portable_size_in_bytes(impl_->set));
  roaring_bitmap_portable_serialize(impl_->set, out.data() + at);
}

namespace {

// The portable format: a cookie, then per container its high 16 bits and cardinality - 1,
// offsets (absent when runs are flagged and there are fewer than four containers), then
// the containers: runs (count, then start and length - 1 pairs), sorted 16-bit arrays of
// at most 4096 values, or 8192-byte bitsets of little-endian 64-bit words.
constexpr std::uint32_t kRunCookie = 12347;
constexpr std::uint32_t kPlainCookie = 12346;
constexpr std::size_t kArrayMax = 4096;
constexpr std::size_t kBitsetBytes = 8192;
// A set of a few records spread over many containers, each costing eight bytes, is smaller
// as a list: the cookie (16 bits), then LEB128 varints: the count, the first record, and
// each gap to the next less one. Written only where it takes fewer bytes than the
// containers, and for at most kPackedMost records: a list is read from its start, where
// CRoaring's containers are found by their keys, so that a longer one costs a query more
// than its bytes save.
constexpr std::uint32_t kPackedCookie = 0x3050;
constexpr std::uint32_t kPackedMost = 256;

// Whether bytes begin with a list's 16-bit cookie.
bool HasCookie(std::string_view bytes, std::uint32_t cookie) {
  return bytes.size() >= 2 && coding::Get16(bytes.data()) == cookie;
}
bool IsPacked(std::string_view bytes) {
  return HasCookie(bytes, kPackedCookie);
}

std::size_t NumberBytes(std::uint32_t v) {
  return v < (1u << 7) ? 1 : v < (1u << 14) ? 2 : v < (1u << 21) ? 3 : v < (1u << 28) ? 4 : 5;
}

// A packed list read one record at a time.
class PackedReader {
 public:
  // False when bytes do not begin a packed list.
  bool Open(std::string_view bytes) {
    next_ = 0;
    left_ = 0;
    ok_ = IsPacked(bytes);
    if (!ok_) return false;
    end_ = reinterpret_cast<unsigned char const*>(bytes.data()) + bytes.size();
    p_ = coding::GetVarint32(end_ - bytes.size() + 2, end_, count_);
    ok_ = p_ != nullptr;
    left_ = ok_ ? count_ : 0;
    return ok_;
  }
  std::uint32_t count() const { return count_; }
  // The next record; false at the end, or (ok() false) where the list is malformed.
  bool Next(std::uint32_t& n) {
    if (left_ == 0) return false;
    std::uint32_t v = 0;
    if (p_ < end_ && *p_ < 0x80) {
      v = *p_++;  // most gaps take a byte
    } else if ((p_ = coding::GetVarint32(p_, end_, v)) == nullptr || v > UINT32_MAX - next_) {
      left_ = 0;
      return ok_ = false;
    }
    n = next_ + v;
    // A last record of UINT32_MAX leaves no room for another.
    if (n == UINT32_MAX && left_ > 1) {
      left_ = 0;
      return ok_ = false;
    }
    next_ = n + 1;
    --left_;
    return true;
  }
  // True when every record was read and nothing follows them.
  bool done() const { return ok_ && left_ == 0 && p_ == end_; }

 private:
  unsigned char const* p_ = nullptr;
  unsigned char const* end_ = nullptr;
  std::uint32_t count_ = 0;
  std::uint32_t left_ = 0;
  std::uint32_t next_ = 0;  // the least the next record may be
  bool ok_ = true;
};

// A longer set of records spread thinly is smaller still as blocks of bit-packed gaps,
// and keeps its records' places local: the cookie (16 bits), its count as a varint, a
// table of kBlockRecords-record blocks (per block its first record and the end of its
// bytes counted from the first block's start, u32 each), then the blocks: a byte giving
// the width w (at most 32), then each record after the first as its gap to the one before
// less one, in w bits, lowest bits first. A query finds a record's block in the table and
// decodes that block alone.
constexpr std::uint32_t kBlockedCookie = 0x3150;
constexpr std::size_t kBlockRecords = 128;
constexpr std::size_t kBlockEntry = 8;
// Written only for sets whose records lie at least this far apart on average.
constexpr std::uint64_t kThinGap = 8;

// Writes the gaps - 1 of width W bits at bits as records rising from n, one per out.
// Instantiated per width, so that each value's shift and mask are constants.
template <unsigned W>
void UnpackGaps(unsigned char const* bits, std::size_t gaps, std::uint64_t& n, std::uint32_t* out) {
  constexpr std::uint64_t kMask = (std::uint64_t{1} << W) - 1;
  for (std::size_t i = 0; i < gaps; ++i) {
    std::size_t at = i * W;
    n += (coding::Get64(bits + at / 8) >> (at % 8) & kMask) + 1;
    out[i] = static_cast<std::uint32_t>(n);
  }
}
using GapUnpacker = void (*)(unsigned char const*, std::size_t, std::uint64_t&, std::uint32_t*);
template <std::size_t... W>
constexpr std::array<GapUnpacker, sizeof...(W)> GapUnpackers(std::index_sequence<W...>) {
  return {&UnpackGaps<W>...};
}
constexpr auto kUnpackGaps = GapUnpackers(std::make_index_sequence<33>());

// The first index in [from, end) at which below(i) is false, below holding up to some index
// and not after it: galloping from from, then halving, so that an index far ahead costs
// the log of the indexes passed over.
template <class Below>
std::size_t FirstNotBelow(std::size_t from, std::size_t end, Below below) {
  std::size_t probe = from;
  for (std::size_t step = 1; probe < end && below(probe); step *= 2) {
    from = probe + 1;
    probe = from + step;
  }
  end = std::min(probe, end);
  while (from < end) {
    std::size_t mid = from + (end - from) / 2;
    if (below(mid)) {
      from = mid + 1;
    } else {
      end = mid;
    }
  }
  return from;
}

// A blocked list, its table checked when opened and a block when decoded.
class BlockedList {
 public:
  // False when bytes are not a blocked list whose table is whole and in order.
  bool Open(std::string_view bytes) {
    if (!Attach(bytes)) return false;
    std::uint64_t last_end = 0;
    for (std::size_t b = 0; b < blocks_; ++b) {
      // Each block holds kBlockRecords records but the last, so the next starts that many on.
      if (b > 0 && std::uint64_t{First(b)} < std::uint64_t{First(b - 1)} + kBlockRecords) {
        return false;
      }
      std::uint64_t block_end = End(b);
      if (block_end <= last_end || block_end > data_.size()) return false;
      last_end = block_end;
    }
    return last_end == data_.size();
  }
  // Reads the count and finds the table of a list Open accepted before.
  bool Attach(std::string_view bytes) {
    auto const* p = reinterpret_cast<unsigned char const*>(bytes.data());
    auto const* end = p + bytes.size();
    if (bytes.size() < 2 || coding::Get16(p) != kBlockedCookie) return false;
    p = coding::GetVarint32(p + 2, end, count_);
    if (p == nullptr || count_ == 0) return false;
    blocks_ = (count_ + kBlockRecords - 1) / kBlockRecords;
    if (static_cast<std::size_t>(end - p) < kBlockEntry * blocks_) return false;
    table_ = p;
    data_ = {reinterpret_cast<char const*>(p + kBlockEntry * blocks_),
             static_cast<std::size_t>(end - p) - kBlockEntry * blocks_};
    return true;
  }
  std::uint32_t count() const { return count_; }
  std::size_t blocks() const { return blocks_; }
  std::uint32_t First(std::size_t b) const { return coding::Get32(table_ + kBlockEntry * b); }
  // The block holding n, if any: the last whose first record is at most n (blocks() when
  // n comes before every record). From block from on when it is no later, galloping, so
  // that records asked for in rising order cost the log of the blocks passed over.
  std::size_t BlockOf(std::uint32_t n, std::size_t from = 0) const {
    if (from >= blocks_ || First(from) > n) from = 0;
    std::size_t past = FirstNotBelow(from, blocks_, [&](std::size_t b) { return First(b) <= n; });
    return past == 0 ? blocks_ : past - 1;
  }
  // Writes block b's records to out (room for kBlockRecords) and returns their number; 0
  // when the block is malformed: its width or length wrong, or its records running past
  // 32 bits or into the next block's.
  std::size_t Decode(std::size_t b, std::uint32_t* out) const {
    std::size_t records = b + 1 < blocks_ ? kBlockRecords : count_ - kBlockRecords * (blocks_ - 1);
    std::size_t begin = b == 0 ? 0 : End(b - 1);
    auto const* p = reinterpret_cast<unsigned char const*>(data_.data()) + begin;
    std::size_t width = *p;
    if (width > 32 || End(b) - begin != 1 + ((records - 1) * width + 7) / 8) return 0;
    // Copied with eight spare bytes, so that every value is read in one 64-bit load.
    unsigned char bits[(kBlockRecords * 32 + 7) / 8 + 8];
    std::size_t length = End(b) - begin - 1;
    std::memcpy(bits, p + 1, length);
    std::memset(bits + length, 0, 8);
    std::uint64_t n = First(b);
    out[0] = static_cast<std::uint32_t>(n);
    kUnpackGaps[width](bits, records - 1, n, out + 1);
    std::uint64_t limit = b + 1 < blocks_ ? First(b + 1) : std::uint64_t{UINT32_MAX} + 1;
    return n < limit ? records : 0;
  }

 private:
  std::uint32_t End(std::size_t b) const { return coding::Get32(table_ + kBlockEntry * b + 4); }
  std::uint32_t count_ = 0;
  std::size_t blocks_ = 0;
  unsigned char const* table_ = nullptr;
  std::string_view data_;
};

bool IsBlocked(std::string_view bytes) {
  return HasCookie(bytes, kBlockedCookie);
}

// Calls each(records, count) for the blocks of a blocked list in order; false when the
// bytes are not exactly one or each returned false.
template <class Each>
bool ForEachBlock(std::string_view bytes, Each each) {
  BlockedList list;
  if (!list.Open(bytes)) return false;
  std::uint32_t records[kBlockRecords];
  for (std::size_t b = 0; b < list.blocks(); ++b) {
    std::size_t n = list.Decode(b, records);
    if (n == 0 || !each(records, n)) return false;
  }
  return true;
}

using coding::Put16;
using coding::Put32;

// One container of a sorted list: records [first, end) share the high 16 bits.
struct Container {
  std::uint32_t key;
  std::uint32_t cardinality;
  std::uint32_t runs;
  std::size_t first, end;
  enum Kind : std::uint8_t { kArray, kBitset, kRun } kind;
  std::size_t Bytes() const {
    return kind == kArray ? 2 * cardinality : kind == kBitset ? kBitsetBytes : 2 + 4 * runs;
  }
};

class Bytes {
 public:
  explicit Bytes(std::string_view bytes) : bytes_(bytes) {}
  // The next n bytes, or an empty view with ok() false when fewer remain.
  std::string_view Take(std::size_t n) {
    if (n > bytes_.size() - at_) {
      ok_ = false;
      return {};
    }
    at_ += n;
    return bytes_.substr(at_ - n, n);
  }
  std::uint32_t U16() { return Value(2); }
  std::uint32_t U32() { return Value(4); }
  bool ok() const { return ok_; }
  bool done() const { return at_ == bytes_.size(); }

 private:
  std::uint32_t Value(std::size_t n) {
    std::string_view b = Take(n);
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < b.size(); ++i) {
      v |= static_cast<std::uint32_t>(static_cast<unsigned char>(b[i])) << (8 * i);
    }
    return v;
  }
  std::string_view bytes_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

std::uint32_t U16At(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8;
}

// What precedes the containers: their number, and per container its high 16 bits, its
// cardinality and whether it holds runs.
struct Header {
  std::uint32_t containers = 0;
  std::string_view runs;  // a bit per container, when the cookie says some hold runs
  std::string_view keys;  // key and cardinality - 1 per container
  std::uint32_t Key(std::size_t c) const { return U16At(keys, 4 * c); }
  std::uint32_t Cardinality(std::size_t c) const { return U16At(keys, 4 * c + 2) + 1u; }
  bool Runs(std::size_t c) const {
    return !runs.empty() && (static_cast<unsigned char>(runs[c / 8]) >> (c % 8) & 1) != 0;
  }
};

// Reads the cookie, the keys and cardinalities, and passes over the offsets; false when
// the bytes do not begin a serialisation.
bool ReadHeader(Bytes& in, Header& h) {
  std::uint32_t cookie = in.U32();
  bool has_runs = (cookie & 0xFFFFu) == kRunCookie;
  if (has_runs) {
    h.containers = (cookie >> 16) + 1;
    h.runs = in.Take((h.containers + 7) / 8);
  } else if (cookie == kPlainCookie) {
    h.containers = in.U32();
  } else {
    return false;
  }
  if (!in.ok() || h.containers > 65536) return false;
  h.keys = in.Take(4ull * h.containers);
  if (!has_runs || h.containers >= 4) in.Take(4ull * h.containers);
  return in.ok();
}

// One container as serialised: its high 16 bits, its cardinality, and its run pairs,
// 16-bit values or bitset words.
struct Serialised {
  std::uint32_t key;
  std::uint32_t cardinality;
  enum Kind : std::uint8_t { kArray, kBitset, kRun } kind;
  std::string_view data;
};

// Calls each(container) for the containers of a serialisation in order, while it returns
// true; false when the bytes are not exactly one serialisation or each returned false.
template <class Each>
bool ForEachContainer(std::string_view bytes, Each each) {
  Bytes in(bytes);
  Header h;
  if (!ReadHeader(in, h)) return false;
  for (std::size_t c = 0; c < h.containers; ++c) {
    Serialised k{h.Key(c), h.Cardinality(c), Serialised::kArray, {}};
    if (h.Runs(c)) {
      k.kind = Serialised::kRun;
      k.data = in.Take(4ull * in.U16());
    } else if (k.cardinality <= kArrayMax) {
      k.data = in.Take(2ull * k.cardinality);
    } else {
      k.kind = Serialised::kBitset;
      k.data = in.Take(kBitsetBytes);
    }
    if (!in.ok() || !each(k)) return false;
  }
  return in.done();
}

// Sets bits first..last (inclusive); false when last lies beyond bits.
bool SetRange(std::uint64_t first, std::uint64_t last, std::span<unsigned char> bits) {
  if (last >= 8 * bits.size()) return false;
  auto set = [&](std::uint64_t n) { bits[n / 8] |= static_cast<unsigned char>(1u << (n % 8)); };
  for (; first <= last && first % 8 != 0; ++first) set(first);
  for (; first + 7 <= last; first += 8) bits[first / 8] = 0xFF;
  for (; first <= last; ++first) set(first);
  return true;
}

// Whether the containers after the header are as CRoaring writes them, which its reader
// takes on trust: keys rising, arrays rising, runs apart and within 16 bits, and each
// container holding the cardinality the header gives it.
bool WellFormed(std::string_view bytes) {
  std::uint32_t next_key = 0;
  return ForEachContainer(bytes, [&](Serialised const& c) {
    if (c.key < next_key) return false;
    next_key = c.key + 1;
    std::string_view d = c.data;
    if (c.kind == Serialised::kRun) {
      std::uint64_t held = 0, next = 0;  // records in the runs so far, the least next start
      for (std::size_t r = 0; r < d.size() / 4; ++r) {
        std::uint64_t start = U16At(d, 4 * r), length = U16At(d, 4 * r + 2);
        if (start < next || start + length > 0xFFFF) return false;
        held += length + 1;
        next = start + length + 1;
      }
      return held == c.cardinality;
    }
    if (c.kind == Serialised::kArray) {
      // Copied out as 16-bit numbers, so that the comparisons run many at a time.
      std::uint16_t v[kArrayMax];
      std::memcpy(v, d.data(), d.size());
      if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i < c.cardinality; ++i)
          v[i] = static_cast<std::uint16_t>(U16At(d, 2 * i));
      }
      unsigned falling = 0;
      for (std::size_t i = 1; i < c.cardinality; ++i) falling |= v[i] <= v[i - 1];
      return falling == 0;
    }
    auto const* words = reinterpret_cast<unsigned char const*>(d.data());
    return CountBits({words, d.size()}) == c.cardinality;
  });
}

}  // namespace

namespace {

// Appends records (non-decreasing, repeats counting once) as a packed list when that takes
// fewer than bytes; false, appending nothing, when it would not.
bool AppendPacked(std::span<std::uint32_t const> records, std::size_t bytes, std::string& out) {
  std::size_t size = 2;
  std::uint32_t count = 0;
  std::uint64_t floor = 0;  // the last record plus one
  for (std::size_t i = 0; i < records.size() && size < bytes && count <= kPackedMost; ++i) {
    if (i > 0 && records[i] == records[i - 1]) continue;
    size += NumberBytes(static_cast<std::uint32_t>(records[i] - floor));
    floor = std::uint64_t{records[i]} + 1;
    ++count;
  }
  size += NumberBytes(count);
  if (size >= bytes || count > kPackedMost) return false;
  std::size_t at = out.size();
  out.resize(at + size);
  auto* p = reinterpret_cast<unsigned char*>(out.data() + at);
  Put16(p, kPackedCookie);
  p = coding::PutVarint32(p + 2, count);
  floor = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (i > 0 && records[i] == records[i - 1]) continue;
    p = coding::PutVarint32(p, static_cast<std::uint32_t>(records[i] - floor));
    floor = std::uint64_t{records[i]} + 1;
  }
  return true;
}

// The width in bits of the widest gap less one between a block's records.
unsigned GapWidth(std::span<std::uint32_t const> block) {
  std::uint32_t widest = 0;
  for (std::size_t i = 1; i < block.size(); ++i) widest |= block[i] - block[i - 1] - 1;
  return static_cast<unsigned>(std::bit_width(widest));
}

// The bytes of records (rising, no repeats) as a blocked list.
std::size_t BlockedBytes(std::span<std::uint32_t const> records) {
  std::size_t blocks = (records.size() + kBlockRecords - 1) / kBlockRecords;
  std::size_t size =
      2 + NumberBytes(static_cast<std::uint32_t>(records.size())) + (kBlockEntry + 1) * blocks;
  for (std::size_t first = 0; first < records.size(); first += kBlockRecords) {
    auto block = records.subspan(first, std::min(kBlockRecords, records.size() - first));
    size += ((block.size() - 1) * GapWidth(block) + 7) / 8;
  }
  return size;
}

void AppendBlocked(std::span<std::uint32_t const> records, std::string& out) {
  std::size_t blocks = (records.size() + kBlockRecords - 1) / kBlockRecords;
  unsigned char head[7];
  Put16(head, kBlockedCookie);
  out.append(reinterpret_cast<char const*>(head),
             coding::PutVarint32(head + 2, static_cast<std::uint32_t>(records.size())) - head);
  std::size_t table = out.size();
  out.resize(table + kBlockEntry * blocks);
  std::size_t data = out.size();
  for (std::size_t b = 0; b < blocks; ++b) {
    std::span<std::uint32_t const> block = records.subspan(
        kBlockRecords * b, std::min(kBlockRecords, records.size() - kBlockRecords * b));
    unsigned width = GapWidth(block);
    unsigned char bits[(kBlockRecords * 32 + 7) / 8 + 8] = {};
    for (std::size_t i = 1; i < block.size(); ++i) {
      std::size_t at = (i - 1) * width;
      std::uint64_t word = coding::Get64(bits + at / 8);
      coding::Put64(bits + at / 8, word | std::uint64_t{block[i] - block[i - 1] - 1} << (at % 8));
    }
    out.push_back(static_cast<char>(width));
    out.append(reinterpret_cast<char const*>(bits), ((block.size() - 1) * width + 7) / 8);
    Put32(out.data() + table + kBlockEntry * b, block[0]);
    Put32(out.data() + table + kBlockEntry * b + 4, static_cast<std::uint32_t>(out.size() - data));
  }
}

// The bytes before CRoaring's containers: cookie, run flags, keys and offsets.
std::size_t HeaderBytes(std::size_t containers, bool has_runs) {
  bool offsets = !has_runs || containers >= 4;
  return (has_runs ? 4 + (containers + 7) / 8 : 8) + 4 * containers +
         (offsets ? 4 * containers : 0);
}

// The containers CRoaring would make of records (non-decreasing, repeats counting once),
// into containers, with whether any holds runs; returns the bytes they serialise to.
std::size_t PlanContainers(std::span<std::uint32_t const> records,
                           std::vector<Container>& containers, bool& has_runs) {
  // Containers as adding the records one by one and then optimising runs makes them: up to
  // kArrayMax records an array, more a bitset, and either becomes runs when runs take
  // strictly fewer bytes (an array's size counting its 2-byte cardinality).
  containers.clear();
  has_runs = false;
  for (std::size_t i = 0; i < records.size();) {
    Container c{records[i] >> 16, 0, 0, i, i, Container::kArray};
    std::uint32_t previous = 0;
    for (; i < records.size() && records[i] >> 16 == c.key; ++i) {
      std::uint32_t low = records[i] & 0xFFFF;
      if (c.cardinality > 0 && low == previous) continue;
      if (c.cardinality == 0 || low != previous + 1) ++c.runs;
      ++c.cardinality;
      previous = low;
    }
    c.end = i;
    std::size_t as_runs = 2 + 4 * std::size_t{c.runs};
    if (c.cardinality <= kArrayMax) {
      c.kind = as_runs < 2 * std::size_t{c.cardinality} + 2 ? Container::kRun : Container::kArray;
    } else {
      c.kind = as_runs < kBitsetBytes ? Container::kRun : Container::kBitset;
    }
    has_runs = has_runs || c.kind == Container::kRun;
    containers.push_back(c);
  }
  std::size_t total = HeaderBytes(containers.size(), has_runs);
  for (Container const& c : containers) total += c.Bytes();
  return total;
}

// Appends the portable serialisation of records as PlanContainers planned it.
void WriteContainers(std::span<std::uint32_t const> records,
                     std::vector<Container> const& containers, bool has_runs, std::size_t total,
                     std::string& out) {
  std::size_t n = containers.size();
  std::size_t flags = has_runs ? (n + 7) / 8 : 0;
  bool offsets = !has_runs || n >= 4;
  std::size_t start = HeaderBytes(n, has_runs);
  std::size_t at = out.size();
  out.resize(at + total);
  char* p = out.data() + at;
  if (has_runs) {
    Put32(p, kRunCookie | static_cast<std::uint32_t>(n - 1) << 16);
    std::memset(p + 4, 0, flags);
    for (std::size_t k = 0; k < n; ++k) {
      if (containers[k].kind == Container::kRun) p[4 + k / 8] |= static_cast<char>(1 << (k % 8));
    }
    p += 4 + flags;
  } else {
    Put32(p, kPlainCookie);
    Put32(p + 4, static_cast<std::uint32_t>(n));
    p += 8;
  }
  for (Container const& c : containers) {
    Put16(p, c.key);
    Put16(p + 2, c.cardinality - 1);
    p += 4;
  }
  if (offsets) {
    for (Container const& c : containers) {
      Put32(p, static_cast<std::uint32_t>(start));
      start += c.Bytes();
      p += 4;
    }
  }
  for (Container const& c : containers) {
    std::span<std::uint32_t const> part = records.subspan(c.first, c.end - c.first);
    if (c.kind == Container::kArray) {
      std::uint32_t previous = 0x10000;
      for (std::uint32_t r : part) {
        if ((r & 0xFFFF) == previous) continue;
        previous = r & 0xFFFF;
        Put16(p, previous);
        p += 2;
      }
    } else if (c.kind == Container::kBitset) {
      std::memset(p, 0, kBitsetBytes);
      for (std::uint32_t r : part) p[(r & 0xFFFF) / 8] |= static_cast<char>(1 << (r % 8));
      p += kBitsetBytes;
    } else {
      Put16(p, c.runs);
      p += 2;
      for (std::size_t i = 0; i < part.size();) {
        std::uint32_t first = part[i] & 0xFFFF, last = first;
        for (++i; i < part.size() && (part[i] & 0xFFFF) <= last + 1; ++i) last = part[i] & 0xFFFF;
        Put16(p, first);
        Put16(p + 2, last - first);
        p += 4;
      }
    }
  }
}

// Writes records (rising) to out in the portable format, as arrays and bitsets, without
// the runs AppendSorted looks for: for sets read into memory, not kept.
void SerialiseRising(std::span<std::uint32_t const> records, std::string& out) {
  thread_local std::vector<std::size_t> starts;  // where each container's records start
  starts.clear();
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (i == 0 || records[i] >> 16 != records[i - 1] >> 16) starts.push_back(i);
  }
  std::size_t n = starts.size();
  starts.push_back(records.size());
  std::size_t size = HeaderBytes(n, false);
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t count = starts[c + 1] - starts[c];
    size += count > kArrayMax ? kBitsetBytes : 2 * count;
  }
  out.assign(size, '\0');
  char* p = out.data();
  Put32(p, kPlainCookie);
  Put32(p + 4, static_cast<std::uint32_t>(n));
  std::size_t at = HeaderBytes(n, false);
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t count = starts[c + 1] - starts[c];
    Put16(p + 8 + 4 * c, records[starts[c]] >> 16);
    Put16(p + 10 + 4 * c, static_cast<std::uint32_t>(count - 1));
    Put32(p + 8 + 4 * n + 4 * c, static_cast<std::uint32_t>(at));
    if (count > kArrayMax) {
      for (std::size_t i = starts[c]; i < starts[c + 1]; ++i) {
        p[at + (records[i] & 0xFFFF) / 8] |= static_cast<char>(1 << (records[i] % 8));
      }
      at += kBitsetBytes;
    } else {
      for (std::size_t i = starts[c]; i < starts[c + 1]; ++i, at += 2) Put16(p + at, records[i]);
    }
  }
}

}  // namespace

void AppendSorted(std::span<std::uint32_t const> records, std::string& out, bool blocked) {
  thread_local std::vector<Container> containers;
  bool has_runs = false;
  std::size_t total = PlanContainers(records, containers, has_runs);
  std::span<std::uint32_t const> distinct = records;
  if (std::adjacent_find(records.begin(), records.end()) != records.end()) {
    thread_local std::vector<std::uint32_t> once;
    once.assign(records.begin(), records.end());
    once.erase(std::unique(once.begin(), once.end()), once.end());
    distinct = once;
  }
  // A dense set stays in CRoaring's containers, which a query reads faster than it
  // decodes gaps.
  bool thin = blocked && !distinct.empty() &&
              std::uint64_t{distinct.back() - distinct.front()} + 1 >= kThinGap * distinct.size();
  std::size_t as_blocks = thin ? BlockedBytes(distinct) : total;
  if (AppendPacked(distinct, std::min(total, as_blocks), out)) return;
  if (as_blocks < total) return AppendBlocked(distinct, out);

  WriteContainers(records, containers, has_runs, total, out);
}

bool RecordSet::Read(std::string_view bytes) {
  if (IsBlocked(bytes) || IsPacked(bytes)) {
    // Decoded, written as CRoaring's containers and read back: adding records one by one
    // would cost several times as much.
    thread_local std::vector<std::uint32_t> records;
    thread_local std::string serialised;
    roaring_bitmap_clear(impl_->set);
    if (!bitmap::Members(bytes, records)) return false;
    SerialiseRising(records, serialised);
    roaring_bitmap_t* set =
        roaring_bitmap_portable_deserialize_safe(serialised.data(), serialised.size());
    if (set == nullptr) return false;
    roaring_bitmap_free(impl_->set);
    impl_->set = set;
    return true;
  }
  // The reader reports short input on stderr; too few bytes for a header is no set.
  if (bytes.size() < 8) {
    Clear();
    return false;
  }
  roaring_bitmap_t* set = WellFormed(bytes)
                              ? roaring_bitmap_portable_deserialize_safe(bytes.data(), bytes.size())
                              : nullptr;
  if (set == nullptr || roaring_bitmap_portable_size_in_bytes(set) != bytes.size()) {
    if (set != nullptr) roaring_bitmap_free(set);
    roaring_bitmap_clear(impl_->set);
    return false;
  }
  roaring_bitmap_free(impl_->set);
  impl_->set = set;
  return true;
}

void RecordSet::AssignBits(std::span<unsigned char const> bits) {
  // Written in the portable format (arrays and bitsets, no runs) and read back: CRoaring
  // builds no container from words of bits.
  constexpr std::size_t kChunk = kBitsetBytes;  // the bytes of 65,536 records
  std::vector<std::uint32_t> keys, counts;
  for (std::size_t at = 0; at < bits.size(); at += kChunk) {
    std::size_t count = CountBits(bits.subspan(at, std::min(kChunk, bits.size() - at)));
    if (count == 0) continue;
    keys.push_back(static_cast<std::uint32_t>(at / kChunk));
    counts.push_back(static_cast<std::uint32_t>(count));
  }
  std::string out(8 + 8 * keys.size(), '\0');
  Put32(out.data(), kPlainCookie);
  Put32(out.data() + 4, static_cast<std::uint32_t>(keys.size()));
  for (std::size_t c = 0; c < keys.size(); ++c) {
    Put16(out.data() + 8 + 4 * c, static_cast<std::uint16_t>(keys[c]));
    Put16(out.data() + 10 + 4 * c, static_cast<std::uint16_t>(counts[c] - 1));
    Put32(out.data() + 8 + 4 * keys.size() + 4 * c, static_cast<std::uint32_t>(out.size()));
    std::span<unsigned char const> chunk =
        bits.subspan(keys[c] * kChunk, std::min(kChunk, bits.size() - keys[c] * kChunk));
    if (counts[c] > kArrayMax) {
      std::size_t start = out.size();
      out.append(reinterpret_cast<char const*>(chunk.data()), chunk.size());
      out.resize(start + kBitsetBytes, '\0');
      continue;
    }
    std::size_t at = out.size();
    out.resize(at + 2 * counts[c]);
    // Bit i of the word at byte is record 8 * byte + i; the bytes after the last whole
    // word make one more.
    auto put = [&](std::size_t byte, std::uint64_t word) {
      for (; word != 0; word &= word - 1, at += 2) {
        Put16(out.data() + at, static_cast<std::uint16_t>(8 * byte + std::countr_zero(word)));
      }
    };
    std::size_t whole = chunk.size() / 8 * 8;
    for (std::size_t byte = 0; byte < whole; byte += 8) {
      put(byte, coding::Get64(chunk.data() + byte));
    }
    std::uint64_t rest = 0;
    for (std::size_t i = whole; i < chunk.size(); ++i) {
      rest |= std::uint64_t{chunk[i]} << (8 * (i - whole));
    }
    put(whole, rest);
  }
  // Written here as CRoaring writes, so not put through Read's checks: this runs for
  // every query's hits.
  roaring_bitmap_t* set = roaring_bitmap_portable_deserialize_safe(out.data(), out.size());
  if (set == nullptr) {
    roaring_bitmap_clear(impl_->set);
    return;
  }
  roaring_bitmap_free(impl_->set);
  impl_->set = set;
}

bool OrInto(std::string_view bytes, std::span<unsigned char> bits) {
  if (IsBlocked(bytes)) {
    return ForEachBlock(bytes, [&](std::uint32_t const* records, std::size_t n) {
      if (records[n - 1] / 8 >= bits.size()) return false;
      for (std::size_t i = 0; i < n; ++i) {
        bits[records[i] / 8] |= static_cast<unsigned char>(1u << (records[i] % 8));
      }
      return true;
    });
  }
  if (IsPacked(bytes)) {
    PackedReader list;
    if (!list.Open(bytes)) return false;
    for (std::uint32_t n; list.Next(n);) {
      if (n / 8 >= bits.size()) return false;
      bits[n / 8] |= static_cast<unsigned char>(1u << (n % 8));
    }
    return list.done();
  }
  return ForEachContainer(bytes, [&](Serialised const& c) {
    std::uint64_t base = std::uint64_t{c.key} << 16;
    std::string_view d = c.data;
    if (c.kind == Serialised::kRun) {
      for (std::size_t r = 0; r < d.size() / 4; ++r) {
        std::uint64_t start = U16At(d, 4 * r), length = U16At(d, 4 * r + 2);
        if (start + length > 0xFFFF || !SetRange(base + start, base + start + length, bits)) {
          return false;
        }
      }
    } else if (c.kind == Serialised::kArray) {
      for (std::size_t i = 0; i < c.cardinality; ++i) {
        std::uint64_t n = base + U16At(d, 2 * i);
        if (n >= 8 * bits.size()) return false;
        bits[n / 8] |= static_cast<unsigned char>(1u << (n % 8));
      }
    } else {
      std::size_t first = base / 8;
      std::size_t inside = first < bits.size() ? std::min(kBitsetBytes, bits.size() - first) : 0;
      // Bytes past the end of bits must hold no record.
      if (d.find_first_not_of('\0', inside) != std::string_view::npos) return false;
      for (std::size_t i = 0; i < inside; ++i) bits[first + i] |= static_cast<unsigned char>(d[i]);
    }
    return true;
  });
}

bool Members(std::string_view bytes, std::vector<std::uint32_t>& records) {
  records.clear();
  if (IsBlocked(bytes)) {
    // Each block decoded in place.
    BlockedList list;
    if (!list.Open(bytes)) return false;
    records.resize(list.count());
    for (std::size_t b = 0; b < list.blocks(); ++b) {
      if (list.Decode(b, records.data() + kBlockRecords * b) == 0) return false;
    }
    return true;
  }
  if (IsPacked(bytes)) {
    PackedReader list;
    if (!list.Open(bytes)) return false;
    for (std::uint32_t n; list.Next(n);) records.push_back(n);
    return list.done();
  }
  std::uint64_t next = 0;  // the least the next record may be
  return ForEachContainer(bytes, [&](Serialised const& c) {
    std::uint32_t base = c.key << 16;
    std::size_t before = records.size();
    std::string_view d = c.data;
    if (c.kind == Serialised::kRun) {
      for (std::size_t r = 0; r < d.size() / 4; ++r) {
        std::uint32_t start = U16At(d, 4 * r), length = U16At(d, 4 * r + 2);
        if (start + length > 0xFFFF || records.size() - before + length >= c.cardinality) {
          return false;
        }
        for (std::uint32_t v = start; v <= start + length; ++v) records.push_back(base + v);
      }
    } else if (c.kind == Serialised::kArray) {
      for (std::size_t i = 0; i < c.cardinality; ++i) records.push_back(base + U16At(d, 2 * i));
    } else {
      for (std::size_t w = 0; w < kBitsetBytes / 8; ++w) {
        for (std::uint64_t word = coding::Get64(d.data() + 8 * w); word != 0; word &= word - 1) {
          records.push_back(base + static_cast<std::uint32_t>(64 * w) +
                            static_cast<std::uint32_t>(std::countr_zero(word)));
        }
      }
    }
    // Each container holds its cardinality, rising from past the one before.
    if (records.size() - before != c.cardinality || records[before] < next) return false;
    unsigned falling = 0;
    for (std::size_t i = before + 1; i < records.size(); ++i) {
      falling |= records[i] <= records[i - 1];
    }
    next = std::uint64_t{records.back()} + 1;
    return falling == 0;
  });
}

// The clone for processors with a population count instruction is picked when the
// library is loaded. Not under ThreadSanitizer, whose runtime is not up by then.
#if defined(__x86_64__) && defined(__GNUC__) && defined(__ELF__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("popcnt", "default")))
#endif
std::uint64_t
CountBits(std::span<unsigned char const> bytes) {
  std::uint64_t n = 0;
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word;  // in either byte order: only its bits are counted
    std::memcpy(&word, bytes.data() + i, 8);
    n += static_cast<std::uint64_t>(std::popcount(word));
  }
  for (; i < bytes.size(); ++i) n += static_cast<std::uint64_t>(std::popcount(bytes[i]));
  return n;
}

bool RankCursor::Open(std::string_view bytes) {
  containers_.clear();
  count_ = 0;
  container_ = inside_ = 0;
  inside_before_ = 0;
  packed_.clear();
  blocked_ = {};
  block_ = SIZE_MAX;
  if (IsBlocked(bytes)) {
    BlockedList list;
    if (!list.Open(bytes)) return false;
    blocked_ = bytes;
    count_ = list.count();
    return true;
  }
  if (IsPacked(bytes)) {
    // At most kPackedMost records as written: decoded whole.
    if (!bitmap::Members(bytes, packed_)) {
      packed_.clear();
      return false;
    }
    count_ = packed_.size();
    return true;
  }
  bool read = ForEachContainer(bytes, [&](Serialised const& c) {
    if (!containers_.empty() && c.key <= containers_.back().key) return false;
    auto kind = c.kind == Serialised::kRun      ? Container::kRun
                : c.kind == Serialised::kBitset ? Container::kBitset
                                                : Container::kArray;
    containers_.push_back({c.key, c.cardinality, count_, kind, c.data});
    count_ += c.cardinality;
    return true;
  });
  if (!read) {
    containers_.clear();
    count_ = 0;
  }
  return read;
}

bool RankCursor::Find(std::uint32_t n, std::uint64_t& rank) {
  if (!blocked_.empty()) {
    BlockedList list;
    list.Attach(blocked_);
    std::size_t block = list.BlockOf(n, block_);
    if (block == list.blocks()) {
      rank = 0;
      return false;
    }
    if (block != block_) {
      packed_.resize(kBlockRecords);
      std::size_t records = list.Decode(block, packed_.data());
      if (records == 0) {
        block_ = SIZE_MAX;
        rank = count_;  // a malformed block: a place no record has
        return true;
      }
      packed_.resize(records);
      block_ = block;
    }
    auto at = std::lower_bound(packed_.begin(), packed_.end(), n);
    rank = kBlockRecords * block + static_cast<std::uint64_t>(at - packed_.begin());
    return at != packed_.end() && *at == n;
  }
  if (!packed_.empty()) {
    auto at = std::lower_bound(packed_.begin(), packed_.end(), n);
    rank = static_cast<std::uint64_t>(at - packed_.begin());
    return at != packed_.end() && *at == n;
  }
  std::uint32_t key = n >> 16, low = n & 0xFFFF;
  // Back to the start for a record before the last container searched.
  if (container_ >= containers_.size() || containers_[container_].key > key) {
    container_ = inside_ = 0;
    inside_before_ = 0;
  }
  while (container_ < containers_.size() && containers_[container_].key < key) {
    ++container_;
    inside_ = 0;
    inside_before_ = 0;
  }
  if (container_ == containers_.size() || containers_[container_].key != key) return false;
  Container const& c = containers_[container_];
  std::string_view d = c.data;
  if (c.kind == Container::kArray) {
    if (inside_ > 0 && U16At(d, 2 * (inside_ - 1)) >= low) inside_ = 0;
    // The first value from inside_ on that is not below low.
    inside_ =
        FirstNotBelow(inside_, c.cardinality, [&](std::size_t i) { return U16At(d, 2 * i) < low; });
    rank = c.before + inside_;
    return inside_ < c.cardinality && U16At(d, 2 * inside_) == low;
  }
  if (c.kind == Container::kBitset) {
    // inside_ is a word, inside_before_ the records in the words before it.
    auto const* words = reinterpret_cast<unsigned char const*>(d.data());
    std::size_t word = low / 64;
    constexpr std::size_t kWords = kBitsetBytes / 8;
    if (word < inside_ || (inside_ == 0 && word > kWords / 2)) {
      // From the container's end when that is nearer: its records less those from word on.
      inside_ = word;
      inside_before_ = c.cardinality - CountBits({words + 8 * word, 8 * (kWords - word)});
    }
    inside_before_ += CountBits({words + 8 * inside_, 8 * (word - inside_)});
    inside_ = word;
    // The word of n counts its bits below n.
    std::uint64_t bits = coding::Get64(d.data() + 8 * word);
    unsigned char below[8];
    coding::Put64(below, bits & ((std::uint64_t{1} << (low % 64)) - 1));
    rank = c.before + inside_before_ + CountBits(below);
    return (bits >> (low % 64) & 1) != 0;
  }
  // Runs: inside_ is a run, inside_before_ the records in the runs before it.
  std::size_t count = d.size() / 4;
  if (inside_ > 0 && low <= U16At(d, 4 * (inside_ - 1)) + U16At(d, 4 * (inside_ - 1) + 2)) {
    inside_ = 0;
    inside_before_ = 0;
  }
  for (; inside_ < count; ++inside_) {
    std::uint32_t start = U16At(d, 4 * inside_), length = U16At(d, 4 * inside_ + 2);
    if (low < start) break;
    if (low <= start + length) {
      rank = c.before + inside_before_ + (low - start);
      return true;
    }
    inside_before_ += length + 1;
  }
  rank = c.before + inside_before_;
  return false;
}

}  // namespace qel::bitmap
