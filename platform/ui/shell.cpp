#include "platform/ui/shell.h"

#include <QElapsedTimer>
#include <QFileDialog>
#include <QGraphicsOpacityEffect>
#include <QRegion>
#include <QThread>

#include "platform/ui/window_state.h"

namespace qel::ui {

bool ChooseFolder(HWND owner, std::string_view title, std::string& path) {
  path.clear();
  WindowState* s = StateOf(owner);
  QFileDialog dialog(s ? s->widget.data() : nullptr, FromGbk(title));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  path = ToGbk(dialog.selectedFiles().front());
  return !path.empty();
}

void Animate(HWND hwnd, unsigned long time, unsigned long flags) {
  WindowState* s = StateOf(hwnd);
  if (!s || !s->widget) return;
  QWidget* w = s->widget;
  bool hide = flags & AW_HIDE;
  bool blend = flags & AW_BLEND;
  QGraphicsOpacityEffect* fade = nullptr;
  if (blend) {
    fade = new QGraphicsOpacityEffect(w);
    w->setGraphicsEffect(fade);
  }
  w->show();
  // One frame every 10 ms: the visible part (or the opacity) grows or shrinks.
  QElapsedTimer clock;
  clock.start();
  int width = w->width(), height = w->height();
  for (;;) {
    double t = std::min(1.0, static_cast<double>(clock.elapsed()) / static_cast<double>(time));
    double shown = hide ? 1.0 - t : t;
    if (fade) {
      fade->setOpacity(shown);
    } else {
      int sw = static_cast<int>(width * shown), sh = static_cast<int>(height * shown);
      QRect part(0, 0, width, height);
      if (flags & AW_CENTER) {
        part = QRect((width - sw) / 2, (height - sh) / 2, sw, sh);
      } else if (flags & AW_HOR_POSITIVE) {
        part.setWidth(sw);
      } else if (flags & AW_HOR_NEGATIVE) {
        part.setLeft(width - sw);
      }
      if (!(flags & AW_CENTER)) {
        if (flags & AW_VER_POSITIVE) part.setHeight(sh);
        if (flags & AW_VER_NEGATIVE) part.setTop(height - sh);
      }
      w->setMask(part.isEmpty() ? QRegion(0, 0, 1, 1) : QRegion(part));
    }
    w->repaint();
    if (!StateOf(hwnd) || t >= 1.0) break;
    QThread::msleep(10);
  }
  if (!StateOf(hwnd)) return;
  w->clearMask();
  if (fade) w->setGraphicsEffect(nullptr);
  w->setVisible(!hide);
}

}  // namespace qel::ui
