// The hit set of a leaf from a library's index.
#ifndef QELSHARE_SEARCH_INDEX_LEAF_H_
#define QELSHARE_SEARCH_INDEX_LEAF_H_

#include "search/collection_state.h"
#include "search/leaf_rules.h"
#include "search/result_data.h"

namespace qel::search {

// Sets in bits (sized for the library's records) the records the leaf matches: a word of
// one character, or of two with a pair set, from its set alone; a field that lists its
// values from the values that match; words, NEAR, ORDER and PARA from the positions of
// their characters in the records holding all of them (and every pair that has a set),
// with the leaf rules. Only what positions cannot answer (a word ending in a lead byte, a
// value or comparison in a field that lists no values, PARA in a record where a lead byte
// takes an LF as its trail) is checked against the records themselves. kCorrupt when the
// index is damaged or the record file changed.
Status IndexLeafHits(LibraryState const& lib, Leaf const& leaf, Bits& bits);

}  // namespace qel::search

#endif  // QELSHARE_SEARCH_INDEX_LEAF_H_
