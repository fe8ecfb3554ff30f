#include "qelshare/CLineBuf.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "platform/fs/file.h"

namespace fs = qel::fs;

namespace {

constexpr char kCR = '\r';

std::string OpenError(char const* path, char const* what) {
  // "CLineBuf::Open(%s) %s"
  return std::string("CLineBuf::Open(") + path + ") " + what;
}

// Closes a handle on every way out of Open.
class FileCloser {
 public:
  explicit FileCloser(HANDLE file) : file_(file) {}
  ~FileCloser() { fs::Close(file_); }
  FileCloser(FileCloser const&) = delete;
  FileCloser& operator=(FileCloser const&) = delete;

 private:
  HANDLE file_;
};

}  // namespace

CLineBuf::CLineBuf() : m_pBuf(nullptr), m_pPos(nullptr) {}

CLineBuf::~CLineBuf() {
  Unload();
}

CLineBuf::CLineBuf(CLineBuf const& other)
    : m_strError(other.m_strError), m_pBuf(nullptr), m_pPos(nullptr) {
  if (other.m_pBuf != nullptr) {
    std::size_t n = std::strlen(other.m_pBuf);
    m_pBuf = new char[n + 1];
    std::memcpy(m_pBuf, other.m_pBuf, n + 1);
    m_pPos = m_pBuf + (other.m_pPos - other.m_pBuf);
  }
}

CLineBuf& CLineBuf::operator=(CLineBuf const& other) {
  if (this != &other) {
    CLineBuf copy(other);
    Unload();
    m_strError = std::move(copy.m_strError);
    m_pBuf = copy.m_pBuf;
    m_pPos = copy.m_pPos;
    copy.m_pBuf = copy.m_pPos = nullptr;
  }
  return *this;
}

void CLineBuf::Unload() {
  delete[] m_pBuf;
  m_pBuf = nullptr;
  m_pPos = nullptr;
}

int CLineBuf::Open(char const* lpszPath) {
  Unload();
  m_strError.clear();
  char const* path = lpszPath == nullptr ? "" : lpszPath;
  try {
    HANDLE file = fs::OpenForReading(path, fs::Share::kDenyNone);
    if (file == fs::kInvalidFile) {
      m_strError = OpenError(path, "Can't opened");
      return 0;
    }
    FileCloser closer(file);
    std::uint64_t length = 0;
    if (!fs::Size(file, &length)) throw std::runtime_error("size");
    if (length > kMaxFile) {
      m_strError = OpenError(path, "Too large");
      return 0;
    }
    char* text = new char[length + 1];
    std::int64_t got = fs::Read(file, text, length);
    if (got < 0) {
      delete[] text;
      throw std::runtime_error("read");
    }
    // A file that shrank since its size was taken ends where the data ended.
    text[got] = '\0';
    m_pBuf = text;
    m_pPos = m_pBuf;
    return 1;
  } catch (...) {
    Unload();
    m_strError = std::string("Unknown error: CLineBuf::Open(") + path + ")";
    return 0;
  }
}

int CLineBuf::SetBuffer(char const* lpszText) {
  Unload();
  m_strError.clear();
  if (lpszText == nullptr || *lpszText == '\0') return 1;
  std::size_t n = std::strlen(lpszText);
  char* text = new (std::nothrow) char[n + 1];
  if (text == nullptr) {
    m_strError = "Unknown error: CLineBuf::SetBuffer";
    return 0;
  }
  std::memcpy(text, lpszText, n + 1);
  m_pBuf = text;
  m_pPos = m_pBuf;
  return 1;
}

int CLineBuf::ReadLine(CString& line) {
  if (m_pBuf == nullptr || *m_pPos == '\0') return 0;
  char* end = m_pPos;
  while (*end != '\0' && *end != kCR) ++end;
  line.assign(m_pPos, end - m_pPos);
  if (*end == '\0') {
    m_pPos = end;
  } else {
    // Skip the CR and the byte after it, unless the CR ends the text.
    m_pPos = end[1] == '\0' ? end + 1 : end + 2;
  }
  return 1;
}

void CLineBuf::SeekForwardLine() {
  if (m_pBuf == nullptr) return;
  // Back over the line end of the last line and that line's last byte, then on to the CR
  // that ends the line before it.
  std::ptrdiff_t pos = (m_pPos - m_pBuf) - 3;
  while (pos > 0) {
    if (m_pBuf[pos] == kCR) {
      m_pPos = m_pBuf + pos + 2;
      return;
    }
    --pos;
  }
  m_pPos = m_pBuf;
}

CString CLineBuf::GetError() {
  return m_strError;
}
