// Character-class tests, the text filter, plain text to HTML, percent decoding, form
// data and GUID texts.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/text/casemap.h"
#include "qelshare/CPublicFun.h"

namespace {

bool IsBlank(unsigned char b) {
  return b >= 0x01 && b <= 0x20;
}
bool IsLetter(unsigned char b) {
  return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}
bool IsLead(unsigned char b) {
  return b >= 0x81;
}

int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Percent decoding of exactly the bytes of text: "+" is a space, "%" and two hex digits
// a byte (a zero byte is dropped); a "%" without two hex digits after it stays as it is.
CString Decode(std::string_view text) {
  CString out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      int value = HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]);
      if (value != 0) out.push_back(static_cast<char>(value));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// Splits a form body at every "&" and appends each piece's decoded name and value.
int ParseForm(std::string_view body, CStringArr* names, CStringArr* values) {
  std::size_t start = 0;
  while (true) {
    std::size_t amp = body.find('&', start);
    std::string_view piece = body.substr(start, amp == std::string_view::npos ? amp : amp - start);
    std::size_t eq = piece.find('=');
    CString name = eq == std::string_view::npos ? CString() : Decode(piece.substr(0, eq));
    CString value = Decode(eq == std::string_view::npos ? piece : piece.substr(eq + 1));
    names->Add(name.c_str(), -1);
    values->Add(value.c_str(), -1);
    if (amp == std::string_view::npos) break;
    start = amp + 1;
  }
  return names->GetSize();
}

// The bytes of data up to the first NUL, and never past size.
std::string_view BodyOf(unsigned char const* data, std::size_t size) {
  if (data == nullptr) return {};
  auto const* chars = reinterpret_cast<char const*>(data);
  auto const* nul = static_cast<char const*>(std::memchr(chars, 0, size));
  return std::string_view(chars, nul ? static_cast<std::size_t>(nul - chars) : size);
}

}  // namespace

int CPublicFun::IsValueChar(char const* s) {
  if (s == nullptr) return 0;
  for (; *s != '\0'; ++s) {
    if (IsBlank(static_cast<unsigned char>(*s)) || std::strchr("-=+,?/.\":;\\()*", *s)) return 0;
  }
  return 1;
}

int CPublicFun::IsNumberAscii(char c) {
  return c >= '0' && c <= '9' ? 1 : 0;
}

int CPublicFun::IsAscii(unsigned char c) {
  return c >= 33 && c <= 128 ? 1 : 0;
}

int CPublicFun::IsCharAscii(char c, char const* exclude) {
  auto b = static_cast<unsigned char>(c);
  if (exclude == nullptr || *exclude == '\0') return IsLetter(b) ? 1 : 0;
  return b >= 0x21 && b <= 0x7E && std::strchr(exclude, c) == nullptr ? 1 : 0;
}

int CPublicFun::IsEnglishWord(char const* s, char const* exclude) {
  if (s == nullptr) return 0;
  bool const listed = exclude != nullptr && *exclude != '\0';
  for (; *s != '\0'; ++s) {
    bool pass =
        listed ? std::strchr(exclude, *s) == nullptr : IsLetter(static_cast<unsigned char>(*s));
    if (!pass) return 0;
  }
  return 1;
}

CString CPublicFun::FilterString(char const* text, char const* switches) {
  if (text == nullptr) return CString();
  if (*text == '\0' || switches == nullptr || *switches == '\0') return CString(text);
  std::string_view sw(switches);
  auto on = [&](char const* upper, char const* lower) {
    return sw.find(upper) != std::string_view::npos || sw.find(lower) != std::string_view::npos;
  };
  bool const all = on("/T", "/t");
  bool const trim = all || on("/S", "/s");
  bool const squeeze = all || on("/M", "/m");
  bool const crlf = all || on("/R", "/r");
  bool const tags = on("/H", "/h");
  bool const upper = on("/U", "/u");
  bool const lower = on("/L", "/l");

  std::string_view t(text);
  if (trim) {
    std::size_t first = 0, last = t.size();
    while (first < last && IsBlank(static_cast<unsigned char>(t[first]))) ++first;
    while (last > first && IsBlank(static_cast<unsigned char>(t[last - 1]))) --last;
    t = t.substr(first, last - first);
  }
  CString buf(t);
  if (upper) qel::text::CharUpper(buf.data(), buf.size());
  if (lower) qel::text::CharLower(buf.data(), buf.size());

  // Each step below copies the kept bytes down within buf, in one forward pass.
  std::size_t n = buf.size();
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(buf[i]); };
  if (squeeze) {
    std::size_t i = 0;
    while (i < n && IsBlank(byte(i))) ++i;  // leading blanks stay
    std::size_t o = i;
    while (i < n) {
      if (IsLead(byte(i)) && i + 1 < n) {
        buf[o++] = buf[i++];
        buf[o++] = buf[i++];
      } else if (IsBlank(byte(i))) {
        ++i;
      } else {
        buf[o++] = buf[i++];
      }
    }
    n = o;
  }
  if (crlf) {
    std::size_t o = 0;
    for (std::size_t i = 0; i < n;) {
      if (buf[i] == '\r' && i + 1 < n && buf[i + 1] == '\n') {
        i += 2;
      } else {
        buf[o++] = buf[i++];
      }
    }
    n = o;
  }
  if (tags) {
    std::size_t o = 0, i = 0;
    while (i < n) {
      if (IsLead(byte(i)) && i + 1 < n) {
        buf[o++] = buf[i++];
        buf[o++] = buf[i++];
      } else if (buf[i] == '<') {
        std::size_t close = std::string_view(buf.data() + i, n - i).find('>');
        if (close == std::string_view::npos) break;
        i += close + 1;
      } else {
        buf[o++] = buf[i++];
      }
    }
    // An unclosed "<" ends the deletion: it and the rest stay.
    while (i < n) buf[o++] = buf[i++];
    n = o;
  }
  buf.resize(n);
  return buf;
}

