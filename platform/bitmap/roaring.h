// Compressed sets of record numbers (32-bit), stored in CRoaring's portable serialisation
// (or, where smaller, as a packed list: see AppendSorted) so that index files move between
// machines and readers of the same format.
#ifndef QELSHARE_PLATFORM_BITMAP_ROARING_H_
#define QELSHARE_PLATFORM_BITMAP_ROARING_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qel::bitmap {

class RecordSet {
 public:
  RecordSet();
  ~RecordSet();
  RecordSet(RecordSet&& other) noexcept;
  RecordSet& operator=(RecordSet&& other) noexcept;
  RecordSet(RecordSet const&) = delete;
  RecordSet& operator=(RecordSet const&) = delete;

  // Removes every record.
  void Clear();
  // Adds record n.
  void Add(std::uint32_t n);
  // Adds records.
  void AddMany(std::span<std::uint32_t const> records);
  // Makes this set hold the records of other.
  void CopyFrom(RecordSet const& other);
  // Keeps only the records also in other.
  void And(RecordSet const& other);
  std::uint64_t Count() const;
  bool Contains(std::uint32_t n) const;
  // The number of records up to and including n.
  std::uint64_t Rank(std::uint32_t n) const;
  // The largest record (0 when empty).
  std::uint32_t Maximum() const;
  // The records in increasing order.
  std::vector<std::uint32_t> Members() const;
  // At most n records, in increasing order, from the first-th (counted from 0).
  std::vector<std::uint32_t> Members(std::uint64_t first, std::uint64_t n) const;
  // Makes this set hold the records of a hit bitmap (record n is bit n % 8 of byte n / 8):
  // a sparse one in a few bytes a record, a dense one in about its own size.
  void AssignBits(std::span<unsigned char const> bits);
  // Sets the bits of the records in a hit bitmap; records beyond it are left out.
  void OrInto(std::span<unsigned char> bits) const;
  // Appends the portable serialisation to out.
  void AppendTo(std::string& out) const;
  // Reads a portable serialisation of exactly bytes.size() bytes; false when the bytes are
  // not one (the set is then empty).
  bool Read(std::string_view bytes);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Appends the serialisation of the set of records, given in non-decreasing order (repeats
// count once), written straight from the list without building the set: the smallest of
//  - the same bytes as AppendTo of a RecordSet holding them;
//  - for at most 256 records, a packed list (their count, the first, and each gap less
//    one, as varints after a cookie of its own), as for a few records spread over many
//    containers;
//  - a blocked list: blocks of 128 records, each its first record in a table and its gaps
//    less one bit-packed at the width of the widest, as for thousands of records spread
//    thinly, which CRoaring keeps in two bytes each.
// Read, OrInto and RankCursor read all three. With blocked false no blocked list is
// written: for sets read whole into hit bitmaps time and again, which CRoaring's
// containers fill faster than blocks decode.
void AppendSorted(std::span<std::uint32_t const> records, std::string& out, bool blocked = true);

// Adds the records of a portable serialisation to a hit bitmap (record n is bit n % 8 of
// byte n / 8), reading the bytes in place. Returns false when bytes are not exactly one
// serialisation or name a record beyond bits; bits may then hold part of the records.
bool OrInto(std::string_view bytes, std::span<unsigned char> bits);

// Sets records to those of a serialisation, rising, decoded in place; false when bytes
// are not exactly one.
bool Members(std::string_view bytes, std::vector<std::uint32_t>& records);

// The bits set in bytes: the records of a hit bitmap. Counted with the processor's
// population count where it has one, so that a million records take microseconds.
std::uint64_t CountBits(std::span<unsigned char const> bytes);

// The places of records in a set, found in its portable serialisation in place: for
// records asked for in rising order, each costs about the records (or 64-bit words) passed
// over since the one before, so that a query finding a few records' places does not
// decode the whole set. A packed list, of a few records, is decoded whole; a blocked list
// a block at a time.
class RankCursor {
 public:
  // Reads the header of a serialisation (bytes must outlive the cursor); false when bytes
  // are not one (a packed list is checked whole, a blocked list's table whole).
  bool Open(std::string_view bytes);
  std::uint64_t Count() const { return count_; }
  // Whether n is in the set; rank is then the number of records below it. The block of a
  // blocked list is checked when first searched: a malformed one gives true and a rank of
  // Count(), a place no record has.
  bool Find(std::uint32_t n, std::uint64_t& rank);

 private:
  struct Container {
    std::uint32_t key;
    std::uint32_t cardinality;
    std::uint64_t before;  // records of the containers before
    enum Kind : std::uint8_t { kArray, kBitset, kRun } kind;
    std::string_view data;  // values, words, or run pairs
  };
  std::vector<Container> containers_;
  std::uint64_t count_ = 0;
  std::vector<std::uint32_t> packed_;  // the records of a packed list, or of block_
  std::string_view blocked_;           // a blocked list's bytes
  std::size_t block_ = SIZE_MAX;       // the block of blocked_ decoded into packed_
  // Where the last search stopped: its container, and inside it the value, word or run
  // reached and the records before that.
  std::size_t container_ = 0;
  std::size_t inside_ = 0;
  std::uint64_t inside_before_ = 0;
};

}  // namespace qel::bitmap

#endif  // QELSHARE_PLATFORM_BITMAP_ROARING_H_
