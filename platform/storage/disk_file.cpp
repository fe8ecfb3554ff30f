#include "platform/storage/disk_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace qel::storage {
namespace {

std::atomic<long> g_write_limit{-1};
std::atomic<long> g_write_calls{0};

// One write call passes the seam: true when it may touch the disk.
bool PassWrite() {
  g_write_calls.fetch_add(1);
  long limit = g_write_limit.load();
  while (limit >= 0) {
    if (limit == 0) return false;
    if (g_write_limit.compare_exchange_weak(limit, limit - 1)) return true;
  }
  return true;
}

// Lock bytes, in the region other implementations of the format use for the same
// purpose, far beyond the data of any file we write.
constexpr off_t kLockBase = 0x7FFFFF00;
constexpr off_t kReadAccess = kLockBase + 1;
constexpr off_t kWriteAccess = kLockBase + 2;
constexpr off_t kDenyRead = kLockBase + 3;
constexpr off_t kDenyWrite = kLockBase + 4;

bool SetLock(int fd, short type, off_t at) {
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = at;
  fl.l_len = 1;
  for (;;) {
    if (fcntl(fd, F_OFD_SETLK, &fl) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// True when another open file description holds a lock on the byte at.
bool Held(int fd, off_t at) {
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = at;
  fl.l_len = 1;
  if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return true;
  return fl.l_type != F_UNLCK;
}

}  // namespace

long SetWriteLimit(long n) {
  g_write_limit.store(n < 0 ? -1 : n);
  return g_write_calls.exchange(0);
}

DiskFile::~DiskFile() {
  if (fd_ >= 0) close(fd_);
}

DiskFile::OpenResult DiskFile::Open(std::string const& path, bool read, bool write, bool deny_read,
                                    bool deny_write, bool create, bool exclusive_create,
                                    bool truncate) {
  int flags = O_CLOEXEC | (write ? O_RDWR : O_RDONLY);
  if (create) flags |= O_CREAT;
  if (exclusive_create) flags |= O_EXCL;
  int fd = open(path.c_str(), flags, 0666);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return OpenResult::kNotFound;
    if (errno == EEXIST) return OpenResult::kExists;
    if (errno == EACCES || errno == EPERM || errno == EROFS || errno == EISDIR) {
      return OpenResult::kDenied;
    }
    return OpenResult::kError;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return OpenResult::kDenied;
  }
  // Announce first, then look for conflicts: of two opens racing, the later to look
  // sees the other, so two conflicting opens never both succeed.
  bool ok = true;
  if (ok && read) ok = SetLock(fd, F_RDLCK, kReadAccess);
  if (ok && write) ok = SetLock(fd, F_RDLCK, kWriteAccess);
  if (ok && deny_read) ok = SetLock(fd, F_RDLCK, kDenyRead);
  if (ok && deny_write) ok = SetLock(fd, F_RDLCK, kDenyWrite);
  bool conflict =
      ok && ((read && Held(fd, kDenyRead)) || (write && Held(fd, kDenyWrite)) ||
             (deny_read && Held(fd, kReadAccess)) || (deny_write && Held(fd, kWriteAccess)));
  if (!ok || conflict) {
    close(fd);
    return conflict ? OpenResult::kShared : OpenResult::kError;
  }
  if (truncate && (!PassWrite() || ftruncate(fd, 0) != 0)) {
    close(fd);
    return OpenResult::kError;
  }
  fd_ = fd;
  return OpenResult::kOk;
}

bool DiskFile::ReadAt(std::uint64_t offset, void* buf, std::size_t n) const {
  auto* out = static_cast<unsigned char*>(buf);
  while (n > 0) {
    ssize_t got = pread(fd_, out, n, static_cast<off_t>(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) {
      std::memset(out, 0, n);
      return true;
    }
    out += got;
    offset += static_cast<std::uint64_t>(got);
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

bool DiskFile::WriteAt(std::uint64_t offset, void const* buf, std::size_t n) {
  if (!PassWrite()) return false;
  auto const* in = static_cast<unsigned char const*>(buf);
  while (n > 0) {
    ssize_t put = pwrite(fd_, in, n, static_cast<off_t>(offset));
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    in += put;
    offset += static_cast<std::uint64_t>(put);
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

bool DiskFile::Truncate(std::uint64_t size) {
  return PassWrite() && ftruncate(fd_, static_cast<off_t>(size)) == 0;
}

bool DiskFile::Sync() {
  return PassWrite() && fdatasync(fd_) == 0;
}

std::uint64_t DiskFile::Size() const {
  struct stat st;
  if (fstat(fd_, &st) != 0) return 0;
  return static_cast<std::uint64_t>(st.st_size);
}

}  // namespace qel::storage
