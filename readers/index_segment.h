// Posting lists of the search index while it is built, and the segment files they are
// written to when memory runs short.
//
// Records arrive in increasing order, so each key's records arrive already sorted: a list
// is kept as delta varints (every delta at least 1) in chunks of a pool, chunk sizes
// doubling with the list; a varint may run on from one chunk into the next, so every chunk
// but the last is full and the list's byte count tells where its end is. The list of a
// character key (below 65536) gives each record's positions after its delta, coded as the
// index holds them (position_code.h). A segment file holds the lists of one table sorted
// by key: per list, u64 key, u32 byte count, the varint bytes (the first delta counts from
// -1, so it is the record number plus one). The lists of one table's segments concatenate
// in the order they were written: later segments hold later records (a record cut across a
// segment boundary may appear at both ends; the records form a set, so the repeat is
// harmless). Tables fed by different threads merge by record.
#ifndef QELSHARE_READERS_INDEX_SEGMENT_H_
#define QELSHARE_READERS_INDEX_SEGMENT_H_

#include <cstdint>
#include <istream>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/uncached_file.h"
#include "platform/memory/large_pages.h"

namespace qel::search_index {

// The top bit of a list key marks a listed value's list.
inline constexpr std::uint64_t kValueList = std::uint64_t{1} << 63;
// True for the list key of a character, whose list holds positions.
constexpr bool IsCharList(std::uint64_t list_key) {
  return (list_key & kValueList) == 0 && static_cast<std::uint32_t>(list_key) < 0x10000u;
}

// Keys in the order of their places in a PostingTable: adding keys in this order walks its
// tables from one end to the other instead of jumping at random. A bijection on 32 bits;
// KeyAt inverts it.
// (A mixing of xor-shifts and odd multipliers: a plain multiplication leaves the high
// bits of two-byte character pairs too regular, and the tables' probes collide.)
namespace order {
inline constexpr std::uint32_t kA = 0x7FEB352Du, kB = 0x846CA68Bu;
constexpr std::uint32_t Inverse(std::uint32_t odd) {
  // The inverse modulo 2^32, by Newton's iteration.
  std::uint32_t x = odd;
  for (int i = 0; i < 5; ++i) x *= 2 - odd * x;
  return x;
}
}  // namespace order
constexpr std::uint32_t OrderOf(std::uint32_t key) {
  key ^= key >> 16;
  key *= order::kA;
  key ^= key >> 15;
  key *= order::kB;
  return key ^ key >> 16;
}
constexpr std::uint32_t KeyAt(std::uint32_t order) {
  order ^= order >> 16;
  order *= order::Inverse(order::kB);
  order ^= order >> 15 ^ order >> 30;
  order *= order::Inverse(order::kA);
  return order ^ order >> 16;
}

// The part of the key space a list belongs to when a segment is written in parts: a
// mixed hash of the key's low 32 bits, so that every part gets as many frequent keys.
constexpr std::size_t PartOf(std::uint64_t list_key, std::size_t parts) {
  auto key = static_cast<std::uint32_t>(list_key);
  return static_cast<std::size_t>(std::uint64_t{(key ^ (key >> 15)) * 0x2C1B3C6Du} * parts >> 32);
}

// Sorts items by their high 32 bits, keeping the order of equal ones (a radix sort, 11
// bits at a time, skipping digits all items share); scratch is working space. The sorted
// items are left in the buffer of items or of scratch, as the returned span shows: the
// buffers stay with their vectors, so a scratch shared by many lists does not pass its
// capacity on to each of them.
std::span<std::uint64_t const> SortByHigh(std::vector<std::uint64_t>& items,
                                          std::vector<std::uint64_t>& scratch);

// Posting lists of (field, key) and (field, listed value) pairs, bounded in memory.
class PostingTable {
 public:
  // budget: bytes for the lists and the key tables together, shared as they fill (a table
  // of 65536 entries per field is kept whatever the budget; at most 4 GiB of lists).
  explicit PostingTable(std::size_t budget);

