// Byte-level scanning of code page 936 (GBK) text.
//
// A byte of 0x81 or above starts a two-byte character and takes the next byte as its
// trail, whatever that byte is, unless the text ends (or, for NUL-terminated text, a NUL
// follows): then the lead byte stands alone. Scanners built on these helpers never take a
// trail byte for a delimiter. None of these functions allocates or needs ICU.
#ifndef QELSHARE_PLATFORM_TEXT_MBCS_H_
#define QELSHARE_PLATFORM_TEXT_MBCS_H_

#include <cstddef>
#include <string_view>

namespace qel::text {

inline constexpr std::size_t npos = std::string_view::npos;

// True for a byte that starts a two-byte character.
constexpr bool IsLeadByte(unsigned char b) {
  return b >= 0x81;
}

// Length in bytes (1 or 2) of the character that starts at s[i]; i < s.size().
constexpr std::size_t CharLength(std::string_view s, std::size_t i) {
  return IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

// Index of the first single-byte character equal to c at or after from, or npos.
std::size_t FindChar(std::string_view s, char c, std::size_t from = 0);

// Index of the first single-byte character that is one of set, at or after from, or npos.
std::size_t FindAnyOf(std::string_view s, std::string_view set, std::size_t from = 0);

// Index of the first occurrence of needle that starts on a character boundary, or npos.
std::size_t FindText(std::string_view s, std::string_view needle, std::size_t from = 0);

// True when position i of s is the start of a character (not a trail byte).
bool IsCharBoundary(std::string_view s, std::size_t i);

// The runtime's multibyte comparison: byte order, characters compared whole.
// Negative, zero or positive. Null pointers order as the empty string.
int MbsCmp(char const* a, char const* b);

// As MbsCmp, but ASCII letters of single-byte characters compare without case
// (trail bytes are never folded).
int MbsICmp(char const* a, char const* b);

// ASCII letter folding of one byte.
constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}
constexpr char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

}  // namespace qel::text

#endif  // QELSHARE_PLATFORM_TEXT_MBCS_H_
