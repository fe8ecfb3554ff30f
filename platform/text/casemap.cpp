#include "platform/text/casemap.h"

#include <unicode/uchar.h>

#include <string_view>

#include "platform/text/codepage.h"
#include "platform/text/mbcs.h"

namespace qel::text {
namespace {

template <typename Map>
void MapCase(char* s, std::size_t len, char (*ascii)(char), Map map) {
  std::string_view view(s, len);
  std::size_t i = 0;
  while (i < len) {
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      s[i] = ascii(s[i]);
      ++i;
      continue;
    }
    std::size_t n;
    char16_t c = DecodeChar(view, i, &n);
    if (c != kReplacement) {
      auto mapped = static_cast<UChar32>(map(c));
      char bytes[2];
      if (mapped != c && mapped <= 0xFFFF &&
          EncodeChar(static_cast<char16_t>(mapped), bytes) == n) {
        s[i] = bytes[0];
        if (n == 2) s[i + 1] = bytes[1];
      }
    }
    i += n;
  }
}

char Upper(char c) {
  return AsciiUpper(c);
}
char Lower(char c) {
  return AsciiLower(c);
}

}  // namespace

void CharUpper(char* s, std::size_t len) {
  MapCase(s, len, Upper, u_toupper);
}
void CharLower(char* s, std::size_t len) {
  MapCase(s, len, Lower, u_tolower);
}

}  // namespace qel::text
