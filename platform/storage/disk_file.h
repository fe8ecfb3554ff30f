// The disk file under a compound file: positioned reads and writes, durability, and the
// share-mode locks that keep two opens of one file from conflicting.
//
// Opens go through the file floor (platform/fs/file.h): paths are GBK, and the share
// modes hold between compound files and every other open of the library, between
// processes and within one alike.
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

  // Opens path (GBK). create: make it when missing; exclusive_create: fail when it exists;
  // truncate: empty it. The share check follows: the access is reading, and
  // writing when write; deny_read/deny_write say what other opens may not do.
  OpenResult Open(std::string const& path, bool write, bool deny_read, bool deny_write, bool create,
                  bool exclusive_create, bool truncate);

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
