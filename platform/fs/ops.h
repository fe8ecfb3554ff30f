// Whole-file and directory operations of the file floor.
//
// Paths are GBK with "/" or "\" separators. Every call reports success as true and leaves
// the reason of a failure in errno. Read-only means the owner may not write (no owner
// write bit); setting the attributes to normal gives the owner write permission back.
#ifndef QELSHARE_PLATFORM_FS_OPS_H_
#define QELSHARE_PLATFORM_FS_OPS_H_

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace qel::fs {

struct Attributes {
  bool directory = false;
  bool read_only = false;
};

// The attributes of the entry at path (links followed), or nothing when it is missing.
std::optional<Attributes> GetAttributes(std::string_view path);

// Clears the read-only attribute (the owner may write again).
bool SetNormalAttributes(std::string_view path);
// Sets the read-only attribute (nobody may write).
bool SetReadOnlyAttribute(std::string_view path);

// Creates one directory; fails when it exists or its parent is missing.
bool CreateDirectory(std::string_view path);
// Removes one empty directory (or a link, which is never followed).
bool RemoveDirectory(std::string_view path);
// Deletes one file or link; fails on a directory.
bool DeleteFile(std::string_view path);

// Copies the content, permission bits (so also the read-only attribute) and modification
// time of the file src to dst. With fail_if_exists an existing dst fails; otherwise it is
// replaced durably (the old file stays whole until the copy is in place) unless it is
// read-only, a directory or a link. A sharing conflict fails (EBUSY).
bool CopyFile(std::string_view src, std::string_view dst, bool fail_if_exists);

// The whole content of the file at path, read sharing reading only (as CopyFile reads);
// nothing when it cannot be read or holds more than limit bytes (EFBIG).
std::optional<std::vector<unsigned char>> ReadWholeFile(std::string_view path, std::uint64_t limit);
// Moves (renames) the file or directory src to dst, which must not exist. A file is
// moved between file systems by copying and deleting; a directory is not.
bool MoveFile(std::string_view src, std::string_view dst);

}  // namespace qel::fs

#endif  // QELSHARE_PLATFORM_FS_OPS_H_
