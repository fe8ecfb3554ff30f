#include "platform/fs/ops.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/fs/durable.h"
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
  if (fail_if_exists) {
    // A new file: nothing old to keep, so a failed copy just removes what it made.
    File out;
    if (!out.Open(dst, kAccessWrite, 0, Disposition::kCreateNew)) {
      errno = out.error();
      return false;
    }
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (!CopyData(in.fd(), out.fd()) || futimens(out.fd(), times) != 0 ||
        fchmod(out.fd(), st.st_mode & 07777) != 0) {
      int saved = errno;
      out.Close();
      unlink(ToOs(dst).c_str());
      errno = saved;
      return false;
    }
    return true;
  }
  // Replacing: the old file stays whole until the copy is complete. Holding it open for
  // writing keeps its sharing rules (a file open elsewhere, or the source itself, fails).
  File old;
  if (GetAttributes(dst) && !old.Open(dst, kAccessWrite, 0, Disposition::kOpenExisting)) {
    errno = old.error();
    return false;
  }
  DurableFile out;
  bool ok = out.Open(std::string(dst));
  std::string chunk(1 << 20, '\0');
  while (ok) {
    ssize_t n = read(in.fd(), chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ok = out.Write({chunk.data(), static_cast<std::size_t>(n)});
  }
  int saved = errno;
  // A copy in place whose folder could not be synced is still a copy made.
  ok = ok && out.SetModeAndTime(st.st_mode, st.st_mtim) && (out.Commit() || out.placed());
  if (!ok) errno = out.error_number() != 0 ? out.error_number() : saved;
  return ok;
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
