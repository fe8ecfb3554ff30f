#include "qelshare/CMrfCut.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/fs/file.h"
#include "platform/text/mbcs.h"

namespace fs = qel::fs;

namespace {

bool Visible(unsigned char b) {
  return b > 32 && b != 127 && b != 128;
}

// True when a byte of w may be above 32 (no false negatives): adding 95 to a byte of at
// most 127 sets its top bit exactly when it is above 32; bytes of 128 and more have it set.
// A carry into the next byte can only add a false positive, which the byte check settles.
bool MayHoldVisible(std::uint64_t w) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  return (((w + kOnes * 95) | w) & (kOnes * 0x80)) != 0;
}

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// Sixteen bytes as one value (SSE2 on x86-64, NEON on ARM), without any target header.
// Wider vectors of bytes compile poorly with the generic vector extensions.
using Lanes = unsigned char __attribute__((vector_size(16)));
constexpr std::size_t kLanes = sizeof(Lanes);

// First position at or after from where sep (length >= 1) occurs in data[0, size), or
// kNotFound. For two bytes and more, 16 candidate positions are tested at once on the
// separator's first and last bytes, and only positions that pass both are compared whole:
// in text whose lines end in CR LF, "\r\n\r\n" rarely passes, so a blank-line separator is
// found at close to memory speed where a search for its first byte would stop at every line.
std::size_t FindSeparator(unsigned char const* data, std::size_t size, std::size_t from,
                          unsigned char const* sep, std::size_t length) {
  if (length == 1) {
    void const* hit = std::memchr(data + from, sep[0], size - from);
    return hit == nullptr ? kNotFound : static_cast<unsigned char const*>(hit) - data;
  }
  std::size_t const last_start = size - length;  // the last position a separator fits
  Lanes first, final;
  for (std::size_t k = 0; k < kLanes; ++k) {
    first[k] = sep[0];
    final[k] = sep[length - 1];
  }
  std::size_t i = from;
  for (; i + kLanes - 1 <= last_start; i += kLanes) {
    Lanes head, tail;
    std::memcpy(&head, data + i, kLanes);
    std::memcpy(&tail, data + i + length - 1, kLanes);
    auto both = (head == first) & (tail == final);
#if defined(__SSE2__)
    // One bit per lane straight from the vector unit (the compiler's builtin of SSE2's
    // PMOVMSKB; no target header): visit the flagged lanes only, in order.
    using SignedLanes = char __attribute__((vector_size(16)));
    unsigned mask =
        static_cast<unsigned>(__builtin_ia32_pmovmskb128(reinterpret_cast<SignedLanes>(both)));
    for (; mask != 0; mask &= mask - 1) {
      std::size_t lane = static_cast<std::size_t>(std::countr_zero(mask));
      if (std::memcmp(data + i + lane + 1, sep + 1, length - 2) == 0) return i + lane;
    }
#else
    std::uint64_t words[kLanes / 8];
    std::memcpy(words, &both, kLanes);
    if ((words[0] | words[1]) == 0) continue;
    for (std::size_t k = 0; k < kLanes; ++k) {
      if (both[k] != 0 && std::memcmp(data + i + k + 1, sep + 1, length - 2) == 0) return i + k;
    }
#endif
  }
  for (; i <= last_start; ++i) {
    if (data[i] == sep[0] && std::memcmp(data + i + 1, sep + 1, length - 1) == 0) return i;
  }
  return kNotFound;
}

// A copy of the separator with every "^l" / "^L" turned into CR LF.
char* ConvertSeparator(char const* sep) {
  std::size_t n = sep == nullptr ? 0 : std::strlen(sep);
  char* out = new char[n + 1];
  std::size_t o = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (sep[i] == '^' && (sep[i + 1] == 'l' || sep[i + 1] == 'L')) {
      out[o++] = '\r';
      out[o++] = '\n';
      ++i;
    } else {
      out[o++] = sep[i];
    }
  }
  out[o] = '\0';
  return out;
}

// The folder of a file name: everything before its last path separator. A backslash that is
// the trail byte of a double-byte character is not a separator.
std::string FolderOf(char const* file) {
  std::string_view name = file == nullptr ? std::string_view() : file;
  std::size_t last = qel::text::npos;
  for (std::size_t at = qel::text::FindAnyOf(name, "\\/"); at != qel::text::npos;
       at = qel::text::FindAnyOf(name, "\\/", at + 1)) {
    last = at;
  }
  return last == qel::text::npos ? std::string() : std::string(name.substr(0, last));
}

}  // namespace

CMrfCut::CMrfCut()
    : m_bLeading(0),
      m_nPos(0),
      m_nBase(0),
      m_nAvail(0),
      m_pWindow(nullptr),
      m_nSize(0),
      m_hFile(fs::kInvalidFile),
      m_pSep(nullptr) {}

CMrfCut::~CMrfCut() {
  Close();
}

