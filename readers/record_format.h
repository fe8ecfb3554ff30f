// The record file of a retrieval library (BASE.mrf), written and parsed here only.
//
// A record is lines CODE=value ending in CR LF, followed by a blank line; the record cutter
// cuts the file at kSeparator. A code met on several lines of a record is one field whose
// value is those lines joined by LF (a value of several lines is written that way). A line
// without "=", or starting with it, belongs to no field.
#ifndef QELSHARE_READERS_RECORD_FORMAT_H_
#define QELSHARE_READERS_RECORD_FORMAT_H_

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qel::records {

// The separator the record cutter is given ("^l" is CR LF): the blank line after a record.
inline constexpr char kSeparator[] = "^l^l";

// The fields of a record's text, in the order of their first lines.
using Fields = std::vector<std::pair<std::string, std::string>>;
void Parse(std::string_view text, Fields& fields);

// The value of one field of a record's text, as Parse would give it; false when the
// record has no such field.
bool FieldOf(std::string_view text, std::string_view code, std::string& value);

// One field viewed in place: its code and its whole value.
struct FieldView {
  std::string_view code;
  std::string_view value;
};
// The fields of a record's text as Parse gives them, viewed in place; the value of a code
// met twice is joined in `joined` (a deque: growing it moves no buffer), which the views
// point into until the next call.
void Views(std::string_view text, std::vector<FieldView>& fields,
           std::deque<std::pair<std::size_t, std::string>>& joined);

// Appends the lines of a record of (code, value) pairs and its blank line to out; empty
// values are left out, a CR before a value's LF is dropped. Appends nothing for a record
// without a value.
void Append(Fields const& record, std::string& out);

}  // namespace qel::records

#endif  // QELSHARE_READERS_RECORD_FORMAT_H_
