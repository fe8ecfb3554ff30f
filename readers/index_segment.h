// Posting lists of the search index while it is built, and the segment files they are
// written to when memory runs short.
//
// Records arrive in increasing order, so each key's records arrive already sorted: a list
// is kept as delta varints (every delta at least 1, so no byte of a list is zero) in
// chunks of a pool, chunk sizes doubling with the list. A segment file holds the lists of
// one table sorted by key: per list, u64 key, u32 byte count, the varint bytes (the first
// delta counts from -1, so it is the record number plus one). A key's full list is the
// concatenation of its lists in the order the segments were written: later segments hold
// later records (a record cut across a segment boundary may appear at both ends; the
// records form a set, so the repeat is harmless).
#ifndef QELSHARE_READERS_INDEX_SEGMENT_H_
#define QELSHARE_READERS_INDEX_SEGMENT_H_

#include <cstdint>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory/large_pages.h"

namespace qel::search_index {

// The top bit of a list key marks a listed value's list.
inline constexpr std::uint64_t kValueList = std::uint64_t{1} << 63;

// Posting lists of (field, key) and (field, listed value) pairs, bounded in memory.
class PostingTable {
 public:
  // budget: bytes for the pool and the key tables together (a table of 65536 entries per
  // field is kept whatever the budget).
  explicit PostingTable(std::size_t budget);

  // Adds record n to key of field (n never below a record added before). False, with
  // nothing added, when the table is full: the caller writes a segment, clears the table
  // and adds again.
  bool Add(std::uint32_t field, std::uint32_t key, std::uint32_t n);
  // Tells the table that keys of field come next, so that it fetches their memory early.
  void Prefetch(std::uint32_t field, std::span<std::uint32_t const> keys);
  // Adds record n to the listed value number of field; false as Add.
  bool AddValue(std::uint32_t field, std::uint32_t number, std::uint32_t n);
  // True when lists were added since the last Clear.
  bool empty() const { return empty_; }

  // Writes every list sorted by key (field << 32 | key, then listed values as
  // kValueList | field << 32 | number); false when out fails.
  bool WriteSegment(std::ostream& out) const;
  // Drops every list; the tables keep their size.
  void Clear();

 private:
  struct Entry {
    std::uint32_t key = 0;
    std::uint32_t last = 0;  // the last record added plus one; 0: the entry is unused
    std::uint32_t first = 0;
    std::uint32_t tail = 0;
    std::uint32_t bytes = 0;
    std::uint16_t used = 0;  // bytes used in the tail chunk
    std::uint8_t size_class = 0;
    std::uint8_t pad = 0;
  };
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
  // Appends record n; false (nothing added) when the pool is full.
  bool Append(Entry& e, std::uint32_t n);
  void WriteList(std::string& out, std::uint64_t key, Entry const& e) const;

  std::size_t budget_;
  std::size_t pool_size_;
  memory::LargeVector<unsigned char> pool_;
  std::size_t pool_used_ = 0;
  std::size_t table_bytes_ = 0;
  std::vector<Field> fields_;
  bool empty_ = true;
};

// Lists of one segment file, in key order.
class SegmentReader {
 public:
  explicit SegmentReader(std::string const& path);
  // Moves to the next list; false at the end of the file or when it cannot be read
  // (failed() tells).
  bool Next();
  std::uint64_t key() const { return key_; }
  // Appends the records of the current list to records.
  void Records(std::vector<std::uint32_t>& records);
  bool failed() const { return failed_; }

 private:
  std::vector<char> buffer_;
  std::ifstream in_;
  std::uint64_t key_ = 0;
  std::uint32_t bytes_ = 0;
  std::vector<unsigned char> list_;
  bool failed_ = false;
};

}  // namespace qel::search_index

#endif  // QELSHARE_READERS_INDEX_SEGMENT_H_
