// The hit set of a leaf from a library's index.
#ifndef QELSHARE_SEARCH_INDEX_LEAF_H_
#define QELSHARE_SEARCH_INDEX_LEAF_H_

#include "search/collection_state.h"
#include "search/leaf_rules.h"
#include "search/result_data.h"

namespace qel::search {

// Sets in bits (sized for the library's records) the records the leaf matches: a word of
// one or two characters from its set alone, a field that lists its values from the values
// that match, anything else from the records holding every character pair of its words,
// each checked against the leaf rules. kCorrupt when the index is damaged or the record
// file changed.
Status IndexLeafHits(LibraryState const& lib, Leaf const& leaf, Bits& bits);

}  // namespace qel::search

#endif  // QELSHARE_SEARCH_INDEX_LEAF_H_
