// The public calls a host makes the controls' bitmaps and icons with: module handles,
// bitmaps and icons from files, memory, resources and Qt images, and their failures.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/resources/resources.h"
#include "qelshare/qt.h"
#include "qelshare/window.h"
#include "support/temp_tree.h"

namespace image_load_test {

using qel::testing::TempTree;

constexpr COLORREF kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255),
                   kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0);

void Put16(std::string& s, unsigned v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, std::uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

// A picture as COLORREFs, row by row from the top.
struct Picture {
  int width;
  int height;
  std::vector<COLORREF> px;
  COLORREF At(int x, int y) const { return px[static_cast<std::size_t>(y) * width + x]; }
};

// 5 x 3 (odd width, so rows need padding) in four colours; two for 1-bit files.
Picture FourColours() {
  return {5,
          3,
          {kRed, kGreen, kBlue, kWhite, kRed,    //
           kWhite, kBlue, kGreen, kRed, kGreen,  //
           kBlue, kBlue, kWhite, kGreen, kRed}};
}
Picture TwoColours() {
  return {5,
          3,
          {kBlack, kWhite, kBlack, kWhite, kWhite,  //
           kWhite, kWhite, kBlack, kBlack, kBlack,  //
           kBlack, kWhite, kWhite, kWhite, kBlack}};
}

// How a bitmap file stores its pixels.
struct Layout {
  int header = 40;  // 12 (the oldest header), 40 or 124
  int bits = 24;
  bool bitFields = false;
  std::uint32_t masks[3] = {0, 0, 0};  // red, green, blue; 0 = the default of the bit count
  bool topDown = false;
  bool fileHeader = true;
};

std::uint32_t Encode(COLORREF c, std::uint32_t const (&masks)[3]) {
  unsigned channel[3] = {c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF};
  std::uint32_t v = 0;
  for (int i = 0; i < 3; ++i) {
    std::uint32_t m = masks[i];
    int shift = 0;
    while (!((m >> shift) & 1)) ++shift;
    v |= (channel[i] * (m >> shift) / 255) << shift;
  }
  return v;
}

// A .bmp file (or, without the file header, a bare device-independent bitmap).
std::string Bmp(Picture const& pic, Layout const& f) {
  std::vector<COLORREF> palette;
  if (f.bits <= 8) {
    for (COLORREF c : pic.px) {
      if (std::find(palette.begin(), palette.end(), c) == palette.end()) palette.push_back(c);
    }
  }
  std::uint32_t masks[3] = {f.masks[0], f.masks[1], f.masks[2]};
  if (!f.bitFields && f.bits == 16) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
  if (!f.bitFields && f.bits == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;

  std::string dib;
  if (f.header == 12) {
    Put32(dib, 12);
    Put16(dib, pic.width);
    Put16(dib, pic.height);
    Put16(dib, 1);
    Put16(dib, f.bits);
  } else {
    Put32(dib, f.header);
    Put32(dib, pic.width);
    Put32(dib, static_cast<std::uint32_t>(f.topDown ? -pic.height : pic.height));
    Put16(dib, 1);
    Put16(dib, f.bits);
    Put32(dib, f.bitFields ? 3 : 0);
    for (int i = 0; i < 3; ++i) Put32(dib, 0);  // image size, resolution
    Put32(dib, static_cast<std::uint32_t>(palette.size()));
    Put32(dib, 0);
    if (f.header > 40) {
      for (std::uint32_t m : masks) Put32(dib, f.bitFields ? m : 0);
      dib.resize(f.header, '\0');
    } else if (f.bitFields) {
      for (std::uint32_t m : masks) Put32(dib, m);
    }
  }
  for (COLORREF c : palette) {
    dib += static_cast<char>((c >> 16) & 0xFF);
    dib += static_cast<char>((c >> 8) & 0xFF);
    dib += static_cast<char>(c & 0xFF);
    if (f.header != 12) dib += '\0';
  }
  std::size_t bitsAt = dib.size();
  std::size_t stride = (static_cast<std::size_t>(pic.width) * f.bits + 31) / 32 * 4;
  for (int r = 0; r < pic.height; ++r) {
    int y = f.topDown ? r : pic.height - 1 - r;
    std::string row(stride, '\0');
    for (int x = 0; x < pic.width; ++x) {
      COLORREF c = pic.At(x, y);
      if (f.bits <= 8) {
        auto index =
            static_cast<unsigned>(std::find(palette.begin(), palette.end(), c) - palette.begin());
        std::size_t bit = static_cast<std::size_t>(x) * f.bits;
        row[bit / 8] = static_cast<char>(row[bit / 8] | index << (8 - f.bits - bit % 8));
      } else if (f.bits == 24) {
        row[x * 3] = static_cast<char>((c >> 16) & 0xFF);
        row[x * 3 + 1] = static_cast<char>((c >> 8) & 0xFF);
        row[x * 3 + 2] = static_cast<char>(c & 0xFF);
      } else {
        std::string v;
        Put32(v, Encode(c, masks));
        row.replace(static_cast<std::size_t>(x) * (f.bits / 8), f.bits / 8, v, 0, f.bits / 8);
      }
    }
    dib += row;
  }
  if (!f.fileHeader) return dib;
  std::string file = "BM";
  Put32(file, static_cast<std::uint32_t>(14 + dib.size()));
  Put32(file, 0);
  Put32(file, static_cast<std::uint32_t>(14 + bitsAt));
  return file + dib;
}

std::string Png(QImage const& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

QImage QtPicture(Picture const& pic) {
  QImage image(pic.width, pic.height, QImage::Format_RGB32);
  for (int y = 0; y < pic.height; ++y) {
    for (int x = 0; x < pic.width; ++x) {
      COLORREF c = pic.At(x, y);
      image.setPixel(x, y, qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
    }
  }
  return image;
}

HBITMAP FromMemory(std::string const& bytes, int cx = 0, int cy = 0) {
  return static_cast<HBITMAP>(
      LoadImageFromMemory(bytes.data(), bytes.size(), IMAGE_BITMAP, cx, cy, 0));
}

// The pixels of a bitmap as a host reads them back: selected into a memory context. A
// pixel past the edge reads as 0xFFFFFFFF, so the row and column after the expected
// size are read too.
std::vector<COLORREF> Pixels(HBITMAP bitmap, int width, int height) {
  CDC dc;
  dc.CreateCompatibleDC(nullptr);
  HGDIOBJ old = dc.SelectObject(bitmap);
  std::vector<COLORREF> out;
  for (int y = 0; y <= height; ++y) {
    for (int x = 0; x <= width; ++x) out.push_back(dc.GetPixel(x, y));
  }
  dc.SelectObject(old);
  dc.DeleteDC();
  return out;
}
std::vector<COLORREF> Expected(Picture const& pic) {
  std::vector<COLORREF> out;
  for (int y = 0; y <= pic.height; ++y) {
    for (int x = 0; x <= pic.width; ++x) {
      out.push_back(x < pic.width && y < pic.height ? pic.At(x, y) : 0xFFFFFFFF);
    }
  }
  return out;
}

// What an icon leaves when drawn at its own size onto a surface of one colour.
std::vector<COLORREF> Drawn(HICON icon, int size, COLORREF background) {
  CDC dc;
  dc.CreateCompatibleDC(nullptr);
  HBITMAP surface = CreateBitmap(size, size, 1, 32, nullptr);
  HGDIOBJ old = dc.SelectObject(surface);
  dc.FillSolidRect(0, 0, size, size, background);
  dc.DrawIconEx(0, 0, icon, 0, 0, DI_NORMAL);
  std::vector<COLORREF> out;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) out.push_back(dc.GetPixel(x, y));
  }
  dc.SelectObject(old);
  DeleteObject(surface);
  dc.DeleteDC();
  return out;
}

int IconWidth(HICON icon) {
  int w = 0, h = 0;
  qel::gdi::IconSize(icon, w, h);
  return w == h ? w : -1;
}

TEST(ImageLoad, BitmapsOfEveryStoredLayoutGiveTheirPixels) {
  Picture four = FourColours(), two = TwoColours();
  struct Case {
    char const* what;
    Picture const& pic;
    Layout layout;
  };
  Layout v5;  // masks in the header, in an order other than the default
  v5.header = 124, v5.bits = 32, v5.bitFields = true;
  v5.masks[0] = 0x000000FF, v5.masks[1] = 0x0000FF00, v5.masks[2] = 0x00FF0000;
  Layout rgb565;
  rgb565.bits = 16, rgb565.bitFields = true;
  rgb565.masks[0] = 0xF800, rgb565.masks[1] = 0x07E0, rgb565.masks[2] = 0x001F;
  std::vector<Case> cases = {
      {"1 bit", two, {.bits = 1}},
      {"4 bits", four, {.bits = 4}},
      {"8 bits", four, {.bits = 8}},
      {"8 bits, oldest header", four, {.header = 12, .bits = 8}},
      {"16 bits 5-5-5", four, {.bits = 16}},
      {"16 bits 5-6-5 masks", four, rgb565},
      {"24 bits", four, {.bits = 24}},
      {"24 bits, no file header", four, {.bits = 24, .fileHeader = false}},
      {"32 bits top-down", four, {.bits = 32, .topDown = true}},
      {"32 bits, masks in a large header", four, v5},
  };
  for (Case const& c : cases) {
    SCOPED_TRACE(c.what);
    HBITMAP bitmap = FromMemory(Bmp(c.pic, c.layout));
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(Pixels(bitmap, c.pic.width, c.pic.height), Expected(c.pic));
    EXPECT_EQ(DeleteObject(bitmap), 1);
  }

  // The same from files (a .bmp with "\" in its path, a PNG), from a .bmp that Qt's
  // writer made, and from a Qt image.
  TempTree tree;
  std::string bmp = tree.File("pictures/four.bmp", Bmp(four, {.bits = 24}));
  bmp[bmp.rfind('/')] = '\\';
  std::string png = tree.File("four.png", Png(QtPicture(four)));
  QByteArray qtBmp;
  QBuffer buffer(&qtBmp);
  buffer.open(QIODevice::WriteOnly);
  QtPicture(four).save(&buffer, "BMP");
  for (HBITMAP bitmap :
       {static_cast<HBITMAP>(LoadImageA(nullptr, bmp.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)),
        static_cast<HBITMAP>(LoadImageA(nullptr, png.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)),
        FromMemory(qtBmp.toStdString()), CQtBridge::BitmapFromImage(QtPicture(four))}) {
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(Pixels(bitmap, 5, 3), Expected(four));
    EXPECT_EQ(DeleteObject(bitmap), 1);
  }

  // A size asked for scales by the nearest pixel; 0 keeps the image's side.
  HBITMAP wide = FromMemory(Bmp(four, {.bits = 24}), 10, 0);
  std::vector<COLORREF> scaled = Pixels(wide, 10, 3);
  EXPECT_EQ(scaled[0], kRed);
  EXPECT_EQ(scaled[1], kRed);
  EXPECT_EQ(scaled[2], kGreen);
  EXPECT_EQ(scaled[2 * 11 + 9], kRed);
  EXPECT_EQ(scaled[10], 0xFFFFFFFFu);      // 10 wide
  EXPECT_EQ(scaled[3 * 11], 0xFFFFFFFFu);  // 3 high
  DeleteObject(wide);
}

TEST(ImageLoad, QtImagesKeepTheirColoursInBitmapsAndTheirAlphaInIcons) {
  QImage image(4, 4, QImage::Format_ARGB32);
  image.fill(qRgba(10, 20, 30, 0));  // fully transparent, with a colour
  for (int y = 0; y < 4; ++y) {
    image.setPixel(0, y, qRgba(255, 0, 0, 255));
    image.setPixel(1, y, qRgba(0, 0, 255, 200));  // mostly opaque
    image.setPixel(2, y, qRgba(0, 255, 0, 100));  // mostly transparent
  }
  HBITMAP bitmap = CQtBridge::BitmapFromImage(image);
  std::vector<COLORREF> colours = Pixels(bitmap, 4, 4);
  EXPECT_EQ(colours[0], kRed);
  EXPECT_EQ(colours[1], kBlue);
  EXPECT_EQ(colours[2], kGreen);
  EXPECT_EQ(colours[3], RGB(10, 20, 30));
  DeleteObject(bitmap);

  HICON icon = CQtBridge::IconFromImage(image);
  std::vector<COLORREF> drawn = Drawn(icon, 4, kWhite);
  EXPECT_EQ(drawn[0], kRed);
  EXPECT_EQ(drawn[1], kBlue);
  EXPECT_EQ(drawn[2], kWhite);
  EXPECT_EQ(drawn[3], kWhite);
  EXPECT_EQ(DestroyIcon(icon), 1);

  EXPECT_EQ(CQtBridge::BitmapFromImage(QImage()), nullptr);
  EXPECT_EQ(CQtBridge::IconFromImage(QImage()), nullptr);
}

TEST(ImageLoad, TheLibrarysIconsLoadByItsModuleHandleAndIdentifier) {
  HINSTANCE lib = GetModuleHandleA("qelshare");
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(lib, qel::res::LibraryModule());
  for (char const* name :
       {"QelShare.dll", "/usr/lib/libqelshare.so.1", "LIBQELSHARE", "QELSHARE"}) {
    EXPECT_EQ(GetModuleHandleA(name), lib) << name;
  }
  for (char const* name :
       {"qelshare2", "other.dll", "lib", "", static_cast<char const*>(nullptr)}) {
    EXPECT_EQ(GetModuleHandleA(name), nullptr) << (name ? name : "null");
  }

  // The resource gives the same icon as the .ico file it was built from.
  std::string_view file;
  for (qel::res::Embedded const& e : qel::res::EmbeddedResources()) {
    if (e.id == 22023) file = e.bytes;
  }
  ASSERT_FALSE(file.empty());
  HICON loaded =
      static_cast<HICON>(LoadImageA(lib, MAKEINTRESOURCEA(22023), IMAGE_ICON, 16, 16, 0));
  HICON fromFile =
      static_cast<HICON>(LoadImageFromMemory(file.data(), file.size(), IMAGE_ICON, 16, 16, 0));
  ASSERT_NE(loaded, nullptr);
  ASSERT_NE(fromFile, nullptr);
  std::vector<COLORREF> drawn = Drawn(loaded, 16, RGB(1, 2, 3));
  EXPECT_EQ(drawn, Drawn(fromFile, 16, RGB(1, 2, 3)));
  EXPECT_NE(std::count(drawn.begin(), drawn.end(), RGB(1, 2, 3)), 256);  // a picture is drawn
  DestroyIcon(fromFile);

  // Sizes: the image of the size asked for, else the nearest scaled; LoadIconA's is 32.
  HICON tool16 =
      static_cast<HICON>(LoadImageA(lib, MAKEINTRESOURCEA(22015), IMAGE_ICON, 16, 16, 0));
  HICON tool = LoadIconA(lib, MAKEINTRESOURCEA(22015));
  HICON save32 = LoadIconA(lib, MAKEINTRESOURCEA(22023));
  HICON saveOwn = static_cast<HICON>(LoadImageA(lib, MAKEINTRESOURCEA(22023), IMAGE_ICON, 0, 0, 0));
  HICON saveDefault = static_cast<HICON>(
      LoadImageA(lib, MAKEINTRESOURCEA(22023), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  EXPECT_EQ(IconWidth(tool16), 16);
  EXPECT_EQ(IconWidth(tool), 32);
  EXPECT_EQ(IconWidth(save32), 32);
  EXPECT_EQ(IconWidth(saveOwn), 16);
  EXPECT_EQ(IconWidth(saveDefault), 32);
  // Scaling doubles every pixel.
  std::vector<COLORREF> big = Drawn(save32, 32, RGB(1, 2, 3));
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) ASSERT_EQ(big[(2 * y + 1) * 32 + 2 * x + 1], drawn[y * 16 + x]);
  }

  // Every icon is the caller's; bitmaps and icons are freed by their own calls.
  for (HICON icon : {loaded, tool16, tool, save32, saveOwn, saveDefault}) {
    EXPECT_EQ(DeleteObject(icon), 0);
    EXPECT_EQ(DestroyIcon(icon), 1);
    EXPECT_EQ(DestroyIcon(icon), 0);
  }

  // Not there: 22004, a text name, another type, another module, no module.
  EXPECT_EQ(LoadImageA(lib, MAKEINTRESOURCEA(22004), IMAGE_ICON, 16, 16, 0), nullptr);
  EXPECT_EQ(LoadImageA(lib, "save", IMAGE_ICON, 16, 16, 0), nullptr);
  EXPECT_EQ(LoadImageA(lib, MAKEINTRESOURCEA(22023), IMAGE_BITMAP, 0, 0, 0), nullptr);
  EXPECT_EQ(LoadImageA(lib, MAKEINTRESOURCEA(22023), IMAGE_CURSOR, 0, 0, 0), nullptr);
  EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(22023)), nullptr);
  EXPECT_EQ(LoadIconA(lib, nullptr), nullptr);

  // A module's bitmap resource is a bitmap without its file header.
  HINSTANCE host = qel::res::CreateModule("host");
  qel::res::AddResource(host, "BITMAP", 7, Bmp(FourColours(), {.bits = 8, .fileHeader = false}));
  auto bitmap = static_cast<HBITMAP>(LoadImageA(host, MAKEINTRESOURCEA(7), IMAGE_BITMAP, 0, 0, 0));
  EXPECT_EQ(GetModuleHandleA("host"), host);
  qel::res::DestroyModule(host);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(Pixels(bitmap, 5, 3), Expected(FourColours()));
  EXPECT_EQ(DestroyIcon(reinterpret_cast<HICON>(bitmap)), 0);
  EXPECT_EQ(DeleteObject(bitmap), 1);
  EXPECT_EQ(DeleteObject(bitmap), 0);
}

