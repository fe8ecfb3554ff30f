// Delivery of posted window messages, MM_MCINOTIFY above all, from the media devices to the
// host's windows.
//
// A device posts through PostToWindow, from any thread. In a build with the window floor, a
// CWnd pointer names its own window (GetSafeHwnd) and a post to a live window goes through
// the floor's PostMessageA, into Qt's event queue. Every other post waits in a process-wide
// queue keyed by window handle, which a host without windows (qel play, tests) pumps with
// PeekPosted or WaitPosted. Two hooks replace these defaults: SetPostHook takes every post,
// SetWindowHandleHook decides how a CWnd pointer names a handle.
#ifndef QELSHARE_PLATFORM_MCI_NOTIFY_H_
#define QELSHARE_PLATFORM_MCI_NOTIFY_H_

#include <chrono>
#include <cstdint>
#include <optional>

#include "qelshare/types.h"

class CWnd;

namespace qel::mci {

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

// One posted message.
struct PostedMessage {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

using PostHook = void (*)(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
using WindowHandleHook = HWND (*)(CWnd* window);

// Makes hook the deliverer of every later post; null returns to the queue. Thread-safe.
void SetPostHook(PostHook hook);
// Makes hook the way a CWnd pointer names its window handle; null makes every window
// pointer name no window. At the start: GetSafeHwnd with the window floor, null without.
// Thread-safe.
void SetWindowHandleHook(WindowHandleHook hook);

// Posts a message to hwnd through the post hook, or into the queue; a null hwnd is
// dropped. Never blocks on the receiver. Thread-safe.
void PostToWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The handle of window through the window-handle hook; null for a null window or no hook.
HWND WindowHandleOf(CWnd* window);

// For hosts without a window floor: the window named by a CWnd pointer is the queue window
// whose handle has the same value. Install it with SetWindowHandleHook and name a window as
// QueueWindow(handle).
HWND QueueWindowHandle(CWnd* window);
CWnd* QueueWindow(HWND handle);

// Removes and returns the oldest queued message for hwnd, if any.
std::optional<PostedMessage> PeekPosted(HWND hwnd);
// Like PeekPosted, waiting up to timeout for a message to arrive.
std::optional<PostedMessage> WaitPosted(HWND hwnd, std::chrono::milliseconds timeout);
// Drops every queued message for hwnd.
void DiscardPosted(HWND hwnd);

}  // namespace qel::mci

#endif  // QELSHARE_PLATFORM_MCI_NOTIFY_H_
