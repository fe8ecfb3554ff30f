// CMrfCut: cuts a large file of records into single records, one per call.
//
// Records are delimited by a separator the caller chooses; it either ends each record
// (leading 0: it belongs to no record) or begins each record (leading non-zero: it stays at
// the head of the record it begins). In the separator, a caret followed by the letter l in
// either case ("^l", "^L") stands for a line end, CR LF; every other byte stands for itself.
// The search is exact and byte-wise: it does not respect double-byte characters.
//
// The file is read through a sliding window of 1 MiB, so it may be far larger than memory
// (offsets are 64-bit: files beyond 4 GiB are cut like any other). When a record crosses
// the end of the window, the window is re-read from that record's first byte.
//
// A record whose bytes are all invisible (every byte at most 32, or 127, or 128: blanks,
// line ends, control bytes) is skipped, so an empty result always means the end of the
// data. Records come back whole, blanks and control bytes included.
//
// Two cases always make progress:
//   - an empty separator matches nothing: the data comes back in pieces of at most one
//     window (1 MiB), each cut where the window ends;
//   - a record longer than the window (with its separator) comes back as the window's
//     content, 1 MiB at a time, its pieces cut where the window ends.
// A file that shrinks while it is cut ends where the data ends.
//
// Copies are deep: a copy has its own window and its own handle on the same open file, and
// continues from the same position.
#ifndef QELSHARE_CMRFCUT_H_
#define QELSHARE_CMRFCUT_H_

#include "qelshare/export.h"
#include "qelshare/types.h"

class QELSHARE_API CMrfCut {
 public:
  // Bytes of the sliding window.
  static constexpr unsigned long kWindow = 1048576;

  // No file, no window, no separator.
  CMrfCut();
  // Closes the file; frees the separator and the window.
  virtual ~CMrfCut();

  CMrfCut(CMrfCut const& other);
  CMrfCut& operator=(CMrfCut const& other);

  // Opens lpszFile (an existing file; other processes may read it, not write it) with the
  // separator lpszSep ("^l" for CR LF) and the mode bLeading, and reads the first window.
  // Returns 1 when the file is open, 0 when it cannot be opened; the separator, mode and
  // folder are set even then, and GetRecord returns empty text.
  int Open(char const* lpszFile, char const* lpszSep, int bLeading);
  // The next record, or empty text when no record is left.
  CString GetRecord();
  // Size of the open file in bytes (0 when none is open).
  unsigned long GetSize();
  // File offset at which the next record starts; GetSize() after the last record.
  unsigned long GetPos();
  // Folder of the opened file name: everything before its last backslash or slash (empty
  // when it has none).
  CString GetPath();

  int m_bLeading;            // 0: the separator ends records; else it begins them
  CString m_strPath;         // folder of the opened file
  unsigned long m_nPos;      // next unread byte within the window
  unsigned long m_nBase;     // file offset of the window's first byte
  unsigned long m_nAvail;    // valid bytes in the window
  unsigned char* m_pWindow;  // the 1 MiB window, or null
  unsigned long m_nSize;     // file size in bytes
  HANDLE m_hFile;            // the open file, or the invalid-handle value
  char* m_pSep;              // the separator with "^l" turned into CR LF, NUL-terminated

 private:
  // The window bytes from first up to last (not included), or empty text when none of
  // them is visible.
  CString out(unsigned long first, unsigned long last);
  // Index of the first separator (of length bytes) at or after from within the window, or
  // m_nAvail.
  unsigned long Find(unsigned long from, std::size_t length);
  // Re-reads the window from file offset m_nBase.
  void Fill();
  void Close();
};

#endif  // QELSHARE_CMRFCUT_H_
