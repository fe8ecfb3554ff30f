// The state behind a window handle: the model the library's windows keep (class, styles,
// identifier) and the Qt widget that shows it. Internal to platform/ui.
#ifndef QELSHARE_PLATFORM_UI_WINDOW_STATE_H_
#define QELSHARE_PLATFORM_UI_WINDOW_STATE_H_

#include <QPointer>
#include <QWidget>
#include <string>

#include "platform/gdi/raster.h"
#include "qelshare/window.h"

namespace qel::ui {

// A registered window class.
struct WindowClass {
  std::string name;
  UINT style = 0;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
};

enum class Kind { kRegistered, kEdit, kRichEdit, kStatic, kComboBox, kButton, kListView };

struct WindowState {
  CWnd* wnd = nullptr;
  QPointer<QWidget> widget;
  Kind kind = Kind::kRegistered;
  WindowClass cls;
  unsigned long style = 0;
  unsigned long exStyle = 0;
  UINT id = 0;
  HWND parent = nullptr;
  gdi::Surface backing;  // the client area's pixels, as the window's painting left them
  bool invalid = true;
  bool erase = true;
  bool painting = false;
  bool ownPaint = false;     // the last WM_PAINT drew the backing image (not the widget)
  bool attached = false;     // the widget is the host's (CQtBridge::Attach)
  HICON icon = nullptr;      // STM_SETICON
  HBITMAP bitmap = nullptr;  // STM_SETIMAGE
  HCURSOR cursor = nullptr;  // SetCursor while over this window
  tagRECT seeThrough{};      // client area left unpainted: the siblings beneath show
  bool barAction = false;    // a scroll bar's own action is being reported; the bar moves after
};

// The state of a live handle, or null.
WindowState* StateOf(HWND hwnd);
HWND HandleOf(QWidget const* widget);
// Width of the border the style bits give, on each side.
int BorderOf(WindowState const& state);
// Paints the window now when it has an invalid area: erase, then WM_PAINT.
void PaintNow(WindowState& state);
// Delivers a message to the window's CWnd; *wantsDefault tells whether the handlers left
// the message to the widget's own processing.
LRESULT Deliver(WindowState& state, UINT message, WPARAM wParam, LPARAM lParam, bool* wantsDefault);
// The window procedure of the standard classes and of registered ones.
LRESULT ClassProc(WindowState& state, UINT message, WPARAM wParam, LPARAM lParam,
                  bool* leftToWidget);
// Creates the widget of a standard class; null for an unknown class name.
QWidget* CreateStandardWidget(WindowState& state, std::string const& className, char const* text,
                              QWidget* parent);
// Draws the backing image (and the border) onto the widget inside its paint event.
void PresentBacking(WindowState& state, QWidget* widget);
// GBK text <-> Qt's strings.
QString FromGbk(std::string_view text);
std::string ToGbk(QString const& text);
// Shows a static control's icon or bitmap on its label.
void ShowStaticImage(WindowState& state);
// Makes the object that receives posted messages (on the user-interface thread).
void EnsurePostTarget();
// Shows the window's class cursor (the arrow when the class has none), as the desktop
// platform does over a window's client area before each mouse move reaches it.
void ShowClassCursor(WindowState& state);
// How many times SetCursor has changed the cursor, to tell whether a handler set one.
unsigned CursorChanges();
// The window that gets the mouse messages now: SetCursor shapes the pointer over it (the
// pointer's place on the screen is not known on every platform).
void SetMouseWindow(HWND hwnd);
// Scrolls a scroll-area widget as its scroll bar would for a WM_HSCROLL / WM_VSCROLL code
// (the position of SB_THUMBPOSITION and SB_THUMBTRACK in the high word).
void ScrollByCode(WindowState& state, UINT message, WPARAM wParam);

}  // namespace qel::ui

#endif  // QELSHARE_PLATFORM_UI_WINDOW_STATE_H_