  // Adds record n to key of field (n never below a record added before). False, with
  // nothing added, when the table is full: the caller writes a segment, clears the table
  // and adds again.
  bool Add(std::uint32_t field, std::uint32_t key, std::uint32_t n);
  // Adds records (rising; a record equal to the one before is added once) to key of field,
  // as Add adds them one by one; returns how many were added, fewer when the table is full
  // (the caller writes a segment, clears the table and adds the rest).
  std::size_t AddRun(std::uint32_t field, std::uint32_t key,
                     std::span<std::uint32_t const> records);
  // Makes room for up to keys more keys of field at once, as far as the budget allows. A
  // table that grew while keys came in OrderOf order would crowd them into its low end,
  // in one long run of full slots; a caller adding in that order reserves first.
  void Reserve(std::uint32_t field, std::size_t keys);
  // Fetches the memory where the next record of key of field goes, ahead of AddRun.
  void PrefetchList(std::uint32_t field, std::uint32_t key);
  // Adds record n with its positions of character key (below 65536) of field, all or
  // nothing: positions are coded as position_code.h tells, as they follow the record's
  // delta in the list. False, with nothing added, when the table is full.
  bool AddPositions(std::uint32_t field, std::uint32_t key, std::uint32_t n,
                    std::span<unsigned char const> positions);
  // Adds record n to the listed value number of field; false as Add.
  bool AddValue(std::uint32_t field, std::uint32_t number, std::uint32_t n);
  // True when lists were added since the last Clear.
  bool empty() const { return empty_; }

  // Writes every list sorted by key (field << 32 | key, then listed values as
  // kValueList | field << 32 | number); false when out fails.
  bool WriteSegment(std::ostream& out) const;
  // As WriteSegment(out), each list to parts[PartOf(key, parts.size())]: the segment of
  // each part of the key space in a file of its own.
  bool WriteSegment(std::span<std::ostream* const> parts) const;
  // Drops every list; the tables keep their size.
  void Clear();

 private:
  // 16 bytes, so that a cache line holds four. The tail chunk's link points back to the
  // first chunk, and the byte count gives the tail chunk's size and how much of it is used.
  struct Entry {
    std::uint32_t key = 0;
    std::uint32_t last = 0;  // the last record added plus one; 0: the entry is unused
    std::uint32_t tail = 0;  // the pool offset of the list's last chunk
    std::uint32_t bytes = 0;
  };
  static_assert(sizeof(Entry) == 16);
  struct Field {
    // Huge pages: the tables are read at random, and with small pages nearly every key
    // costs a TLB miss on top of its cache miss.
    memory::LargeVector<Entry> chars;   // keys below 65536, by key
    memory::LargeVector<Entry> others;  // open addressing, a power of two in size
    std::size_t other_count = 0;
    std::vector<Entry> values;  // by value number
  };
  Field& FieldOf(std::uint32_t field);
  Entry* Other(Field& f, std::uint32_t key);
  // Rehashes the other keys of f into slots; false when the budget does not allow it.
  bool Grow(Field& f, std::size_t slots);
  // Appends the records (rising, a repeat of the last one skipped) to e; returns how many
  // were taken, fewer when the budget is spent (a record is added whole or not at all).
  std::size_t Append(Entry& e, std::span<std::uint32_t const> records);
  // Appends bytes to e's list, all of them or (when the budget is spent) none.
  bool AppendBytes(Entry& e, std::span<unsigned char const> bytes);
  // Bytes the pool may use now: what the key tables leave of the budget.
  std::size_t ListRoom() const;
  // Takes a chunk of size_class from the pool; false when the budget does not allow it.
  bool NewChunk(std::uint8_t size_class, std::uint32_t& at);
  // Writes the list of key at out (its head, then e.bytes bytes); returns its end.
  char* WriteList(char* out, std::uint64_t key, Entry const& e) const;

