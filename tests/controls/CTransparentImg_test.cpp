#include "qelshare/CTransparentImg.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <vector>

#include "platform/gdi/gdi.h"
#include "support/temp_tree.h"
#include "support/window_host.h"

namespace ctransparentimg_test {

using qel::testing::HostWindow;

constexpr COLORREF kFace = RGB(192, 192, 192);
constexpr COLORREF kMagenta = RGB(255, 0, 255);

// A w x h bitmap: white, with a red square at (2, 2)-(5, 5).
HBITMAP Picture(int w, int h) {
  std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * h, 0xFFFFFF);
  for (int y = 2; y < 6 && y < h; ++y) {
    for (int x = 2; x < 6 && x < w; ++x) px[static_cast<std::size_t>(y) * w + x] = 0xFF0000;
  }
  return CreateBitmap(w, h, 1, 32, px.data());
}

std::vector<COLORREF> Paint(CTransparentImg& img, int w, int h) {
  img.Invalidate(1);
  img.UpdateWindow();
  std::vector<COLORREF> out;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) out.push_back(HostWindow::Pixel(&img, x, y));
  }
  return out;
}

TEST(CTransparentImg, KeyColourShowsTheBackgroundAndTheBandIsMagenta) {
  HostWindow host;
  CTransparentImg img;
  ASSERT_EQ(img.Create("", WS_CHILD | WS_VISIBLE | SS_BITMAP, tagRECT{10, 10, 30, 30}, &host, 5),
            1);
  HBITMAP bitmap = Picture(10, 10);
  img.SetBitmap(bitmap);
  EXPECT_EQ(img.GetBitmap(), bitmap);

  // White key on a white bitmap: the background shows where it is white.
  img.SetBkColor(RGB(255, 255, 255));
  std::vector<COLORREF> masked = Paint(img, 20, 20);
  EXPECT_EQ(masked[0], kFace);
  EXPECT_EQ(masked[3 * 20 + 3], RGB(255, 0, 0));
  EXPECT_EQ(masked[0 * 20 + 15], kMagenta);  // the band right of a smaller bitmap
  EXPECT_EQ(masked[15 * 20 + 0], kMagenta);  // and below it

  // The composition without MaskBlt gives the same pixels.
  qel::gdi::SetMaskBltAvailable(false);
  std::vector<COLORREF> fallback = Paint(img, 20, 20);
  qel::gdi::SetMaskBltAvailable(true);
  EXPECT_EQ(fallback, masked);

  // Key colour black: nothing is transparent, the band is magenta.
  img.SetBkColor(RGB(0, 0, 0));
  std::vector<COLORREF> black = Paint(img, 20, 20);
  EXPECT_EQ(black[0], RGB(255, 255, 255));
  EXPECT_EQ(black[19 * 20 + 19], kMagenta);

  // Key colour magenta: the band is transparent too, in both paths.
  img.SetBkColor(kMagenta);
  std::vector<COLORREF> clear = Paint(img, 20, 20);
  EXPECT_EQ(clear[19 * 20 + 19], kFace);
  EXPECT_EQ(clear[0], RGB(255, 255, 255));
  qel::gdi::SetMaskBltAvailable(false);
  EXPECT_EQ(Paint(img, 20, 20), clear);
  qel::gdi::SetMaskBltAvailable(true);

  // A bitmap larger than the control is cut at the client size.
  HBITMAP large = Picture(50, 50);
  img.SetBitmap(large);
  img.SetBkColor(RGB(0, 0, 0));
  std::vector<COLORREF> cut = Paint(img, 20, 20);
  EXPECT_EQ(cut[19 * 20 + 19], RGB(255, 255, 255));

  img.SetBitmap(nullptr);
  DeleteObject(bitmap);
  DeleteObject(large);
}

