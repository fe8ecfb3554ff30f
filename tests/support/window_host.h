// A top-level host window for window tests: records the messages its children send and
// post to it, and injects mouse input through Qt's window-system path.
#ifndef QELSHARE_TESTS_SUPPORT_WINDOW_HOST_H_
#define QELSHARE_TESTS_SUPPORT_WINDOW_HOST_H_

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/ui/ui.h"
#include "qelshare/qt.h"
#include "qelshare/window.h"

namespace qel::testing {

struct Message {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

class HostWindow : public CWnd {
 public:
  explicit HostWindow(int width = 240, int height = 160) {
    CWnd::RegisterClass("QelTestHost", 0, nullptr, nullptr);
    Create("QelTestHost", "host", WS_VISIBLE, tagRECT{0, 0, width, height}, nullptr, 0);
    QWidget* w = CQtBridge::GetWidget(this);
    w->activateWindow();
    (void)QTest::qWaitForWindowExposed(w);
    (void)QTest::qWaitForWindowActive(w);
  }

  std::vector<Message> commands;

  QWindow* Window() { return CQtBridge::GetWidget(this)->windowHandle(); }

  // Pointer input at a point of a child window's client area.
  static QPoint At(CWnd* child, int x, int y) {
    QWidget* w = CQtBridge::GetWidget(child);
    return w->mapTo(w->window(), QPoint(x, y));
  }
  void Move(CWnd* child, int x, int y) { QTest::mouseMove(Window(), At(child, x, y)); }
  void Press(CWnd* child, int x, int y) {
    QTest::mousePress(Window(), Qt::LeftButton, Qt::NoModifier, At(child, x, y));
  }
  void Release(CWnd* child, int x, int y) {
    QTest::mouseRelease(Window(), Qt::LeftButton, Qt::NoModifier, At(child, x, y));
  }
  // Runs posted messages.
  static void Pump() { QCoreApplication::processEvents(); }

  // A pixel of a window's backing image, as its painting left it.
  static COLORREF Pixel(CWnd* window, int x, int y) {
    HDC dc = qel::ui::BackingDC(window->m_hWnd);
    COLORREF c = GetPixel(dc, x, y);
    DeleteDC(dc);
    return c;
  }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_COMMAND || message == WM_COPYDATA)
      commands.push_back({message, wParam, lParam});
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

}  // namespace qel::testing

#endif  // QELSHARE_TESTS_SUPPORT_WINDOW_HOST_H_
