#include "platform/text/mbcs.h"

#include <cstring>

namespace qel::text {

std::size_t FindChar(std::string_view s, char c, std::size_t from) {
  // Fast path: find candidates with memchr, then check they are not trail bytes by
  // walking characters from the last known boundary.
  std::size_t boundary = from;
  while (from < s.size()) {
    void const* hit = std::memchr(s.data() + from, c, s.size() - from);
    if (hit == nullptr) return npos;
    std::size_t pos = static_cast<char const*>(hit) - s.data();
    while (boundary < pos) boundary += CharLength(s, boundary);
    if (boundary == pos) return pos;
    from = pos + 1;
  }
  return npos;
}

std::size_t FindAnyOf(std::string_view s, std::string_view set, std::size_t from) {
  for (std::size_t i = from; i < s.size(); i += CharLength(s, i)) {
    if (set.find(s[i]) != std::string_view::npos) return i;
  }
  return npos;
}

std::size_t FindText(std::string_view s, std::string_view needle, std::size_t from) {
  if (needle.empty()) return from <= s.size() ? from : npos;
  std::size_t boundary = from;
  while (from < s.size()) {
    std::size_t pos = s.find(needle, from);
    if (pos == std::string_view::npos) return npos;
    while (boundary < pos) boundary += CharLength(s, boundary);
    if (boundary == pos) return pos;
    from = pos + 1;
  }
  return npos;
}

bool IsCharBoundary(std::string_view s, std::size_t i) {
  std::size_t at = 0;
  while (at < i) at += CharLength(s, at);
  return at == i;
}

namespace {

int CompareChars(char const* a, char const* b, bool fold) {
  if (a == nullptr) a = "";
  if (b == nullptr) b = "";
  auto const* p = reinterpret_cast<unsigned char const*>(a);
  auto const* q = reinterpret_cast<unsigned char const*>(b);
  while (true) {
    unsigned pa = *p;
    unsigned qa = *q;
    bool lead_a = IsLeadByte(pa) && p[1] != 0;
    bool lead_b = IsLeadByte(qa) && q[1] != 0;
    if (!lead_a && fold) pa = static_cast<unsigned char>(AsciiLower(char(pa)));
    if (!lead_b && fold) qa = static_cast<unsigned char>(AsciiLower(char(qa)));
    if (pa != qa) return pa < qa ? -1 : 1;
    if (pa == 0) return 0;
    if (lead_a) {
      // Both are lead bytes of the same value here; compare the trails unfolded.
      if (!lead_b) return 1;
      if (p[1] != q[1]) return p[1] < q[1] ? -1 : 1;
      p += 2;
      q += 2;
    } else {
      if (lead_b) return -1;
      ++p;
      ++q;
    }
  }
}

}  // namespace

int MbsCmp(char const* a, char const* b) {
  return CompareChars(a, b, false);
}
int MbsICmp(char const* a, char const* b) {
  return CompareChars(a, b, true);
}

}  // namespace qel::text
