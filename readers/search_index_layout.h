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
// A term of at most kInlineMost records holds them in its entry: its length field is
// kInline | their count, its offset field the records (the first in the low 32 bits, a
// second in the high ones, else all ones), its hash field InlineCheck of that.
inline constexpr std::uint32_t kInline = 0x80000000u;
inline constexpr std::size_t kInlineMost = 2;
template <class Records>
constexpr std::uint64_t InlineRecords(Records const& records) {
  std::uint64_t second = records.size() > 1 ? records[1] : 0xFFFFFFFFu;
  return second << 32 | records[0];
}
constexpr std::uint64_t InlineCheck(std::uint64_t records) {
  return (records ^ 0x51ED270B27D4A3C5ull) * 0x9E3779B97F4A7C15ull;
}

}  // namespace qel::search_index::layout

#endif  // QELSHARE_READERS_SEARCH_INDEX_LAYOUT_H_
