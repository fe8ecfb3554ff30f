#include "platform/fs/wildcard.h"

#include "platform/text/mbcs.h"

namespace qel::fs {
namespace {

bool SameChar(std::string_view p, std::size_t pi, std::size_t plen, std::string_view n,
              std::size_t ni, std::size_t nlen) {
  if (plen != nlen) return false;
  if (plen == 1) return text::AsciiLower(p[pi]) == text::AsciiLower(n[ni]);
  return p[pi] == n[ni] && p[pi + 1] == n[ni + 1];
}

// Classic single-star backtracking: on a mismatch the last "*" swallows one more
// character of the name. Linear in name length per star, no recursion.
bool Match(std::string_view p, std::string_view n) {
  std::size_t pi = 0, ni = 0;
  std::size_t star_p = std::string_view::npos, star_n = 0;
  while (ni < n.size()) {
    std::size_t nlen = text::CharLength(n, ni);
    if (pi < p.size()) {
      std::size_t plen = text::CharLength(p, pi);
      if (plen == 1 && p[pi] == '*') {
        star_p = ++pi;
        star_n = ni;
        continue;
      }
      if ((plen == 1 && p[pi] == '?') || SameChar(p, pi, plen, n, ni, nlen)) {
        pi += plen;
        ni += nlen;
        continue;
      }
    }
    if (star_p == std::string_view::npos) return false;
    pi = star_p;
    star_n += text::CharLength(n, star_n);
    ni = star_n;
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

}  // namespace

bool HasWildcards(std::string_view pattern) {
  return text::FindAnyOf(pattern, "*?") != text::npos;
}

bool MatchName(std::string_view pattern, std::string_view name) {
  if (Match(pattern, name)) return true;
  std::size_t n = pattern.size();
  if (n >= 2 && pattern[n - 2] == '.' && pattern[n - 1] == '*' &&
      text::IsCharBoundary(pattern, n - 2)) {
    return Match(pattern.substr(0, n - 2), name);
  }
  return false;
}

}  // namespace qel::fs
