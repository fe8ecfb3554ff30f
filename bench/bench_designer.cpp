// The designer's drag step against Qt's own in the same run. A form of 200 controls in
// design mode, 21 of them selected; one drag step is a mouse move injected on the dragged
// frame: the frame moves its control and notifies the parent (0x200), the parent moves
// the 20 other selected controls with Simulate, and the window system paints what changed.
// The peer moves 21 plain Qt widgets among 400 by the same offset and paints.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <vector>

#include "qelshare/CCtrlSizeWnd.h"
#include "qelshare/CCtrlWnd.h"
#include "qelshare/qt.h"

namespace {

constexpr int kControls = 200;
constexpr int kSelected = 21;

// The designer's window: mirrors a drag on the other selected frames.
class Designer : public CWnd {
 public:
  Designer() {
    CWnd::RegisterClass("QelBenchDesigner", 0, nullptr, nullptr);
    Create("QelBenchDesigner", "", WS_VISIBLE, tagRECT{0, 0, 1000, 700}, nullptr, 0);
  }
  std::vector<CCtrlSizeWnd*> others;
  int steps = 0;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_COPYDATA) {
      auto const* block = reinterpret_cast<tagCOPYDATASTRUCT const*>(lParam);
      if (block->cbData == 12) {
        auto const* v = static_cast<std::int32_t const*>(block->lpData);
        for (CCtrlSizeWnd* f : others) f->Simulate(static_cast<UINT>(block->dwData), v[0], v[1]);
        if (block->dwData == WM_MOUSEMOVE) ++steps;
      }
      return 1;
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

struct Form {
  Designer designer;
  std::vector<std::unique_ptr<CCtrlSizeWnd>> frames;
  std::vector<std::unique_ptr<CCtrlWnd>> controls;
  Form() {
    char const* kinds[] = {"EDIT", "TEXT", "BUTTON", "CHECK", "COMBO"};
    for (int i = 0; i < kControls; ++i) {
      auto frame = std::make_unique<CCtrlSizeWnd>();
      frame->DoCreate(&designer, i);
      auto control = std::make_unique<CCtrlWnd>();
      char line[128];
      std::snprintf(line, sizeof line, "%s,\"c%d\",%d,%d,79,19,\"\",\"\",BORDER", kinds[i % 5], i,
                    10 + (i % 10) * 95, 10 + (i / 10) * 32);
      control->DoCreate(line, &designer, nullptr, frame.get());
      frame->SetFriendWnd(control.get());
      frames.push_back(std::move(frame));
      controls.push_back(std::move(control));
    }
    for (int i = 0; i < kSelected; ++i) frames[i * 9]->OnFocus(1, i == 0);
    for (int i = 1; i < kSelected; ++i) designer.others.push_back(frames[i * 9].get());
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  }
};

QPoint At(CWnd* child, int x, int y) {
  QWidget* w = CQtBridge::GetWidget(child);
  return w->mapTo(w->window(), QPoint(x, y));
}

void BM_DesignDragStep(benchmark::State& state) {
  Form form;
  CCtrlSizeWnd* dragged = form.frames[0].get();
  QWindow* window = CQtBridge::GetWidget(&form.designer)->windowHandle();
  QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, At(dragged, 20, 10));
  for (int i = 0; i < 2; ++i) QCoreApplication::processEvents();
  int dx = 1;
  for (auto _ : state) {
    QTest::mouseMove(window, At(dragged, 20 + dx, 10));
    QCoreApplication::processEvents();
    dx = -dx;
  }
  QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, At(dragged, 20, 10));
  state.counters["mirrored"] = static_cast<double>(form.designer.steps) / state.iterations();
}
BENCHMARK(BM_DesignDragStep)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PeerQtMoveWidgets(benchmark::State& state) {
  QWidget top;
  top.resize(1000, 700);
  std::vector<QWidget*> all;
  for (int i = 0; i < 2 * kControls; ++i) {
    QWidget* w =
        i % 2 ? static_cast<QWidget*>(new QLineEdit(QStringLiteral("c"), &top)) : new QWidget(&top);
    w->setGeometry(10 + (i / 2 % 10) * 95, 10 + (i / 20) * 32, 80, 20);
    all.push_back(w);
  }
  top.show();
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  int dx = 1;
  for (auto _ : state) {
    for (int i = 0; i < kSelected; ++i) {
      for (int k = 0; k < 2; ++k) {
        QWidget* w = all[i * 18 + k];
        w->move(w->x() + dx, w->y());
      }
    }
    QCoreApplication::processEvents();
    dx = -dx;
  }
}
BENCHMARK(BM_PeerQtMoveWidgets)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
