#include "platform/fs/durable.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/fs/path.h"
#include "platform/fs/uncached_file.h"

namespace qel::fs {
namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 20;

// The seam: per kind, how many calls are left before the one that fails (0: none).
std::mutex g_fault_mutex;
int g_fault_left[4] = {};

bool Faulted(WriteFault kind) {
  std::lock_guard lock(g_fault_mutex);
  int& left = g_fault_left[static_cast<int>(kind)];
  if (left == 0) return false;
  return --left == 0;
}

std::atomic<unsigned> g_counter{0};

std::string Reason(int err) {
  if (err == ENOSPC || err == EDQUOT) return "the disk is full";
  return std::strerror(err);
}

// The folder of an OS path ("." when it has none).
std::string FolderOf(std::string const& os_path) {
  std::size_t slash = os_path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : os_path.substr(0, slash);
}

// Removes files left beside target by writers whose process is gone.
void RemoveStale(std::string const& os_target) {
  std::string folder = FolderOf(os_target);
  std::string prefix = os_target.substr(os_target.rfind('/') + 1) + ".~";
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir)) {
    std::string_view name = entry->d_name;
    if (!name.starts_with(prefix) || !name.ends_with(".new")) continue;
    long pid = std::strtol(std::string(name.substr(prefix.size())).c_str(), nullptr, 10);
    if (pid <= 0 || pid == getpid()) continue;
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    unlink((folder + "/" + std::string(name)).c_str());
  }
  closedir(dir);
}

}  // namespace

void InjectWriteFault(WriteFault kind, int nth) {
  std::lock_guard lock(g_fault_mutex);
  g_fault_left[static_cast<int>(kind)] = nth < 0 ? 0 : nth;
}

void ClearWriteFaults() {
  std::lock_guard lock(g_fault_mutex);
  for (int& left : g_fault_left) left = 0;
}

DurableFile::DurableFile() = default;

DurableFile::~DurableFile() {
  Abort();
}

bool DurableFile::Fail(std::string const& what, int err) {
  error_ = what + " " + target_ + ": " + Reason(err);
  error_number_ = err;
  Abort();
  return false;
}

bool DurableFile::Open(std::string const& target, PathKind kind) {
  Abort();
  placed_ = false;
  target_ = target;
  error_.clear();
  error_number_ = 0;
  os_target_ = kind == PathKind::kSystem ? target : ToOs(target);
  std::string const& os_target = os_target_;
  struct stat st {};
  bool exists = lstat(os_target.c_str(), &st) == 0;
  if (exists) {
    if (S_ISDIR(st.st_mode)) {
      error_ = "cannot write " + target + ": it is a folder";
      error_number_ = EISDIR;
      return false;
    }
    if (S_ISLNK(st.st_mode)) {
      error_ = "cannot write " + target + ": it is a link, which is not replaced";
      error_number_ = ELOOP;
      return false;
    }
    if ((st.st_mode & S_IWUSR) == 0) {
      error_ = "cannot write " + target + ": it is read-only";
      error_number_ = EACCES;
      return false;
    }
  }
  RemoveStale(os_target);
  temp_ = os_target + ".~" + std::to_string(getpid()) + "-" + std::to_string(g_counter++) + ".new";
  fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    int err = errno;
    temp_.clear();
    return Fail("cannot write", err);
  }
  buffer_.clear();
  appender_.reset();
  if (exists && S_ISREG(st.st_mode)) fchmod(fd_, st.st_mode & 07777);
  return true;
}

bool DurableFile::SetModeAndTime(unsigned mode, std::timespec modified) {
  if (fd_ < 0 || !Flush()) return false;
  struct timespec times[2] = {{0, UTIME_OMIT}, {modified.tv_sec, modified.tv_nsec}};
  if (fchmod(fd_, static_cast<mode_t>(mode & 07777)) != 0 || futimens(fd_, times) != 0) {
    return Fail("cannot write", errno);
  }
  return true;
}

