#include "platform/gdi/png.h"

#include <QBuffer>
#include <QByteArrayView>
#include <QImage>

#include "platform/fs/durable.h"
#include "platform/gdi/bitmap_file.h"
#include "platform/gdi/gdi.h"
#include "qelshare/qt.h"

namespace qel::gdi {
namespace {

// The colours of an image, and with a mask its alpha channel as an icon's AND mask.
bool SurfacesOf(QImage const& image, Surface& colour, Surface* mask) {
  if (image.isNull()) return false;
  QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  if (argb.isNull()) return false;  // the conversion could not allocate
  Surface c(argb.width(), argb.height(), 32), m(argb.width(), argb.height(), 1);
  for (int y = 0; y < argb.height(); ++y) {
    auto const* line = reinterpret_cast<QRgb const*>(argb.constScanLine(y));
    for (int x = 0; x < argb.width(); ++x) {
      bool clear = mask && qAlpha(line[x]) < 128;
      c.Row(y)[x] = clear ? 0u : line[x] & 0xFFFFFFu;
      m.MonoRow(y)[x] = clear ? 1 : 0;
    }
  }
  colour = std::move(c);
  if (mask) *mask = std::move(m);
  return true;
}

std::uint32_t BigEndian32(std::string_view s, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}

}  // namespace

bool WriteIconPng(HICON icon, std::string const& path) {
  Surface const* image = IconImage(icon);
  Surface const* mask = IconMask(icon);
  if (!image || !mask) return false;
  QImage argb(image->width, image->height, QImage::Format_ARGB32);
  for (int y = 0; y < image->height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
    for (int x = 0; x < image->width; ++x) {
      std::size_t at = static_cast<std::size_t>(y) * image->width + x;
      line[x] = mask->mono[at] ? 0u : (0xFF000000u | image->pixels[at]);
    }
  }
  return SavePngDurably(argb, path);
}

bool SavePngDurably(QImage const& image, std::string const& path) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return false;
  std::string error;
  return fs::WriteFileDurably(path, {bytes.constData(), static_cast<std::size_t>(bytes.size())},
                              error, fs::PathKind::kSystem);
}

bool IsPng(std::string_view bytes) {
  return bytes.substr(0, 8) == std::string_view("\x89PNG\r\n\x1A\n", 8);
}

bool PngSize(std::string_view bytes, int& width, int& height) {
  if (!IsPng(bytes) || bytes.size() < 24 || bytes.substr(12, 4) != "IHDR") return false;
  std::uint32_t w = BigEndian32(bytes, 16), h = BigEndian32(bytes, 20);
  // The format allows sides up to 2^31 - 1.
  if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

bool DecodePng(std::string_view bytes, Surface& colour, Surface* mask) {
  // The header gives the size before anything is allocated.
  int w, h;
  if (!PngSize(bytes, w, h) || w > kMaxBitmapSide || h > kMaxBitmapSide ||
      std::int64_t{w} * h > kMaxBitmapPixels) {
    return false;
  }
  QImage image = QImage::fromData(QByteArrayView(bytes.data(), bytes.size()), "PNG");
  return SurfacesOf(image, colour, mask);
}

}  // namespace qel::gdi

HBITMAP CQtBridge::BitmapFromImage(QImage const& image) {
  qel::gdi::Surface colour;
  if (!qel::gdi::SurfacesOf(image, colour, nullptr)) return nullptr;
  return qel::gdi::CreateBitmapFromSurface(std::move(colour));
}

HICON CQtBridge::IconFromImage(QImage const& image) {
  qel::gdi::Surface colour, mask;
  if (!qel::gdi::SurfacesOf(image, colour, &mask)) return nullptr;
  return qel::gdi::CreateIconFromSurfaces(std::move(colour), std::move(mask));
}
