// Pictures through Qt's images: PNG files read and written, and Qt images made into the
// floor's bitmaps and icons (CQtBridge::BitmapFromImage and IconFromImage).
#ifndef QELSHARE_PLATFORM_GDI_PNG_H_
#define QELSHARE_PLATFORM_GDI_PNG_H_

#include <string>
#include <string_view>

#include "platform/gdi/raster.h"
#include "qelshare/window.h"

class QImage;

namespace qel::gdi {

// Writes an icon with its transparency to path (a temporary file renamed into place);
// false when the icon is invalid or the file cannot be written.
bool WriteIconPng(HICON icon, std::string const& path);

// Writes image as a PNG file at path (the system's name) durably: beside it, synced,
// renamed into place. False when it cannot be encoded or written.
bool SavePngDurably(QImage const& image, std::string const& path);

// Whether the bytes start with the PNG signature.
bool IsPng(std::string_view bytes);
// The size a PNG file's header gives; false when the bytes do not start with a PNG
// signature and header.
bool PngSize(std::string_view bytes, int& width, int& height);
// The pixels of a PNG file: colour holds them as stored, alpha dropped. With a mask, the
// alpha channel becomes it instead (1 where alpha is below 128, those pixels 0 in
// colour), as an icon holds it. False for data that is not a readable PNG, or whose size
// passes the bitmap limits (kMaxBitmapSide, kMaxBitmapPixels).
bool DecodePng(std::string_view bytes, Surface& colour, Surface* mask);

}  // namespace qel::gdi

#endif  // QELSHARE_PLATFORM_GDI_PNG_H_
