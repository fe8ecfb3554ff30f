// The search index of a retrieval library: BASE.qix beside BASE.mrf.
//
// For each field code met in the records, the index holds the set of records whose value
// (the lines of the code joined by LF, as a search sees them) contains each GBK character,
// with the positions where it stands in each, and the set of each pair of adjacent
// characters common enough to need one, plus each record's offset in the record file.
// Characters are cut as every GBK scanner here cuts them (a byte of 0x81 or above takes the
// next byte as its trail) and keyed as 16-bit numbers: a single byte b as b, a two-byte
// character as lead * 256 + trail. A character's key is that number; a pair's key is
// first * 65536 + second (no pair led by a NUL byte); key 0xFFFFFFFF is the set of records
// holding the field at all. A position counts characters from 0 at the value's start.
// A pair keeps a set when it holds at least PairFloor(records) records, or when its
// characters' sets are large enough that, were they independent, they would meet in that
// many (not in a compact index); any other pair (a missing one) is found from the
// positions of its characters, among the records both hold.
// A field whose values are few and short (at most kMaxValues distinct values of at most
// kMaxValueBytes bytes) also lists each distinct value with the set of records holding
// exactly it, so that comparisons and values are answered without reading records.
// Records are numbered from 0 in the order the record file holds them.
//
// Layout (integers little-endian):
//   header, 80 bytes
//      0  "QELINDEX"
//      8  u32 version (6)
//     12  u32 field count F
//     16  u32 record count R
//     20  u32 zero
//     24  u64 size of the record file when indexed
//     32  i64 its modification time, nanoseconds since 1970
//     40  u64 Hash of its first min(size, 65536) bytes
//     48  u64 size of the index file
//     56  u64 Hash of the offsets and the field directory
//     64  u64 Hash of the term tables
//     72  u64 file offset of the term tables
//   offsets     R x u32: where each record starts in the record file
//   directory   F x 32 bytes: code (NUL-padded, 16 bytes), u32 term count T, u32 value
//               count V, u64 file offset of the field's term table
//   bitmaps     one per term, as bitmap::AppendSorted writes them (the smallest of
//               CRoaring's portable serialisation, a packed list of at most 256 records
//               and a blocked list, never blocked for a listed value); a listed value's
//               bytes come just before its bitmap; a character's positions just after it:
//                 u64 Hash of the block table, which follows: u32 block count B (one
//                 block per 64 records of the set), B x (u32 end of the block's bytes,
//                 counted from the first, u32 low half of their Hash);
//                 then per record of the set, in order: its first position and the
//                 gaps to each next one less one, coded as position_code.h tells (a
//                 record's positions end at their only byte below 0x40)
//   term tables one per field in directory order, ending the file:
//               T x 24 bytes sorted by key: u32 key, u32 bitmap length, u64 file offset
//               of the bitmap, u64 Hash of its bytes; a pair or field term of one to
//               three records
//               holds them instead (length 0x80000000 | their count, the first two as
//               the offset, the third and a check of them as the hash: see
//               search_index_layout.h);
//               then V x 24 bytes sorted by value bytes: u32 value length, u32 bitmap
//               length, u64 file offset of the value, u64 Hash of the value and bitmap;
//               then the top keys, ceil(T / 256) x u32: the key of terms 0, 256, 512 ...,
//               so that a lookup searches them, then 256 entries (a page or two)
//
// A reader checks the magic, version, sizes, the binding and where the term tables lie
// when it opens the file, reading only the header and the field directory; it checks a
// bitmap's hash before it uses the bitmap, a block of positions' check before it reads
// the block, and a record's offsets against the record file before it reads the record.
// Check reads everything else: the hashes of the offsets, directory and tables, the order
// of offsets and terms, every bitmap, value and position (`qel index --check`). The record file's
// size, time and head hash bind the index to it: a record file changed after indexing makes it
// stale.
//
// Building streams: posting lists collect in memory up to a budget and are written to
// temporary segment files when it is spent; writing concatenates each key's lists. Memory
// stays bounded by the budget, the record offsets, the term tables and the listed values,
// whatever the size of the text.
#ifndef QELSHARE_READERS_SEARCH_INDEX_H_
#define QELSHARE_READERS_SEARCH_INDEX_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/bitmap/roaring.h"
#include "platform/fs/mapped_file.h"
#include "readers/record_format.h"

