// Writes a retrieval library: BASE.qel (descriptor), BASE.sor (field table) and BASE.mrf
// (records), the family CQel2000 and qel search read.
//
//   BASE.qel  "QEL LIB MARKER", NUL, NUL, then (little-endian) the record count at 16, the
//             field count at 20 and the library's title (GBK, NUL-ended) at 24; 328 bytes.
//   BASE.sor  a 512-byte header holding at 52 the offset of the field block and at 116 that
//             of the field-string block; the field block (16-byte head with the data length,
//             then one 112-byte record per field: code at 0, name at 16, description at 32,
//             type letter at 96); the string block (16-byte head, then one NUL-ended string
//             per field: a group field's member codes separated by LF, empty for the others).
//   BASE.mrf  records in GBK: lines CODE=value ending in CR LF, a blank line after each
//             record (cut with the separator "^l^l"). A value of several lines gives one
//             CODE= line per line.
//
// Records stream to a temporary file beside BASE.mrf; Finish writes the other two files
// the same way and renames all three into place, so a failed build leaves nothing behind;
// an index of an earlier library under the same name (BASE.qix) is removed.
#ifndef QEL_TOOLS_LIBRARY_WRITER_H_
#define QEL_TOOLS_LIBRARY_WRITER_H_

#include <cstdint>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "fields.h"

namespace qel::cli {

class LibraryWriter {
 public:
  // Largest record file: record offsets and counts are kept in 32 bits by readers.
  static constexpr std::uint64_t kMaxRecordFile = 0xFFFFFFFFull;

  // Starts BASE (a path in the file system's encoding); creates its folder. Throws
  // Failure(kIo) when the temporary record file cannot be created.
  explicit LibraryWriter(std::string base);
  // Removes the temporary files of an unfinished library.
  ~LibraryWriter();
  LibraryWriter(LibraryWriter const&) = delete;
  LibraryWriter& operator=(LibraryWriter const&) = delete;

  // Appends one record of (code, value) pairs in GBK; empty values are left out. Returns
  // the record's size in BASE.mrf; throws Failure(kIo) when it cannot be written or the
  // record file would pass kMaxRecordFile, with `where` naming the source of the record.
  std::uint64_t Add(std::vector<std::pair<std::string, std::string>> const& record,
                    std::string const& where);

  // Writes the descriptor (title in GBK) and the field table, and renames the three files
  // into place. Throws Failure(kIo) naming the file at fault.
  void Finish(std::string const& title, std::vector<FieldDef> const& fields);

  std::uint64_t records() const { return records_; }
  std::uint64_t bytes() const { return bytes_; }

 private:
  std::string base_;
  std::ofstream mrf_;
  std::uint64_t records_ = 0;
  std::uint64_t bytes_ = 0;
  bool finished_ = false;
};

}  // namespace qel::cli

#endif  // QEL_TOOLS_LIBRARY_WRITER_H_
