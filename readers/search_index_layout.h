// Constants and byte helpers of the index file's layout (see search_index.h), shared by
// its writer and its reader.
#ifndef QELSHARE_READERS_SEARCH_INDEX_LAYOUT_H_
#define QELSHARE_READERS_SEARCH_INDEX_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qel::search_index::layout {

inline constexpr char kMagic[8] = {'Q', 'E', 'L', 'I', 'N', 'D', 'E', 'X'};
inline constexpr std::size_t kHeader = 80;
inline constexpr std::size_t kDirEntry = 32;
inline constexpr std::size_t kTermEntry = 24;
inline constexpr std::size_t kCodeBytes = 16;

template <typename T>
void Put(std::string& out, T v) {
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    out += static_cast<char>(static_cast<std::uint64_t>(v) >> (8 * i));
  }
}

template <typename T>
void PutAt(std::string& out, std::size_t at, T v) {
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    out[at + i] = static_cast<char>(static_cast<std::uint64_t>(v) >> (8 * i));
  }
}

template <typename T>
T Get(std::string_view bytes, std::size_t at) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    v |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return static_cast<T>(v);
}

}  // namespace qel::search_index::layout

#endif  // QELSHARE_READERS_SEARCH_INDEX_LAYOUT_H_
