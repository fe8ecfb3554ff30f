// A whole file mapped read-only into memory, for readers that look up small pieces of
// large files (search indexes, record files) without reading them whole.
#ifndef QELSHARE_PLATFORM_FS_MAPPED_FILE_H_
#define QELSHARE_PLATFORM_FS_MAPPED_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace qel::fs {

// The size and modification time of a file, as recorded to tell later whether it changed.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t mtime_ns = 0;
};

// Stamp of path; false when it cannot be read.
bool Stamp(std::string const& path, FileStamp& stamp);

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(MappedFile const&) = delete;
  MappedFile& operator=(MappedFile const&) = delete;
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;

  // Maps path (a previous mapping is released). Returns false with error set to the
  // system's reason when the file cannot be opened or mapped; an empty file maps to no
  // bytes.
  bool Open(std::string const& path, std::string& error);
  // Lets the system drop the pages of bytes [offset, offset + length) from this process's
  // memory (they are read again when touched): for regions read once, such as a checksum.
  void Forget(std::size_t offset, std::size_t length);
  // The file's bytes, valid until the mapping is released.
  std::string_view bytes() const { return {static_cast<char const*>(data_), size_}; }

 private:
  void Release();
  void* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace qel::fs

#endif  // QELSHARE_PLATFORM_FS_MAPPED_FILE_H_
