#include "platform/ui/snapshot.h"

#include <QApplication>
#include <QPixmap>
#include <cstdlib>

#include "platform/gdi/png.h"
#include "platform/ui/window_state.h"

namespace qel::ui {

struct HostSession::Impl {
  int argc = 1;
  char name[4] = "qel";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<QApplication> app;
};

HostSession::HostSession() : impl_(std::make_unique<Impl>()) {
  if (QCoreApplication::instance()) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  impl_->app = std::make_unique<QApplication>(impl_->argc, impl_->argv);
}

HostSession::~HostSession() = default;

void HostSession::Pump() {
  QCoreApplication::processEvents();
}

bool WriteWindowPng(HWND hwnd, std::string const& path) {
  WindowState* s = StateOf(hwnd);
  if (!s || !s->widget) return false;
  QCoreApplication::processEvents();
  return gdi::SavePngDurably(s->widget->grab().toImage(), path);
}

}  // namespace qel::ui
