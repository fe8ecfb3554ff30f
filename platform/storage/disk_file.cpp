#include "platform/storage/disk_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/fs/file.h"

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

}  // namespace

long SetWriteLimit(long n) {
  g_write_limit.store(n < 0 ? -1 : n);
  return g_write_calls.exchange(0);
}

DiskFile::~DiskFile() {
  if (fd_ >= 0) close(fd_);
}

DiskFile::OpenResult DiskFile::Open(std::string const& path, bool write, bool deny_read,
                                    bool deny_write, bool create, bool exclusive_create,
                                    bool truncate) {
  // The open and its share check are the file floor's, so compound files and every other
  // file member of the library see each other's sharing. Every open reads: the compound
  // file loads what it opens.
  fs::File file;
  unsigned access = fs::kAccessRead | (write ? fs::kAccessWrite : 0);
  unsigned share = (deny_read ? 0 : fs::kShareRead) | (deny_write ? 0 : fs::kShareWrite);
  fs::Disposition disposition = exclusive_create ? fs::Disposition::kCreateNew
                                : create         ? fs::Disposition::kOpenAlways
                                                 : fs::Disposition::kOpenExisting;
  if (!file.Open(path, access, share, disposition)) {
    switch (file.error()) {
      case ENOENT:
      case ENOTDIR:
        return OpenResult::kNotFound;
      case EEXIST:
        return OpenResult::kExists;
      case EACCES:
      case EPERM:
      case EROFS:
      case EISDIR:
        return OpenResult::kDenied;
      case EBUSY:
        return OpenResult::kShared;
      default:
        return OpenResult::kError;
    }
  }
  struct stat st;
  if (fstat(file.fd(), &st) != 0 || !S_ISREG(st.st_mode)) return OpenResult::kDenied;
  // Emptying the file is a write, so it passes the test seam (unlike the open itself).
  if (truncate && (!PassWrite() || ftruncate(file.fd(), 0) != 0)) return OpenResult::kError;
  fd_ = file.Release();
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