// An icon file of the given images (each its bytes, width and height).
struct IcoImage {
  std::string bytes;
  int size;
};
std::string Ico(std::vector<IcoImage> const& images) {
  std::string file;
  Put16(file, 0);
  Put16(file, 1);
  Put16(file, static_cast<unsigned>(images.size()));
  std::size_t offset = 6 + 16 * images.size();
  for (IcoImage const& im : images) {
    file += static_cast<char>(im.size & 0xFF);
    file += static_cast<char>(im.size & 0xFF);
    Put16(file, 0);
    Put16(file, 1);
    Put16(file, 32);
    Put32(file, static_cast<std::uint32_t>(im.bytes.size()));
    Put32(file, static_cast<std::uint32_t>(offset));
    offset += im.bytes.size();
  }
  for (IcoImage const& im : images) file += im.bytes;
  return file;
}

TEST(ImageLoad, IconFilesWithAlphaAndPngImages) {
  // 16 x 16, 32 bits: the left half opaque red, the right half alpha 0; the AND mask is
  // empty, as such files often leave it.
  std::string dib;
  Put32(dib, 40);
  Put32(dib, 16);
  Put32(dib, 32);
  Put16(dib, 1);
  Put16(dib, 32);
  for (int i = 0; i < 6; ++i) Put32(dib, 0);
  for (int i = 0; i < 16 * 16; ++i) Put32(dib, i % 16 < 8 ? 0xFFFF0000u : 0x00000000u);
  dib += std::string(16 * 4, '\0');
  // 48 x 48 PNG: the top half transparent, the bottom half green.
  QImage png(48, 48, QImage::Format_ARGB32);
  png.fill(Qt::transparent);
  for (int y = 24; y < 48; ++y) {
    for (int x = 0; x < 48; ++x) png.setPixel(x, y, qRgba(0, 255, 0, 255));
  }
  std::string ico = Ico({{dib, 16}, {Png(png), 48}});

  TempTree tree;
  std::string path = tree.File("two.ico", ico);
  auto small =
      static_cast<HICON>(LoadImageA(nullptr, path.c_str(), IMAGE_ICON, 16, 16, LR_LOADFROMFILE));
  ASSERT_NE(small, nullptr);
  std::vector<COLORREF> drawn = Drawn(small, 16, kBlue);
  EXPECT_EQ(drawn[0], kRed);
  EXPECT_EQ(drawn[15 * 16 + 7], kRed);
  EXPECT_EQ(drawn[8], kBlue);
  EXPECT_EQ(drawn[15 * 16 + 15], kBlue);
  DestroyIcon(small);

  auto large =
      static_cast<HICON>(LoadImageFromMemory(ico.data(), ico.size(), IMAGE_ICON, 48, 48, 0));
  ASSERT_NE(large, nullptr);
  EXPECT_EQ(IconWidth(large), 48);
  drawn = Drawn(large, 48, kBlue);
  EXPECT_EQ(drawn[0], kBlue);
  EXPECT_EQ(drawn[23 * 48 + 47], kBlue);
  EXPECT_EQ(drawn[24 * 48], kGreen);
  DestroyIcon(large);
}

