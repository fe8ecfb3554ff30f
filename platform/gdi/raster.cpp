#include "platform/gdi/raster.h"

#include <algorithm>
#include <cstring>

namespace qel::gdi {
namespace {

// The platform's hatch patterns, one byte per row, the leftmost pixel in the high bit.
constexpr std::uint8_t kHatches[6][8] = {
    {0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00},  // horizontal
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // vertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // forward diagonal
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // backward diagonal
    {0x08, 0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08},  // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // diagonal cross
};

std::uint8_t MonoOf(std::uint32_t pixel) {
  unsigned sum = ((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF);
  return sum >= 384 ? 1 : 0;
}

bool UsesSource(std::uint8_t code) {
  return ((code >> 2) ^ code) & 0x33;
}
bool UsesPattern(std::uint8_t code) {
  return ((code >> 4) ^ code) & 0x0F;
}

// Applies the code to one pixel word; the common codes avoid the generic sum of terms.
inline std::uint32_t Apply(std::uint8_t code, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
  switch (code) {
    case 0x00:
      return 0;
    case 0xFF:
      return ~0u;
    case 0xCC:
      return s;
    case 0xAA:
      return d;
    case 0xF0:
      return p;
    case 0x88:
      return s & d;
    case 0xEE:
      return s | d;
    case 0x66:
      return s ^ d;
    case 0x22:
      return d & ~s;
    case 0x33:
      return ~s;
    case 0x55:
      return ~d;
    case 0x5A:
      return p ^ d;
    default:
      return Rop3(code, p, s, d);
  }
}

// The code over one row of a colour surface; the frequent codes as plain loops.
void ApplyRow(std::uint8_t code, std::uint32_t const* p, std::uint32_t const* s, std::uint32_t* d,
              int width) {
  switch (code) {
    case 0xAA:
      return;
    case 0xCC:
      std::memcpy(d, s, static_cast<std::size_t>(width) * 4);
      return;
    case 0xF0:
      std::memcpy(d, p, static_cast<std::size_t>(width) * 4);
      return;
    case 0x00:
      std::fill(d, d + width, 0u);
      return;
    case 0xFF:
      std::fill(d, d + width, 0xFFFFFFu);
      return;
    case 0x88:
      for (int i = 0; i < width; ++i) d[i] &= s[i];
      return;
    case 0xEE:
      for (int i = 0; i < width; ++i) d[i] |= s[i];
      return;
    case 0x66:
      for (int i = 0; i < width; ++i) d[i] ^= s[i];
      return;
    case 0x22:
      for (int i = 0; i < width; ++i) d[i] &= ~s[i];
      return;
    default:
      for (int i = 0; i < width; ++i)
        d[i] = Rop3(code, p ? p[i] : 0, s ? s[i] : 0, d[i]) & 0xFFFFFF;
  }
}

}  // namespace

Surface::Surface(int w, int h, int bitCount) : bits(bitCount == 1 ? 1 : 32) {
  Resize(w, h);
}

void Surface::Resize(int w, int h) {
  width = std::max(w, 0);
  height = std::max(h, 0);
  std::size_t n = static_cast<std::size_t>(width) * height;
  if (bits == 1) {
    mono.assign(n, 0);
    pixels.clear();
  } else {
    pixels.assign(n, 0);
    mono.clear();
  }
}

bool Pattern::At(int x, int y) const {
  if (hatch < 0 || hatch > 5) return true;
  return (kHatches[hatch][y & 7] >> (7 - (x & 7))) & 1;
}

void Blit(Surface& dest, int dx, int dy, int width, int height, Surface const* source, int sx,
          int sy, Conversion const& conv, Pattern const& pattern, std::uint8_t fore,
          Surface const* mask, int mx, int my, std::uint8_t back) {
  bool needSource = UsesSource(fore) || (mask && UsesSource(back));
  if (needSource && !source) return;
  if (mask && mask->bits != 1) return;
  // Clip the rectangle against every surface it touches, shifting all origins alike.
  auto clip = [&](int& ox, int& oy, int w, int h) {
    if (ox < 0) {
      width += ox;
      dx -= ox;
      sx -= ox;
      mx -= ox;
      ox = 0;
    }
    if (oy < 0) {
      height += oy;
      dy -= oy;
      sy -= oy;
      my -= oy;
      oy = 0;
    }
    width = std::min(width, w - ox);
    height = std::min(height, h - oy);
  };
  clip(dx, dy, dest.width, dest.height);
  if (needSource) clip(sx, sy, source->width, source->height);
  if (mask) clip(mx, my, mask->width, mask->height);
  if (width <= 0 || height <= 0) return;

  auto sourcePixel = [&](int x, int y) -> std::uint32_t {
    if (!needSource) return 0;
    if (source->bits == 1) {
      std::uint8_t bit = source->mono[static_cast<std::size_t>(y) * source->width + x];
      return dest.bits == 1 ? (bit ? ~0u : 0u) : (bit ? conv.monoOne : conv.monoZero);
    }
    std::uint32_t px = source->pixels[static_cast<std::size_t>(y) * source->width + x];
    if (dest.bits == 1) return (px & 0xFFFFFF) == conv.sourceBk ? ~0u : 0u;
    return px;
  };
  bool needPattern = UsesPattern(fore) || (mask && UsesPattern(back));
  std::uint32_t patternFore = dest.bits == 1 ? (MonoOf(pattern.fore) ? ~0u : 0u) : pattern.fore;
  std::uint32_t patternBack = dest.bits == 1 ? (MonoOf(pattern.back) ? ~0u : 0u) : pattern.back;

  if (dest.bits == 32) {
    // The common copy between colour surfaces is a row copy.
    if (!mask && fore == 0xCC && source->bits == 32) {
      for (int j = 0; j < height; ++j) {
        std::memcpy(dest.Row(dy + j) + dx,
                    source->pixels.data() + static_cast<std::size_t>(sy + j) * source->width + sx,
                    static_cast<std::size_t>(width) * 4);
      }
      return;
    }
    if (mask && fore == 0xAA && back == 0xCC && source->bits == 32) {
      for (int j = 0; j < height; ++j) {
        std::uint32_t* d = dest.Row(dy + j) + dx;
        std::uint32_t const* s =
            source->pixels.data() + static_cast<std::size_t>(sy + j) * source->width + sx;
        std::uint8_t const* m =
            mask->mono.data() + static_cast<std::size_t>(my + j) * mask->width + mx;
        for (int i = 0; i < width; ++i) d[i] = m[i] ? d[i] : s[i];
      }
      return;
    }
    // Rows of converted source and pattern values, then the code on whole rows.
    std::vector<std::uint32_t> sourceRow(needSource ? width : 0),
        patternRow(needPattern ? width : 0);
    for (int j = 0; j < height; ++j) {
      std::uint32_t* d = dest.Row(dy + j) + dx;
      std::uint32_t const* src = nullptr;
      if (needSource) {
        std::size_t at = static_cast<std::size_t>(sy + j) * source->width + sx;
        if (source->bits == 32) {
          src = source->pixels.data() + at;
        } else {
          std::uint8_t const* bits = source->mono.data() + at;
          for (int i = 0; i < width; ++i) sourceRow[i] = bits[i] ? conv.monoOne : conv.monoZero;
          src = sourceRow.data();
        }
      }
      if (needPattern) {
        for (int i = 0; i < width; ++i) {
          patternRow[i] = pattern.At(dx + i, dy + j) ? patternFore : patternBack;
        }
      }
      if (mask) {
        std::uint8_t const* m =
            mask->mono.data() + static_cast<std::size_t>(my + j) * mask->width + mx;
        for (int i = 0; i < width; ++i) {
          d[i] =
              Apply(m[i] ? fore : back, needPattern ? patternRow[i] : 0, src ? src[i] : 0, d[i]) &
              0xFFFFFF;
        }
      } else {
        ApplyRow(fore, needPattern ? patternRow.data() : nullptr, src, d, width);
      }
    }
    return;
  }
  if (!mask && fore == 0xCC && source->bits == 32) {
    for (int j = 0; j < height; ++j) {
      std::uint8_t* d = dest.MonoRow(dy + j) + dx;
      std::uint32_t const* src =
          source->pixels.data() + static_cast<std::size_t>(sy + j) * source->width + sx;
      for (int i = 0; i < width; ++i) d[i] = (src[i] & 0xFFFFFF) == conv.sourceBk;
    }
    return;
  }
  for (int j = 0; j < height; ++j) {
    std::uint8_t* d = dest.MonoRow(dy + j) + dx;
    for (int i = 0; i < width; ++i) {
      std::uint8_t code = fore;
      if (mask && !mask->mono[static_cast<std::size_t>(my + j) * mask->width + mx + i]) code = back;
      std::uint32_t p = 0;
      if (needPattern) p = pattern.At(dx + i, dy + j) ? patternFore : patternBack;
      std::uint32_t s = sourcePixel(sx + i, sy + j);
      d[i] = Apply(code, p, s, d[i] ? ~0u : 0u) & 1;
    }
  }
}

void Fill(Surface& dest, int left, int top, int right, int bottom, Pattern const& pattern) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, dest.width);
  bottom = std::min(bottom, dest.height);
  if (left >= right || top >= bottom) return;
  bool mono = dest.bits == 1;
  std::uint32_t fore = mono ? MonoOf(pattern.fore) : pattern.fore;
  std::uint32_t back = mono ? MonoOf(pattern.back) : pattern.back;
  if (pattern.hatch < 0) {
    for (int y = top; y < bottom; ++y) {
      if (mono) {
        std::fill(dest.MonoRow(y) + left, dest.MonoRow(y) + right, static_cast<std::uint8_t>(fore));
      } else {
        std::fill(dest.Row(y) + left, dest.Row(y) + right, fore);
      }
    }
    return;
  }
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      bool line = pattern.At(x, y);
      if (!line && pattern.transparentGaps) continue;
      std::uint32_t v = line ? fore : back;
      if (mono) {
        dest.MonoRow(y)[x] = static_cast<std::uint8_t>(v);
      } else {
        dest.Row(y)[x] = v;
      }
    }
  }
}

Surface ScaleNearest(Surface const& source, int width, int height) {
  Surface out(width, height, source.bits);
  if (source.width <= 0 || source.height <= 0) return out;
  for (int y = 0; y < height; ++y) {
    std::size_t from =
        static_cast<std::size_t>(static_cast<std::int64_t>(y) * source.height / height) *
        source.width;
    for (int x = 0; x < width; ++x) {
      std::size_t at =
          from + static_cast<std::size_t>(static_cast<std::int64_t>(x) * source.width / width);
      if (source.bits == 1) {
        out.MonoRow(y)[x] = source.mono[at];
      } else {
        out.Row(y)[x] = source.pixels[at];
      }
    }
  }
  return out;
}

}  // namespace qel::gdi
