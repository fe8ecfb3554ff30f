// The path a person uses: runs under any platform plugin; ctest also runs it under Xvfb
// with the desktop (xcb) plugin.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "qelshare/CSmallButton.h"
#include "support/window_host.h"

namespace display_test {

using qel::testing::HostWindow;

TEST(WindowDisplay, SmallButtonClickAndItsPixelsOnScreen) {
  HostWindow host;
  CSmallButton button;
  ASSERT_EQ(button.DoCreate("color/x", tagRECT{20, 20, 60, 60}, &host, 5, nullptr, nullptr), 1);
  button.SetColor(RGB(0, 0, 255));
  host.Move(&button, 10, 10);
  host.Press(&button, 10, 10);
  host.Release(&button, 10, 10);
  QTest::qWait(20);
  ASSERT_EQ(host.commands.size(), 1u) << QGuiApplication::platformName().toStdString();
  EXPECT_EQ(host.commands[0].wParam, 5u);
  // What Qt shows is what the button painted.
  button.UpdateWindow();
  QImage shown = CQtBridge::GetWidget(&button)->grab().toImage();
  EXPECT_EQ(shown.pixel(20, 20) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(HostWindow::Pixel(&button, 20, 20), RGB(0, 0, 255));
}

}  // namespace display_test
