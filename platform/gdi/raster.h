// The raster of the GDI floor: plain pixel buffers and the raster operations on them.
//
// A Surface is 32 bits per pixel (0x00RRGGBB, the byte order of a 32-bit device
// independent bitmap and of Qt's RGB32 images) or 1 bit per pixel (one byte 0 or 1 per
// pixel, 1 = white). Raster operations are the platform's ternary codes: bit
// (P << 2 | S << 1 | D) of the code is the result for pattern P, source S, destination D,
// applied to every bit of a pixel.
#ifndef QELSHARE_PLATFORM_GDI_RASTER_H_
#define QELSHARE_PLATFORM_GDI_RASTER_H_

#include <cstdint>
#include <vector>

namespace qel::gdi {

struct Surface {
  int width = 0;
  int height = 0;
  int bits = 32;                      // 32 or 1
  std::vector<std::uint32_t> pixels;  // bits 32: width * height
  std::vector<std::uint8_t> mono;     // bits 1: width * height, 0 or 1

  Surface() = default;
  Surface(int w, int h, int bitCount);
  void Resize(int w, int h);
  std::uint32_t* Row(int y) { return pixels.data() + static_cast<std::size_t>(y) * width; }
  std::uint8_t* MonoRow(int y) { return mono.data() + static_cast<std::size_t>(y) * width; }
};

// COLORREF (0x00BBGGRR) <-> pixel (0x00RRGGBB).
inline std::uint32_t PixelOf(std::uint32_t colorref) {
  return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
}
inline std::uint32_t ColorOf(std::uint32_t pixel) {
  return PixelOf(pixel) & 0xFFFFFF;
}

// A pattern: solid (hatch < 0) or an 8 x 8 hatch of the platform's six kinds, with the
// colour of its lines (fore) and of its gaps (back); transparentGaps leaves gaps alone.
struct Pattern {
  std::uint32_t fore = 0;  // pixel value
  std::uint32_t back = 0;
  int hatch = -1;
  bool transparentGaps = false;
  bool At(int x, int y) const;  // true on a hatch line (always true when solid)
};

// How source pixels convert when the surfaces differ: mono -> colour gives text colour
// for 0 and background colour for 1 (the destination context's); colour -> mono gives 1
// where the pixel equals the source context's background colour.
struct Conversion {
  std::uint32_t monoZero = 0;         // destination text colour (pixel)
  std::uint32_t monoOne = 0xFFFFFF;   // destination background colour (pixel)
  std::uint32_t sourceBk = 0xFFFFFF;  // source background colour (pixel)
};

// One ternary raster operation on a whole pixel word.
inline std::uint32_t Rop3(std::uint8_t code, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
  std::uint32_t r = 0;
  for (int i = 0; i < 8; ++i) {
    if (!((code >> i) & 1)) continue;
    r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
  }
  return r;
}

// Blits width x height from source (sx, sy) onto dest (dx, dy) with the ternary code,
// pattern origin at dest (0, 0); mask (1-bit, may be null) chooses per pixel between
// fore (mask 1) and back (mask 0). Rectangles are clipped to all surfaces; source may be
// null for codes that do not read it.
void Blit(Surface& dest, int dx, int dy, int width, int height, Surface const* source, int sx,
          int sy, Conversion const& conv, Pattern const& pattern, std::uint8_t fore,
          Surface const* mask = nullptr, int mx = 0, int my = 0, std::uint8_t back = 0xAA);

// Fills a rectangle with the pattern (PATCOPY), honouring transparent hatch gaps.
void Fill(Surface& dest, int left, int top, int right, int bottom, Pattern const& pattern);

// The surface resized to width x height (both above 0) by taking the nearest pixel, as the
// platform's loaders scale icons and bitmaps; same bit count.
Surface ScaleNearest(Surface const& source, int width, int height);

}  // namespace qel::gdi

#endif  // QELSHARE_PLATFORM_GDI_RASTER_H_
