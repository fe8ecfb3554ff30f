// qel::Record: one record of a retrieval library as a search reads it back, its fields
// with the spans of the words a search hit, and a short context around the first hit of a
// field (keyword in context) for result lists.
//
// A record is the lines CODE=value of the record file; a code met on several lines has
// one field whose value is those lines joined by LF. Values are GBK unless the record was
// converted with ToUtf8; spans are byte ranges of the value they belong to.
#ifndef QELSHARE_RECORD_H_
#define QELSHARE_RECORD_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qelshare/export.h"

namespace qel {

struct Field;

// Bytes [begin, end) of a value.
struct Span {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool operator==(Span const&) const = default;
};

// One field of a record.
struct FieldValue {
  std::string code;        // the code on the record's lines ("TI")
  std::string name;        // the first name the field table gives the code ("title"), or empty
  std::string value;       // the lines of the code joined by LF
  std::vector<Span> hits;  // words of the search in the value, in order, not overlapping
};

// A piece of a field around its first hit: at most `context` characters on each side,
// cut at characters (never inside one) and at the value's line ends.
struct Snippet {
  std::string text;
  std::vector<Span> hits;   // in text
  bool cut_before = false;  // text does not start where the value starts
  bool cut_after = false;   // text does not end where the value ends
};

class QELSHARE_API Record {
 public:
  std::size_t library = 0;         // the library's place in its collection
  std::uint32_t number = 0;        // 0-based, in the order of the record file
  std::uint64_t offset = 0;        // where the record starts in the record file
  std::vector<FieldValue> fields;  // in the order of the record's lines

  // The field of a code, or of a name in the library's field table (a group field names
  // no single value); null when the record has none.
  FieldValue const* Find(std::string_view code_or_name) const;

  // The context of the first hit of the field code_or_name; a field without hits gives
  // its start. An empty snippet when the record has no such field.
  Snippet Kwic(std::string_view code_or_name, std::size_t context = 15) const;

  // The same record with codes, names and values in UTF-8 and the spans moved with them.
  Record ToUtf8() const;

  // The library's field table, for Find by name (set by the reader of the record).
  std::shared_ptr<std::vector<Field> const> table;
};

}  // namespace qel

#endif  // QELSHARE_RECORD_H_
