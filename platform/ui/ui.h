// The window floor's calls by handle, with the desktop platform's names and results, for
// the library's controls and other platform code (the MIDI device posts its end-of-play
// notification with PostMessageA). A null or destroyed window makes every call fail
// (0 / null) without effect.
#ifndef QELSHARE_PLATFORM_UI_UI_H_
#define QELSHARE_PLATFORM_UI_UI_H_

#include <cstddef>
#include <string_view>

#include "qelshare/window.h"

// Calls the window's procedure at once (user-interface thread); 0 for a bad window.
LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Queues a message for the window; any thread may call it. 1 when queued.
int PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
inline int PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return PostMessageA(hwnd, message, wParam, lParam);
}
// GWL_ID, GWL_STYLE or GWL_EXSTYLE of a window; 0 otherwise.
long GetWindowLongA(HWND hwnd, int index);
int IsWindow(HWND hwnd);
int IsWindowEnabled(HWND hwnd);
int InvalidateRect(HWND hwnd, tagRECT const* rect, int erase);
int UpdateWindow(HWND hwnd);
int GetClientRect(HWND hwnd, tagRECT* rect);
HWND GetParent(HWND hwnd);
// Puts the window above its siblings, for painting and for the mouse.
int BringWindowToTop(HWND hwnd);

// Mouse capture, the pointer's shape, and the keyboard's state.
HWND SetCapture(HWND hwnd);
int ReleaseCapture();
HWND GetCapture();
// A stock cursor (IDC_) for a null instance; null otherwise.
HCURSOR LoadCursorA(HINSTANCE instance, std::uintptr_t name);
// Shows the cursor over the window that has the mouse; returns the former one.
HCURSOR SetCursor(HCURSOR cursor);
// The high bit (the result is negative) while the key is down.
short GetKeyState(int virtualKey);

// Left and top inclusive, right and bottom exclusive.
inline int PtInRect(tagRECT const* rect, tagPOINT point) {
  return rect && point.x >= rect->left && point.x < rect->right && point.y >= rect->top &&
         point.y < rect->bottom;
}
inline LPARAM MakeLParam(int low, int high) {
  return static_cast<LPARAM>(static_cast<std::uint32_t>((low & 0xFFFF) | ((high & 0xFFFF) << 16)));
}

namespace qel::ui {

// A device context over a window's backing image (what its painting left), for reading
// its pixels back; release it with DeleteDC. Null for a bad window.
HDC BackingDC(HWND hwnd);

// Leaves a rectangle of a registered-class window's client area unpainted on the screen,
// so that the sibling windows beneath show through it, as a window does on the desktop
// platform when a sibling paints over it; input there still reaches this window. An empty
// rectangle (or null) paints the whole area again. 0 for a bad window.
int SetSeeThrough(HWND hwnd, tagRECT const* rect);

}  // namespace qel::ui

#endif  // QELSHARE_PLATFORM_UI_UI_H_
