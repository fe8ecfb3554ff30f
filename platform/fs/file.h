// Files by handle with the desktop platform's access and share modes.
//
// An open names the access it wants (read, write) and the sharing it grants to opens
// that come after it. As on the desktop platform, an open succeeds only when its access
// is granted by the sharing of every open already made of the same file, and its own
// sharing grants the access of each of them; otherwise it fails with a sharing violation
// (EBUSY) and leaves the file untouched (a truncating open truncates only after the
// check). The rule holds between processes and between handles of one process for every
// open made through this class; it is kept with open-file-description locks on bytes far
// beyond any real file length, so it costs no extra file and vanishes with the handle.
//
// The read-only attribute is honoured: opening an existing file for writing fails with
// EACCES when its owner may not write it, whatever the caller's privileges.
#ifndef QELSHARE_PLATFORM_FS_FILE_H_
#define QELSHARE_PLATFORM_FS_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "qelshare/types.h"

namespace qel::fs {

// Access bits.
inline constexpr unsigned kAccessRead = 1;
inline constexpr unsigned kAccessWrite = 2;
// Sharing bits: what later opens of the same file may do.
inline constexpr unsigned kShareRead = 1;
inline constexpr unsigned kShareWrite = 2;

// What to do about an existing or a missing file.
enum class Disposition {
  kCreateNew,         // fail when the file exists
  kCreateAlways,      // create, or truncate an existing file
  kOpenExisting,      // fail when the file is missing
  kOpenAlways,        // open, or create a missing file
  kTruncateExisting,  // open an existing file and truncate it
};

class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(File const&) = delete;
  File& operator=(File const&) = delete;

  // Opens path (GBK, "/" or "\") with the access and share bits. On failure returns false
  // and error() holds the errno value (EBUSY for a sharing violation).
  bool Open(std::string_view path, unsigned access, unsigned share, Disposition disposition);
  void Close();
  bool is_open() const { return fd_ >= 0; }
  int error() const { return error_; }

  // Reads up to size bytes at the file position; the count read (0 at the end), or -1.
  std::int64_t Read(void* buffer, std::size_t size);
  // Writes all size bytes at the file position; false on failure.
  bool Write(void const* buffer, std::size_t size);
  // Moves the file position to offset from the start; false on failure.
  bool Seek(std::int64_t offset);
  // Length of the file in bytes, or -1.
  std::int64_t Size() const;
  // The system descriptor (for the floor's own copy helpers).
  int fd() const { return fd_; }
  // Hands the descriptor of a file opened for reading to the caller, who closes it; the
  // object is left closed. The sharing stays with the descriptor and its duplicates.
  int Release();

 private:
  bool Fail(int error);

  int fd_ = -1;
  int lock_fd_ = -1;  // a second descriptor holding the sharing locks when fd_ cannot
  int error_ = 0;
};

// Files by handle, for the readers (line buffer, descriptor reader, record cutter):
// classes of the public interface keep an opaque HANDLE in a member without seeing the
// operating system. Offsets and sizes are 64-bit, so files larger than 4 GiB read like
// any other. Opens follow the share modes of File.
//
// Test seam: SetReadFaults makes the next reads fail as a device error would, so that the
// retry paths of the readers can be exercised on real files.

// The value of a handle that refers to no file (the platform's invalid-handle value).
inline HANDLE const kInvalidFile = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// kDenyNone lets later opens read and write the file; kDenyWrite refuses the open while
// the file is open for writing, and refuses opens for writing while it is open.
enum class Share { kDenyNone, kDenyWrite };

// Opens an existing file (a GBK path, as File::Open) for reading. kInvalidFile when it
// does not exist, cannot be read, is a directory, or the sharing refuses the open.
HANDLE OpenForReading(std::string_view path, Share share);

// Closes a handle of OpenForReading or Duplicate; kInvalidFile is ignored.
void Close(HANDLE file);

// A second handle on the same open file (same sharing); kInvalidFile on failure.
HANDLE Duplicate(HANDLE file);

// Size of the file in bytes; false on failure.
bool Size(HANDLE file, std::uint64_t* size);

// Moves the read position to offset from the start; false on failure.
bool Seek(HANDLE file, std::uint64_t offset);

// Reads up to n bytes at the read position and advances it; returns the count (0 at the
// end of the file) or -1 on a read error. Interrupted reads are resumed; a short count
// means the file ended.
std::int64_t Read(HANDLE file, void* buffer, std::size_t n);

// Reads up to n bytes at offset without using the read position; as Read otherwise.
std::int64_t ReadAt(HANDLE file, std::uint64_t offset, void* buffer, std::size_t n);

// Test seam: the next `count` calls of Read and ReadAt fail with -1 (0 turns it off).
void SetReadFaults(int count);

}  // namespace qel::fs

#endif  // QELSHARE_PLATFORM_FS_FILE_H_