CString CPublicFun::Text2Html(char const* text) {
  if (text == nullptr || *text == '\0') return CString();
  try {
    std::string_view t(text);
    auto at = [&](std::size_t i) -> unsigned char {
      return i < t.size() ? static_cast<unsigned char>(t[i]) : 0;
    };
    CString out;
    out.reserve(t.size() + t.size() / 8);
    std::size_t i = 0;
    while (i < t.size() && at(i) < 0x20) ++i;
    while (i < t.size()) {
      unsigned char c = at(i);
      if (c == '<') {
        std::size_t close = t.find('>', i);
        std::size_t end = close == std::string_view::npos ? t.size() : close + 1;
        out.append(t.substr(i, end - i));
        i = end;
      } else if (c == ' ') {
        std::size_t next = i;
        while (at(next) == ' ') ++next;
        bool letter = IsLetter(at(next));
        for (; i < next; ++i) out.append(letter ? " " : "&nbsp");
      } else if (c == '\r') {
        unsigned char a = at(i + 1);
        unsigned char b = a == 0 ? 0 : at(i + 2);
        if (a == 0 || a == 0x1A || b == 0 || b == 0x1A) break;
        if (a != '\n') {
          out.push_back('\r');
          ++i;
        } else if (b == ' ') {
          out.append("<br>");
          i += 2;
        } else if (b == '\r') {
          out.append("<p>");
          i += 4;  // a blank line is one paragraph mark
        } else {
          i += 2;  // the lines join
        }
      } else if (IsLead(c) && i + 1 < t.size()) {
        out.append(t.substr(i, 2));
        i += 2;
      } else {
        out.push_back(static_cast<char>(c));
        ++i;
      }
    }
    return out;
  } catch (...) {
    return CString();
  }
}

CString CPublicFun::WebStr2Str(char const* s, int len) {
  if (s == nullptr || len == 0 || len < -1) return CString();
  // Never past the given length, nor past the end of the text.
  std::size_t n = 0;
  if (len == -1) {
    n = std::strlen(s);
  } else {
    while (n < static_cast<std::size_t>(len) && s[n] != '\0') ++n;
  }
  return Decode(std::string_view(s, n));
}

int CPublicFun::GetHtmlFormVal(tagVARIANT* data, CStringArr* names, CStringArr* values) {
  if (names == nullptr || values == nullptr) return 0;
  names->RemoveAll();
  values->RemoveAll();
  // Posted data arrives as a reference to a variant that holds a one-dimensional array
  // of bytes. Any other shape is refused before anything it points to is read.
  if (data == nullptr || (data->vt & (VT_BYREF | VT_VARIANT)) == 0) return 0;
  if (data->vt != (VT_BYREF | VT_VARIANT) || data->pvarVal == nullptr) return 0;
  tagVARIANT const& inner = *data->pvarVal;
  if ((inner.vt & (VT_ARRAY | VT_UI1)) == 0) return 0;
  if (inner.vt != (VT_ARRAY | VT_UI1) || inner.parray == nullptr) return 0;
  tagSAFEARRAY const& array = *inner.parray;
  if (array.cDims != 1 || array.cbElements != 1) return 0;
  std::size_t size = array.rgsabound[0].cElements;
  if (size != 0 && array.pvData == nullptr) return 0;
  return ParseForm(BodyOf(static_cast<unsigned char const*>(array.pvData), size), names, values);
}

int CPublicFun::GetHtmlFormVal(CByteArray* data, CStringArr* names, CStringArr* values) {
  if (names == nullptr || values == nullptr) return 0;
  std::string_view body = data ? BodyOf(data->data(), data->size()) : std::string_view();
  return ParseForm(body, names, values);
}

CString CPublicFun::GUID2STR(_GUID guid) {
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned>(guid.Data1), unsigned{guid.Data2}, unsigned{guid.Data3},
                unsigned{guid.Data4[0]}, unsigned{guid.Data4[1]}, unsigned{guid.Data4[2]},
                unsigned{guid.Data4[3]}, unsigned{guid.Data4[4]}, unsigned{guid.Data4[5]},
                unsigned{guid.Data4[6]}, unsigned{guid.Data4[7]});
  return text;
}

_GUID CPublicFun::STR2GUID(char const* s) {
  _GUID guid{};
  if (s == nullptr || std::strlen(s) != 36) return guid;
  auto pair = [&](int at) -> std::uint32_t {
    int hi = HexValue(static_cast<unsigned char>(s[at]));
    int lo = HexValue(static_cast<unsigned char>(s[at + 1]));
    return static_cast<std::uint32_t>((hi < 0 ? 0 : hi) * 16 + (lo < 0 ? 0 : lo));
  };
  guid.Data1 = pair(0) << 24 | pair(2) << 16 | pair(4) << 8 | pair(6);
  guid.Data2 = static_cast<std::uint16_t>(pair(9) << 8 | pair(11));
  guid.Data3 = static_cast<std::uint16_t>(pair(14) << 8 | pair(16));
  int const bytes[8] = {19, 21, 24, 26, 28, 30, 32, 34};
  for (int k = 0; k < 8; ++k) guid.Data4[k] = static_cast<std::uint8_t>(pair(bytes[k]));
  return guid;
}
