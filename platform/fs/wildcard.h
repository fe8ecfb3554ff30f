// Name patterns of the desktop platform's directory search.
//
// "*" stands for any run of characters (none included) and "?" for exactly one; a
// character is one GBK character (one or two bytes). ASCII letters match without regard
// to case; two-byte characters match only themselves. A pattern that ends in ".*" also
// matches the name without that extension, so "*.*" matches every name and "readme.*"
// matches "readme".
#ifndef QELSHARE_PLATFORM_FS_WILDCARD_H_
#define QELSHARE_PLATFORM_FS_WILDCARD_H_

#include <string_view>

namespace qel::fs {

// True when pattern holds "*" or "?" (as single-byte characters).
bool HasWildcards(std::string_view pattern);

// True when the GBK name matches the GBK pattern.
bool MatchName(std::string_view pattern, std::string_view name);

}  // namespace qel::fs

#endif  // QELSHARE_PLATFORM_FS_WILDCARD_H_
