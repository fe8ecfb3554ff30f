// Case conversion of code page 936 text in place: the counterparts of CharUpperA and
// CharLowerA.
//
// Each character is mapped with ICU's simple case mapping (ASCII letters, full-width
// Latin letters, Greek and Cyrillic of the code page). The text keeps its length: a
// character whose mapped form has no GBK encoding of the same byte length stays as it is.
#ifndef QELSHARE_PLATFORM_TEXT_CASEMAP_H_
#define QELSHARE_PLATFORM_TEXT_CASEMAP_H_

#include <cstddef>

namespace qel::text {

// Upper-cases len bytes of s in place.
void CharUpper(char* s, std::size_t len);
// Lower-cases len bytes of s in place.
void CharLower(char* s, std::size_t len);

}  // namespace qel::text

#endif  // QELSHARE_PLATFORM_TEXT_CASEMAP_H_
