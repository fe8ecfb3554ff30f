// Code page 936 (GBK) <-> Unicode.
//
// The mapping is ICU's "windows-936" converter, read once into two tables at first use so
// that per-character work is a table look-up. Code page 936 has no characters outside the
// Basic Multilingual Plane, so one UTF-16 unit is one character here.
//
// Invalid GBK has a defined reading: a lead byte at the end of the text, and a two-byte
// sequence that the code page does not define, decode to U+FFFD (consuming one and two
// bytes respectively, as the byte scanners of mbcs.h do).
#ifndef QELSHARE_PLATFORM_TEXT_CODEPAGE_H_
#define QELSHARE_PLATFORM_TEXT_CODEPAGE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qel::text {

inline constexpr char16_t kReplacement = u'\uFFFD';

// Decodes the character at s[i] (i < s.size()) and returns it; *length receives the
// number of bytes it takes (1 or 2). Invalid input gives kReplacement.
char16_t DecodeChar(std::string_view s, std::size_t i, std::size_t* length);

// The GBK bytes of a Unicode character: 1 or 2 bytes written to out, or 0 when the
// character has no form in code page 936.
std::size_t EncodeChar(char16_t c, char out[2]);

// Appends the UTF-16 form of GBK text to out (invalid bytes as kReplacement).
void GbkToUtf16(std::string_view gbk, std::u16string& out);

// UTF-8 text to GBK. Returns false and sets error to one sentence naming the byte offset
// and the fault ("byte 4: U+1F600 has no GBK form", "byte 0: invalid UTF-8") when the text
// does not convert; out then holds what converted before the fault.
bool Utf8ToGbk(std::string_view utf8, std::string& out, std::string& error);

// As Utf8ToGbk, but characters without a GBK form (and invalid UTF-8 bytes) become
// replacement; returns how many were replaced.
std::size_t Utf8ToGbkReplacing(std::string_view utf8, std::string& out, char replacement = '?');

// GBK text to UTF-8. Returns false and sets error ("byte 7: 0xFF 0x30 is not a GBK
// character") at the first invalid character.
bool GbkToUtf8(std::string_view gbk, std::string& out, std::string& error);

// GBK text to UTF-8 for display: invalid characters become U+FFFD.
std::string GbkToUtf8Lossy(std::string_view gbk);

}  // namespace qel::text

#endif  // QELSHARE_PLATFORM_TEXT_CODEPAGE_H_