  std::size_t budget_;
  std::size_t pool_size_;
  std::size_t list_floor_;
  // Left untouched until lists use it, so that a small library takes little memory.
  struct FreePool {
    std::size_t bytes;
    void operator()(unsigned char* pool) const noexcept { memory::FreeLarge(pool, bytes); }
  };
  std::unique_ptr<unsigned char[], FreePool> pool_;
  std::size_t pool_used_ = 0;
  std::size_t pool_peak_ = 0;  // the most pool_used_ has been
  std::size_t table_bytes_ = 0;
  std::vector<Field> fields_;
  bool empty_ = true;
};

// The records of a list's varint bytes, one at a time.
class ListDecoder {
 public:
  ListDecoder() = default;
  explicit ListDecoder(std::span<unsigned char const> bytes) : bytes_(bytes) {}
  // The next record; false at the end of the list.
  bool Next(std::uint32_t& record) {
    if (i_ == bytes_.size()) return false;
    std::uint32_t delta = bytes_[i_++];
    if (delta >= 0x80) {
      delta &= 0x7F;
      for (int shift = 7; i_ < bytes_.size(); shift += 7) {
        unsigned char b = bytes_[i_++];
        delta |= static_cast<std::uint32_t>(b & 0x7F) << shift;
        if (b < 0x80) break;
      }
    }
    at_ += delta;
    record = at_ - 1;
    return true;
  }

 private:
  std::span<unsigned char const> bytes_;
  std::size_t i_ = 0;
  std::uint32_t at_ = 0;  // the last record plus one
};

// The records of a character's list and each one's positions, one record at a time.
class PositionsDecoder {
 public:
  PositionsDecoder() = default;
  explicit PositionsDecoder(std::span<unsigned char const> bytes) : bytes_(bytes) {}
  // The next record and its positions' bytes; false at the end of the list, or when it is
  // malformed (malformed() tells).
  bool Next(std::uint32_t& record, std::span<unsigned char const>& positions);
  bool malformed() const { return malformed_; }

 private:
  std::span<unsigned char const> bytes_;
  std::size_t i_ = 0;
  std::uint32_t at_ = 0;  // the last record plus one
  bool malformed_ = false;
};

// Lists of one segment file, in key order, read a block of many lists at a time.
class SegmentReader {
 public:
  // block: bytes read at a time (a list longer than that is read on its own).
  explicit SegmentReader(std::string const& path, std::size_t block = kBlock);
  static constexpr std::size_t kBlock = std::size_t{1} << 20;
  // Moves to the next list; false at the end of the file or when it cannot be read
  // (failed() tells).
  bool Next();
  std::uint64_t key() const { return key_; }
  // Appends the records of the current list to records.
  void Records(std::vector<std::uint32_t>& records) const;
  // How many varints the current list holds: its records, or a few more when a record cut
  // across a segment boundary appears at both ends.
  std::size_t Varints() const;
  // The current list's bytes, valid until the next call of Next.
  std::span<unsigned char const> list() const { return list_; }
  bool failed() const { return failed_; }
  // Bytes of the file passed: the lists moved to, with their heads.
  std::uint64_t passed() const { return passed_; }

 private:
  // Reads on until at least bytes are in the block past begin_ (fewer at the end).
  void Fill(std::size_t bytes);

  fs::UncachedReader file_;
  std::istream in_{&file_};
  std::vector<unsigned char> block_;
  std::size_t begin_ = 0, end_ = 0;
  std::vector<unsigned char> long_;  // a list longer than the block
  std::span<unsigned char const> list_;
  std::uint64_t key_ = 0;
  std::uint64_t passed_ = 0;
  bool failed_ = false;
};

}  // namespace qel::search_index

#endif  // QELSHARE_READERS_INDEX_SEGMENT_H_
