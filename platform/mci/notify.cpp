#include "platform/mci/notify.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "qelshare/config.h"
#if QELSHARE_WINDOWS
#include "platform/ui/ui.h"
#endif

namespace qel::mci {
namespace {

#if QELSHARE_WINDOWS
// With the window floor built, a CWnd pointer names its own window.
HWND FrameworkHandle(CWnd* window) {
  return window->GetSafeHwnd();
}
constexpr WindowHandleHook kDefaultHandleHook = &FrameworkHandle;
#else
constexpr WindowHandleHook kDefaultHandleHook = nullptr;
#endif

std::atomic<PostHook> g_post_hook{nullptr};
std::atomic<WindowHandleHook> g_handle_hook{kDefaultHandleHook};

struct Queue {
  std::mutex mutex;
  std::condition_variable arrived;
  std::deque<PostedMessage> messages;
};

// Never destroyed: devices may post while the process exits.
Queue& TheQueue() {
  static auto& queue = *new Queue;
  return queue;
}

// Takes the oldest message for hwnd; the caller holds the lock.
std::optional<PostedMessage> Take(Queue& q, HWND hwnd) {
  for (auto it = q.messages.begin(); it != q.messages.end(); ++it) {
    if (it->hwnd == hwnd) {
      PostedMessage m = *it;
      q.messages.erase(it);
      return m;
    }
  }
  return std::nullopt;
}

}  // namespace

void SetPostHook(PostHook hook) {
  g_post_hook.store(hook);
}

void SetWindowHandleHook(WindowHandleHook hook) {
  g_handle_hook.store(hook);
}

void PostToWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hwnd == nullptr) return;
  if (PostHook hook = g_post_hook.load()) {
    hook(hwnd, message, wParam, lParam);
    return;
  }
#if QELSHARE_WINDOWS
  // A live window of the floor gets the message through its event queue; any other handle
  // is a queue window.
  if (::PostMessageA(hwnd, message, wParam, lParam)) return;
#endif
  Queue& q = TheQueue();
  {
    std::lock_guard lock(q.mutex);
    q.messages.push_back({hwnd, message, wParam, lParam});
  }
  q.arrived.notify_all();
}

HWND WindowHandleOf(CWnd* window) {
  WindowHandleHook hook = g_handle_hook.load();
  return window != nullptr && hook != nullptr ? hook(window) : nullptr;
}

HWND QueueWindowHandle(CWnd* window) {
  return reinterpret_cast<HWND>(window);
}

CWnd* QueueWindow(HWND handle) {
  return reinterpret_cast<CWnd*>(handle);
}

std::optional<PostedMessage> PeekPosted(HWND hwnd) {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  return Take(q, hwnd);
}

std::optional<PostedMessage> WaitPosted(HWND hwnd, std::chrono::milliseconds timeout) {
  Queue& q = TheQueue();
  std::unique_lock lock(q.mutex);
  auto const deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (auto m = Take(q, hwnd)) return m;
    if (q.arrived.wait_until(lock, deadline) == std::cv_status::timeout) return Take(q, hwnd);
  }
}

void DiscardPosted(HWND hwnd) {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  std::erase_if(q.messages, [hwnd](PostedMessage const& m) { return m.hwnd == hwnd; });
}

}  // namespace qel::mci
