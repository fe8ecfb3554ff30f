// DrawTextA: glyphs from Qt's font engine, drawn without anti-aliasing so that every
// pixel is either the text colour or left as it was (the background colour fills the
// text's box in OPAQUE mode).
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include "platform/gdi/gdi.h"
#include "platform/text/codepage.h"

namespace {

QFont QtFontOf(HFONT font) {
  std::string face;
  int height = 12;
  qel::gdi::FontOf(font, face, height);
  QFont f(face.empty() ? QStringLiteral("WenQuanYi Micro Hei") : QString::fromStdString(face));
  f.setFamilies({f.family(), QStringLiteral("WenQuanYi Micro Hei")});
  f.setPixelSize(std::max(height, 1));
  f.setStyleStrategy(QFont::NoAntialias);
  return f;
}

}  // namespace

int DrawTextA(HDC dc, char const* text, int count, tagRECT* rect, UINT format) {
  qel::gdi::Surface* surface = qel::gdi::SurfaceOf(dc);
  if (!surface || !text || !rect || !qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    return 0;
  }
  std::string_view bytes(text, count < 0 ? std::strlen(text) : static_cast<std::size_t>(count));
  std::u16string utf16;
  qel::text::GbkToUtf16(bytes, utf16);
  QString s = QString::fromStdU16String(utf16);
  QFont font = QtFontOf(qel::gdi::CurrentFont(dc));
  QFontMetrics metrics(font);

  int width = rect->right - rect->left;
  int height = rect->bottom - rect->top;
  int flags = Qt::TextShowMnemonic;
  if (format & DT_NOPREFIX) flags = 0;
  flags |= (format & DT_CENTER)  ? Qt::AlignHCenter
           : (format & DT_RIGHT) ? Qt::AlignRight
                                 : Qt::AlignLeft;
  if (format & DT_SINGLELINE) {
    flags |= (format & DT_VCENTER)  ? Qt::AlignVCenter
             : (format & DT_BOTTOM) ? Qt::AlignBottom
                                    : Qt::AlignTop;
    flags |= Qt::TextSingleLine;
  } else {
    flags |= Qt::AlignTop;
    if (format & DT_WORDBREAK) flags |= Qt::TextWordWrap;
  }
  QRect box = metrics.boundingRect(QRect(0, 0, std::max(width, 1), std::max(height, 1)), flags, s);
  if (format & DT_CALCRECT) {
    rect->right = rect->left + box.width();
    rect->bottom = rect->top + box.height();
    return box.height();
  }
  if (width <= 0 || height <= 0) return box.height();

  // The glyphs as coverage, then written in the text colour.
  QImage glyphs(width, height, QImage::Format_ARGB32_Premultiplied);
  glyphs.fill(Qt::transparent);
  {
    QPainter painter(&glyphs);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.drawText(QRect(0, 0, width, height), flags, s);
  }
  tagRECT fill = {rect->left + box.left(), rect->top + box.top(), rect->left + box.right() + 1,
                  rect->top + box.bottom() + 1};
  std::uint32_t ink = qel::gdi::PixelOf(GetTextColor(dc));
  if (GetBkMode(dc) == OPAQUE) {
    HBRUSH bk = CreateSolidBrush(GetBkColor(dc));
    FillRect(dc, &fill, bk);
    DeleteObject(bk);
  }
  for (int y = 0; y < height; ++y) {
    int ty = rect->top + y;
    if (ty < 0 || ty >= surface->height) continue;
    auto const* line = reinterpret_cast<QRgb const*>(glyphs.constScanLine(y));
    for (int x = 0; x < width; ++x) {
      int tx = rect->left + x;
      if (tx < 0 || tx >= surface->width || qAlpha(line[x]) < 128) continue;
      if (surface->bits == 32) {
        surface->Row(ty)[tx] = ink;
      } else {
        surface->MonoRow(ty)[tx] = ink == 0xFFFFFF ? 1 : 0;
      }
    }
  }
  return box.height();
}
