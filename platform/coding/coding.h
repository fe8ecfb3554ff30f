// Fixed-width integers as the file formats store them: little-endian in the library's
// own formats (descriptor, field table, record file, index, packages, compound files,
// WAV, bitmaps and icons), big-endian in Standard MIDI Files. Every reader and writer of
// those formats codes its integers here, so that a byte order is written once.
//
// Pointers may be unaligned and of any byte type; callers check the bounds.
#ifndef QELSHARE_PLATFORM_CODING_CODING_H_
#define QELSHARE_PLATFORM_CODING_CODING_H_

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

namespace qel::coding {

// The low width bytes (1 to 8) of v, least significant first.
inline void PutN(void* p, std::uint64_t v, int width) {
  auto* b = static_cast<unsigned char*>(p);
  for (int i = 0; i < width; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
}
// The width bytes (1 to 8) at p, least significant first.
inline std::uint64_t GetN(void const* p, int width) {
  auto const* b = static_cast<unsigned char const*>(p);
  std::uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = v << 8 | b[i];
  return v;
}

// The fixed widths: a plain copy where the processor is little-endian, so that each is
// one load or store whatever the compiler makes of the loops above where they are inlined.
template <class T>
inline void PutFixed(void* p, T v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, sizeof v);
  } else {
    PutN(p, v, sizeof v);
  }
}
template <class T>
inline T GetFixed(void const* p) {
  if constexpr (std::endian::native == std::endian::little) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
  } else {
    return static_cast<T>(GetN(p, sizeof(T)));
  }
}

inline void Put16(void* p, std::uint16_t v) {
  PutFixed(p, v);
}
inline void Put32(void* p, std::uint32_t v) {
  PutFixed(p, v);
}
inline void Put64(void* p, std::uint64_t v) {
  PutFixed(p, v);
}
inline std::uint16_t Get16(void const* p) {
  return GetFixed<std::uint16_t>(p);
}
inline std::uint32_t Get32(void const* p) {
  return GetFixed<std::uint32_t>(p);
}
inline std::uint64_t Get64(void const* p) {
  return GetFixed<std::uint64_t>(p);
}

// Appends v to out, least significant byte first.
inline void Append16(std::string& out, std::uint16_t v) {
  char b[2];
  Put16(b, v);
  out.append(b, 2);
}
inline void Append32(std::string& out, std::uint32_t v) {
  char b[4];
  Put32(b, v);
  out.append(b, 4);
}
inline void Append64(std::string& out, std::uint64_t v) {
  char b[8];
  Put64(b, v);
  out.append(b, 8);
}

// Variable-length integers (LEB128): seven bits a byte, least significant first, the high
// bit set on every byte but the last. Only the value 0 ends in a zero byte.
// Writes v at out (room for five bytes); returns the end of what was written.
inline unsigned char* PutVarint32(unsigned char* out, std::uint32_t v) {
  for (; v >= 0x80; v >>= 7) *out++ = static_cast<unsigned char>(v | 0x80);
  *out++ = static_cast<unsigned char>(v);
  return out;
}
template <class Bytes>
inline void AppendVarint32(Bytes& out, std::uint32_t v) {
  unsigned char bytes[5];
  out.insert(out.end(), bytes, PutVarint32(bytes, v));
}
// Reads a varint of at most five bytes at p, before end: the byte after it, or nullptr
// when it runs past end or past 32 bits.
inline unsigned char const* GetVarint32(unsigned char const* p, unsigned char const* end,
                                        std::uint32_t& v) {
  v = 0;
  for (int shift = 0; p < end && shift < 35; shift += 7) {
    unsigned char b = *p++;
    if (shift == 28 && b > 0x0F) return nullptr;
    v |= static_cast<std::uint32_t>(b & 0x7F) << shift;
    if (b < 0x80) return p;
  }
  return nullptr;
}

// Big-endian, most significant byte first.
inline std::uint16_t GetBe16(void const* p) {
  auto const* b = static_cast<unsigned char const*>(p);
  return static_cast<std::uint16_t>(b[0] << 8 | b[1]);
}
inline std::uint32_t GetBe24(void const* p) {
  auto const* b = static_cast<unsigned char const*>(p);
  return std::uint32_t{b[0]} << 16 | std::uint32_t{b[1]} << 8 | b[2];
}
inline std::uint32_t GetBe32(void const* p) {
  auto const* b = static_cast<unsigned char const*>(p);
  return std::uint32_t{b[0]} << 24 | GetBe24(b + 1);
}

}  // namespace qel::coding

#endif  // QELSHARE_PLATFORM_CODING_CODING_H_
