// What a result holds beside its texts: per library the hit set and what reading its hits
// needs.
#ifndef QELSHARE_SEARCH_RESULT_DATA_H_
#define QELSHARE_SEARCH_RESULT_DATA_H_

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/bitmap/roaring.h"
#include "qelshare/session.h"
#include "search/collection_state.h"

namespace qel::search {

// A hit set: bit n (byte n / 8, bit n % 8 from the lowest) is record n.
using Bits = std::vector<unsigned char>;

}  // namespace qel::search

namespace qel {

struct Result::Data {
  struct Library {
    bitmap::RecordSet hits;
    std::uint64_t records = 0;
    std::shared_ptr<search::Offsets const> offsets;  // of a scanned library
    // Highlight strings whose words the hits mark: the result's own, then those of the
    // results it refined (split into words only when a record is read).
    std::vector<std::string> redkeys;
    // Values of the value items (fields of type D and #, which the highlight string does
    // not carry), as (code, value): a field equal to one is marked whole.
    std::vector<std::pair<std::string, std::string>> values;
  };
  std::shared_ptr<Collection::State const> state;
  std::vector<Library> libraries;
};

}  // namespace qel

#endif  // QELSHARE_SEARCH_RESULT_DATA_H_
