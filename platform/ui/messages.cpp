// Posted messages: a Qt event per message, queued to one receiver on the user-interface
// thread, which checks the window is still alive before delivering.
#include <QCoreApplication>
#include <QEvent>
#include <atomic>

#include "platform/ui/ui.h"
#include "platform/ui/window_state.h"

namespace qel::ui {
namespace {

QEvent::Type const kPostedMessage = static_cast<QEvent::Type>(QEvent::registerEventType());

class PostedMessage : public QEvent {
 public:
  PostedMessage(HWND h, UINT m, WPARAM w, LPARAM l)
      : QEvent(kPostedMessage), hwnd(h), message(m), wParam(w), lParam(l) {}
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

class PostTarget : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() != kPostedMessage) return QObject::event(event);
    auto* posted = static_cast<PostedMessage*>(event);
    SendMessageA(posted->hwnd, posted->message, posted->wParam, posted->lParam);
    return true;
  }
};

std::atomic<PostTarget*> g_target{nullptr};

}  // namespace

void EnsurePostTarget() {
  if (g_target.load()) return;
  // Lives on the thread that creates windows, as long as the application.
  auto* target = new PostTarget;
  target->setParent(QCoreApplication::instance());
  g_target.store(target);
}

}  // namespace qel::ui

int PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  qel::ui::PostTarget* target = qel::ui::g_target.load();
  if (!target || !qel::ui::StateOf(hwnd)) return 0;
  QCoreApplication::postEvent(target, new qel::ui::PostedMessage(hwnd, message, wParam, lParam));
  return 1;
}
