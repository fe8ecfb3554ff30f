// CLineBuf: a small text file (or a text in memory) read whole and handed out line by line.
//
// A line ends at a CR byte; the reader skips the CR and the one byte after it, whatever it
// is (LF in the product's files), so a lone LF is an ordinary byte of its line. The text
// ends at its first NUL byte. Bytes are passed through unchanged, with no code-page work.
// SeekForwardLine steps back one line, so a host can read a line, look at it and give it
// back to the next ReadLine.
//
// Failures of Open and SetBuffer return 0 and leave an English text for GetError:
//   "CLineBuf::Open(<path>) Can't opened"     the file cannot be opened
//   "CLineBuf::Open(<path>) Too large"        the file is longer than 131072 bytes
//   "Unknown error: CLineBuf::Open(<path>)"   any other failure while reading it
//   "Unknown error: CLineBuf::SetBuffer"      the text cannot be copied
// The file is closed before Open returns. Copies are deep: a copy owns its own text and
// continues from the same line.
#ifndef QELSHARE_CLINEBUF_H_
#define QELSHARE_CLINEBUF_H_

#include "qelshare/export.h"
#include "qelshare/types.h"

class QELSHARE_API CLineBuf {
 public:
  // Largest file Open loads, in bytes (the limit itself is accepted).
  static constexpr unsigned long kMaxFile = 131072;

  // Nothing loaded, empty error text.
  CLineBuf();
  // Frees the loaded text.
  virtual ~CLineBuf();

  CLineBuf(CLineBuf const& other);
  CLineBuf& operator=(CLineBuf const& other);

  // Loads the named file whole (other processes may read and write it meanwhile) and
  // starts at its first line. Returns 1, or 0 with nothing loaded and the error text set.
  // Whatever was loaded before is discarded either way.
  int Open(char const* lpszPath);
  // Loads a copy of a NUL-terminated text and starts at its first line; a null or empty
  // text leaves nothing loaded. Returns 1; 0 only when the copy cannot be made.
  int SetBuffer(char const* lpszText);
  // Stores the next line, without its line end, in line and returns 1; returns 0 and leaves
  // line unchanged when nothing is loaded or every line has been read. A final line end
  // does not make a further empty line.
  int ReadLine(CString& line);
  // Steps back to the start of the line last returned by ReadLine, so the next ReadLine
  // returns it again; each further call steps back one more line. Stops at the start.
  void SeekForwardLine();
  // The text of the last failure of Open or SetBuffer (empty after a success).
  CString GetError();

  CString m_strError;  // last failure of Open or SetBuffer
  char* m_pBuf;        // loaded text, NUL-terminated; null when nothing is loaded
  char* m_pPos;        // read position inside m_pBuf

 private:
  void Unload();
};

#endif  // QELSHARE_CLINEBUF_H_
