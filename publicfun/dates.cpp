// Normalisers of free-form dates, times and amounts, and template-driven date reading.
#include "publicfun/dates.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>

#include "platform/clock/clock.h"
#include "platform/text/collate.h"
#include "qelshare/CPublicFun.h"

namespace {

// The characters that NormalizeDateChars replaces, as GBK lead and trail bytes, in the
// order they are searched, with their ASCII stand-ins.
struct MappedChar {
  unsigned char lead;
  unsigned char trail;
  char ascii;
};
constexpr MappedChar kDateChars[22] = {
    {0xA3, 0xB0, '0'},  {0xA3, 0xB1, '1'}, {0xA3, 0xB2, '2'}, {0xA3, 0xB3, '3'},
    {0xA3, 0xB4, '4'},  {0xA3, 0xB5, '5'}, {0xA3, 0xB6, '6'}, {0xA3, 0xB7, '7'},
    {0xA3, 0xB8, '8'},  {0xA3, 0xB9, '9'}, {0xC4, 0xEA, '.'},  // year
    {0xD4, 0xC2, '.'},                                         // month
    {0xCA, 0xB1, ':'},                                         // hour
    {0xB5, 0xE3, ':'},                                         // o'clock
    {0xB7, 0xD6, ':'},                                         // minute
    {0xA3, 0xBA, ':'},                                         // full-width colon
    {0xA3, 0xAC, ','},                                         // full-width comma
    {0xA1, 0xA3, '.'},                                         // ideographic full stop
    {0xA3, 0xAF, '/'},                                         // full-width solidus
    {0xA3, 0xAD, '-'},                                         // full-width hyphen-minus
    {0xA1, 0xAF, '\''},                                        // right single quotation mark
    {0xA1, 0xB1, '"'},                                         // right double quotation mark
};

constexpr std::string_view kDateSeparators = "./,-";
constexpr std::string_view kTimeSeparators = ":'\"./,-";
constexpr std::string_view kDateTimeGap = " -";

// Separators are ASCII below 0x40, which no GBK trail byte is, so a byte scan finds the
// same separators a character scan would.
std::size_t FindFirst(std::string_view text, std::string_view set) {
  return text.find_first_of(set);
}

bool IsKeyword(std::string_view s, std::string_view keyword) {
  return s.size() == keyword.size() && qel::text::CompareNoCase(s, keyword) == 0;
}

// Appends value in decimal, zero-padded on the left to width digits (after any sign).
void AppendPadded(CString& out, long long value, int width) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value < 0 ? -value : value);
  (void)ec;
  if (value < 0) out.push_back('-');
  int length = static_cast<int>(end - digits);
  if (length < width) out.append(width - length, '0');
  out.append(digits, end);
}

CString DateText(int year, int month, int day) {
  CString out;
  AppendPadded(out, year, 4);
  out.push_back('.');
  AppendPadded(out, month, 2);
  out.push_back('.');
  AppendPadded(out, day, 2);
  return out;
}

CString TimeText(int hour, int minute, int second) {
  CString out;
  AppendPadded(out, hour, 2);
  out.push_back(':');
  AppendPadded(out, minute, 2);
  out.push_back(':');
  AppendPadded(out, second, 2);
  return out;
}

int AdjustYear(int year) {
  if (year < 0) return 1900;
  return year < 100 ? year + 1900 : year;
}

int Clamp(int value, int top) {
  return std::clamp(value, 0, top);
}

}  // namespace

namespace qel::dates {

int ReadNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  std::int64_t const limit = negative ? -std::int64_t{INT_MIN} : INT_MAX;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min(value * 10 + (text[i] - '0'), limit);
  }
  return static_cast<int>(negative ? -value : value);
}