bool DurableFile::WriteAll(char const* bytes, std::size_t size) {
  while (size > 0) {
    if (Faulted(WriteFault::kWrite)) return errno = EIO, false;
    if (Faulted(WriteFault::kDiskFull)) return errno = ENOSPC, false;
    ssize_t n = ::write(fd_, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool DurableFile::Flush() {
  bool written = appender_ ? appender_->Finish() : WriteAll(buffer_.data(), buffer_.size());
  if (!written) return Fail("cannot write", errno);
  buffer_.clear();
  return true;
}

bool DurableFile::Write(std::string_view bytes) {
  if (fd_ < 0) return false;
  if (appender_)
    return appender_->Append(bytes.data(), bytes.size()) || Fail("cannot write", errno);
  buffer_.append(bytes);
  return buffer_.size() < kBufferSize || Flush();
}

void DurableFile::WriteUncached() {
  if (fd_ >= 0 && Flush()) StartUncached(static_cast<std::uint64_t>(lseek(fd_, 0, SEEK_CUR)));
}

void DurableFile::StartUncached(std::uint64_t offset) {
  appender_ = std::make_unique<UncachedAppender>(
      fd_, offset, [this](char const* bytes, std::size_t size) { return WriteAll(bytes, size); });
}

bool DurableFile::Seek(std::uint64_t offset) {
  bool uncached = appender_ != nullptr;
  if (fd_ < 0 || !Flush()) return false;
  if (lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return Fail("cannot write", errno);
  if (uncached) StartUncached(offset);
  return true;
}

bool DurableFile::Commit() {
  if (fd_ < 0) return false;
  if (!Flush()) return false;
  if (Faulted(WriteFault::kSync)) return Fail("cannot write", EIO);
  if (fsync(fd_) != 0) return Fail("cannot write", errno);
  appender_.reset();
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    int close_err = errno;
    unlink(temp_.c_str());
    temp_.clear();
    error_ = "cannot write " + target_ + ": " + Reason(close_err);
    error_number_ = close_err;
    return false;
  }
  std::string const& os_target = os_target_;
  int err = EIO;
  bool renamed = !Faulted(WriteFault::kRename) &&
                 (rename(temp_.c_str(), os_target.c_str()) == 0 || (err = errno, false));
  if (!renamed) {
    unlink(temp_.c_str());
    temp_.clear();
    error_ = "cannot write " + target_ + ": " + Reason(err);
    error_number_ = err;
    return false;
  }
  temp_.clear();
  placed_ = true;
  // The rename is durable only once the folder is synced.
  int dir = ::open(FolderOf(os_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  bool synced = dir >= 0 && !Faulted(WriteFault::kSync) && fsync(dir) == 0;
  if (dir >= 0) close(dir);
  if (!synced) {
    error_number_ = EIO;
    error_ = "wrote " + target_ +
             ", but its folder could not be synced: it may not survive a "
             "power cut";
    return false;
  }
  return true;
}

void DurableFile::Abort() {
  appender_.reset();
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
  buffer_.clear();
}

bool WriteFileDurably(std::string const& target, std::string_view bytes, std::string& error,
                      PathKind kind) {
  DurableFile file;
  bool ok = file.Open(target, kind) && file.Write(bytes) && file.Commit();
  if (!ok) error = file.error();
  return ok;
}

bool RemoveDurably(std::string const& target, std::string& error) {
  std::string os_target = ToOs(target);
  if (unlink(os_target.c_str()) != 0 && errno != ENOENT) {
    error = "cannot remove " + target + ": " + Reason(errno);
    return false;
  }
  int dir = ::open(FolderOf(os_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  bool synced = dir >= 0 && !Faulted(WriteFault::kSync) && fsync(dir) == 0;
  if (dir >= 0) close(dir);
  if (!synced) error = "removed " + target + ", but its folder could not be synced";
  return synced;
}

std::uint64_t ProcessId() {
  return static_cast<std::uint64_t>(getpid());
}

}  // namespace qel::fs
