// The search form as a person meets it, against Qt and the search API in the same run.
//
//   OpenToFirstPaint   the demo form and library opened in run mode until the window's
//                      first paint; the peer shows the same 22 controls as plain Qt widgets
//   SearchAndList      a search of the demo library (a mix of four expressions) and the hit
//                      list painted with the lines in view; the peer is the search API alone
//                      reading those lines' records (what any host must do to show them)
//   Scroll*            one screenful of a list of 120,000 hits: a page down (Step) or a
//                      jump of the scroll bar's thumb anywhere (Jump), painted; the peer is
//                      a QTreeView over a QStandardItemModel holding every line in memory
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "designer/form_window.h"
#include "designer/hit_list.h"
#include "qelshare/library_writer.h"
#include "qelshare/search.h"

namespace {

using qel::designer::FormWindow;
using Clock = std::chrono::steady_clock;

std::string const kDemo = std::string(QEL_BINARY_DIR) + "/demo/";
constexpr int kHits = 120000;

// Counts the paints a widget receives.
class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(watched, event);
  }
};

// Runs the event loop until target has painted.
void UntilPainted(QWidget* target) {
  PaintCounter counter;
  target->installEventFilter(&counter);
  while (counter.paints == 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  target->removeEventFilter(&counter);
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Opens the demo form over the window's library in run mode and shows it; false (the benchmark told
// why) when it cannot.
bool OpenAndShow(FormWindow& window, benchmark::State& state) {
  std::string error;
  if (!window.Open(kDemo + "search.frm", error) || !window.OpenLibrary(error)) {
    state.SkipWithError(error.c_str());
    return false;
  }
  window.show();
  return true;
}

void BM_OpenToFirstPaint(benchmark::State& state) {
  for (auto _ : state) {
    auto start = Clock::now();
    FormWindow window(true, kDemo + "poems");
    if (!OpenAndShow(window, state)) return;
    UntilPainted(window.hit_list(18)->view()->viewport());
    state.SetIterationTime(Seconds(start));
  }
}
BENCHMARK(BM_OpenToFirstPaint)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

void BM_PeerQtFormToFirstPaint(benchmark::State& state) {
  for (auto _ : state) {
    auto start = Clock::now();
    QMainWindow window;
    auto* canvas = new QWidget;
    window.setCentralWidget(canvas);
    // The demo form's controls by kind and place.
    for (int i = 0; i < 2; ++i)
      (new QGroupBox("group", canvas))->setGeometry(10, 6 + 98 * i, 620, 92);
    for (int i = 0; i < 6; ++i) (new QLabel("label", canvas))->setGeometry(20, 30 + 40 * i, 51, 21);
    for (int i = 0; i < 5; ++i) (new QLineEdit(canvas))->setGeometry(80, 30 + 36 * i, 190, 21);
    for (int i = 0; i < 6; ++i)
      (new QPushButton("button", canvas))->setGeometry(538, 28 + 36 * i, 81, 25);
    (new QPushButton("check", canvas))->setGeometry(80, 64, 159, 19);
    auto* list = new QListWidget(canvas);
    list->setGeometry(10, 214, 620, 300);
    (new QComboBox(canvas))->setGeometry(66, 528, 250, 21);
    window.resize(980, 680);
    window.show();
    UntilPainted(list->viewport());
    state.SetIterationTime(Seconds(start));
  }
}
BENCHMARK(BM_PeerQtFormToFirstPaint)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(20);

char const* const kMix[] = {"\xD4\xC2",                                        // 月
                            "\xC7\xEF AND \xB6\xC5\xB8\xA6/\xD7\xF7\xD5\xDF",  // 秋 AND 杜甫/作者
                            "\xB4\xBA OR \xBB\xA8",                            // 春 OR 花
                            "\xC0\xEE\xB0\xD7/\xD7\xF7\xD5\xDF"};              // 李白/作者

void BM_SearchAndList(benchmark::State& state) {
  FormWindow window(true, kDemo + "poems");
  if (!OpenAndShow(window, state)) return;
  QWidget* viewport = window.hit_list(18)->view()->viewport();
  UntilPainted(viewport);
  std::size_t n = 0;
  for (auto _ : state) {
    window.Search(kMix[n++ % 4]);
    viewport->repaint();
  }
}
BENCHMARK(BM_SearchAndList)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PeerApiSearchAndRead(benchmark::State& state) {
  qel::Collection collection;
  if (!collection.Open(kDemo + "poems").ok()) {
    state.SkipWithError("no demo library");
    return;
  }
  qel::Session session(collection);
  std::size_t n = 0;
  for (auto _ : state) {
    qel::Result result = session.Search(kMix[n++ % 4]);
    for (qel::Hit const& hit : result.Hits(0, 25)) {
      qel::Record record;
      benchmark::DoNotOptimize(result.Read(hit, record));
    }
  }
}
BENCHMARK(BM_PeerApiSearchAndRead)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A library of kHits records, each holding the word searched (的).
// Written once per run in a folder of its own, removed at exit.
struct BigFolder {
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("qel_bench_search_form." + std::to_string(getpid()));
  ~BigFolder() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

std::string const& BigLibrary() {
  static BigFolder folder;
  static std::string base = [] {
    std::string at = (folder.dir / "big").string();
    qel::LibraryWriter writer(at);
    std::mt19937 random(7);
    char const* words[] = {"\xC9\xBD", "\xCB\xAE", "\xD4\xC2", "\xBB\xA8", "\xB7\xE7", "\xD4\xC6"};
    for (int i = 0; i < kHits; ++i) {
      std::string text;
      for (int k = 0; k < 40; ++k) text += words[random() % 6];
      text.insert(2 * (random() % 40), "\xB5\xC4");  // 的
      writer.Add({{"TI", "\xCC\xE2 " + std::to_string(i)}, {"AU", "\xD7\xF7"}, {"TX", text}});
    }
    std::vector<qel::Field> fields = {{"\xC8\xAB\xB2\xBF", "TI\nTX", 's', ""},  // 全部
                                      {"\xCC\xE2\xC3\xFB", "TI", 'S', ""},
                                      {"\xD7\xF7\xD5\xDF", "AU", 'D', ""},
                                      {"\xD5\xFD\xCE\xC4", "TX", 'S', ""}};
    if (!writer.Finish("big", fields).ok()) std::abort();
    return at;
  }();
  return base;
}

// Scrolls view one screenful a step (jump: to a random place) and paints it.
void Scroll(benchmark::State& state, QTreeView* view, bool jump) {
  QScrollBar* bar = view->verticalScrollBar();
  std::mt19937 random(11);
  for (auto _ : state) {
    int next = jump ? static_cast<int>(random() % static_cast<unsigned>(bar->maximum() + 1))
                    : bar->value() + bar->pageStep();
    bar->setValue(next > bar->maximum() ? 0 : next);
    view->viewport()->repaint();
  }
  state.counters["lines"] = static_cast<double>(view->model()->rowCount());
  state.SetLabel(jump ? "jump_120k" : "page_down_120k");
}

void BM_Scroll(benchmark::State& state) {
  FormWindow window(true, BigLibrary());
  if (!OpenAndShow(window, state)) return;
  window.Search("\xB5\xC4");
  qel::designer::HitList* list = window.hit_list(18);
  if (list->count() < 100000) state.SkipWithError("fewer hits than 100,000");
  UntilPainted(list->view()->viewport());
  Scroll(state, list->view(), state.range(0) != 0);
}
BENCHMARK(BM_Scroll)->ArgName("jump")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PeerQtScroll(benchmark::State& state) {
  QStandardItemModel model(kHits, 3);
  for (int i = 0; i < kHits; ++i) {
    model.setItem(i, 0, new QStandardItem(QString::number(i + 1)));
    model.setItem(i, 1, new QStandardItem(QString::fromUtf8("题 %1 · 作").arg(i)));
    model.setItem(i, 2, new QStandardItem(QString::fromUtf8("…山水月花的风云山水月花…")));
  }
  QTreeView view;
  view.setModel(&model);
  view.setUniformRowHeights(true);
  view.setRootIsDecorated(false);
  view.resize(620, 300);
  view.show();
  UntilPainted(view.viewport());
  Scroll(state, &view, state.range(0) != 0);
}
BENCHMARK(BM_PeerQtScroll)
    ->ArgName("jump")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName("qelshare-bench");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
