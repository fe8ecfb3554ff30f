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

 private:
  bool Fail(int error);

  int fd_ = -1;
  int lock_fd_ = -1;  // a second descriptor holding the sharing locks when fd_ cannot
  int error_ = 0;
};

}  // namespace qel::fs

#endif  // QELSHARE_PLATFORM_FS_FILE_H_
