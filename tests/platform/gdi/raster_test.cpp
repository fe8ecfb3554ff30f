#include <gtest/gtest.h>

#include "platform/gdi/gdi.h"
#include "platform/gdi/raster.h"

namespace raster_test {

// A memory context holding a fresh bitmap, released at scope end.
struct MemoryDc {
  MemoryDc(int w, int h, int bits) {
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateBitmap(w, h, 1, bits, nullptr);
    old = SelectObject(dc, bitmap);
  }
  ~MemoryDc() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ old;
};

TEST(GdiRaster, TernaryCodesMatchTheirTruthTables) {
  // Every one of the 256 codes, on one bit of each operand combination.
  for (int code = 0; code < 256; ++code) {
    for (int i = 0; i < 8; ++i) {
      std::uint32_t p = (i & 4) ? 1 : 0, s = (i & 2) ? 1 : 0, d = (i & 1) ? 1 : 0;
      EXPECT_EQ(qel::gdi::Rop3(static_cast<std::uint8_t>(code), p, s, d) & 1,
                static_cast<std::uint32_t>((code >> i) & 1));
    }
  }
  EXPECT_EQ(qel::gdi::Rop3(0x88, 0, 0x00F0F0, 0x00FF00), 0x00F000u);
}

TEST(GdiRaster, BlitsConvertBetweenColourAndMonoByTheContextsColours) {
  MemoryDc colour(4, 1, 32), mono(4, 1, 1);
  SetPixel(colour.dc, 0, 0, RGB(255, 0, 255));
  SetPixel(colour.dc, 1, 0, RGB(1, 2, 3));
  SetPixel(colour.dc, 2, 0, RGB(255, 0, 255));
  // Colour to mono: the source's background colour becomes 1.
  SetBkColor(colour.dc, RGB(255, 0, 255));
  ASSERT_EQ(BitBlt(mono.dc, 0, 0, 4, 1, colour.dc, 0, 0, SRCCOPY), 1);
  EXPECT_EQ(GetPixel(mono.dc, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(GetPixel(mono.dc, 1, 0), 0u);
  EXPECT_EQ(GetPixel(mono.dc, 2, 0), 0xFFFFFFu);
  // Mono to colour: 0 takes the destination's text colour, 1 its background colour.
  MemoryDc out(4, 1, 32);
  SetTextColor(out.dc, RGB(10, 20, 30));
  SetBkColor(out.dc, RGB(200, 100, 50));
  BitBlt(out.dc, 0, 0, 4, 1, mono.dc, 0, 0, SRCCOPY);
  EXPECT_EQ(GetPixel(out.dc, 0, 0), RGB(200, 100, 50));
  EXPECT_EQ(GetPixel(out.dc, 1, 0), RGB(10, 20, 30));
  // Clipping: a blit partly outside both surfaces touches only what overlaps.
  EXPECT_EQ(BitBlt(out.dc, -2, 0, 4, 1, colour.dc, 0, 0, SRCCOPY), 1);
  EXPECT_EQ(GetPixel(out.dc, 0, 0), RGB(255, 0, 255));
  EXPECT_EQ(GetPixel(out.dc, 2, 0), RGB(200, 100, 50));
  // Bad handles fail and touch nothing.
  EXPECT_EQ(BitBlt(nullptr, 0, 0, 1, 1, colour.dc, 0, 0, SRCCOPY), 0);
  EXPECT_EQ(BitBlt(out.dc, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY), 0);
  EXPECT_EQ(BitBlt(out.dc, 0, 0, 1, 1, reinterpret_cast<HDC>(&out), 0, 0, SRCCOPY), 0);
  EXPECT_EQ(BitBlt(out.dc, 0, 0, 4, 1, nullptr, 0, 0, BLACKNESS), 1);
  EXPECT_EQ(GetPixel(out.dc, 3, 0), 0u);
}

TEST(GdiRaster, MaskBltChoosesTheCodeByTheMask) {
  MemoryDc dest(2, 1, 32), src(2, 1, 32);
  SetPixel(dest.dc, 0, 0, RGB(1, 1, 1));
  SetPixel(dest.dc, 1, 0, RGB(2, 2, 2));
  SetPixel(src.dc, 0, 0, RGB(9, 9, 9));
  SetPixel(src.dc, 1, 0, RGB(8, 8, 8));
  unsigned char maskBits[2] = {0x40, 0};  // pixel 1 set
  HBITMAP mask = CreateBitmap(2, 1, 1, 1, maskBits);
  ASSERT_EQ(MaskBlt(dest.dc, 0, 0, 2, 1, src.dc, 0, 0, mask, 0, 0, 0xCCAA0020), 1);
  EXPECT_EQ(GetPixel(dest.dc, 0, 0), RGB(9, 9, 9));  // mask 0: source copied
  EXPECT_EQ(GetPixel(dest.dc, 1, 0), RGB(2, 2, 2));  // mask 1: destination kept
  // A mask smaller than the rectangle, or a colour mask, fails.
  EXPECT_EQ(MaskBlt(dest.dc, 0, 0, 3, 1, src.dc, 0, 0, mask, 0, 0, 0xCCAA0020), 0);
  EXPECT_EQ(MaskBlt(dest.dc, 0, 0, 2, 1, src.dc, 0, 0, dest.bitmap, 0, 0, 0xCCAA0020), 0);
  qel::gdi::SetMaskBltAvailable(false);
  EXPECT_EQ(MaskBlt(dest.dc, 0, 0, 2, 1, src.dc, 0, 0, mask, 0, 0, 0xCCAA0020), 0);
  qel::gdi::SetMaskBltAvailable(true);
  DeleteObject(mask);
}

TEST(GdiRaster, BrushesFillWithTheHatchPatterns) {
  MemoryDc m(8, 8, 32);
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  tagRECT all = {0, 0, 8, 8};
  FillRect(m.dc, &all, white);
  HBRUSH cross = CreateHatchBrush(HS_CROSS, RGB(255, 0, 0));
  SetBkColor(m.dc, RGB(0, 0, 255));
  FillRect(m.dc, &all, cross);
  EXPECT_EQ(GetPixel(m.dc, 4, 0), RGB(255, 0, 0));  // vertical line at column 4
  EXPECT_EQ(GetPixel(m.dc, 0, 4), RGB(255, 0, 0));  // horizontal line at row 4
  EXPECT_EQ(GetPixel(m.dc, 0, 0), RGB(0, 0, 255));  // gap in the background colour
  FillRect(m.dc, &all, white);
  SetBkMode(m.dc, TRANSPARENT);
  HBRUSH diag = CreateHatchBrush(HS_FDIAGONAL, RGB(0, 128, 0));
  FillRect(m.dc, &all, diag);
  EXPECT_EQ(GetPixel(m.dc, 3, 3), RGB(0, 128, 0));
  EXPECT_EQ(GetPixel(m.dc, 4, 3), RGB(255, 255, 255));  // gap left alone
  EXPECT_EQ(CreateHatchBrush(9, 0), nullptr);
  for (HBRUSH b : {white, cross, diag}) EXPECT_EQ(DeleteObject(b), 1);
  EXPECT_EQ(DeleteObject(white), 0);  // already deleted
}

TEST(GdiRaster, FillSolidRectAndDraw3dRectKeepTheContextColours) {
  MemoryDc m(6, 5, 32);
  CDC dc;
  dc.m_hDC = m.dc;
  dc.SetBkColor(RGB(1, 2, 3));
  dc.FillSolidRect(0, 0, 6, 5, RGB(192, 192, 192));
  EXPECT_EQ(dc.GetBkColor(), RGB(1, 2, 3));
  tagRECT r = {0, 0, 6, 5};
  dc.Draw3dRect(&r, RGB(255, 255, 255), RGB(128, 128, 128));
  EXPECT_EQ(dc.GetPixel(0, 0), RGB(255, 255, 255));
  EXPECT_EQ(dc.GetPixel(4, 0), RGB(255, 255, 255));
  EXPECT_EQ(dc.GetPixel(5, 0), RGB(128, 128, 128));  // the right edge runs full height
  EXPECT_EQ(dc.GetPixel(0, 3), RGB(255, 255, 255));
  EXPECT_EQ(dc.GetPixel(0, 4), RGB(128, 128, 128));  // the bottom edge runs full width
  EXPECT_EQ(dc.GetPixel(2, 2), RGB(192, 192, 192));
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(192, 192, 192));
  EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), RGB(128, 128, 128));
  EXPECT_EQ(GetSysColor(999), 0u);
  dc.m_hDC = nullptr;
}

TEST(GdiRaster, DrawTextPutsCjkGlyphsInTheTextColour) {
  MemoryDc m(64, 24, 32);
  CDC dc;
  dc.m_hDC = m.dc;
  dc.FillSolidRect(0, 0, 64, 24, RGB(255, 255, 255));
  dc.SetTextColor(RGB(0, 0, 255));
  dc.SetBkMode(TRANSPARENT);
  tagRECT r = {0, 0, 64, 24};
  char const text[] = "\xD6\xD0\xCE\xC4";  // two Chinese characters in GBK
  EXPECT_GT(dc.DrawText(text, -1, &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER), 0);
  int ink = 0, other = 0;
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 64; ++x) {
      COLORREF c = dc.GetPixel(x, y);
      ink += c == RGB(0, 0, 255);
      other += c != RGB(0, 0, 255) && c != RGB(255, 255, 255);
    }
  }
  EXPECT_GT(ink, 20);
  EXPECT_EQ(other, 0);  // no anti-aliased in-between colours
  tagRECT calc = {0, 0, 0, 0};
  dc.DrawText(text, -1, &calc, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_GT(calc.right, 10);
  dc.m_hDC = nullptr;
}

}  // namespace raster_test
