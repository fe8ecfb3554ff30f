#include "platform/gdi/bitmap_file.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "platform/coding/coding.h"

namespace qel::gdi {
namespace {

constexpr std::uint32_t kRgb = 0, kBitFields = 3;

// One colour channel given by a mask, scaled to 8 bits.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint32_t max = 0;
  explicit Channel(std::uint32_t m) : mask(m) {
    if (m == 0) return;
    shift = std::countr_zero(m);
    max = m >> shift;
  }
  std::uint32_t Of(std::uint32_t px) const {
    if (max == 0) return 0;
    std::uint64_t v = (px & mask) >> shift;
    return static_cast<std::uint32_t>((v * 255 + max / 2) / max);
  }
};

}  // namespace

bool DecodeBmp(std::string_view bytes, Surface& pixels) {
  // With the file header, bfOffBits says where the pixels start.
  std::size_t base = 0, bitsAt = 0;
  if (bytes.size() >= 14 && bytes[0] == 'B' && bytes[1] == 'M') {
    base = 14;
    bitsAt = coding::Get32(bytes.data() + 10);
  }
  if (bytes.size() < base + 12) return false;
  std::uint32_t headerSize = coding::Get32(bytes.data() + base);
  std::int64_t width, height;
  int bitCount;
  std::uint32_t compression = kRgb, used = 0;
  std::size_t entrySize = 4;
  if (headerSize == 12) {
    width = coding::Get16(bytes.data() + base + 4);
    height = coding::Get16(bytes.data() + base + 6);
    if (coding::Get16(bytes.data() + base + 8) != 1) return false;
    bitCount = coding::Get16(bytes.data() + base + 10);
    entrySize = 3;
  } else if (headerSize >= 40 && headerSize <= bytes.size() - base) {
    width = static_cast<std::int32_t>(coding::Get32(bytes.data() + base + 4));
    height = static_cast<std::int32_t>(coding::Get32(bytes.data() + base + 8));
    if (coding::Get16(bytes.data() + base + 12) != 1) return false;
    bitCount = coding::Get16(bytes.data() + base + 14);
    compression = coding::Get32(bytes.data() + base + 16);
    used = coding::Get32(bytes.data() + base + 32);
  } else {
    return false;
  }
  bool topDown = height < 0;
  height = topDown ? -height : height;
  if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide ||
      width * height > kMaxBitmapPixels) {
    return false;
  }
  bool direct = bitCount == 16 || bitCount == 24 || bitCount == 32;
  bool paletted = bitCount == 1 || bitCount == 4 || bitCount == 8;
  bool readable = compression == kRgb         ? direct || paletted
                  : compression == kBitFields ? bitCount == 16 || bitCount == 32
                                              : false;
  if (!readable) return false;

  // Colour masks: in the header from 52 bytes on, else just after a 40-byte header.
  std::size_t at = base + headerSize;
  std::uint32_t masks[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};
  if (bitCount == 16) {
    masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
  }
  if (compression == kBitFields) {
    std::size_t maskAt = headerSize >= 52 ? base + 40 : at;
    if (maskAt + 12 > bytes.size()) return false;
    for (int i = 0; i < 3; ++i) masks[i] = coding::Get32(bytes.data() + maskAt + 4 * i);
    if (headerSize < 52) at += 12;
  }

  // The palette (an optional one of direct pixels is skipped). Where the file header
  // places the pixels, a palette shorter than its count (as some writers of the oldest
  // header leave it) ends there.
  std::size_t colors = direct      ? used
                       : used == 0 ? std::size_t{1} << bitCount
                                   : std::min<std::size_t>(used, 1u << bitCount);
  std::size_t paletteAt = at;
  bool placed = bitsAt >= base + headerSize && bitsAt < bytes.size();
  if (placed && !direct && bitsAt >= paletteAt) {
    colors = std::min(colors, (bitsAt - paletteAt) / entrySize);
  }
  if (colors > (bytes.size() - std::min(at, bytes.size())) / entrySize) return false;
  std::vector<std::uint32_t> palette;
  if (!direct) {
    palette.resize(colors);
    for (std::size_t i = 0; i < colors; ++i) {
      std::size_t e = paletteAt + i * entrySize;
      auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[e + k]); };
      palette[i] = static_cast<std::uint32_t>(byte(2)) << 16 | byte(1) << 8 | byte(0);
    }
  }
  if (!placed) bitsAt = paletteAt + colors * entrySize;

  auto w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
  std::size_t stride = ((w * static_cast<std::size_t>(bitCount) + 31) / 32) * 4;
  if (bitsAt > bytes.size() || stride * h > bytes.size() - bitsAt) return false;

  Channel red(masks[0]), green(masks[1]), blue(masks[2]);
  bool plain32 =
      bitCount == 32 && masks[0] == 0x00FF0000 && masks[1] == 0x0000FF00 && masks[2] == 0x000000FF;
  Surface out(static_cast<int>(w), static_cast<int>(h), 32);
  for (std::size_t y = 0; y < h; ++y) {
    std::size_t row = bitsAt + stride * (topDown ? y : h - 1 - y);
    std::uint32_t* line = out.Row(static_cast<int>(y));
    for (std::size_t x = 0; x < w; ++x) {
      std::uint32_t px = 0;
      if (!direct) {
        std::size_t bit = x * static_cast<std::size_t>(bitCount);
        unsigned byte = static_cast<unsigned char>(bytes[row + bit / 8]);
        unsigned index = (byte >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1);
        if (index < palette.size()) px = palette[index];
      } else if (bitCount == 24) {
        std::size_t a = row + x * 3;
        px = static_cast<unsigned char>(bytes[a]) | static_cast<unsigned char>(bytes[a + 1]) << 8 |
             static_cast<unsigned char>(bytes[a + 2]) << 16;
      } else {
        std::uint32_t raw = bitCount == 16 ? coding::Get16(bytes.data() + row + x * 2)
                                           : coding::Get32(bytes.data() + row + x * 4);
        px = plain32 ? raw & 0xFFFFFF : red.Of(raw) << 16 | green.Of(raw) << 8 | blue.Of(raw);
      }
      line[x] = px;
    }
  }
  pixels = std::move(out);
  return true;
}

}  // namespace qel::gdi
