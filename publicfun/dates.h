// Internal steps of the date, time and amount normalisers (publicfun/dates.cpp).
#ifndef QELSHARE_PUBLICFUN_DATES_H_
#define QELSHARE_PUBLICFUN_DATES_H_

#include <string_view>

#include "qelshare/types.h"

namespace qel::dates {

// The shared preparation of StandardDate, StandardTime and StandardDateTime. The whole
// text "CurrentDay", "CurrentTime" or "CurrentDayTime" (any case) becomes the present
// local date, time or date-time in canonical form; otherwise the 22 mapped two-byte
// characters (full-width digits, the date and time words for year, month, hour,
// o'clock and minute, full-width punctuation) become their ASCII stand-ins and every
// other byte is copied. A null s gives "".
CString NormalizeDateChars(char const* s);

// The leading decimal integer of text: white space (space, tab, LF, VT, FF, CR), one
// optional sign, then digits up to the first non-digit; 0 without digits. Values beyond
// the 32-bit int range saturate at INT_MIN or INT_MAX.
int ReadNumber(std::string_view text);

}  // namespace qel::dates

#endif  // QELSHARE_PUBLICFUN_DATES_H_