// A host's bitmaps come from the library's public calls: a .bmp or PNG file, file bytes in
// memory, a Qt image, or pixels; each is freed with DeleteObject once the control lets go.
TEST(CTransparentImg, BitmapsAHostLoadsPaintWithTheKeyColourTransparent) {
  HostWindow host;
  CTransparentImg img;
  ASSERT_EQ(img.Create("", WS_CHILD | WS_VISIBLE | SS_BITMAP, tagRECT{10, 10, 30, 30}, &host, 9),
            1);
  img.SetBkColor(RGB(255, 255, 255));

  // The picture of Picture(10, 10), as files written by Qt's image writers.
  QImage picture(10, 10, QImage::Format_RGB32);
  picture.fill(qRgb(255, 255, 255));
  std::vector<std::uint32_t> pixels(100, 0xFFFFFF);
  for (int y = 2; y < 6; ++y) {
    for (int x = 2; x < 6; ++x) {
      picture.setPixel(x, y, qRgb(255, 0, 0));
      pixels[y * 10 + x] = 0xFF0000;
    }
  }
  qel::testing::TempTree tree;
  std::string bmpPath = tree / "picture.bmp", pngPath = tree / "picture.png";
  ASSERT_TRUE(picture.save(QString::fromStdString(bmpPath), "BMP"));
  ASSERT_TRUE(picture.save(QString::fromStdString(pngPath), "PNG"));
  QByteArray bmp;
  QBuffer buffer(&bmp);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "BMP");

  // White shows the background, red is drawn, the band beyond the bitmap is magenta.
  std::vector<COLORREF> expected;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      bool square = x >= 2 && x < 6 && y >= 2 && y < 6;
      expected.push_back(x >= 10 || y >= 10 ? kMagenta : square ? RGB(255, 0, 0) : kFace);
    }
  }
  struct Source {
    char const* what;
    HBITMAP bitmap;
  };
  Source sources[] = {
      {".bmp file", static_cast<HBITMAP>(
                        LoadImageA(nullptr, bmpPath.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE))},
      {"PNG file", static_cast<HBITMAP>(
                       LoadImageA(nullptr, pngPath.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE))},
      {".bmp in memory", static_cast<HBITMAP>(LoadImageFromMemory(
                             bmp.constData(), static_cast<std::size_t>(bmp.size()), IMAGE_BITMAP, 0,
                             0, LR_DEFAULTCOLOR))},
      {"Qt image", CQtBridge::BitmapFromImage(picture)},
      {"pixels", CreateBitmap(10, 10, 1, 32, pixels.data())},
  };
  for (Source const& source : sources) {
    SCOPED_TRACE(source.what);
    ASSERT_NE(source.bitmap, nullptr);
    img.SetBitmap(source.bitmap);
    EXPECT_EQ(Paint(img, 20, 20), expected);
    img.SetBitmap(nullptr);
    EXPECT_EQ(DeleteObject(source.bitmap), 1);
  }

  // Loaded at the control's size, the bitmap covers it all: no band.
  auto fitted = static_cast<HBITMAP>(
      LoadImageA(nullptr, bmpPath.c_str(), IMAGE_BITMAP, 20, 20, LR_LOADFROMFILE));
  img.SetBitmap(fitted);
  std::vector<COLORREF> scaled = Paint(img, 20, 20);
  EXPECT_EQ(std::count(scaled.begin(), scaled.end(), kMagenta), 0);
  EXPECT_EQ(scaled[0], kFace);
  EXPECT_EQ(scaled[4 * 20 + 4], RGB(255, 0, 0));
  EXPECT_EQ(scaled[11 * 20 + 11], RGB(255, 0, 0));
  EXPECT_EQ(scaled[12 * 20 + 12], kFace);
  img.SetBitmap(nullptr);
  DeleteObject(fitted);

  // A missing file, or one that is not a picture, gives no bitmap.
  std::string text = tree.File("notes.txt", "not a picture");
  EXPECT_EQ(
      LoadImageA(nullptr, (tree / "missing.bmp").c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE),
      nullptr);
  EXPECT_EQ(LoadImageA(nullptr, text.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
}

TEST(CTransparentImg, WithoutABitmapItPaintsAsAPlainStatic) {
  HostWindow host;
  CTransparentImg img;
  img.Create("text", WS_CHILD | WS_VISIBLE, tagRECT{0, 0, 40, 20}, &host, 6);
  CStatic plain;
  plain.Create("text", WS_CHILD | WS_VISIBLE, tagRECT{50, 0, 90, 20}, &host, 7);
  QWidget* a = CQtBridge::GetWidget(&img);
  QWidget* b = CQtBridge::GetWidget(&plain);
  EXPECT_EQ(a->grab().toImage(), b->grab().toImage());
  EXPECT_EQ(img.GetBitmap(), nullptr);
  // STM_ messages to a class that ignores them answer 0.
  CWnd edit;
  edit.Create("EDIT", "", WS_CHILD | WS_VISIBLE, tagRECT{0, 30, 50, 50}, &host, 8);
  EXPECT_EQ(edit.SendMessage(STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
}

}  // namespace ctransparentimg_test
