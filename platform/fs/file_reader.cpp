#include "platform/fs/file_reader.h"

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qel::fs::reader {
namespace {

std::atomic<int> g_read_faults{0};

int Fd(HANDLE file) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(file));
}
HANDLE Handle(int fd) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

bool TakeFault() {
  int left = g_read_faults.load();
  while (left > 0) {
    if (g_read_faults.compare_exchange_weak(left, left - 1)) return true;
  }
  return false;
}

// A shared (read) lock over the whole file: held by this open file description until its
// last handle closes, refused while another description holds a write lock.
bool LockAgainstWriters(int fd) {
  struct flock lock = {};
  lock.l_type = F_RDLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

}  // namespace

HANDLE OpenForReading(char const* path, Share share) {
  if (path == nullptr || *path == '\0') return kInvalidFile;
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kInvalidFile;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) ||
      (share == Share::kDenyWrite && !LockAgainstWriters(fd))) {
    ::close(fd);
    return kInvalidFile;
  }
  return Handle(fd);
}

void Close(HANDLE file) {
  if (file != kInvalidFile) ::close(Fd(file));
}

HANDLE Duplicate(HANDLE file) {
  if (file == kInvalidFile) return kInvalidFile;
  int fd = fcntl(Fd(file), F_DUPFD_CLOEXEC, 0);
  return fd < 0 ? kInvalidFile : Handle(fd);
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
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    ssize_t got = ::read(Fd(file), out + done, n - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t ReadAt(HANDLE file, std::uint64_t offset, void* buffer, std::size_t n) {
  if (file == kInvalidFile || TakeFault() || offset > static_cast<std::uint64_t>(INT64_MAX)) {
    return -1;
  }
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    ssize_t got = ::pread(Fd(file), out + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(done);
}

void SetReadFaults(int count) {
  g_read_faults.store(count < 0 ? 0 : count);
}

}  // namespace qel::fs::reader
