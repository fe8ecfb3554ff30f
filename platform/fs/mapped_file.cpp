#include "platform/fs/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/fs/path.h"

namespace qel::fs {

namespace {

FileStamp StampOf(struct stat const& st) {
  FileStamp stamp;
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  stamp.mtime_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  stamp.device = static_cast<std::uint64_t>(st.st_dev);
  stamp.inode = static_cast<std::uint64_t>(st.st_ino);
  return stamp;
}

}  // namespace

bool Stamp(std::string const& path, FileStamp& stamp) {
  struct stat st {};
  if (::stat(ToOs(path).c_str(), &st) != 0) return false;
  stamp = StampOf(st);
  return true;
}

MappedFile::~MappedFile() {
  Release();
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      fd_(std::exchange(other.fd_, -1)),
      stamp_(other.stamp_) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    fd_ = std::exchange(other.fd_, -1);
    stamp_ = other.stamp_;
  }
  return *this;
}

void MappedFile::Release() {
  if (data_ != nullptr) ::munmap(data_, size_);
  if (fd_ >= 0) ::close(fd_);
  data_ = nullptr;
  size_ = 0;
  fd_ = -1;
}

void MappedFile::Forget(std::size_t offset, std::size_t length) const {
  if (data_ == nullptr || offset >= size_) return;
  auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  std::size_t start = offset / page * page;
  std::size_t end = std::min(size_, offset + std::min(length, size_ - offset));
  ::madvise(static_cast<char*>(data_) + start, end - start, MADV_DONTNEED);
}

void MappedFile::ReadAtRandom() const {
  if (data_ != nullptr) ::madvise(data_, size_, MADV_RANDOM);
}

bool MappedFile::Open(std::string const& path, std::string& error) {
  Release();
  int fd = ::open(ToOs(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = std::strerror(errno);
    ::close(fd);
    return false;
  }
  stamp_ = StampOf(st);
  if (st.st_size > 0) {
    void* p = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
      error = std::strerror(errno);
      ::close(fd);
      return false;
    }
    data_ = p;
    size_ = static_cast<std::size_t>(st.st_size);
  }
  fd_ = fd;
  return true;
}

bool MappedFile::ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const {
  out.resize(length);
  return ReadAt(offset, std::span<char>(out));
}

bool MappedFile::ReadAt(std::uint64_t offset, std::size_t length, ReadBuffer& out) const {
  if (length > out.capacity_) {
    out.data_ = std::make_unique_for_overwrite<char[]>(length);
    out.capacity_ = length;
  }
  out.size_ = length;
  if (ReadAt(offset, std::span<char>(out.data_.get(), length))) return true;
  out.size_ = 0;
  return false;
}

bool MappedFile::ReadAt(std::uint64_t offset, std::span<char> out) const {
  std::size_t length = out.size();
  if (fd_ < 0 || offset > size_ || length > size_ - offset) return false;
  for (std::size_t done = 0; done < length;) {
    ssize_t n = ::pread(fd_, out.data() + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool MappedFile::Unchanged() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return false;
  FileStamp now = StampOf(st);
  return now.size == stamp_.size && now.mtime_ns == stamp_.mtime_ns;
}

}  // namespace qel::fs
