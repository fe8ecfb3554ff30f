// How the search index codes a record's positions of a character, in its segments and in
// the index file alike: the first position, then each gap to the next one less one, each
// number in bytes whose last one says whether another number follows.
//
// A byte of 0x80 or above carries seven bits of the number, low bits first, and another
// byte follows; the last byte carries the top six: 0x40 | bits when another position
// follows, the bits alone (a byte below 0x40) when the record's positions end there. So a
// number below 64 takes one byte, the record's end costs no byte of its own, and records
// are counted, or passed over, by their bytes below 0x40.
#ifndef QELSHARE_READERS_POSITION_CODE_H_
#define QELSHARE_READERS_POSITION_CODE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qel::search_index::position_code {

inline constexpr unsigned char kMore = 0x40;
// The most bytes a number takes: 4 x 7 + 6 bits reach past 32.
inline constexpr std::size_t kMostBytes = 5;

// Appends one number: a first position, or a gap less one; more when another follows.
inline void Put(std::vector<unsigned char>& out, std::uint32_t v, bool more) {
  for (; v >= 0x40; v >>= 7) out.push_back(static_cast<unsigned char>(v | 0x80));
  out.push_back(static_cast<unsigned char>(v | (more ? kMore : 0)));
}

// The bytes below 0x40 among the eight bytes of word: the records that end in them.
inline std::size_t EndsIn(std::uint64_t word) {
  // A byte's bit 6 moved onto its bit 7 (no bit crosses into the next byte's top bit).
  constexpr std::uint64_t kTops = 0x8080808080808080ull;
  std::uint64_t ends = ~(word | word << 1) & kTops;
  return static_cast<std::size_t>(((ends >> 7) * 0x0101010101010101ull) >> 56);
}

// Reads one number at p (before end) into v, more telling whether another follows; the
// byte after it, or nullptr when it runs past end or past 32 bits.
inline unsigned char const* Get(unsigned char const* p, unsigned char const* end, std::uint32_t& v,
                                bool& more) {
  std::uint64_t value = 0;
  for (unsigned shift = 0; p < end && shift < 7 * kMostBytes; shift += 7) {
    unsigned char b = *p++;
    if (b < 0x80) {
      value |= std::uint64_t{b & 0x3Fu} << shift;
      if (value > UINT32_MAX) return nullptr;
      v = static_cast<std::uint32_t>(value);
      more = (b & kMore) != 0;
      return p;
    }
    value |= std::uint64_t{b & 0x7Fu} << shift;
  }
  return nullptr;
}

// The end of the record's positions starting at p: the byte after its first byte below
// 0x40, or nullptr when there is none before end.
inline unsigned char const* End(unsigned char const* p, unsigned char const* end) {
  for (; p < end; ++p) {
    if (*p < kMore) return p + 1;
  }
  return nullptr;
}

}  // namespace qel::search_index::position_code

#endif  // QELSHARE_READERS_POSITION_CODE_H_
