// Constants of the index file's layout (see search_index.h), shared by its writer and its
// reader; its integers are coded by platform/coding.
#ifndef QELSHARE_READERS_SEARCH_INDEX_LAYOUT_H_
#define QELSHARE_READERS_SEARCH_INDEX_LAYOUT_H_

#include <cstddef>
#include <cstdint>

namespace qel::search_index::layout {

inline constexpr char kMagic[8] = {'Q', 'E', 'L', 'I', 'N', 'D', 'E', 'X'};
inline constexpr std::size_t kHeader = 80;
inline constexpr std::size_t kDirEntry = 32;
inline constexpr std::size_t kTermEntry = 24;
inline constexpr std::size_t kCodeBytes = 16;
// A field's top keys: the key of every kTopEvery-th term, so that a lookup searches them
// and then one stretch of kTopEvery entries (a page or two of the table).
inline constexpr std::size_t kTopEvery = 256;
constexpr std::uint64_t TopKeys(std::uint64_t terms) {
  return (terms + kTopEvery - 1) / kTopEvery;
}

}  // namespace qel::search_index::layout

#endif  // QELSHARE_READERS_SEARCH_INDEX_LAYOUT_H_
