// Durable replacement of a user's file: the new content is written beside the target,
// flushed and synced, renamed over the target, and the folder is synced, so that after a
// failure, a killed process or a power cut the target is either the old file or the new
// one, never a mixture or a stub.
//
// The file beside the target is named target + ".~" + process id + "-" + a counter +
// ".new". On any failure it is removed and the target left untouched; one left by a killed
// process is removed when a later writer of the same target starts (its process is gone)
// and is never read as data. A target that is a folder or a link is refused (replacing a
// link would cut it from the file it names), and so is a read-only file; a replaced file
// keeps its permission bits.
//
// Paths are library paths (GBK), or the system's own names (UTF-8) for hosts that take
// them from a command line. Errors are one sentence naming the target as given and the
// cause ("the disk is full", "permission denied").
//
// Test seam: InjectWriteFault makes the nth write, sync or rename from now fail (a write
// can also fail as a full disk), so that each writer can be failed at every call in turn.
#ifndef QELSHARE_PLATFORM_FS_DURABLE_H_
#define QELSHARE_PLATFORM_FS_DURABLE_H_

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

namespace qel::fs {

class UncachedAppender;

// How a path is spelt.
enum class PathKind { kLibrary, kSystem };

class DurableFile {
 public:
  DurableFile();
  // Abandons the new content unless Commit succeeded.
  ~DurableFile();
  DurableFile(DurableFile const&) = delete;
  DurableFile& operator=(DurableFile const&) = delete;

  // Starts new content for target. False with error() set when the target cannot be
  // replaced (a folder, a link) or the file beside it cannot be made.
  bool Open(std::string const& target, PathKind kind = PathKind::kLibrary);
  // Appends bytes at the write position (buffered).
  bool Write(std::string_view bytes);
  // Writes what follows past the system's cache where the file system allows it (see
  // uncached_file.h): for content of many megabytes nobody reads back soon.
  void WriteUncached();
  // Moves the write position (for formats that fill in a header last).
  bool Seek(std::uint64_t offset);
  // Gives the new content these permission bits and this modification time (a copy keeps
  // its source's).
  bool SetModeAndTime(unsigned mode, std::timespec modified);
  // Puts the new content in place: flush, sync, rename over the target, sync the folder.
  // After a failure the target is untouched, except when only the folder's sync failed:
  // the new file is then in place, and false says it may not survive a power cut.
  bool Commit();
  // Removes the new content; the target stays as it was.
  void Abort();

  std::string const& error() const { return error_; }
  // The system's error number of the last failure (EROFS, ENOSPC, ...), for callers that
  // report through errno.
  int error_number() const { return error_number_; }
  std::string const& target() const { return target_; }
  bool open() const { return fd_ >= 0; }
  // True once Commit has renamed the new content over the target (even if the folder's
  // sync then failed).
  bool placed() const { return placed_; }

 private:
  bool Flush();
  // Writes bytes in full at the file offset; false with errno set.
  bool WriteAll(char const* bytes, std::size_t size);
  bool Fail(std::string const& what, int err);
  // Writes what follows past the cache, from offset on.
  void StartUncached(std::uint64_t offset);

  std::string target_, os_target_, temp_, error_;
  std::string buffer_;
  // Once WriteUncached was called, in place of buffer_.
  std::unique_ptr<UncachedAppender> appender_;
  int fd_ = -1;
  int error_number_ = 0;
  bool placed_ = false;
};

// Replaces target with bytes durably; false with error set (one sentence) on failure.
bool WriteFileDurably(std::string const& target, std::string_view bytes, std::string& error,
                      PathKind kind = PathKind::kLibrary);

// Removes target and syncs its folder, so that the removal survives a power cut; a
// missing target is no error.
bool RemoveDurably(std::string const& target, std::string& error);

// This process's id, for files that say which process wrote them.
std::uint64_t ProcessId();

// Test seam: the nth call (1-based, counted from this call) of the kind fails; 0 clears it.
// kDiskFull fails the nth write as a full disk would.
enum class WriteFault { kWrite, kDiskFull, kSync, kRename };
void InjectWriteFault(WriteFault kind, int nth);
void ClearWriteFaults();

}  // namespace qel::fs

#endif  // QELSHARE_PLATFORM_FS_DURABLE_H_
