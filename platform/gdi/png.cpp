#include "platform/gdi/png.h"

#include <QImage>
#include <QSaveFile>

#include "platform/gdi/gdi.h"

namespace qel::gdi {

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
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly) || !argb.save(&file, "PNG")) return false;
  return file.commit();
}

}  // namespace qel::gdi
