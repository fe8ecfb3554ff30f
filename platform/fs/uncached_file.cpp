#include "platform/fs/uncached_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace qel::fs {
namespace {

// Transfers past the cache start at, and span, whole blocks of the device: 4096 bytes
// serves devices of 512- and 4096-byte sectors alike.
constexpr std::size_t kAlign = 4096;
constexpr std::size_t kBuffer = std::size_t{1} << 20;

std::unique_ptr<char, AlignedDelete> NewBuffer() {
  void* p = std::aligned_alloc(kAlign, kBuffer);
  if (p == nullptr) throw std::bad_alloc();
  return std::unique_ptr<char, AlignedDelete>(static_cast<char*>(p));
}

// Turns O_DIRECT on or off for fd; false when the file system refuses it.
bool SetUncached(int fd, bool on) {
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  int wanted = on ? flags | O_DIRECT : flags & ~O_DIRECT;
  return wanted == flags || fcntl(fd, F_SETFL, wanted) == 0;
}

}  // namespace

void AlignedDelete::operator()(char* buffer) const noexcept {
  std::free(buffer);
}

UncachedAppender::UncachedAppender(int fd, std::uint64_t offset, WriteAll write_all)
    : fd_(fd), start_(offset), write_all_(std::move(write_all)), buffer_(NewBuffer()) {}

UncachedAppender::~UncachedAppender() {
  if (uncached_) SetUncached(fd_, false);
}

bool UncachedAppender::Append(char const* bytes, std::size_t size) {
  while (size > 0) {
    std::size_t n = std::min(size, kBuffer - fill_);
    std::memcpy(buffer_.get() + fill_, bytes, n);
    fill_ += n;
    bytes += n;
    size -= n;
    if (fill_ == kBuffer && !Drain(false)) return false;
  }
  return true;
}

bool UncachedAppender::Finish() {
  bool ok = Drain(true);
  if (uncached_) ok = SetUncached(fd_, false) && ok;
  uncached_ = false;
  return ok;
}

bool UncachedAppender::Write(char const* bytes, std::size_t size, bool uncached) {
  if (uncached && !refused_ && !uncached_) {
    uncached_ = SetUncached(fd_, true);
    refused_ = !uncached_;
  }
  if (!uncached && uncached_) {
    if (!SetUncached(fd_, false)) return false;
    uncached_ = false;
  }
  if (write_all_(bytes, size)) return true;
  // A file system may take the flag and refuse the transfer: the cache then serves, from
  // the buffer's offset again (bytes is always the buffer's start).
  if (!uncached_ || errno != EINVAL) return false;
  refused_ = true;
  uncached_ = false;
  return SetUncached(fd_, false) && lseek(fd_, static_cast<off_t>(start_), SEEK_SET) >= 0 &&
         write_all_(bytes, size);
}

bool UncachedAppender::Drain(bool all) {
  char* buffer = buffer_.get();
  // The head up to the first aligned offset goes through the cache, so that the buffer's
  // first byte falls on a block of the file from then on.
  if (std::size_t head = (kAlign - start_ % kAlign) % kAlign; head > 0 && fill_ > 0) {
    std::size_t n = std::min(head, fill_);
    if (!Write(buffer, n, false)) return false;
    std::memmove(buffer, buffer + n, fill_ - n);
    fill_ -= n;
    start_ += n;
  }
  std::size_t blocks = fill_ / kAlign * kAlign;
  if (blocks > 0) {
    if (!Write(buffer, blocks, true)) return false;
    std::memmove(buffer, buffer + blocks, fill_ - blocks);
    fill_ -= blocks;
    start_ += blocks;
  }
  if (all && fill_ > 0) {
    if (!Write(buffer, fill_, false)) return false;
    start_ += fill_;
    fill_ = 0;
  }
  return true;
}

UncachedWriter::~UncachedWriter() {
  Close();
}

bool UncachedWriter::Open(std::string const& path) {
  Close();
  failed_ = false;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) return false;
  int fd = fd_;
  appender_ = std::make_unique<UncachedAppender>(fd, 0, [fd](char const* bytes, std::size_t size) {
    while (size > 0) {
      ssize_t n = ::write(fd, bytes, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      bytes += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  });
  return true;
}

bool UncachedWriter::Close() {
  if (fd_ < 0) return false;
  bool ok = appender_->Finish() && !failed_;
  appender_.reset();
  ok = ::close(fd_) == 0 && ok;
  fd_ = -1;
  return ok;
}

UncachedWriter::int_type UncachedWriter::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  char byte = traits_type::to_char_type(c);
  return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

std::streamsize UncachedWriter::xsputn(char const* bytes, std::streamsize size) {
  if (fd_ < 0 || failed_) return 0;
  if (!appender_->Append(bytes, static_cast<std::size_t>(size))) {
    failed_ = true;
    return 0;
  }
  return size;
}

UncachedReader::UncachedReader() : buffer_(NewBuffer()) {}

UncachedReader::~UncachedReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool UncachedReader::Open(std::string const& path) {
  if (fd_ >= 0) ::close(fd_);
  failed_ = false;
  setg(nullptr, nullptr, nullptr);
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
  if (fd_ < 0 && errno == EINVAL) fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd_ >= 0;
}

UncachedReader::int_type UncachedReader::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (fd_ < 0 || failed_) return traits_type::eof();
  // Whole buffers are read, so the file offset stays aligned until the end.
  for (bool cached = false;;) {
    ssize_t n = ::read(fd_, buffer_.get(), kBuffer);
    if (n < 0 && errno == EINTR) continue;
    // A file system may take the flag and refuse the transfer: the cache then serves.
    if (n < 0 && errno == EINVAL && !cached && SetUncached(fd_, false)) {
      cached = true;
      continue;
    }
    if (n < 0) failed_ = true;
    if (n <= 0) return traits_type::eof();
    setg(buffer_.get(), buffer_.get(), buffer_.get() + n);
    return traits_type::to_int_type(*gptr());
  }
}

}  // namespace qel::fs