CString NormalizeDateChars(char const* s) {
  if (s == nullptr) return CString();
  std::string_view text(s);
  if (text.size() >= 10 && text.size() <= 14 && (text[0] == 'C' || text[0] == 'c')) {
    bool day = IsKeyword(text, "CurrentDay");
    bool time = !day && IsKeyword(text, "CurrentTime");
    bool both = !day && !time && IsKeyword(text, "CurrentDayTime");
    if (day || time || both) {
      qel::clock::LocalTime now = qel::clock::Now();
      if (day) return DateText(now.year, now.month, now.day);
      if (time) return TimeText(now.hour, now.minute, now.second);
      return DateText(now.year, now.month, now.day) + ' ' +
             TimeText(now.hour, now.minute, now.second);
    }
  }
  CString out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    auto lead = static_cast<unsigned char>(text[i]);
    if (lead > 0x80 && i + 1 < text.size()) {
      auto trail = static_cast<unsigned char>(text[i + 1]);
      auto row =
          std::find_if(std::begin(kDateChars), std::end(kDateChars),
                       [&](MappedChar const& m) { return m.lead == lead && m.trail == trail; });
      if (row != std::end(kDateChars)) {
        out.push_back(row->ascii);
      } else {
        out.append(text.substr(i, 2));
      }
      i += 2;
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

}  // namespace qel::dates

using qel::dates::NormalizeDateChars;
using qel::dates::ReadNumber;

CString CPublicFun::StandardDate(char const* s) {
  if (s == nullptr || *s == '\0') return CString();
  try {
    CString normal = NormalizeDateChars(s);
    std::string_view t = normal;
    int year = 0, month = 0, day = 0;
    std::size_t p = FindFirst(t, kDateSeparators);
    if (p == std::string_view::npos) {
      year = ReadNumber(t);
    } else {
      year = ReadNumber(t.substr(0, p));
      t = t.substr(p + 1);
      std::size_t q = FindFirst(t, kDateSeparators);
      if (q == std::string_view::npos) {
        month = ReadNumber(t);
      } else {
        month = ReadNumber(t.substr(0, q));
        day = ReadNumber(t.substr(q + 1));
      }
    }
    return DateText(AdjustYear(year), Clamp(month, 12), Clamp(day, 31));
  } catch (...) {
    return CString();
  }
}

CString CPublicFun::StandardTime(char const* s) {
  if (s == nullptr || *s == '\0') return CString();
  try {
    CString normal = NormalizeDateChars(s);
    std::string_view t = normal;
    std::size_t p = FindFirst(t, kTimeSeparators);
    if (p == std::string_view::npos) return CString();
    int hour = ReadNumber(t.substr(0, p));
    int minute = 0, second = 0;
    t = t.substr(p + 1);
    std::size_t q = FindFirst(t, kTimeSeparators);
    if (q == std::string_view::npos) {
      minute = ReadNumber(t);
    } else {
      minute = ReadNumber(t.substr(0, q));
      second = ReadNumber(t.substr(q + 1));
    }
    return TimeText(Clamp(hour, 23), Clamp(minute, 59), Clamp(second, 59));
  } catch (...) {
    return CString();
  }
}

CString CPublicFun::StandardDateTime(char const* s) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  // Reads as many fields as the text holds; the first missing step ends the reading.
  auto read = [&] {
    if (s == nullptr || *s == '\0') return;
    CString normal = NormalizeDateChars(s);
    std::string_view t = normal;
    std::size_t p = FindFirst(t, kDateSeparators);
    if (p == std::string_view::npos) return;
    year = ReadNumber(t.substr(0, p));
    t = t.substr(p + 1);
    p = FindFirst(t, kDateSeparators);
    if (p == std::string_view::npos) {
      month = ReadNumber(t);
      return;
    }
    month = ReadNumber(t.substr(0, p));
    t = t.substr(p + 1);
    day = ReadNumber(t);
    p = FindFirst(t, kDateTimeGap);
    if (p == std::string_view::npos) return;
    t = t.substr(p + 1);
    p = FindFirst(t, kTimeSeparators);
    if (p == std::string_view::npos) return;
    hour = ReadNumber(t.substr(0, p));
    t = t.substr(p + 1);
    p = FindFirst(t, kTimeSeparators);
    if (p == std::string_view::npos) {
      minute = ReadNumber(t);
      return;
    }
    minute = ReadNumber(t.substr(0, p));
    second = ReadNumber(t.substr(p + 1));
  };
  try {
    read();
  } catch (...) {
    // The fields read so far stand.
  }
  try {
    return DateText(AdjustYear(year), Clamp(month, 12), Clamp(day, 31)) + ' ' +
           TimeText(Clamp(hour, 23), Clamp(minute, 59), Clamp(second, 59));
  } catch (...) {
    return CString();
  }
}

