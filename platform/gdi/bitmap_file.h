// Bitmap files (.bmp) and device-independent bitmaps: their pixels as a 32-bit surface.
// Headers of 12 bytes (the oldest form) and of 40 bytes or more (with colour masks and
// colour spaces, which are not applied); 1, 4 and 8 bits per pixel through a palette, 16,
// 24 and 32 bits directly (16 and 32 also with bit-field masks), rows bottom-up or
// top-down. Run-length and embedded JPEG or PNG pictures are not read. Damaged, truncated
// or oversized data is rejected, never read past its end.
#ifndef QELSHARE_PLATFORM_GDI_BITMAP_FILE_H_
#define QELSHARE_PLATFORM_GDI_BITMAP_FILE_H_

#include <cstdint>
#include <string_view>

#include "platform/gdi/raster.h"

namespace qel::gdi {

// The largest bitmap the loaders make: a side and the whole area in pixels (a 256 MiB
// surface), so that a small hostile header cannot ask for a huge allocation.
inline constexpr int kMaxBitmapSide = 32767;
inline constexpr std::int64_t kMaxBitmapPixels = std::int64_t{1} << 26;

// The pixels of a .bmp file (starting "BM") or of a bitmap without the file's 14-byte
// header (its own header first); false for anything else.
bool DecodeBmp(std::string_view bytes, Surface& pixels);

}  // namespace qel::gdi

#endif  // QELSHARE_PLATFORM_GDI_BITMAP_FILE_H_
