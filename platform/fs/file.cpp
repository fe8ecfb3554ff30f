#include "platform/fs/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <utility>

#include "platform/fs/path.h"

namespace qel::fs {
namespace {

// Lock bytes: holding one says "this handle reads", "writes", "denies reading",
// "denies writing". They lie far beyond any file length a program writes.
constexpr off_t kLockBase = 0x7FFFFFFFFFFF0000;
constexpr off_t kHasRead = kLockBase;
constexpr off_t kHasWrite = kLockBase + 1;
constexpr off_t kDeniesRead = kLockBase + 2;
constexpr off_t kDeniesWrite = kLockBase + 3;

// A lock of type on the one byte at byte.
struct flock ByteLock(short type, off_t byte) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  return lock;
}

bool Hold(int fd, off_t byte) {
  struct flock lock = ByteLock(F_RDLCK, byte);
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// True when another open file description holds the byte.
bool HeldByOther(int fd, off_t byte) {
  struct flock lock = ByteLock(F_WRLCK, byte);
  if (fcntl(fd, F_OFD_GETLK, &lock) != 0) return false;
  return lock.l_type != F_UNLCK;
}

}  // namespace

File::~File() {
  Close();
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      lock_fd_(std::exchange(other.lock_fd_, -1)),
      error_(other.error_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    lock_fd_ = std::exchange(other.lock_fd_, -1);
    error_ = other.error_;
  }
  return *this;
}

void File::Close() {
  if (lock_fd_ >= 0) close(lock_fd_);
  if (fd_ >= 0) close(fd_);
  fd_ = lock_fd_ = -1;
}

bool File::Fail(int error) {
  Close();
  error_ = error;
  return false;
}

bool File::Open(std::string_view path, unsigned access, unsigned share, Disposition disposition) {
  Close();
  error_ = 0;
  bool read = (access & kAccessRead) != 0;
  bool write = (access & kAccessWrite) != 0;
  int flags = O_CLOEXEC | (read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY);
  bool truncate = false;
  switch (disposition) {
    case Disposition::kCreateNew:
      flags |= O_CREAT | O_EXCL;
      break;
    case Disposition::kCreateAlways:
      flags |= O_CREAT;
      truncate = true;
      break;
    case Disposition::kOpenExisting:
      break;
    case Disposition::kOpenAlways:
      flags |= O_CREAT;
      break;
    case Disposition::kTruncateExisting:
      truncate = true;
      break;
  }
  std::string os_path = ToOs(path);
  fd_ = open(os_path.c_str(), flags, 0666);
  if (fd_ < 0) return Fail(errno);
  struct stat st;
  if (fstat(fd_, &st) != 0) return Fail(errno);
  if (S_ISDIR(st.st_mode)) return Fail(EISDIR);
  if (write && (st.st_mode & S_IWUSR) == 0) return Fail(EACCES);

  // Sharing: take our bytes first, then look for a conflict; two racing opens may then
  // both fail, but never both succeed against each other's sharing.
  int lock_fd = fd_;
  if (!read) {
    lock_fd_ = open(os_path.c_str(), O_RDONLY | O_CLOEXEC);
    lock_fd = lock_fd_;
  }
  if (lock_fd >= 0) {
    bool held = (!read || Hold(lock_fd, kHasRead)) && (!write || Hold(lock_fd, kHasWrite)) &&
                ((share & kShareRead) != 0 || Hold(lock_fd, kDeniesRead)) &&
                ((share & kShareWrite) != 0 || Hold(lock_fd, kDeniesWrite));
    if (!held) return Fail(errno);
    bool conflict = (read && HeldByOther(lock_fd, kDeniesRead)) ||
                    (write && HeldByOther(lock_fd, kDeniesWrite)) ||
                    ((share & kShareRead) == 0 && HeldByOther(lock_fd, kHasRead)) ||
                    ((share & kShareWrite) == 0 && HeldByOther(lock_fd, kHasWrite));
    if (conflict) return Fail(EBUSY);
  }
  if (truncate && ftruncate(fd_, 0) != 0) return Fail(errno);
  return true;
}

int File::Release() {
  if (lock_fd_ >= 0) close(lock_fd_);
  lock_fd_ = -1;
  return std::exchange(fd_, -1);
}

std::int64_t File::Read(void* buffer, std::size_t size) {
  if (fd_ < 0) return -1;
  for (;;) {
    ssize_t n = read(fd_, buffer, size);
    if (n >= 0) return n;
    if (errno != EINTR) {
      error_ = errno;
      return -1;
    }
  }
}

bool File::Write(void const* buffer, std::size_t size) {
  if (fd_ < 0) return false;
  auto const* p = static_cast<char const*>(buffer);
  while (size > 0) {
    ssize_t n = write(fd_, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool File::Seek(std::int64_t offset) {
  return fd_ >= 0 && lseek(fd_, offset, SEEK_SET) == offset;
}

std::int64_t File::Size() const {
  struct stat st;
  if (fd_ < 0 || fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

namespace {

std::atomic<int> g_read_faults{0};

int Fd(HANDLE file) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(file));
}

bool TakeFault() {
  int left = g_read_faults.load();
  while (left > 0) {
    if (g_read_faults.compare_exchange_weak(left, left - 1)) return true;
  }
  return false;
}

// Reads up to n bytes with read_some(buffer, count, done) until n or the end of the file.
template <class ReadSome>
std::int64_t ReadFully(void* buffer, std::size_t n, ReadSome read_some) {
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    ssize_t got = read_some(out + done, n - done, done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(done);
}

}  // namespace

HANDLE OpenForReading(std::string_view path, Share share) {
  if (path.empty()) return kInvalidFile;
  File file;
  unsigned sharing = share == Share::kDenyWrite ? kShareRead : kShareRead | kShareWrite;
  if (!file.Open(path, kAccessRead, sharing, Disposition::kOpenExisting)) return kInvalidFile;
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(file.Release()));
}

void Close(HANDLE file) {
  if (file != kInvalidFile) close(Fd(file));
}

HANDLE Duplicate(HANDLE file) {
  if (file == kInvalidFile) return kInvalidFile;
  int fd = fcntl(Fd(file), F_DUPFD_CLOEXEC, 0);
  return fd < 0 ? kInvalidFile : reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

bool Size(HANDLE file, std::uint64_t* size) {
  struct stat st;
  if (file == kInvalidFile || fstat(Fd(file), &st) != 0) return false;
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool Seek(HANDLE file, std::uint64_t offset) {
  if (file == kInvalidFile || offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
  return lseek(Fd(file), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

std::int64_t Read(HANDLE file, void* buffer, std::size_t n) {
  if (file == kInvalidFile || TakeFault()) return -1;
  return ReadFully(buffer, n, [&](char* at, std::size_t count, std::size_t) {
    return read(Fd(file), at, count);
  });
}

std::int64_t ReadAt(HANDLE file, std::uint64_t offset, void* buffer, std::size_t n) {
  if (file == kInvalidFile || TakeFault() || offset > static_cast<std::uint64_t>(INT64_MAX)) {
    return -1;
  }
  return ReadFully(buffer, n, [&](char* at, std::size_t count, std::size_t done) {
    return pread(Fd(file), at, count, static_cast<off_t>(offset + done));
  });
}

void SetReadFaults(int count) {
  g_read_faults.store(count < 0 ? 0 : count);
}

}  // namespace qel::fs
