// The disk file under a compound file: positioned reads and writes, durability, and the
// share-mode locks that keep two opens of one file from conflicting.
//
// Locks are open-file-description locks (F_OFD_SETLK) on bytes far beyond any data, so
// they hold between processes and between two opens in one process alike. Each open
// takes shared locks that announce its access (read, write) and its denials (deny read,
// deny write), after checking under a short exclusive lock that no other open holds a
// conflicting one.
//
// Writes pass through one seam for tests: SetWriteLimit(n) lets the next n write calls
// (WriteAt, Truncate, Sync) through and fails every later one without touching the
// disk, as if the machine had stopped at that moment.
#ifndef QELSHARE_PLATFORM_STORAGE_DISK_FILE_H_
#define QELSHARE_PLATFORM_STORAGE_DISK_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace qel::storage {

class DiskFile {
 public:
  enum class OpenResult { kOk, kNotFound, kExists, kDenied, kShared, kError };

  DiskFile() = default;
  ~DiskFile();
  DiskFile(DiskFile const&) = delete;
  DiskFile& operator=(DiskFile const&) = delete;

  // Opens path. create: make it when missing; exclusive_create: fail when it exists;
  // truncate: empty it. The share check follows: read/write is the access asked,
  // deny_read/deny_write what other opens may not do.
  OpenResult Open(std::string const& path, bool read, bool write, bool deny_read, bool deny_write,
                  bool create, bool exclusive_create, bool truncate);

  // Reads n bytes at offset; bytes past the end of the file read as zeros. False on an
  // I/O error.
  bool ReadAt(std::uint64_t offset, void* buf, std::size_t n) const;
  bool WriteAt(std::uint64_t offset, void const* buf, std::size_t n);
  bool Truncate(std::uint64_t size);
  bool Sync();
  std::uint64_t Size() const;

 private:
  int fd_ = -1;
};

// Test seam: let the next n write calls through and fail the rest; n < 0 removes the
// limit. Returns how many write calls were made since the previous call.
long SetWriteLimit(long n);

}  // namespace qel::storage

#endif  // QELSHARE_PLATFORM_STORAGE_DISK_FILE_H_
