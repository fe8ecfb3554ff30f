// Files of many megabytes written once front to back and read back at most once, as an
// index build's temporary segments and the index itself: their bytes move between
// aligned buffers of this process and the disk past the system's page cache (O_DIRECT)
// where the file system allows it. Caching gigabytes nobody reads twice costs more than
// the disk: every new page of cache is zeroed, and on a virtual machine first faulted in
// by the host, so that writing a new 2 GiB file through the cache took 4 to 8 s of system
// time here against 0.5 s past it. Where the file system refuses (tmpfs, some network
// file systems), reads and writes go through the cache as usual.
//
// Whole aligned blocks go past the cache; a file's unaligned head and tail go through it,
// and the system keeps the two views of the file consistent.
#ifndef QELSHARE_PLATFORM_FS_UNCACHED_FILE_H_
#define QELSHARE_PLATFORM_FS_UNCACHED_FILE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <streambuf>
#include <string>

namespace qel::fs {

// Frees a buffer aligned for transfers past the cache.
struct AlignedDelete {
  void operator()(char* buffer) const noexcept;
};

// Appends to an open descriptor from its offset on, the whole aligned blocks past the
// cache. write_all writes bytes in full at the descriptor's offset, or returns false with
// errno set.
class UncachedAppender {
 public:
  using WriteAll = std::function<bool(char const* bytes, std::size_t size)>;
  UncachedAppender(int fd, std::uint64_t offset, WriteAll write_all);
  ~UncachedAppender();
  UncachedAppender(UncachedAppender const&) = delete;
  UncachedAppender& operator=(UncachedAppender const&) = delete;

  // Buffers bytes, writing each full buffer; false when a write failed.
  bool Append(char const* bytes, std::size_t size);
  // Writes what is buffered and leaves the descriptor as it found it (cached), its offset
  // at the end of what was appended; false when a write failed.
  bool Finish();

 private:
  // Writes the buffer's whole blocks (all: every byte); false when a write failed.
  bool Drain(bool all);
  bool Write(char const* bytes, std::size_t size, bool uncached);

  int fd_;
  std::uint64_t start_;  // the file offset of the buffer's first byte
  WriteAll write_all_;
  std::unique_ptr<char, AlignedDelete> buffer_;
  std::size_t fill_ = 0;
  bool uncached_ = false;  // O_DIRECT is on for fd_
  bool refused_ = false;   // the file system does not take O_DIRECT
};

// A new file written front to back (std::ostream over it), past the cache.
class UncachedWriter : public std::streambuf {
 public:
  UncachedWriter() = default;
  ~UncachedWriter() override;
  UncachedWriter(UncachedWriter const&) = delete;
  UncachedWriter& operator=(UncachedWriter const&) = delete;
  // Creates or truncates path (the system's name); false when it cannot be made.
  bool Open(std::string const& path);
  // Writes the rest and closes the file; false when any write failed.
  bool Close();

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(char const* bytes, std::streamsize size) override;

 private:
  int fd_ = -1;
  bool failed_ = false;
  std::unique_ptr<UncachedAppender> appender_;
};

// A file read front to back (std::istream over it), past the cache.
class UncachedReader : public std::streambuf {
 public:
  UncachedReader();
  ~UncachedReader() override;
  UncachedReader(UncachedReader const&) = delete;
  UncachedReader& operator=(UncachedReader const&) = delete;
  // Opens path (the system's name); false when it cannot be read.
  bool Open(std::string const& path);
  // True when a read failed (not at the end of the file).
  bool failed() const { return failed_; }

 protected:
  int_type underflow() override;

 private:
  int fd_ = -1;
  bool failed_ = false;
  std::unique_ptr<char, AlignedDelete> buffer_;
};

}  // namespace qel::fs

#endif  // QELSHARE_PLATFORM_FS_UNCACHED_FILE_H_
