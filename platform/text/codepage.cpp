#include "platform/text/codepage.h"

#include <unicode/ucnv.h>

#include <array>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "platform/text/mbcs.h"

namespace qel::text {
namespace {

constexpr std::uint16_t kNoCode = 0xFFFF;

// Both directions of the code page, read from ICU once.
struct Tables {
  std::array<char16_t, 256> single{};            // single-byte characters
  std::array<char16_t, 0x10000> pair{};          // index lead << 8 | trail
  std::array<std::uint16_t, 0x10000> reverse{};  // Unicode -> GBK code (byte or pair)

  Tables() {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, decltype(&ucnv_close)> cnv(ucnv_open("windows-936", &status),
                                                           &ucnv_close);
    if (U_FAILURE(status)) throw std::runtime_error("ICU has no windows-936 converter");
    ucnv_setToUCallBack(cnv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    reverse.fill(kNoCode);
    pair.fill(kReplacement);
    auto decode = [&](char const* bytes, int n) -> char16_t {
      UChar buf[4];
      UErrorCode st = U_ZERO_ERROR;
      ucnv_reset(cnv.get());
      int32_t len = ucnv_toUChars(cnv.get(), buf, 4, bytes, n, &st);
      if (U_FAILURE(st) || len != 1 || buf[0] == 0xFFFD || buf[0] == 0x1A) return kReplacement;
      return static_cast<char16_t>(buf[0]);
    };
    for (int b = 0; b < 0x80; ++b) single[b] = static_cast<char16_t>(b);
    for (int b = 0x80; b < 0x100; ++b) {
      char c = static_cast<char>(b);
      single[b] = decode(&c, 1);
    }
    for (int b = 0; b < 0x100; ++b) {
      if (single[b] != kReplacement && reverse[single[b]] == kNoCode) reverse[single[b]] = b;
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        char16_t u = decode(bytes, 2);
        std::uint16_t code = static_cast<std::uint16_t>(lead << 8 | trail);
        pair[code] = u;
        if (u != kReplacement && reverse[u] == kNoCode) reverse[u] = code;
      }
    }
  }
};

Tables const& Get() {
  static Tables const tables;
  return tables;
}

// Decodes one UTF-8 sequence at s[i]; returns the code point or -1 when invalid.
long DecodeUtf8(std::string_view s, std::size_t i, std::size_t* length) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char b0 = byte(i);
  *length = 1;
  if (b0 < 0x80) return b0;
  int extra;
  long cp;
  long min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    extra = 1, cp = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    extra = 2, cp = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    extra = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    return -1;
  }
  if (i + extra >= s.size()) return -1;
  for (int k = 1; k <= extra; ++k) {
    unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) return -1;
    cp = cp << 6 | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  *length = extra + 1;
  return cp;
}

void AppendUtf8(long cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string Offset(std::size_t i) {
  return "byte " + std::to_string(i) + ": ";
}

}  // namespace

char16_t DecodeChar(std::string_view s, std::size_t i, std::size_t* length) {
  Tables const& t = Get();
  auto b = static_cast<unsigned char>(s[i]);
  if (!IsLeadByte(b)) {
    *length = 1;
    return t.single[b];
  }
  if (i + 1 >= s.size()) {
    *length = 1;
    return kReplacement;
  }
  *length = 2;
  return t.pair[b << 8 | static_cast<unsigned char>(s[i + 1])];
}

std::size_t EncodeChar(char16_t c, char out[2]) {
  std::uint16_t code = Get().reverse[c];
  if (code == kNoCode) return 0;
  if (code < 0x100) {
    out[0] = static_cast<char>(code);
    return 1;
  }
  out[0] = static_cast<char>(code >> 8);
  out[1] = static_cast<char>(code & 0xFF);
  return 2;
}

void GbkToUtf16(std::string_view gbk, std::u16string& out) {
  out.reserve(out.size() + gbk.size());
  std::size_t i = 0;
  while (i < gbk.size()) {
    std::size_t n;
    out += DecodeChar(gbk, i, &n);
    i += n;
  }
}

bool Utf8ToGbk(std::string_view utf8, std::string& out, std::string& error) {
  out.clear();
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t n;
    long cp = DecodeUtf8(utf8, i, &n);
    if (cp < 0) {
      error = Offset(i) + "invalid UTF-8";
      return false;
    }
    char bytes[2];
    std::size_t m = cp <= 0xFFFF ? EncodeChar(static_cast<char16_t>(cp), bytes) : 0;
    if (m == 0) {
      char name[24];
      std::snprintf(name, sizeof name, "U+%04lX", cp);
      error = Offset(i) + name + " has no GBK form";
      return false;
    }
    out.append(bytes, m);
    i += n;
  }
  return true;
}

std::size_t Utf8ToGbkReplacing(std::string_view utf8, std::string& out, char replacement) {
  out.clear();
  out.reserve(utf8.size());
  std::size_t replaced = 0;
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t n;
    long cp = DecodeUtf8(utf8, i, &n);
    char bytes[2];
    std::size_t m = cp >= 0 && cp <= 0xFFFF ? EncodeChar(static_cast<char16_t>(cp), bytes) : 0;
    if (m == 0) {
      out += replacement;
      ++replaced;
    } else {
      out.append(bytes, m);
    }
    i += n;
  }
  return replaced;
}

bool GbkToUtf8(std::string_view gbk, std::string& out, std::string& error) {
  out.clear();
  out.reserve(gbk.size() * 3 / 2);
  std::size_t i = 0;
  while (i < gbk.size()) {
    std::size_t n;
    char16_t u = DecodeChar(gbk, i, &n);
    if (u == kReplacement) {
      char what[24];
      if (n == 2) {
        std::snprintf(what, sizeof what, "0x%02X 0x%02X", static_cast<unsigned char>(gbk[i]),
                      static_cast<unsigned char>(gbk[i + 1]));
      } else {
        std::snprintf(what, sizeof what, "0x%02X", static_cast<unsigned char>(gbk[i]));
      }
      error = Offset(i) + what + " is not a GBK character";
      return false;
    }
    AppendUtf8(u, out);
    i += n;
  }
  return true;
}

std::string GbkToUtf8Lossy(std::string_view gbk) {
  std::string out;
  out.reserve(gbk.size() * 3 / 2);
  std::size_t i = 0;
  while (i < gbk.size()) {
    std::size_t n;
    AppendUtf8(DecodeChar(gbk, i, &n), out);
    i += n;
  }
  return out;
}

}  // namespace qel::text
