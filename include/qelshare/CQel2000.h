// CQel2000: recognises a retrieval library by its descriptor and reads its field table.
//
// A library is a family of files sharing one base path: the descriptor BASE.qel and the
// field table BASE.sor among them. The reader only reads; it never writes either file.
//
// Descriptor (BASE.qel, at most 328 bytes; shorter files read as if padded with zeros):
//   offset 0   "QEL LIB MARKER" followed by a NUL
//   offset 15  descriptor data of the library's builder, kept in m_pDesc, not interpreted
//
// Field table (BASE.sor; numbers 32-bit unsigned little-endian, offsets from the start):
//   offset 0    a 512-byte header; header + 52 holds the offset of the field block and
//               header + 116 the offset of the field-string block (0: no such block)
//   a block     a 16-byte head whose first number is the length of the data after it
//   field block N = length / 112 records of 112 bytes (a remainder is ignored):
//               0..15 string (list2), 16..31 string (list1), 32..95 string (list4),
//               96 type byte (types), 97..111 unused; a string ends at a NUL in its slot
//               or, in a damaged record, with its slot
//   strings     N NUL-terminated strings, one per field in record order (list5)
//
// Damaged tables are read safely: nothing is read past the end of a block or of the file,
// whatever the lengths and offsets claim. Records that the file is too short to hold are
// neither read nor appended (the result is then 0); a field-string block with fewer than N
// strings gives absent entries for the missing ones, and a last string that lacks its NUL
// ends with its block. Read errors are retried three times, 300 ms apart; the end of the
// file is not an error worth retrying.
//
// Copies are deep.
#ifndef QELSHARE_CQEL2000_H_
#define QELSHARE_CQEL2000_H_

#include "qelshare/CStringArr.h"
#include "qelshare/export.h"
#include "qelshare/types.h"

class QELSHARE_API CQel2000 {
 public:
  static constexpr int kDescSize = 328;     // bytes of a descriptor
  static constexpr int kHeaderSize = 512;   // bytes of the field table's header
  static constexpr int kFieldRecord = 112;  // bytes of one field record

  // No descriptor kept, empty base path.
  CQel2000();
  // Frees the descriptor copy.
  virtual ~CQel2000();

  CQel2000(CQel2000 const& other);
  CQel2000& operator=(CQel2000 const& other);

  // Sets the base path (lpszPath without a final ".qel" in any letter case) and checks the
  // descriptor BASE.qel. Returns 1 when it is a valid descriptor (kept in m_pDesc), else 0.
  // The base path is set even when the check fails.
  int Open(char const* lpszPath);
  // Appends one entry per field of BASE.sor to each list: the name-side string (record
  // offset 16) to list1, the code-side string (offset 0) to list2, the type byte to types,
  // the long string (offset 32) to list4, and the field's string to list5 (absent when the
  // table has no field-string block). Empty strings are appended as absent entries. With a
  // field-string block, list5 is cleared first and then holds exactly N entries. Returns 1
  // on success; 0 when the table cannot be opened or read (entries appended before the
  // failure stay). Any list may be shared with no other argument.
  int GetField(CStringArr* list1, CStringArr* list2, CByteArray* types, CStringArr* list4,
               CStringArr* list5);

  unsigned char* m_pDesc;  // the 328 descriptor bytes (byte 15 NUL), null until Open succeeds
  CString m_strPath;       // base path, without ".qel"
};

#endif  // QELSHARE_CQEL2000_H_
