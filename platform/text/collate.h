// Locale-aware order of code page 936 text: the library's counterpart of lstrcmpA.
//
// Text is decoded to UTF-16 (codepage.h) and compared with ICU's collator for the "zh"
// locale: pinyin order for Chinese characters, the usual order for Latin letters, case
// sensitive. Strings that collate equal are ordered by their bytes, so the order is total
// and only identical strings compare equal. Invalid GBK decodes to U+FFFD and so also has
// a defined place. Thread-safe.
#ifndef QELSHARE_PLATFORM_TEXT_COLLATE_H_
#define QELSHARE_PLATFORM_TEXT_COLLATE_H_

#include <string>
#include <string_view>

namespace qel::text {

// Negative, zero or positive as a orders before, equal to or after b.
int Compare(std::string_view a, std::string_view b);

// The collation key of a text: comparing two keys as byte strings (std::string::compare)
// gives the sign Compare gives before its byte tie-break. Sorting many texts by key
// collates each text once instead of at every comparison.
std::string SortKey(std::string_view text);

// Case-insensitive counterpart (lstrcmpiA): letters that differ only in case compare
// equal; remaining ties are broken by the bytes of the lower-cased texts.
int CompareNoCase(std::string_view a, std::string_view b);

}  // namespace qel::text

#endif  // QELSHARE_PLATFORM_TEXT_COLLATE_H_
