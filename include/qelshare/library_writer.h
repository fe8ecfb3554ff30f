// qel::LibraryWriter and qel::BuildIndex: writing retrieval libraries and their indexes.
//
// A library is written as three files beside each other:
//   BASE.qel  the descriptor: "QEL LIB MARKER", NUL, NUL, then (little-endian) the record
//             count at 16, the field count at 20 and the title (GBK, NUL-ended) at 24;
//             328 bytes
//   BASE.sor  the field table: a 512-byte header holding at 52 the offset of the field
//             block and at 116 that of the field-string block; the field block (a 16-byte
//             head with the data length, then one 112-byte record per field: code at 0,
//             name at 16, description at 32, type letter at 96); the string block (16-byte
//             head, one NUL-ended string per field: a group field's member codes separated
//             by LF, empty for the others)
//   BASE.mrf  the records in GBK: lines CODE=value ending in CR LF, a blank line after
//             each record; a value of several lines gives one CODE= line per line
// Records stream to a file beside BASE.mrf; Finish writes the other two the same way and
// puts the three in place durably (synced, renamed, the folder synced), the descriptor
// last. The descriptor records the size and first bytes of the record file it was written
// with, and a collection refuses a library whose record file is not that one, so that
// after a failure or a kill at any moment the library is the old one, the new one, or
// refused with the command that rebuilds it; a failed build leaves nothing beside it. An
// index of an earlier library of the same name (BASE.qix) is removed.
//
// BuildIndex writes BASE.qix, which lets a Collection answer from it instead of reading
// every record (its layout is described in the library's index reader).
#ifndef QELSHARE_LIBRARY_WRITER_H_
#define QELSHARE_LIBRARY_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "qelshare/collection.h"
#include "qelshare/export.h"
#include "qelshare/status.h"

namespace qel {

class QELSHARE_API LibraryWriter {
 public:
  // Largest record file: record offsets are 32-bit in the index.
  static constexpr std::uint64_t kMaxRecordFile = 0xFFFFFFFFull;
  // Largest record, in bytes of the record file (what the record cutter reads at once).
  static constexpr std::uint64_t kMaxRecord = 1u << 20;

  // Starts the library BASE (GBK path), creating its folder; status() tells whether the
  // new record file could be made.
  explicit LibraryWriter(std::string base);
  // Removes the new files of a library that was not finished.
  ~LibraryWriter();
  LibraryWriter(LibraryWriter const&) = delete;
  LibraryWriter& operator=(LibraryWriter const&) = delete;

  Status const& status() const { return status_; }

  // Appends a record of (code, value) pairs in GBK; empty values are left out, and a
  // record of none is not written. kInvalid, with `where` (the record's source) in the
  // message, for a record over kMaxRecord or one that would pass kMaxRecordFile; kIoError
  // when it cannot be written. After a failure the writer takes no more records.
  Status Add(std::vector<std::pair<std::string, std::string>> const& record,
             std::string_view where = {});

  // Writes the descriptor (title in GBK) and the field table and puts the three files in
  // place. kInvalid for a title or field text too long for its slot.
  Status Finish(std::string_view title, std::vector<Field> const& fields);

  std::uint64_t records() const { return records_; }
  std::uint64_t bytes() const { return bytes_; }

 private:
  struct Impl;
  std::string base_;
  std::unique_ptr<Impl> impl_;
  Status status_;
  std::uint64_t records_ = 0;
  std::uint64_t bytes_ = 0;
};

struct IndexOptions {
  // Told the bytes of the record file read so far.
  std::function<void(std::uint64_t done, std::uint64_t total)> progress;
  // Then, while the index is written, told the bytes of the lists collected from the
  // records that are merged into it so far (about a third of the time of a large build).
  std::function<void(std::uint64_t done, std::uint64_t total)> write_progress;
  // A stop request ends the build with kCancelled, the old index (if any) untouched.
  std::stop_token stop;
  // Bytes of posting lists held in memory before they spill to files beside the index.
  std::size_t memory_budget = std::size_t{512} << 20;
  // A compact index keeps sets only of pairs of adjacent characters held by many records
  // (1,000, or a 512th of the records), not of rare pairs of frequent characters: about
  // a quarter smaller, it finds a word holding such a pair from the positions of every
  // record holding both characters, up to tens of times slower.
  bool compact = false;
};

struct IndexStats {
  std::uint64_t records = 0;       // records indexed
  std::uint64_t record_bytes = 0;  // size of BASE.mrf
  std::uint64_t index_bytes = 0;   // size of BASE.qix
};

// Writes the index BASE.qix of the library BASE (through a temporary file renamed into
// place). kNotFound when BASE is no library, kInvalid for a record file over 4 GiB,
// kCorrupt when the record file changed while it was read, kIoError when the index cannot
// be written.
QELSHARE_API Status BuildIndex(std::string const& base, IndexStats* stats = nullptr,
                               IndexOptions const& options = {});

// Reads the whole index BASE.qix of the library BASE and checks every part of it: the
// checksums of its directory and term tables, the order of its record offsets and terms,
// every record set and listed value. (Opening an index reads only its header and
// directory, and a search checks only what it reads.) kNotFound when BASE is no library
// or has no index, kCorrupt naming the index and the fault for a damaged or stale one;
// *stats receives the records, the record file's size and the index's.
QELSHARE_API Status CheckIndex(std::string const& base, IndexStats* stats = nullptr);

}  // namespace qel

#endif  // QELSHARE_LIBRARY_WRITER_H_