TEST(ImageLoad, WhatIsNotAnImageOfTheTypeGivesNull) {
  TempTree tree;
  std::string bmp = Bmp(FourColours(), {.bits = 24});
  std::string bmpPath = tree.File("four.bmp", bmp);
  std::string text = tree.File("notes.txt", "not a picture at all");
  std::string folder = tree.Dir("folder");
  for (std::string const& path : {tree / "missing.bmp", text, folder, bmpPath}) {
    EXPECT_EQ(LoadImageA(nullptr, path.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE), nullptr)
        << path;
    if (path != bmpPath) {
      EXPECT_EQ(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr)
          << path;
    }
  }
  EXPECT_EQ(LoadImageA(nullptr, nullptr, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
  EXPECT_EQ(LoadImageA(nullptr, "", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
  EXPECT_EQ(LoadImageA(nullptr, MAKEINTRESOURCEA(1), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
  EXPECT_EQ(LoadImageA(nullptr, bmpPath.c_str(), IMAGE_BITMAP, -1, 0, LR_LOADFROMFILE), nullptr);
  EXPECT_EQ(LoadImageA(nullptr, bmpPath.c_str(), IMAGE_CURSOR, 0, 0, LR_LOADFROMFILE), nullptr);

  // Damaged bitmaps: cut short, a size the data cannot hold, a size past the limits,
  // run-length compression, no header.
  std::string cut = bmp.substr(0, bmp.size() - 1);
  std::string large = bmp, huge = bmp;
  large[18] = large[22] = '\xE8', large[19] = large[23] = '\x03';  // 1000 x 1000
  huge[18] = huge[22] = '\xFF', huge[19] = huge[23] = '\x7F';      // 32767 x 32767
  std::string rle = Bmp(FourColours(), {.bits = 8});
  rle[30] = 1;
  for (std::string const& bytes : {cut, large, huge, rle, std::string("BM"), std::string()}) {
    EXPECT_EQ(FromMemory(bytes), nullptr);
  }
  // Palette indexes past a palette cut to two colours read as black, not past its end.
  std::string twoEntries = Bmp(FourColours(), {.bits = 8});
  twoEntries[46] = 2;
  HBITMAP partial = FromMemory(twoEntries);
  ASSERT_NE(partial, nullptr);
  std::vector<COLORREF> px = Pixels(partial, 5, 3);
  EXPECT_EQ(px[0], kRed);    // palette entry 0
  EXPECT_EQ(px[1], kGreen);  // 1
  EXPECT_EQ(px[2], kBlack);  // 2, blue, cut off
  DeleteObject(partial);
  EXPECT_EQ(LoadImageFromMemory(nullptr, 10, IMAGE_BITMAP, 0, 0, 0), nullptr);
  EXPECT_EQ(LoadImageFromMemory(bmp.data(), bmp.size(), IMAGE_ICON, 0, 0, 0), nullptr);
  EXPECT_EQ(FromMemory(bmp, 40000, 1), nullptr);  // past the side limit
  // A truncated PNG, and an icon directory pointing past its file.
  std::string png = Png(QtPicture(FourColours()));
  EXPECT_EQ(FromMemory(png.substr(0, png.size() / 2)), nullptr);
  QImage clear(16, 16, QImage::Format_ARGB32);
  clear.fill(Qt::transparent);
  std::string ico = Ico({{Png(clear), 16}});
  std::string shortIco = ico.substr(0, ico.size() - 5);
  EXPECT_EQ(LoadImageFromMemory(shortIco.data(), shortIco.size(), IMAGE_ICON, 0, 0, 0), nullptr);
  EXPECT_EQ(LoadImageFromMemory(ico.data(), ico.size(), IMAGE_ICON, 2000, 2000, 0), nullptr);
}

}  // namespace image_load_test