namespace qel::search_index {

inline constexpr std::uint32_t kVersion = 6;
inline constexpr std::uint32_t kFieldKey = 0xFFFFFFFFu;
inline constexpr std::size_t kHeadBytes = 65536;
// The record files an index can serve: offsets are 32-bit.
inline constexpr std::uint64_t kMaxRecordFile = 0xFFFFFFFFull;
// Fields with more distinct values, or a longer one, list no values.
inline constexpr std::size_t kMaxValues = 4096;
inline constexpr std::size_t kMaxValueBytes = 64;
// Records below which a pair is found from its characters' positions (see above): about
// the most records such a search reads positions of. 1,000, or in a large library a
// 512th of its records, so that a missing pair costs about what the hit bitmap of any
// search of it costs (a bit per record) and the sets of pairs stay a part of the index.
constexpr std::uint64_t PairFloor(std::uint64_t records) {
  return records / 512 > 1000 ? records / 512 : 1000;
}

// A 64-bit hash of bytes: FNV-1a steps over 8-byte words dealt in turn to four lanes
// (so that a processor works on four at once), the lanes folded, then the tail bytes.
std::uint64_t Hash(std::string_view bytes);

// Hash of bytes given in pieces of any size: value() is Hash of all of them in a row.
class StreamHash {
 public:
  void Add(std::string_view bytes);
  std::uint64_t value() const;

 private:
  static constexpr std::size_t kStripe = 32;
  void Stripe(char const* bytes);
  std::uint64_t lanes_[4] = {0xcbf29ce484222325ull, 0x6a09e667f3bcc908ull, 0xbb67ae8584caa73bull,
                             0x3c6ef372fe94f82bull};
  char pending_[kStripe] = {};
  std::size_t pending_size_ = 0;
};

// Key of the character of text starting at i, and its length in bytes.
std::pair<std::uint32_t, std::size_t> CharKey(std::string_view text, std::size_t i);

// What binds an index to its record file.
struct Binding {
  std::uint64_t size = 0;
  std::int64_t mtime_ns = 0;
  std::uint64_t head_hash = 0;
};

// The binding of a record file now; false with error set when it cannot be read.
bool BindingOf(std::string const& record_file, Binding& binding, std::string& error);

// Collects the keys of records and writes the index file. Records are numbered in the
// order they are added, so each key's records arrive sorted: two threads, each taking the
// next batch of records, collect occurrences, sort them by key a few million at a time and
// append them to compressed lists, written to temporary segment files (keys sorted, in two
// parts of the key space) whenever the memory budget is spent; writing merges each part's
// segments on a thread of its own. Record offsets and term entries pass through temporary
// files too, so that memory stays bounded whatever the number of records.
class Builder {
 public:
  // Bytes of posting lists, key tables and occurrences waiting to be sorted held in
  // memory, both threads together.
  static constexpr std::size_t kMemoryBudget = std::size_t{512} << 20;

  // Temporary files are named segment_prefix and a number, "offsets" or "terms" (removed
  // when the builder ends). A compact index keeps no set of a pair holding fewer than
  // PairFloor records: it is smaller by the sets of rare pairs of frequent characters,
  // and a word holding such a pair is found from the positions of many more records.
  explicit Builder(std::string segment_prefix, std::size_t memory_budget = kMemoryBudget,
                   bool compact = false);
  ~Builder();
  Builder(Builder const&) = delete;
  Builder& operator=(Builder const&) = delete;

  // One field of a record: its code and its whole value (the lines of the code joined by LF).
  using Field = records::FieldView;
  // Adds the next record (number = records added so far) starting at offset; each code
  // appears once in fields. The views need to live only during the call.
  void Add(std::uint32_t offset, std::span<Field const> fields);
  std::uint32_t records() const;

