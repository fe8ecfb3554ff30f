// The window floor against its peers in one run: BitBlt SRCCOPY against memcpy of the
// same bytes; CTransparentImg's two compositing paths against Qt's own composition of
// the same picture with a mask; a full repaint of a parent holding 30 small buttons.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBitmap>
#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/gdi/gdi.h"
#include "qelshare/CSmallButton.h"
#include "qelshare/CTransparentImg.h"
#include "qelshare/qt.h"

namespace {

constexpr int kSide = 1024;

void BM_BitBltSrcCopy(benchmark::State& state) {
  HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
  HBITMAP ba = CreateBitmap(kSide, kSide, 1, 32, nullptr);
  HBITMAP bb = CreateBitmap(kSide, kSide, 1, 32, nullptr);
  SelectObject(a, ba);
  SelectObject(b, bb);
  for (auto _ : state) {
    BitBlt(a, 0, 0, kSide, kSide, b, 0, 0, SRCCOPY);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kSide * kSide * 4);
}
BENCHMARK(BM_BitBltSrcCopy);

void BM_PeerMemcpy(benchmark::State& state) {
  std::vector<std::uint32_t> a(kSide * kSide), b(kSide * kSide, 1);
  for (auto _ : state) {
    std::memcpy(a.data(), b.data(), a.size() * 4);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kSide * kSide * 4);
}
BENCHMARK(BM_PeerMemcpy);

// An 800 x 600 picture: white with coloured stripes; white is the key colour.
std::vector<std::uint32_t> Picture() {
  std::vector<std::uint32_t> px(800 * 600, 0xFFFFFF);
  for (int y = 0; y < 600; ++y) {
    for (int x = 0; x < 800; ++x) {
      if ((x / 7 + y / 5) % 3 == 0) px[y * 800 + x] = 0x204080 + x;
    }
  }
  return px;
}

struct Parent : CWnd {
  Parent(int w, int h) {
    CWnd::RegisterClass("QelBenchHost", 0, nullptr, nullptr);
    Create("QelBenchHost", "", WS_VISIBLE, tagRECT{0, 0, w, h}, nullptr, 0);
  }
};

void TransparentImg(benchmark::State& state, bool maskBlt) {
  Parent parent(820, 620);
  CTransparentImg img;
  img.Create("", WS_CHILD | WS_VISIBLE | SS_BITMAP, tagRECT{0, 0, 800, 600}, &parent, 1);
  std::vector<std::uint32_t> px = Picture();
  HBITMAP bitmap = CreateBitmap(800, 600, 1, 32, px.data());
  img.SetBitmap(bitmap);
  img.SetBkColor(RGB(255, 255, 255));
  qel::gdi::SetMaskBltAvailable(maskBlt);
  for (auto _ : state) {
    img.Invalidate(0);
    img.UpdateWindow();
  }
  qel::gdi::SetMaskBltAvailable(true);
  img.SetBitmap(nullptr);
  DeleteObject(bitmap);
}
void BM_TransparentImgMaskBlt(benchmark::State& state) {
  TransparentImg(state, true);
}
void BM_TransparentImgBitBlt(benchmark::State& state) {
  TransparentImg(state, false);
}
BENCHMARK(BM_TransparentImgMaskBlt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransparentImgBitBlt)->Unit(benchmark::kMillisecond);

void BM_PeerQtMaskedPixmap(benchmark::State& state) {
  std::vector<std::uint32_t> px = Picture();
  QImage image(reinterpret_cast<uchar const*>(px.data()), 800, 600, 800 * 4, QImage::Format_RGB32);
  QPixmap pixmap = QPixmap::fromImage(image);
  QImage target(800, 600, QImage::Format_RGB32);
  target.fill(Qt::lightGray);
  for (auto _ : state) {
    // The same work as the control: a mask from the key colour, then the composition.
    QPixmap masked = pixmap;
    masked.setMask(pixmap.createMaskFromColor(Qt::white));
    QPainter painter(&target);
    painter.drawPixmap(0, 0, masked);
  }
}
BENCHMARK(BM_PeerQtMaskedPixmap)->Unit(benchmark::kMillisecond);

void BM_Repaint30SmallButtons(benchmark::State& state) {
  Parent parent(400, 100);
  std::vector<std::unique_ptr<CSmallButton>> buttons;
  char const* names[] = {"new/", "edit/", "del/", "up/", "down/", "save/"};
  for (int i = 0; i < 30; ++i) {
    auto b = std::make_unique<CSmallButton>();
    int x = (i % 15) * 24, y = (i / 15) * 24;
    b->DoCreate(names[i % 6], tagRECT{x, y, x + 22, y + 22}, &parent, 100 + i, nullptr, nullptr);
    buttons.push_back(std::move(b));
  }
  QWidget* widget = CQtBridge::GetWidget(&parent);
  // Let the window be exposed, so that repaint() really paints every child.
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  for (auto _ : state) {
    for (auto& b : buttons) b->Invalidate(1);
    widget->repaint();
  }
  state.counters["painted"] = CQtBridge::GetWidget(buttons[0].get())->isVisible() ? 1 : 0;
}
BENCHMARK(BM_Repaint30SmallButtons)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