CString CPublicFun::StandardCy(char const* s) {
  if (s == nullptr || *s == '\0') return "0.0";
  try {
    std::string_view t(s);
    std::size_t p = t.find('.');
    int whole = 0;
    CString fraction;
    if (p == std::string_view::npos) {
      whole = ReadNumber(t);
      fraction.assign(10, '0');
    } else {
      whole = ReadNumber(t.substr(0, p));
      fraction = t.substr(p + 1, 10);
      fraction.resize(10, '0');
    }
    CString out;
    AppendPadded(out, whole, 1);
    out.push_back('.');
    out += fraction;
    return out;
  } catch (...) {
    return "0.0";
  }
}

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Template letters and the field each one feeds (0 year ... 5 second), or -1.
int FieldOf(char c) {
  switch (c) {
    case 'y':
    case 'Y':
      return 0;
    case 'm':
    case 'M':
      return 1;
    case 'd':
    case 'D':
      return 2;
    case 'h':
    case 'H':
      return 3;
    case 't':
    case 'T':
      return 4;
    case 's':
    case 'S':
      return 5;
    default:
      return -1;
  }
}

// Full-width digits become ASCII digits, character by character; then every run of
// digits is cut into pairs from the left and a digit left alone gets a "0" before it.
CString PadDigits(std::string_view source) {
  CString narrow;
  narrow.reserve(source.size());
  for (std::size_t i = 0; i < source.size();) {
    auto lead = static_cast<unsigned char>(source[i]);
    if (lead > 0x80 && i + 1 < source.size()) {
      auto trail = static_cast<unsigned char>(source[i + 1]);
      if (lead == 0xA3 && trail >= 0xB0 && trail <= 0xB9) {
        narrow.push_back(static_cast<char>('0' + trail - 0xB0));
      } else {
        narrow.append(source.substr(i, 2));
      }
      i += 2;
    } else {
      narrow.push_back(source[i++]);
    }
  }
  CString padded;
  padded.reserve(narrow.size() * 2);
  for (std::size_t i = 0; i < narrow.size();) {
    if (!IsDigit(narrow[i])) {
      padded.push_back(narrow[i++]);
    } else if (i + 1 < narrow.size() && IsDigit(narrow[i + 1])) {
      padded.append(narrow, i, 2);
      i += 2;
    } else {
      padded.push_back('0');
      padded.push_back(narrow[i++]);
    }
  }
  return padded;
}

bool TemplateMatchesAt(std::string_view text, std::string_view format) {
  for (std::size_t j = 0; j < format.size(); ++j) {
    char c = text[j];
    if (FieldOf(format[j]) >= 0) {
      if (!IsDigit(c) && c != ' ' && c != format[j]) return false;
    } else if (c != format[j]) {
      return false;
    }
  }
  return true;
}

}  // namespace

CString CPublicFun::GetFormatDate(char const* source, char const* format) {
  if (source == nullptr || format == nullptr) return CString();
  try {
    std::string_view pattern(format);
    CString n = PadDigits(source);
    if (pattern.empty() || n.empty() || n.size() < pattern.size()) return CString();
    std::string_view text = n;
    std::size_t at = 0;
    while (at + pattern.size() <= text.size() && !TemplateMatchesAt(text.substr(at), pattern)) {
      ++at;
    }
    if (at + pattern.size() > text.size()) return CString();
    // Fields saturate at INT_MAX: the template may hold any number of letters.
    std::int64_t fields[6] = {};
    for (std::size_t j = 0; j < pattern.size(); ++j) {
      int field = FieldOf(pattern[j]);
      char c = text[at + j];
      if (field < 0 || c == ' ') continue;
      fields[field] = std::min<std::int64_t>(fields[field] * 10 + (c - '0'), INT_MAX);
    }
    auto [year, month, day, hour, minute, second] = fields;
    bool timePresent = hour != 0 && minute != 0 && second != 0;
    CString time;
    if (timePresent) time = TimeText(int(hour), int(minute), int(second));
    if (timePresent && year == 0) return month != 0 || day != 0 ? CString() : time;
    if (year < 10 || year > 2026 || month < 0 || month > 12 || day < 0 || day > 31) {
      return CString();
    }
    if (year < 100) year += 1900;
    CString out;
    if (year < 1000) out.push_back(' ');  // "%4d": the year padded with spaces
    AppendPadded(out, year, 1);
    out.push_back('.');
    AppendPadded(out, month, 2);
    out.push_back('.');
    AppendPadded(out, day, 2);
    if (timePresent) out += ' ' + time;
    return out;
  } catch (...) {
    return CString();
  }
}