  // Waits until every record added is in segment files. Called by Write when not before.
  void Finish();
  // Writes the index to path (a library path) durably: beside it, synced, renamed into
  // place, telling progress, when given, the bytes of segment files merged so far and
  // their total. Returns false with error set to one sentence naming the file at fault;
  // path is then untouched.
  using Progress = std::function<void(std::uint64_t done, std::uint64_t total)>;
  bool Write(std::string const& path, Binding const& binding, std::string& error,
             Progress const& progress = {});

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class Reader;

// Where one character of a field stands in each record holding it, read a block of records
// at a time as a query asks for them.
class PositionList {
 public:
  // True when the index holds the character in the field.
  bool found() const { return ranks_.Count() > 0; }
  // How many records hold the character.
  std::uint64_t count() const { return ranks_.Count(); }
  // Sets records to those holding the character, rising, decoded from the set's bytes (a
  // query that finds its few candidates elsewhere never asks). False when the bytes are
  // not a set of the index's records.
  bool Records(std::vector<std::uint32_t>& records) const;
  // The same records as a set, read from the set's bytes. False when they are not a set
  // of the index's records.
  bool Set(bitmap::RecordSet& set) const;
  // Sets held to whether record n holds the character, found in the set's bytes without
  // reading the set whole. False when the part of the set holding n is damaged.
  bool Holds(std::uint32_t n, bool& held);
  // Readies the list for about lookups records to be asked for: for a few records their
  // blocks are read, for many a stretch of blocks at a time.
  void Expect(std::uint64_t lookups);
  // Sets positions to where the character stands in record n, rising (empty when n does
  // not hold it). Asking for records in rising order reads each block once and passes
  // over each record of the set at most once. False when the block holding n is damaged.
  bool Find(std::uint32_t n, std::vector<std::uint32_t>& positions);

 private:
  friend class Reader;
  // Moves to block number block, checked; false when it is damaged.
  bool EnterBlock(std::size_t block);
  std::uint32_t records_ = 0;  // of the index
  // The set's serialisation: read into set_bytes_ (with the block table after it, when
  // it fits the read) or in the mapping.
  fs::ReadBuffer set_bytes_;
  std::string_view set_view_;
  bitmap::RankCursor ranks_;  // over set_view_
  fs::MappedFile const* file_ = nullptr;
  // Blocks are read one at a time for a few lookups, and in windows of kWindow bytes when
  // the positions hold at most kWindowEach bytes a lookup: a call on the system costs
  // about as much as copying that many. (Never through the mapping: the system would
  // map a stretch around each page touched, and it would stay.)
  static constexpr std::uint64_t kWindowEach = 8192;
  static constexpr std::size_t kWindow = std::size_t{256} << 10;
  std::size_t window_ = 0;
  std::string_view table_;  // block entries, in set_bytes_ or table_bytes_
  fs::ReadBuffer table_bytes_;
  std::string_view bytes_;        // where the positions lie in the mapping (never touched)
  std::size_t block_ = SIZE_MAX;  // the block entered
  fs::ReadBuffer read_;           // the block or window read, from read_from_ in bytes_
  std::size_t read_from_ = 0;
  std::string_view block_bytes_;
  std::size_t rank_ = 0;  // the record whose positions start at at_ in the block
  std::size_t at_ = 0;
  std::size_t block_end_ = 0;  // where the block ends in bytes_
};

// An index file opened by memory mapping and checked.
class Reader {
 public:
  // Opens path, checks its header and directory, and that it belongs to the record file
  // as bound now. Returns false with error set to one sentence naming path and the fault.
  bool Open(std::string const& path, Binding const& binding, std::string& error);
  // Checks the whole of the open index, reading every page: false with error set to one
  // sentence naming the file and the fault. *terms receives the number of terms and
  // listed values.
  bool Check(std::string& error, std::uint64_t* terms = nullptr) const;

