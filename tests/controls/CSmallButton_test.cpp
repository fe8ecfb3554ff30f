#include "qelshare/CSmallButton.h"

#include <gtest/gtest.h>

#include "platform/gdi/gdi.h"
#include "platform/gdi/icon_file.h"
#include "platform/resources/resources.h"
#include "support/window_host.h"

namespace csmallbutton_test {

using qel::testing::HostWindow;

constexpr COLORREF kFace = RGB(192, 192, 192);
constexpr COLORREF kHighlight = RGB(255, 255, 255);
constexpr COLORREF kShadow = RGB(128, 128, 128);

int Commands(HostWindow const& host) {
  return static_cast<int>(host.commands.size());
}

// The first opaque pixel of an icon, and its colour.
bool OpaquePixel(HICON icon, int& x, int& y, COLORREF& colour) {
  qel::gdi::Surface const* image = qel::gdi::IconImage(icon);
  qel::gdi::Surface const* mask = qel::gdi::IconMask(icon);
  for (y = 0; y < image->height; ++y) {
    for (x = 0; x < image->width; ++x) {
      std::size_t at = static_cast<std::size_t>(y) * image->width + x;
      if (!mask->mono[at]) {
        colour = qel::gdi::ColorOf(image->pixels[at]);
        return true;
      }
    }
  }
  return false;
}

TEST(CSmallButton, ClickHoverPressAndDragOutThroughTheEventPath) {
  HostWindow host;
  CSmallButton button;
  ASSERT_EQ(
      button.DoCreate("save/Save the form", tagRECT{10, 10, 40, 40}, &host, 42, nullptr, nullptr),
      1);
  EXPECT_EQ(button.GetWindowText(), "save/Save the form");
  EXPECT_EQ(button.GetStyle(), WS_CHILD | WS_VISIBLE);
  EXPECT_EQ(button.m_nIconSize, 16);
  ASSERT_NE(button.m_hIcon, nullptr);
  ASSERT_NE(button.m_hIconDisabled, nullptr);

  // Hover: captured for tracking, raised edge.
  host.Move(&button, 15, 15);
  EXPECT_EQ(button.m_nCapture, 1);
  EXPECT_EQ(button.m_nLook, 1);
  EXPECT_EQ(CWnd::GetCapture(), &button);
  EXPECT_EQ(HostWindow::Pixel(&button, 0, 0), kHighlight);
  EXPECT_EQ(HostWindow::Pixel(&button, 28, 0), kHighlight);
  EXPECT_EQ(HostWindow::Pixel(&button, 29, 0), kShadow);
  EXPECT_EQ(HostWindow::Pixel(&button, 0, 29), kShadow);
  EXPECT_EQ(HostWindow::Pixel(&button, 1, 1), kFace);

  // Press: sunken edge, focus; release inside: one WM_COMMAND with the identifier.
  host.Press(&button, 15, 15);
  EXPECT_EQ(button.m_nLook, -1);
  EXPECT_EQ(button.m_nCapture, 1);  // the hover capture stays
  EXPECT_EQ(HostWindow::Pixel(&button, 0, 0), kShadow);
  EXPECT_EQ(HostWindow::Pixel(&button, 29, 29), kHighlight);
  EXPECT_EQ(CWnd::GetFocus(), &button);
  host.Release(&button, 15, 15);
  EXPECT_EQ(button.m_nLook, 0);
  EXPECT_EQ(button.m_nCapture, 0);
  HostWindow::Pump();
  ASSERT_EQ(Commands(host), 1);
  EXPECT_EQ(host.commands[0].message, WM_COMMAND);
  EXPECT_EQ(host.commands[0].wParam, 42u);
  EXPECT_EQ(host.commands[0].lParam, 0);
  EXPECT_EQ(HostWindow::Pixel(&button, 0, 0), kFace);

  // Press, drag out, drag back in, release: raised look again and no command.
  host.Move(&button, 15, 15);
  host.Press(&button, 15, 15);
  host.Move(&button, 100, 90);
  EXPECT_EQ(button.m_nLook, 0);
  EXPECT_EQ(CWnd::GetCapture(), &button);
  host.Move(&button, 16, 16);
  EXPECT_EQ(button.m_nLook, 1);
  host.Release(&button, 16, 16);
  HostWindow::Pump();
  EXPECT_EQ(Commands(host), 1);

  // Hover, then leave: the capture is released and the edge goes.
  host.Move(&button, 15, 15);
  EXPECT_EQ(button.m_nCapture, 1);
  host.Move(&button, 30, 15);  // right edge is outside
  EXPECT_EQ(button.m_nCapture, 0);
  EXPECT_EQ(button.m_nLook, 0);
  EXPECT_EQ(CWnd::GetCapture(), nullptr);
}

TEST(CSmallButton, IconsByNameCentredAndGreyedWhenDisabled) {
  HostWindow host;
  CSmallButton save, plain, scan;
  save.DoCreate("save/x", tagRECT{0, 0, 20, 20}, &host, 1, nullptr, nullptr);
  plain.DoCreate("save", tagRECT{30, 0, 45, 15}, &host, 2, nullptr, nullptr);
  scan.DoCreate("SCAN/x", tagRECT{60, 0, 100, 40}, &host, 3, nullptr, nullptr);
  EXPECT_EQ(scan.m_nIconSize, 32);
  ASSERT_NE(scan.m_hIcon, nullptr);
  int w = 0, h = 0;
  qel::gdi::IconSize(scan.m_hIcon, w, h);
  EXPECT_EQ(w, 32);

  // The picture of "save" is 22023; a text without "/" gets the default 22000.
  HINSTANCE lib = qel::res::LibraryModule();
  HICON saveIcon = LoadImageA(lib, 22023, IMAGE_ICON, 16, 16, 0);
  HICON saveOff = LoadImageA(lib, 22024, IMAGE_ICON, 16, 16, 0);
  HICON newIcon = LoadImageA(lib, 22000, IMAGE_ICON, 16, 16, 0);
  int x, y;
  COLORREF c;
  save.UpdateWindow();
  plain.UpdateWindow();
  ASSERT_TRUE(OpaquePixel(saveIcon, x, y, c));
  EXPECT_EQ(HostWindow::Pixel(&save, 2 + x, 2 + y), c);  // (20 - 16) / 2 = 2
  ASSERT_TRUE(OpaquePixel(newIcon, x, y, c));
  EXPECT_EQ(HostWindow::Pixel(&plain, x, y), c);  // (15 - 16) / 2 truncates to 0

  save.EnableWindow(0);
  save.UpdateWindow();
  ASSERT_TRUE(OpaquePixel(saveOff, x, y, c));
  EXPECT_EQ(HostWindow::Pixel(&save, 2 + x, 2 + y), c);
  host.Move(&save, 5, 5);  // a disabled window gets no input
  EXPECT_EQ(save.m_nLook, 0);
  for (HICON i : {saveIcon, saveOff, newIcon}) DestroyIcon(i);
}

TEST(CSmallButton, ColourSwatchAndIconsHandedIn) {
  HostWindow host;
  CSmallButton colour;
  colour.DoCreate("color/pick", tagRECT{0, 0, 30, 30}, &host, 7, nullptr, nullptr);
  EXPECT_EQ(colour.m_hIcon, nullptr);
  EXPECT_EQ(colour.m_hIconDisabled, nullptr);
  colour.SetColor(0x0000FF);
  EXPECT_EQ(colour.GetColor(), 0x0000FFu);
  colour.UpdateWindow();
  EXPECT_EQ(HostWindow::Pixel(&colour, 5, 5), RGB(255, 0, 0));
  EXPECT_EQ(HostWindow::Pixel(&colour, 24, 24), RGB(255, 0, 0));
  EXPECT_EQ(HostWindow::Pixel(&colour, 4, 4), kFace);
  EXPECT_EQ(HostWindow::Pixel(&colour, 25, 25), kFace);

  // Handed-in icons: drawn at 32 x 32 and owned (destroyed) by the button.
  HINSTANCE lib = qel::res::LibraryModule();
  HICON on = LoadImageA(lib, 22017, IMAGE_ICON, 16, 16, 0);
  HICON off = LoadImageA(lib, 22018, IMAGE_ICON, 16, 16, 0);
  {
    CSmallButton custom;
    custom.DoCreate("check/x", tagRECT{40, 0, 80, 40}, &host, 8, on, off);
    EXPECT_EQ(custom.m_nIconSize, 32);
    EXPECT_EQ(custom.m_hIcon, on);
  }
  EXPECT_EQ(DestroyIcon(on), 0);  // already destroyed with the button
  EXPECT_EQ(DestroyIcon(off), 0);

  // Bad input: no parent for a child window.
  CSmallButton orphan;
  EXPECT_EQ(orphan.DoCreate("new/x", tagRECT{0, 0, 10, 10}, nullptr, 1, nullptr, nullptr), 0);
  EXPECT_EQ(orphan.m_hIcon, nullptr);
}

}  // namespace csmallbutton_test
