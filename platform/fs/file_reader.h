// Reading files by handle: the little the readers (line buffer, descriptor reader, record
// cutter) need of the file system.
//
// A handle is an opaque HANDLE value (kInvalidFile when nothing is open), so that classes
// of the public interface can keep one in a member without seeing the operating system.
// Offsets and sizes are 64-bit: files larger than 4 GiB read like any other.
//
// Sharing: kDenyNone lets every other process read and write the file while it is open;
// kDenyWrite refuses the open while another process holds the file for writing and keeps
// writers (that honour share modes) out while it is open. It is enforced with
// open-file-description locks, which are advisory between processes.
//
// Test seam: SetReadFaults makes the next reads fail as a device error would, so that the
// retry paths of the readers can be exercised on real files.
#ifndef QELSHARE_PLATFORM_FS_FILE_READER_H_
#define QELSHARE_PLATFORM_FS_FILE_READER_H_

#include <cstddef>
#include <cstdint>

#include "qelshare/types.h"

namespace qel::fs::reader {

enum class Share { kDenyNone, kDenyWrite };

// The value of a handle that refers to no file (the platform's invalid-handle value).
inline HANDLE const kInvalidFile = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// Opens an existing file for reading. kInvalidFile when it does not exist, cannot be read,
// is a directory, or is held by a writer while share is kDenyWrite.
HANDLE OpenForReading(char const* path, Share share);

// Closes a handle of OpenForReading or Duplicate; kInvalidFile is ignored.
void Close(HANDLE file);

// A second handle on the same open file (same sharing); kInvalidFile on failure.
HANDLE Duplicate(HANDLE file);

// Size of the file in bytes; false on failure.
bool Size(HANDLE file, std::uint64_t* size);

// Moves the read position to offset from the start; false on failure.
bool Seek(HANDLE file, std::uint64_t offset);

// Reads up to n bytes at the read position and advances it; returns the count (0 at the end
// of the file) or -1 on a read error. Interrupted reads are resumed; a short count means
// the file ended.
std::int64_t Read(HANDLE file, void* buffer, std::size_t n);

// Reads up to n bytes at offset without using the read position; as Read otherwise.
std::int64_t ReadAt(HANDLE file, std::uint64_t offset, void* buffer, std::size_t n);

// Test seam: the next `count` calls of Read and ReadAt fail with -1 (0 turns it off).
void SetReadFaults(int count);

}  // namespace qel::fs::reader

#endif  // QELSHARE_PLATFORM_FS_FILE_READER_H_