  std::uint32_t records() const { return records_; }
  // The index file as opened (to tell later whether it was changed or replaced).
  fs::FileStamp const& stamp() const { return file_.stamp(); }
  // True when the index file opened still has its size and time (see MappedFile).
  bool Unchanged() const { return file_.Unchanged(); }
  // Start of record n in the record file (n < records()).
  std::uint32_t Offset(std::uint32_t n) const;
  // Where record n starts in the record file and where it ends (the next record's start,
  // or the file's end), read at once; false when n is no record or they cannot be read.
  bool Extent(std::uint32_t n, std::uint64_t& start, std::uint64_t& end) const;
  // Reads the set of key in field code into set (empty when the index has none). Returns
  // false when the bitmap is damaged. *found, when given, tells whether the index holds
  // a set of key of its own: every character that occurs has one, but a missing pair may
  // still occur (see PairFloor).
  bool Lookup(std::string_view code, std::uint32_t key, bitmap::RecordSet& set,
              bool* found = nullptr) const;
  // Adds the set of key in field code to bits (record n is bit n % 8 of byte n / 8; at
  // least records() bits). Returns false when the bitmap is damaged; *found as Lookup.
  bool LookupInto(std::string_view code, std::uint32_t key, std::span<unsigned char> bits,
                  bool* found = nullptr) const;
  // Reads the records of character key (below 65536) of field code into list, and its
  // block table, ready to read positions (found() false when the field holds no such
  // character). False when its set or block table is damaged.
  bool Positions(std::string_view code, std::uint32_t key, PositionList& list) const;
  // Lets the pages of list's set, when it was large enough to be read through the
  // mapping, leave this process's memory once a query is done with it.
  void LetGo(PositionList const& list) const;
  // True when field code lists its distinct values.
  bool HasValues(std::string_view code) const;
  // Adds to bits the records of each listed value of field code for which wanted is true.
  // Returns false when a value or its bitmap is damaged.
  bool ValuesInto(std::string_view code, std::function<bool(std::string_view)> const& wanted,
                  std::span<unsigned char> bits) const;

 private:
  struct Field {
    std::uint32_t terms = 0;
    std::uint32_t values = 0;
    std::uint64_t table = 0;
    std::string top;  // its top keys, read when the index is opened
  };
  // A term table entry: where its record set lies and the set's hash.
  struct Entry {
    std::uint32_t length = 0;
    std::uint64_t offset = 0;
    std::uint64_t hash = 0;
  };
  // The term table entry of key in field code: 1 when found, 0 when there is none, -1 when
  // the table cannot be read.
  int Find(std::string_view code, std::uint32_t key, Entry& entry) const;
  // Finds key in field code and hands its records over: each record an entry holds in
  // itself to each, or the bytes of its set to whole. True when the key is absent or was
  // handed over; false when its entry or set is damaged (or whole says so).
  template <class Each, class Whole>
  bool Visit(std::string_view code, std::uint32_t key, Each each, Whole whole, bool* found) const;
  // The records an entry holds in itself (kInline), checked, into records; their number,
  // 0 when the entry is damaged.
  std::size_t Inline(Entry const& entry, std::uint32_t* records) const;
  // The bytes of an entry's record set, checked against its hash: a set under kReadBytes
  // read into this thread's buffer (valid until its next call), a larger one from the
  // mapping; false when they lie outside the file or do not match.
  bool Bitmap(Entry const& entry, std::string_view& data) const;
  // The head and block table of the positions after a character's set (whose cursor list
  // holds) into list, taken from read (bytes read after the set) when it holds them; false
  // when they lie outside the file or the table does not match its hash.
  bool ReadPositions(Entry const& entry, PositionList& list, std::string_view read = {}) const;
  // Checks every block and position of list, whose records are set.
  static bool CheckPositions(PositionList& list, bitmap::RecordSet const& set);
  // The hash of the term tables as the header records it.
  std::uint64_t TablesHash() const;
  // Lets the pages of a record set of kReadBytes or more leave this process's memory once
  // a query has read it.
  void LetGo(std::string_view data) const;
  // Record sets smaller than this are read rather than touched through the mapping.
  static constexpr std::size_t kReadBytes = std::size_t{256} << 10;
  fs::MappedFile file_;
  std::string path_;
  std::uint64_t opened_ = 0;  // which opening of an index in this process, from 1
  std::string_view bytes_;
  std::uint32_t records_ = 0;
  std::uint64_t record_bytes_ = 0;  // of the record file, as bound
  std::uint32_t field_count_ = 0;   // directory entries
  std::map<std::string, Field, std::less<>> fields_;
};

}  // namespace qel::search_index

#endif  // QELSHARE_READERS_SEARCH_INDEX_H_
