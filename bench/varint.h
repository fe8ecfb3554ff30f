// LEB128 varints (seven bits a byte, the high bit marking that more follow), the coding the
// positional-postings benchmarks measure and build with.
#ifndef QEL_BENCH_VARINT_H_
#define QEL_BENCH_VARINT_H_

#include <cstdint>
#include <vector>

namespace qel::bench {

// Writes v at out; returns the end of what was written (at most 5 bytes).
inline std::uint8_t* PutVarint(std::uint32_t v, std::uint8_t* out) {
  while (v >= 0x80) {
    *out++ = static_cast<std::uint8_t>(v | 0x80);
    v >>= 7;
  }
  *out++ = static_cast<std::uint8_t>(v);
  return out;
}

inline void AppendVarint(std::uint32_t v, std::vector<std::uint8_t>& out) {
  std::uint8_t bytes[5];
  out.insert(out.end(), bytes, PutVarint(v, bytes));
}

// Reads the varint at p and moves p past it.
inline std::uint32_t GetVarint(std::uint8_t const*& p) {
  std::uint32_t v = *p & 0x7F;
  for (int shift = 7; *p++ & 0x80; shift += 7) v |= static_cast<std::uint32_t>(*p & 0x7F) << shift;
  return v;
}

}  // namespace qel::bench

#endif  // QEL_BENCH_VARINT_H_
