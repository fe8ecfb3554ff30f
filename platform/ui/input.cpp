// Mouse capture, cursors and the keyboard's state on Qt.
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QWidget>

#include "platform/ui/ui.h"
#include "platform/ui/window_state.h"

using qel::ui::StateOf;

namespace {

HWND g_capture = nullptr;
HCURSOR g_cursor = nullptr;  // the cursor last shown; null before any
unsigned g_cursorChanges = 0;
HWND g_mouseWindow = nullptr;

// Stock cursors are the Qt shape plus one, so that none is null.
Qt::CursorShape ShapeOf(HCURSOR cursor) {
  return static_cast<Qt::CursorShape>(reinterpret_cast<std::uintptr_t>(cursor) - 1);
}
HCURSOR CursorOf(Qt::CursorShape shape) {
  return reinterpret_cast<HCURSOR>(static_cast<std::uintptr_t>(shape) + 1);
}

}  // namespace

HWND SetCapture(HWND hwnd) {
  qel::ui::WindowState* s = StateOf(hwnd);
  HWND old = StateOf(g_capture) ? g_capture : nullptr;
  if (!s || !s->widget) return old;
  if (old && old != hwnd) {
    if (auto* w = StateOf(old)->widget.data()) w->releaseMouse();
  }
  s->widget->grabMouse();
  g_capture = hwnd;
  return old;
}

int ReleaseCapture() {
  if (qel::ui::WindowState* s = StateOf(g_capture)) {
    if (s->widget) s->widget->releaseMouse();
  }
  g_capture = nullptr;
  return 1;
}

HWND GetCapture() {
  return StateOf(g_capture) ? g_capture : nullptr;
}

HCURSOR LoadCursorA(HINSTANCE instance, std::uintptr_t name) {
  if (instance) return nullptr;
  switch (name) {
    case IDC_ARROW:
      return CursorOf(Qt::ArrowCursor);
    case IDC_IBEAM:
      return CursorOf(Qt::IBeamCursor);
    case IDC_WAIT:
      return CursorOf(Qt::WaitCursor);
    case IDC_CROSS:
      return CursorOf(Qt::CrossCursor);
    case IDC_SIZENWSE:
      return CursorOf(Qt::SizeFDiagCursor);
    case IDC_SIZENESW:
      return CursorOf(Qt::SizeBDiagCursor);
    case IDC_SIZEWE:
      return CursorOf(Qt::SizeHorCursor);
    case IDC_SIZENS:
      return CursorOf(Qt::SizeVerCursor);
    case IDC_SIZEALL:
      return CursorOf(Qt::SizeAllCursor);
    case IDC_HAND:
      return CursorOf(Qt::PointingHandCursor);
    default:
      return nullptr;
  }
}

HCURSOR SetCursor(HCURSOR cursor) {
  if (!g_cursor) g_cursor = CursorOf(Qt::ArrowCursor);
  HCURSOR old = g_cursor;
  if (!cursor) return old;
  g_cursor = cursor;
  ++g_cursorChanges;
  // The window that has the mouse: the capturing one, else the one that got the last mouse
  // message, else the one under the pointer.
  QWidget* widget = nullptr;
  if (qel::ui::WindowState* s = StateOf(g_capture)) widget = s->widget;
  if (qel::ui::WindowState* s = StateOf(g_mouseWindow); s && !widget) widget = s->widget;
  if (!widget) widget = QApplication::widgetAt(QCursor::pos());
  if (widget) widget->setCursor(QCursor(ShapeOf(cursor)));
  return old;
}

short GetKeyState(int virtualKey) {
  Qt::KeyboardModifiers mods = QGuiApplication::queryKeyboardModifiers();
  bool down = false;
  if (virtualKey == VK_SHIFT) down = mods & Qt::ShiftModifier;
  if (virtualKey == VK_CONTROL) down = mods & Qt::ControlModifier;
  return down ? static_cast<short>(0x8000) : 0;
}

namespace qel::ui {

void ShowClassCursor(WindowState& state) {
  HCURSOR cursor = state.cls.cursor ? state.cls.cursor : CursorOf(Qt::ArrowCursor);
  g_cursor = cursor;
  QWidget* widget = state.widget;
  if (!widget) return;
  Qt::CursorShape shape = ShapeOf(cursor);
  if (!widget->testAttribute(Qt::WA_SetCursor) || widget->cursor().shape() != shape) {
    widget->setCursor(QCursor(shape));
  }
}

unsigned CursorChanges() {
  return g_cursorChanges;
}

void SetMouseWindow(HWND hwnd) {
  g_mouseWindow = hwnd;
}

}  // namespace qel::ui
