// A whole file mapped read-only into memory, for readers that look up small pieces of
// large files (search indexes, record files) without reading them whole.
#ifndef QELSHARE_PLATFORM_FS_MAPPED_FILE_H_
#define QELSHARE_PLATFORM_FS_MAPPED_FILE_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace qel::fs {

// The size and modification time of a file, and which file it is (device and inode), as
// recorded to tell later whether it changed or was replaced.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t mtime_ns = 0;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(FileStamp const&) const = default;
};

// Stamp of path (a library path, GBK); false when it cannot be read.
bool Stamp(std::string const& path, FileStamp& stamp);

// Bytes read from a file by MappedFile::ReadAt, kept between reads: growing it does not
// clear the bytes first, as a std::string would, and a moved buffer keeps its bytes where
// they were.
class ReadBuffer {
 public:
  std::string_view view() const { return {data_.get(), size_}; }
  std::size_t size() const { return size_; }
  void clear() { size_ = 0; }

 private:
  friend class MappedFile;
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0, capacity_ = 0;
};

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(MappedFile const&) = delete;
  MappedFile& operator=(MappedFile const&) = delete;
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;

  // Maps path, a library path (a previous mapping is released). Returns false with error set to the
  // system's reason when the file cannot be opened or mapped; an empty file maps to no
  // bytes.
  bool Open(std::string const& path, std::string& error);
  // Lets the system drop the pages of bytes [offset, offset + length) from this process's
  // memory (they are read again when touched, from the system's cache): for regions read
  // once, such as a checksum or the records a query reads back. Safe while other threads
  // read the mapping.
  void Forget(std::size_t offset, std::size_t length) const;
  // Tells the system that the mapping is read at random places: a page touched reads
  // ahead no pages after it (a search index's small blocks). The system may still map
  // the whole stretch of its cache that holds the page (128 or 256 KiB on Linux 6.18).
  void ReadAtRandom() const;
  // Copies bytes [offset, offset + length) of the file into out by reading it, not through
  // the mapping: small pieces looked up at random places (a table's stretch, a small set)
  // do not become part of this process's memory, as each page touched through a mapping
  // does with the pages around it. False when they are not all in the file or cannot be
  // read.
  bool ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const;
  // The same into out, out.size() bytes, or into a ReadBuffer.
  bool ReadAt(std::uint64_t offset, std::span<char> out) const;
  bool ReadAt(std::uint64_t offset, std::size_t length, ReadBuffer& out) const;
  // The file's bytes, valid until the mapping is released.
  std::string_view bytes() const { return {static_cast<char const*>(data_), size_}; }
  // The stamp of the file mapped, taken when it was opened: a later Stamp of the path that
  // differs means the file was changed or replaced, and pages past a shortened end must
  // not be touched.
  FileStamp const& stamp() const { return stamp_; }
  // True when the file mapped still has the size and time it had when opened (one fstat of
  // the open file, cheaper than a Stamp of the path): a file cut short in place is seen
  // before its missing pages are touched. A file replaced under its name is not.
  bool Unchanged() const;

 private:
  void Release();
  void* data_ = nullptr;
  std::size_t size_ = 0;
  int fd_ = -1;
  FileStamp stamp_;
};

}  // namespace qel::fs

#endif  // QELSHARE_PLATFORM_FS_MAPPED_FILE_H_