CMrfCut::CMrfCut(CMrfCut const& other)
    : m_bLeading(other.m_bLeading),
      m_strPath(other.m_strPath),
      m_nPos(other.m_nPos),
      m_nBase(other.m_nBase),
      m_nAvail(other.m_nAvail),
      m_pWindow(nullptr),
      m_nSize(other.m_nSize),
      m_hFile(fs::Duplicate(other.m_hFile)),
      m_pSep(nullptr) {
  if (other.m_pSep != nullptr) {
    std::size_t n = std::strlen(other.m_pSep);
    m_pSep = new char[n + 1];
    std::memcpy(m_pSep, other.m_pSep, n + 1);
  }
  if (other.m_pWindow != nullptr) {
    m_pWindow = new unsigned char[kWindow];
    std::memcpy(m_pWindow, other.m_pWindow, m_nAvail);
  }
  // Without a handle of its own the copy has no data left to cut.
  if (m_hFile == fs::kInvalidFile) m_nSize = m_nBase + m_nPos;
}

CMrfCut& CMrfCut::operator=(CMrfCut const& other) {
  if (this != &other) {
    CMrfCut copy(other);
    Close();
    m_bLeading = copy.m_bLeading;
    m_strPath = std::move(copy.m_strPath);
    m_nPos = copy.m_nPos;
    m_nBase = copy.m_nBase;
    m_nAvail = copy.m_nAvail;
    m_nSize = copy.m_nSize;
    std::swap(m_pWindow, copy.m_pWindow);
    std::swap(m_hFile, copy.m_hFile);
    std::swap(m_pSep, copy.m_pSep);
  }
  return *this;
}

void CMrfCut::Close() {
  fs::Close(m_hFile);
  m_hFile = fs::kInvalidFile;
  delete[] m_pSep;
  m_pSep = nullptr;
  delete[] m_pWindow;
  m_pWindow = nullptr;
  m_nSize = m_nBase = m_nPos = m_nAvail = 0;
}

int CMrfCut::Open(char const* lpszFile, char const* lpszSep, int bLeading) {
  Close();
  try {
    m_pSep = ConvertSeparator(lpszSep);
    m_bLeading = bLeading;
    m_strPath = FolderOf(lpszFile);
    HANDLE file = fs::OpenForReading(lpszFile, fs::Share::kDenyWrite);
    if (file == fs::kInvalidFile) return 0;
    std::uint64_t size = 0;
    if (!fs::Size(file, &size)) {
      fs::Close(file);
      return 0;
    }
    m_pWindow = new unsigned char[kWindow];
    m_hFile = file;
    m_nSize = size;
    Fill();
    return 1;
  } catch (...) {
    Close();
    return 0;
  }
}

void CMrfCut::Fill() {
  std::uint64_t want = m_nSize - m_nBase < kWindow ? m_nSize - m_nBase : kWindow;
  std::int64_t got = fs::ReadAt(m_hFile, m_nBase, m_pWindow, want);
  m_nAvail = got < 0 ? 0 : static_cast<unsigned long>(got);
  // Less than the size promised: the file shrank (or the read failed); the data ends here,
  // which keeps GetPos() <= GetSize() and the loop of GetRecord finite.
  if (m_nAvail < want) m_nSize = m_nBase + m_nAvail;
}

unsigned long CMrfCut::Find(unsigned long from, std::size_t length) {
  if (length == 0 || from >= m_nAvail || m_nAvail - from < length) return m_nAvail;
  std::size_t found = FindSeparator(m_pWindow, m_nAvail, from,
                                    reinterpret_cast<unsigned char const*>(m_pSep), length);
  return found == kNotFound ? m_nAvail : static_cast<unsigned long>(found);
}

CString CMrfCut::out(unsigned long first, unsigned long last) {
  // Eight bytes at a time: long runs of blanks and zeros (padding, sparse files) are passed
  // over quickly; a record usually shows a visible byte at once.
  for (unsigned long i = first; i < last;) {
    if (last - i >= 8) {
      std::uint64_t w;
      std::memcpy(&w, m_pWindow + i, 8);
      if (!MayHoldVisible(w)) {
        i += 8;
        continue;
      }
    }
    for (unsigned long stop = std::min(i + 8, last); i < stop; ++i) {
      if (Visible(m_pWindow[i])) {
        return CString(reinterpret_cast<char const*>(m_pWindow) + first, last - first);
      }
    }
  }
  return CString();
}

CString CMrfCut::GetRecord() {
  if (m_pWindow == nullptr || m_pSep == nullptr) return CString();
  std::size_t length = std::strlen(m_pSep);
  for (;;) {
    if (m_nBase + m_nPos >= m_nSize) return CString();
    // In leading mode a separator at the record's first byte is its own head, not its end.
    unsigned long found = Find(m_nPos + (m_bLeading != 0 ? 1 : 0), length);
    if (found < m_nAvail) {
      CString record = out(m_nPos, found);
      m_nPos = m_bLeading != 0 ? found : found + length;
      if (!record.empty()) return record;
      continue;
    }
    if (m_nBase + m_nAvail >= m_nSize) {
      CString record = out(m_nPos, m_nAvail);
      m_nPos = m_nAvail;
      return record;
    }
    if (m_nPos == 0) {
      // The window already starts at this record and is full: the record (or, with an empty
      // separator, the data) is longer than the window. Hand out the window's content.
      CString record = out(0, m_nAvail);
      m_nPos = m_nAvail;
      if (!record.empty()) return record;
      continue;
    }
    m_nBase += m_nPos;
    m_nPos = 0;
    Fill();
  }
}

unsigned long CMrfCut::GetSize() {
  return m_nSize;
}

unsigned long CMrfCut::GetPos() {
  return m_nBase + m_nPos;
}

CString CMrfCut::GetPath() {
  return m_strPath;
}
