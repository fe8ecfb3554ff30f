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
// kInline | their count, its offset field the first two records (the first in the low 32
// bits), its hash field InlineHash: the third record in its low half and a check of all
// three in its high half. A record slot not used holds all ones.
inline constexpr std::uint32_t kInline = 0x80000000u;
inline constexpr std::size_t kInlineMost = 3;
template <class Records>
constexpr std::uint64_t InlineFirstTwo(Records const& records) {
  std::uint64_t second = records.size() > 1 ? records[1] : 0xFFFFFFFFu;
  return second << 32 | records[0];
}
template <class Records>
constexpr std::uint32_t InlineThird(Records const& records) {
  return records.size() > 2 ? records[2] : 0xFFFFFFFFu;
}
constexpr std::uint64_t InlineHash(std::uint64_t first_two, std::uint32_t third) {
  std::uint64_t check =
      ((first_two ^ std::uint64_t{third} << 17 ^ 0x51ED270B27D4A3C5ull) * 0x9E3779B97F4A7C15ull) >>
      32;
  return check << 32 | third;
}

// A character's positions are cut into blocks of kPositionBlock records, each with its
// end and check in the block table, so that a query reads and checks only the blocks of
// the records it looks at.
inline constexpr std::size_t kPositionBlock = 64;
constexpr std::size_t PositionBlocks(std::size_t records) {
  return (records + kPositionBlock - 1) / kPositionBlock;
}
// The block table's hash and block count, before its entries of kPositionEntry bytes.
inline constexpr std::size_t kPositionsHead = 12;
inline constexpr std::size_t kPositionEntry = 8;

}  // namespace qel::search_index::layout

#endif  // QELSHARE_READERS_SEARCH_INDEX_LAYOUT_H_
