#include <cstring>

#include "qelshare/CPublicFun.h"

CPublicFun::~CPublicFun() = default;

int CPublicFun::SplitString(char const* s, CStringArr& parts, char sep) {
  parts.RemoveAll();
  if (s == nullptr || *s == '\0') return 0;
  char const* end = s + std::strlen(s);
  char const* piece = s;
  while (piece < end) {
    auto const* hit = static_cast<char const*>(std::memchr(piece, sep, end - piece));
    if (hit == nullptr) {
      parts.Add(piece, -1);
      break;
    }
    parts.AddIgnoreNULL(piece, static_cast<int>(hit - piece));
    piece = hit + 1;
  }
  return parts.GetSize();
}
