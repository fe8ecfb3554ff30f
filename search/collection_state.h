// The state of an open collection, shared (read-only after Open) by its sessions and
// results: per library its field table, its files as opened and its index, or the
// PostgreSQL library it is.
#ifndef QELSHARE_SEARCH_COLLECTION_STATE_H_
#define QELSHARE_SEARCH_COLLECTION_STATE_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/fs/mapped_file.h"
#include "qelshare/collection.h"
#include "readers/search_index.h"
#include "search/pg_library.h"

namespace qel::search {

// Where each record of a scanned library starts, as the scan found it.
using Offsets = std::vector<std::uint64_t>;

struct LibraryState {
  LibraryInfo info;  // info.records is not kept here for scanned libraries (see scanned)
  std::shared_ptr<std::vector<Field> const> table;
  std::vector<std::string> codes;  // codes of the fields that are not groups, each once
  std::string record_file;
  fs::FileStamp record_stamp;  // the record file as opened
  bool indexed = false;
  search_index::Reader index;
  fs::MappedFile records;         // the record file, mapped when indexed
  std::unique_ptr<PgLibrary> pg;  // a library kept in PostgreSQL: no files

  // The record offsets of the first complete scan (scanned libraries), shared by results.
  std::shared_ptr<Offsets const> Scanned() const;
  void SetScanned(std::shared_ptr<Offsets const> offsets) const;

  // Ok when the record file (and the index) are still the files opened; else kCorrupt
  // naming the file that changed. An indexed library's open index is looked at on every
  // call, its paths when kCheckInterval has passed since the last look (a scanned
  // library's paths on every call).
  Status Check() const;
  // Ok when an indexed library's open record file still has its size and time: called
  // before its mapped records are read.
  Status CheckRecords() const;
  static constexpr std::int64_t kCheckInterval = 50'000'000;  // nanoseconds
  // kCorrupt for a damaged index, naming the command that rebuilds it.
  Status IndexDamaged() const;
  // Number of records: of the index, or of the first scan or count (0 before either).
  std::uint64_t Records() const;
  // Whether a scanned library's records are known (from a scan or a count).
  bool Counted() const;
  // Records counted without a scan, kUncounted until then.
  static constexpr std::uint64_t kUncounted = UINT64_MAX;
  mutable std::atomic<std::uint64_t> counted{kUncounted};
  // Where record n starts, from the index or from offsets.
  std::uint64_t Start(std::uint32_t n, Offsets const* offsets) const;
  // The text of record n (n < the records of offsets or of the index); false when the file
  // no longer holds it.
  bool Text(std::uint32_t n, Offsets const* offsets, std::string& text) const;

 private:
  Status CheckPaths() const;
  mutable std::atomic<std::int64_t> next_check_{0};
  mutable std::mutex mutex_;
  mutable std::shared_ptr<Offsets const> scanned_;
};

// Reads record hit.record of lib (offsets: the scan's, for a scanned library) with its
// fields named from the field table, after checking that the files are those opened.
// ahead: the records a listing reads next, which a library in PostgreSQL fetches at once.
Status ReadRecord(LibraryState const& lib, Hit const& hit, Offsets const* offsets, Record& record,
                  std::span<std::uint32_t const> ahead = {});

}  // namespace qel::search

namespace qel {

struct Collection::State {
  std::vector<std::unique_ptr<search::LibraryState>> libraries;
};

}  // namespace qel

#endif  // QELSHARE_SEARCH_COLLECTION_STATE_H_
