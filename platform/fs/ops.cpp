#include "platform/fs/ops.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/fs/file.h"
#include "platform/fs/path.h"

namespace qel::fs {
namespace {

bool ChangeMode(std::string_view path, bool writable) {
  std::string os = ToOs(path);
  struct stat st;
  if (stat(os.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  mode = writable ? (mode | S_IWUSR) : (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH));
  if (mode == (st.st_mode & 07777)) return true;
  return chmod(os.c_str(), mode) == 0;
}

// Copies the rest of in to out, in kernel space where it can.
bool CopyData(int in, int out) {
  for (;;) {
    ssize_t n = sendfile(out, in, nullptr, 1 << 30);
    if (n == 0) return true;
    if (n > 0) continue;
    if (errno == EINTR) continue;
    if (errno != EINVAL && errno != ENOSYS) return false;
    break;
  }
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buffer + done, static_cast<std::size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += w;
    }
  }
}

}  // namespace

std::optional<Attributes> GetAttributes(std::string_view path) {
  struct stat st;
  if (stat(ToOs(path).c_str(), &st) != 0) return std::nullopt;
  return Attributes{S_ISDIR(st.st_mode), (st.st_mode & S_IWUSR) == 0};
}

bool SetNormalAttributes(std::string_view path) {
  return ChangeMode(path, true);
}

bool SetReadOnlyAttribute(std::string_view path) {
  return ChangeMode(path, false);
}

bool CreateDirectory(std::string_view path) {
  return mkdir(ToOs(path).c_str(), 0777) == 0;
}

bool RemoveDirectory(std::string_view path) {
  std::string os = ToOs(path);
  struct stat st;
  if (lstat(os.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return unlink(os.c_str()) == 0;
  return rmdir(os.c_str()) == 0;
}

bool DeleteFile(std::string_view path) {
  return unlink(ToOs(path).c_str()) == 0;
}

bool CopyFile(std::string_view src, std::string_view dst, bool fail_if_exists) {
  File in;
  if (!in.Open(src, kAccessRead, kShareRead, Disposition::kOpenExisting)) {
    errno = in.error();
    return false;
  }
  struct stat st;
  if (fstat(in.fd(), &st) != 0) return false;
  File out;
  if (!out.Open(dst, kAccessWrite, 0,
                fail_if_exists ? Disposition::kCreateNew : Disposition::kCreateAlways)) {
    errno = out.error();
    return false;
  }
  if (!CopyData(in.fd(), out.fd())) return false;
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  futimens(out.fd(), times);
  if (fchmod(out.fd(), st.st_mode & 07777) != 0) return false;
  out.Close();
  return true;
}

std::optional<std::vector<unsigned char>> ReadWholeFile(std::string_view path,
                                                        std::uint64_t limit) {
  File in;
  if (!in.Open(path, kAccessRead, kShareRead, Disposition::kOpenExisting)) {
    errno = in.error();
    return std::nullopt;
  }
  std::int64_t size = in.Size();
  if (size < 0) return std::nullopt;
  if (static_cast<std::uint64_t>(size) > limit) {
    errno = EFBIG;
    return std::nullopt;
  }
  std::vector<unsigned char> data(static_cast<std::size_t>(size));
  for (std::size_t done = 0; done < data.size();) {
    std::int64_t n = in.Read(data.data() + done, data.size() - done);
    if (n <= 0) return std::nullopt;  // an error, or the file shrank under us
    done += static_cast<std::size_t>(n);
  }
  return data;
}

bool WriteWholeFile(std::string_view path, std::span<unsigned char const> data) {
  File out;
  if (!out.Open(path, kAccessWrite, 0, Disposition::kCreateAlways)) {
    errno = out.error();
    return false;
  }
  return out.Write(data.data(), data.size());
}

bool MoveFile(std::string_view src, std::string_view dst) {
  std::string from = ToOs(src);
  std::string to = ToOs(dst);
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  struct stat st;
  if (errno == EINVAL) {
    // A file system without no-replace renames: look first (not atomic, but rare).
    if (lstat(to.c_str(), &st) == 0) {
      errno = EEXIST;
      return false;
    }
    if (rename(from.c_str(), to.c_str()) == 0) return true;
  }
  if (errno != EXDEV) return false;
  if (lstat(from.c_str(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = EXDEV;
    return false;
  }
  if (!CopyFile(src, dst, true)) return false;
  if (unlink(from.c_str()) != 0) {
    int saved = errno;
    unlink(to.c_str());
    errno = saved;
    return false;
  }
  return true;
}

}  // namespace qel::fs
