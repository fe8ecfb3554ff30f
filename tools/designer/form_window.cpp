#include "form_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTextEdit>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>

#include "description_check.h"
#include "hit_list.h"
#include "platform/text/codepage.h"
#include "platform/text/collate.h"
#include "qelshare/pg_load.h"
#include "qelshare/qt.h"
#include "tr.h"

namespace qel::designer {

QString FromGbk(std::string const& gbk) {
  return QString::fromStdString(text::GbkToUtf8Lossy(gbk));
}

std::string ToGbk(QString const& text) {
  std::string out;
  text::Utf8ToGbkReplacing(text.toStdString(), out);
  return out;
}

namespace {

constexpr int kCanvasWidth = 640;
// Where the search form keeps its history between runs, and how much of it.
constexpr char kHistoryKey[] = "search/history";
constexpr std::size_t kHistoryKept = 200;
constexpr int kCanvasHeight = 480;
// What an item of a library combo box stands for, beside a library's place.
constexpr int kSeveralItem = -1;
constexpr int kOpenLibraryItem = -2;

// A library's name for people: the last part of its base path, or for a library in
// PostgreSQL (postgresql://...?table=NAME, or host=... table=NAME) its table and server,
// without the password.
QString LibraryName(std::string const& base) {
  if (qel::PgShownAddress shown; qel::ShowPgAddress(base, shown)) {
    return FromGbk(shown.table + " @ " + shown.server);
  }
  return FromGbk(base.substr(base.find_last_of("/\\") + 1));
}

// The whole base, as a tooltip shows it: an address without its password.
QString LibraryTip(std::string const& base) {
  if (qel::PgShownAddress shown; qel::ShowPgAddress(base, shown)) return FromGbk(shown.address);
  return FromGbk(base);
}

// The record as HTML: hit words in red, each after an anchor "hitN" (N from 0); *hits
// receives their number.
QString RecordHtml(Fields const& fields, int* hits) {
  QString html;
  *hits = 0;
  for (auto const& [code, value] : fields) {
    QString text = FromGbk(value).toHtmlEscaped();
    QString marked;
    for (QChar c : text) {
      if (c == QChar(0x01)) {
        marked += QString("<a name=\"hit%1\"></a><b style=\"color:#c00000\">").arg((*hits)++);
      } else if (c == QChar(0x02)) {
        marked += "</b>";
      } else {
        marked += c;
      }
    }
    marked.replace("\n", "<br>");
    html += "<p><b>" + FromGbk(code).toHtmlEscaped() + "</b>: " + marked + "</p>";
  }
  return html;
}

// Kinds compare without regard to letter case.
bool SameKind(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

}  // namespace

LRESULT FormHost::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA || message == WM_COMMAND || message == WM_LBUTTONDOWN) {
    owner_.Notified(message, wParam, lParam);
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

FormWindow::FormWindow(bool run, std::string library)
    : run_(run), library_(std::move(library)), host_(*this) {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  skipped_label_ = new QLabel(central);
  skipped_label_->setWordWrap(true);
  skipped_label_->setStyleSheet("QLabel { background: #fff3cd; color: #664d03; padding: 4px; }");
  skipped_label_->hide();
  layout->addWidget(skipped_label_);
  scroll_ = new QScrollArea(central);
  canvas_ = new QWidget;
  canvas_->setFixedSize(kCanvasWidth, kCanvasHeight);
  canvas_->setAutoFillBackground(true);
  scroll_->setWidget(canvas_);
  scroll_->viewport()->installEventFilter(this);
  layout->addWidget(scroll_, 1);
  setCentralWidget(central);
  CQtBridge::Attach(&host_, canvas_);
  font_.CreatePointFont(90, "WenQuanYi Micro Hei");
  if (run_) {
    BuildRunMenus();
  } else {
    BuildMenus();
    BuildProperties();
  }
  statusBar()->showMessage(run_ ? Tr("Ready") : Tr("Click a control to select it"));
  resize(run_ ? 980 : 1100, 680);
}

FormWindow::~FormWindow() {
  frames_.clear();
  controls_.clear();
  CQtBridge::Detach(&host_);
}

bool FormWindow::Check(std::string const& line, std::string& reason) {
  return CheckDescription(line, reason);
}

bool FormWindow::Open(std::string const& path, std::string& error) {
  path_ = path;
  bool ok = form_.Load(
      path, [this](std::string const& line, std::string& reason) { return Check(line, reason); },
      skipped_, error);
  if (!ok) return false;
  setWindowTitle(QString("%1 - %2").arg(QString::fromStdString(path),
                                        run_ ? Tr("search form") : QString("qel-designer")));
  Rebuild();
  // What the controls make of the lines is the form as loaded; lines they read otherwise
  // than the file says are shown, and stay as they are in the file until changed.
  std::vector<Corrected> corrected = form_.Normalize(LiveLines(), ReadAsWritten);
  QString text;
  if (!skipped_.empty()) {
    text = Tr("%1 line(s) of %2 make no control; they are kept in the file as they are:")
               .arg(skipped_.size())
               .arg(QString::fromStdString(path));
    for (Skipped const& s : skipped_) {
      text += "\n" + Tr("line %1: %2: %3")
                         .arg(s.number)
                         .arg(QString::fromStdString(s.reason))
                         .arg(FromGbk(s.text.substr(0, 120)));
    }
  }
  if (!corrected.empty()) {
    if (!text.isEmpty()) text += "\n";
    text += Tr("%1 line(s) are read otherwise than written; a change to the control "
               "saves them as read:")
                .arg(corrected.size());
    for (Corrected const& c : corrected) {
      text += "\n" + Tr("line %1: %2\n    read as %3")
                         .arg(c.number)
                         .arg(FromGbk(c.text.substr(0, 120)))
                         .arg(FromGbk(c.read_as.substr(0, 120)));
    }
  }
  skipped_label_->setText(text);
  skipped_label_->setVisible(!text.isEmpty());
  return true;
}

bool FormWindow::OpenLibrary(std::string& error) {
  return OpenLibraries({library_}, error);
}

bool FormWindow::OpenLibraries(std::vector<std::string> const& bases, std::string& error) {
  libraries_.clear();
  for (std::string const& base : bases) libraries_.push_back({base, true});
  if (!OpenTicked(error)) return false;
  // The expressions of earlier runs, kept per user where the platform keeps settings.
  std::vector<std::string> typed;
  for (QString const& e : QSettings().value(kHistoryKey).toStringList()) typed.push_back(ToGbk(e));
  session_.SetHistory(std::move(typed));
  std::vector<Binding> bindings;
  for (auto const& c : controls_) bindings.push_back({c->GetType(), c->GetMark()});
  search_ =
      std::make_unique<SearchForm>(session_, std::move(bindings), static_cast<Surface&>(*this));
  search_->SetTranslator([](char const* english) { return ToGbk(Tr(english)); });
  // The expression box takes the keyboard first: a person types the query straight away.
  if (std::size_t edit = search_->Find("_SYS_ED_EXP"); edit != kNone) {
    if (QWidget* w = CQtBridge::GetWidget(controls_[edit].get())) w->setFocus();
  }
  // Combo boxes choose the library searched; their height of 120 is the dropped list's,
  // which Qt shows as a popup of its own, so the box itself takes its natural height.
  for (auto const& c : controls_) {
    auto* combo = qobject_cast<QComboBox*>(CQtBridge::GetWidget(c.get()));
    if (combo == nullptr || std::find(combos_.begin(), combos_.end(), combo) != combos_.end()) {
      continue;
    }
    connect(combo, &QComboBox::activated, this, [this, combo](int row) {
      int chosen = combo->itemData(row).toInt();
      if (chosen == kOpenLibraryItem) {
        ChooseLibraries();
      } else if (chosen >= 0) {
        std::vector<bool> ticks(libraries_.size(), false);
        ticks[static_cast<std::size_t>(chosen)] = true;
        SetTicks(ticks);
      }
      ShowLibraries();  // the choice shown is the libraries searched, whatever happened
    });
    combos_.push_back(combo);
  }
  ShowLibraries();
  for (QComboBox* combo : combos_) combo->resize(combo->width(), combo->sizeHint().height());
  return true;
}

bool FormWindow::OpenTicked(std::string& error) {
  std::vector<std::string> bases;
  QStringList names;
  for (Library const& l : libraries_) {
    if (!l.ticked) continue;
    bases.push_back(l.base);
    names << LibraryName(l.base);
  }
  if (bases.empty()) {
    error = ToGbk(Tr("Tick at least one library to search."));
    return false;
  }
  // A library without an index is counted record by record; a big one shows how far.
  QElapsedTimer shown;
  shown.start();
  auto progress = [&](std::uint64_t done, std::uint64_t total) {
    if (shown.elapsed() < 100 || total == 0) return;
    shown.restart();
    statusBar()->showMessage(
        Tr("Counting the records of %1: %2%").arg(names.join(", ")).arg(done * 100 / total));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
  if (!session_.Open(bases, error, progress)) return false;
  // Records name their fields in the user's language where the registry has a name in it.
  session_.SetChineseNames(QLocale().language() == QLocale::Chinese);
  if (search_) search_->Forget();
  statusBar()->setStyleSheet("");
  statusBar()->showMessage(Tr("%1 records in %2").arg(session_.records()).arg(names.join(", ")));
  return true;
}

void FormWindow::SetTicks(std::vector<bool> const& ticks) {
  std::vector<Library> before = libraries_;
  for (std::size_t i = 0; i < libraries_.size() && i < ticks.size(); ++i) {
    libraries_[i].ticked = ticks[i];
  }
  std::string error;
  if (!OpenTicked(error)) {
    // The libraries open stay the ones searched.
    libraries_ = before;
    Status(error, true);
  }
  ShowLibraries();
}

void FormWindow::ChooseLibraries() {
  QString folder = FromGbk(libraries_.empty() ? std::string() : libraries_.back().base);
  folder = folder.left(std::max<qsizetype>(folder.lastIndexOf('/'), 0));
  QStringList chosen =
      QFileDialog::getOpenFileNames(this, Tr("Open libraries"), folder,
                                    Tr("Retrieval libraries (*.qel)") + ";;" + Tr("All files (*)"));
  if (!chosen.isEmpty()) AddLibraries(chosen);
}

bool FormWindow::AddLibraries(QStringList const& paths) {
  std::vector<Library> before = libraries_;
  for (QString const& path : paths) {
    std::string base, error;
    if (!text::Utf8ToGbk(path.toStdString(), base, error)) {
      libraries_ = before;
      Status(ToGbk(Tr("%1: the path has characters without a GBK form; the library cannot "
                      "open it.")
                       .arg(path)),
             true);
      return false;
    }
    if (base.size() > 4 && text::CompareNoCase(base.substr(base.size() - 4), ".qel") == 0) {
      base.resize(base.size() - 4);
    }
    auto same = std::find_if(libraries_.begin(), libraries_.end(),
                             [&](Library const& l) { return l.base == base; });
    if (same == libraries_.end()) {
      libraries_.push_back({base, true});
    } else {
      same->ticked = true;
    }
  }
  std::string error;
  bool opened = OpenTicked(error);
  if (!opened) {
    libraries_ = before;
    Status(error, true);
  }
  ShowLibraries();
  return opened;
}

void FormWindow::ShowLibraries() {
  std::vector<std::string> const& open = session_.bases();
  for (Library& l : libraries_) {
    l.ticked = std::find(open.begin(), open.end(), l.base) != open.end();
  }
  if (libraries_list_ != nullptr) {
    QSignalBlocker quiet(libraries_list_);
    libraries_list_->clear();
    for (Library const& l : libraries_) {
      auto* item = new QListWidgetItem(LibraryName(l.base), libraries_list_);
      item->setToolTip(LibraryTip(l.base));
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
      item->setCheckState(l.ticked ? Qt::Checked : Qt::Unchecked);
    }
  }
  for (QComboBox* combo : combos_) {
    QSignalBlocker quiet(combo);
    combo->clear();
    QStringList ticked;
    for (Library const& l : libraries_) {
      if (l.ticked) ticked << LibraryName(l.base);
    }
    if (ticked.size() > 1) combo->addItem(ticked.join(" + "), kSeveralItem);
    for (std::size_t i = 0; i < libraries_.size(); ++i) {
      combo->addItem(LibraryName(libraries_[i].base), static_cast<int>(i));
      if (ticked.size() == 1 && libraries_[i].ticked) combo->setCurrentIndex(combo->count() - 1);
    }
    combo->addItem(Tr("Open library..."), kOpenLibraryItem);
    if (ticked.size() > 1) combo->setCurrentIndex(0);
  }
}

void FormWindow::Rebuild() {
  frames_.clear();
  hit_lists_.clear();
  combos_.clear();
  controls_.clear();
  index_.clear();
  ids_.clear();
  CCtrlWnd::SetBeginID(1000);
  std::vector<std::string> const& lines = form_.lines();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    auto control = std::make_unique<CCtrlWnd>();
    auto frame = std::make_unique<CCtrlSizeWnd>();
    if (control->DoCreate(lines[i].c_str(), &host_, &font_, run_ ? nullptr : frame.get()) == 0) {
      continue;
    }
    index_[control->m_hWnd] = controls_.size();
    ids_[control->GetDlgCtrlID()] = controls_.size();
    if (QWidget* w = CQtBridge::GetWidget(control.get())) {
      w->installEventFilter(this);
      // In run mode a LIST shows its hits through a table that reads them as they come into
      // view, standing over the control and taking its size.
      if (run_ && SameKind(control->GetType(), "LIST")) {
        std::size_t at = controls_.size();
        auto* list = new HitList(
            w, [this](std::uint64_t first, std::size_t n) { return session_.Rows(first, n); });
        list->OnOpen([this, at](int row) {
          if (search_) search_->Opened(at, row);
        });
        list->setToolTip(w->toolTip());
        list->show();
        w->setFocusProxy(list);
        hit_lists_[at] = list;
      }
    }
    if (!run_) {
      // The frame is made after its control so that it lies above it and takes the drag.
      frame->DoCreate(&host_, static_cast<unsigned int>(controls_.size()));
      frame->SetFriendWnd(control.get());
      index_[frame->m_hWnd] = controls_.size();
      frames_.push_back(std::move(frame));
    }
    controls_.push_back(std::move(control));
  }
  canvas_->setFixedSize(kCanvasWidth, kCanvasHeight);
  FitCanvas();
  selection_.Reset(controls_.size());
  EnableUndo();
  ShowProperties();
  if (run_) {
    natural_ = Rects();
    grow_ = kNone;
    long long largest = 0;
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      long long area = static_cast<long long>(natural_[i].w) * natural_[i].h;
      if (SameKind(controls_[i]->GetType(), "LIST") && area > largest) {
        largest = area;
        grow_ = i;
      }
    }
    StretchToWindow();
  }
}

void FormWindow::StretchToWindow() {
  if (!run_ || natural_.size() != controls_.size()) return;
  // The form's own places, with the sizes the controls show (a combo box takes its
  // natural height, not the dropped list's that its line gives); only the list grows.
  std::vector<Rect> now = Rects();
  std::vector<Rect> form = natural_;
  for (std::size_t i = 0; i < form.size(); ++i) {
    if (i != grow_) {
      form[i].w = now[i].w;
      form[i].h = now[i].h;
    }
  }
  int width = 0, height = 0;
  for (Rect const& r : form) {
    width = std::max(width, r.x + r.w + 10);
    height = std::max(height, r.y + r.h + 10);
  }
  QSize room = scroll_->viewport()->size();
  int extra_width = std::max(room.width() - width, 0);
  int extra_height = std::max(room.height() - height, 0);
  std::vector<Rect> rects = Stretch(form, grow_, extra_width, extra_height);
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    if (!(rects[i] == now[i])) {
      controls_[i]->MoveWindow(rects[i].x, rects[i].y, rects[i].w, rects[i].h);
    }
  }
  // The form scrolls only when the window is smaller than it.
  canvas_->setFixedSize(width + extra_width, height + extra_height);
}

void FormWindow::FitCanvas() {
  int width = canvas_->width(), height = canvas_->height();
  for (auto const& c : controls_) {
    tagRECT r;
    c->GetWindowRect(&r);
    host_.ScreenToClient(&r);
    width = std::max(width, std::min(r.right, 4000) + 20);
    height = std::max(height, std::min(r.bottom, 4000) + 20);
  }
  if (width != canvas_->width() || height != canvas_->height())
    canvas_->setFixedSize(width, height);
}

void FormWindow::KeepInside(std::vector<std::size_t> const& dragged) {
  int dx = 0, dy = 0;
  for (std::size_t k : dragged) {
    tagRECT r;
    controls_[k]->GetWindowRect(&r);
    host_.ScreenToClient(&r);
    dx = std::max(dx, -r.left);
    dy = std::max(dy, -r.top);
  }
  if (dx == 0 && dy == 0) return;
  for (std::size_t k : dragged) {
    frames_[k]->Simulate(WM_MOUSEMOVE, dx, dy);
    frames_[k]->Simulate(WM_LBUTTONUP, 0, 0);
  }
}

std::vector<std::string> FormWindow::LiveLines() {
  std::vector<std::string> lines;
  lines.reserve(controls_.size());
  for (auto const& c : controls_) lines.push_back(c->GetString());
  return lines;
}

void FormWindow::Commit() {
  form_.Change(LiveLines());
  EnableUndo();
  ShowProperties();
}

std::size_t FormWindow::IndexOf(HWND hwnd) const {
  auto it = index_.find(hwnd);
  return it == index_.end() ? kNone : it->second;
}

void FormWindow::ShowSelection() {
  for (std::size_t i = 0; i < frames_.size(); ++i) {
    if (!selection_.selected(i)) {
      frames_[i]->OnFocus(0, 0);
    } else {
      frames_[i]->OnFocus(1, i == selection_.active() ? 1 : 0);
    }
  }
  ShowProperties();
}

void FormWindow::Select(std::size_t i, bool ctrl) {
  if (run_ || ordering_ || i >= controls_.size()) return;
  selection_.Click(i, ctrl);
  ShowSelection();
}

void FormWindow::Notified(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_LBUTTONDOWN) {
    if (!run_ && !ordering_) {
      selection_.Clear();
      ShowSelection();
    }
    return;
  }
  if (message == WM_COMMAND) {
    if (!run_ || !search_) return;
    auto it = ids_.find(static_cast<int>(wParam & 0xFFFF));
    if (it == ids_.end()) return;
    std::size_t i = it->second;
    if ((wParam >> 16) == BN_CLICKED) {
      search_->Clicked(i);
    }
    return;
  }
  auto const* data = reinterpret_cast<tagCOPYDATASTRUCT const*>(lParam);
  if (data == nullptr || run_) return;
  std::size_t i = IndexOf(reinterpret_cast<HWND>(wParam));
  if (i == kNone) return;
  if (data->cbData == 0) {  // a click on a control
    selection_.Click(i, data->dwData == 1);
    // A press that goes on into a drag moves the control it just selected.
    // The press went to no widget (the control does not take it), so nothing holds the
    // pointer: the control grabs it until the release.
    QWidget* pressed = CQtBridge::GetWidget(controls_[i].get());
    if (pressed != nullptr && (QGuiApplication::mouseButtons() & Qt::LeftButton)) {
      press_ = {i, QCursor::pos(), {}, false};
      pressed->grabMouse();
    }
    for (std::size_t k = 0; k < frames_.size(); ++k) {
      if (k == i) continue;
      if (selection_.selected(k)) {
        frames_[k]->OnFocus(1, 0);
      } else {
        frames_[k]->OnFocus(0, 0);
      }
    }
    ShowProperties();
    return;
  }
  if (data->cbData < 12 || data->lpData == nullptr) return;
  int numbers[3];
  std::memcpy(numbers, data->lpData, sizeof numbers);
  if (ordering_) {
    if (data->dwData == kButtonDown) {
      int place = order_.Click(i);
      frames_[i]->SetID(place);
      frames_[i]->Invalidate();
      frames_[i]->UpdateWindow();
      statusBar()->showMessage(Tr("Control %1 is number %2").arg(i + 1).arg(place + 1));
    }
    return;
  }
  Reaction r = React(selection_, i, data->dwData, numbers[0], numbers[1]);
  for (Mirror const& m : r.mirrors) frames_[m.frame]->Simulate(m.message, m.x, m.y);
  tagRECT frame, control;
  frames_[i]->GetWindowRect(&frame);
  controls_[i]->GetWindowRect(&control);
  if (data->dwData == kButtonDown) {
    drag_.Down(frame.left + numbers[0], frame.top + numbers[1], control.left, control.top);
  } else if (data->dwData == kMoveStep) {
    drag_.Step();
    // The area grows under a control dragged past its right or bottom edge (scrolling it
    // here would move the control under the pointer).
    FitCanvas();
    tagPOINT at{control.left, control.top};
    host_.ScreenToClient(&at);
    statusBar()->showMessage(QString("X %1, Y %2").arg(at.x).arg(at.y));
  } else if (data->dwData == kButtonUp) {
    std::vector<std::size_t> dragged = selection_.Selected();
    if (std::find(dragged.begin(), dragged.end(), i) == dragged.end()) dragged.push_back(i);
    // The release point is in the frame as it was during the drag: the control's rectangle.
    auto [dx, dy] =
        drag_.Up(control.left + numbers[0], control.top + numbers[1], control.left, control.top);
    if (dx != 0 || dy != 0) {
      for (std::size_t k : dragged) {
        frames_[k]->Simulate(WM_MOUSEMOVE, dx, dy);
        frames_[k]->Simulate(WM_LBUTTONUP, 0, 0);
      }
    }
    KeepInside(dragged);
    SnapDragged(dragged);
    FitCanvas();
  }
  if (r.drop) {
    tagPOINT point{r.x, r.y};
    host_.ScreenToClient(&point);
    tagRECT rect;
    controls_[i]->GetWindowRect(&rect);
    controls_[i]->MoveWindow(std::max(point.x, 0), std::max(point.y, 0), rect.right - rect.left,
                             rect.bottom - rect.top);
    frames_[i]->OnFocus(1, frames_[i]->IsActive());
    FitCanvas();
  }
  if (r.commit) Commit();
}

void FormWindow::SnapDragged(std::vector<std::size_t> const& dragged) {
  if (!snap_) return;
  std::vector<Rect> rects = Rects();
  for (std::size_t k : dragged) {
    Rect snapped = Snap(rects[k]);
    if (snapped == rects[k]) continue;
    controls_[k]->MoveWindow(snapped.x, snapped.y, snapped.w, snapped.h);
    frames_[k]->OnFocus(1, frames_[k]->IsActive());
  }
}

bool FormWindow::PressDragEvent(QObject* watched, QEvent* event) {
  std::size_t i = press_.control;
  if (i >= controls_.size() || CQtBridge::GetWidget(controls_[i].get()) != watched) return false;
  if (event->type() == QEvent::MouseMove) {
    auto const* move = static_cast<QMouseEvent*>(event);
    if (!(move->buttons() & Qt::LeftButton)) return false;
    QPoint delta = move->globalPosition().toPoint() - press_.start;
    if (!press_.moving && delta.manhattanLength() < QApplication::startDragDistance()) return true;
    std::vector<std::size_t> dragged = selection_.Selected();
    if (!press_.moving) {
      press_.moving = true;
      for (std::size_t k : dragged) frames_[k]->Simulate(WM_LBUTTONDOWN, 0, 0);
    }
    QPoint step = delta - press_.applied;
    for (std::size_t k : dragged) frames_[k]->Simulate(WM_MOUSEMOVE, step.x(), step.y());
    press_.applied = delta;
    FitCanvas();
    tagRECT r;
    controls_[i]->GetWindowRect(&r);
    host_.ScreenToClient(&r);
    statusBar()->showMessage(QString("X %1, Y %2").arg(r.left).arg(r.top));
    return true;
  }
  if (event->type() == QEvent::MouseButtonRelease) {
    bool moved = press_.moving;
    press_ = {};
    static_cast<QWidget*>(watched)->releaseMouse();
    if (!moved) return false;
    std::vector<std::size_t> dragged = selection_.Selected();
    for (std::size_t k : dragged) frames_[k]->Simulate(WM_LBUTTONUP, 0, 0);
    KeepInside(dragged);
    SnapDragged(dragged);
    FitCanvas();
    Commit();
  }
  return false;
}

void FormWindow::SetOrdering(bool on) {
  if (run_ || on == ordering_) return;
  ordering_ = on;
  if (order_action_ != nullptr) order_action_->setChecked(on);
  if (on) {
    selection_.Clear();
    order_.Start(frames_.size());
    for (std::size_t i = 0; i < frames_.size(); ++i) {
      frames_[i]->SetID(static_cast<int>(i));
      frames_[i]->Order(1);
    }
    statusBar()->showMessage(Tr("Order view: click the controls in the order they should have"));
    return;
  }
  for (auto& f : frames_) f->Order(0);
  std::vector<std::string> lines = LiveLines();
  std::vector<std::string> ordered;
  for (std::size_t k : order_.Order()) ordered.push_back(lines[k]);
  form_.Change(std::move(ordered));
  Rebuild();
  statusBar()->showMessage(Tr("Order set"));
}

void FormWindow::AddControl(std::string_view kind) {
  if (run_) return;
  SetOrdering(false);
  form_.Change(LiveLines());
  auto [w, h] = NewSize(kind);
  int area = std::max(scroll_->viewport()->width(), 200);
  auto [x, y] = FreeSpot(Rects(), w, h, area);
  form_.Add(NewLine(kind, x, y));
  Rebuild();
  Select(controls_.size() - 1, false);
  scroll_->ensureVisible(x, y, w, h);
}

std::vector<Rect> FormWindow::Rects() {
  std::vector<Rect> rects;
  rects.reserve(controls_.size());
  for (auto const& c : controls_) {
    tagRECT r;
    c->GetWindowRect(&r);
    host_.ScreenToClient(&r);
    rects.push_back({r.left, r.top, r.right - r.left, r.bottom - r.top});
  }
  return rects;
}

void FormWindow::PlaceControls(std::vector<Rect> const& rects, bool amend) {
  std::vector<Rect> now = Rects();
  bool moved = false;
  for (std::size_t i = 0; i < controls_.size() && i < rects.size(); ++i) {
    if (rects[i] == now[i]) continue;
    controls_[i]->MoveWindow(rects[i].x, rects[i].y, rects[i].w, rects[i].h);
    moved = true;
  }
  if (!moved) return;
  std::vector<std::size_t> selected = selection_.Selected();
  std::size_t active = selection_.active();
  form_.Change(LiveLines(), amend);
  Rebuild();
  for (std::size_t i : selected) {
    if (i != active) Select(i, true);
  }
  if (active != kNone) Select(active, true);
  EnableUndo();
}

void FormWindow::ArrangeSelection(Arrangement arrangement) {
  if (run_ || selection_.active() == kNone) return;
  SetOrdering(false);
  PlaceControls(Arrange(Rects(), selection_.Selected(), selection_.active(), arrangement));
}

void FormWindow::AddLines(std::vector<std::string> const& lines, int dx, int dy) {
  std::string reason;
  std::vector<std::string> kept;
  for (std::string const& line : lines) {
    if (!line.empty() && Check(line, reason)) kept.push_back(line);
  }
  if (kept.empty()) return;
  SetOrdering(false);
  std::vector<std::string> all = LiveLines();
  form_.Change(all);
  std::size_t first = all.size();
  all.insert(all.end(), kept.begin(), kept.end());
  form_.Change(std::move(all));
  Rebuild();
  std::vector<Rect> rects = Rects();
  for (std::size_t i = first; i < rects.size(); ++i) {
    rects[i].x = std::max(rects[i].x + dx, 0);
    rects[i].y = std::max(rects[i].y + dy, 0);
  }
  selection_.Clear();
  for (std::size_t i = first; i < controls_.size(); ++i) Select(i, true);
  PlaceControls(rects, true);
  FitCanvas();
}

void FormWindow::Copy() {
  if (run_) return;
  QStringList lines;
  for (std::size_t i : selection_.Selected()) lines << FromGbk(controls_[i]->GetString());
  if (!lines.isEmpty()) QGuiApplication::clipboard()->setText(lines.join("\r\n") + "\r\n");
}

void FormWindow::Paste() {
  if (run_) return;
  std::vector<std::string> lines;
  for (QString const& line : QGuiApplication::clipboard()->text().split('\n')) {
    QString trimmed = line;
    if (trimmed.endsWith('\r')) trimmed.chop(1);
    lines.push_back(ToGbk(trimmed));
  }
  AddLines(lines, 2 * kGrid, 2 * kGrid);
}

void FormWindow::Duplicate() {
  if (run_) return;
  std::vector<std::string> lines;
  for (std::size_t i : selection_.Selected()) lines.push_back(controls_[i]->GetString());
  AddLines(lines, 2 * kGrid, 2 * kGrid);
}

bool FormWindow::Save(std::string& error) {
  SetOrdering(false);
  form_.Change(LiveLines());
  if (!form_.Save(path_, error)) return false;
  form_.MarkSaved(path_);
  statusBar()->showMessage(
      Tr("Saved %1 controls to %2").arg(form_.lines().size()).arg(QString::fromStdString(path_)));
  return true;
}

void FormWindow::EnableUndo() {
  if (undo_action_ != nullptr) undo_action_->setEnabled(form_.CanUndo());
  if (redo_action_ != nullptr) redo_action_->setEnabled(form_.CanRedo());
}

void FormWindow::Redo() {
  SetOrdering(false);
  form_.Change(LiveLines());
  if (form_.Redo()) Rebuild();
  EnableUndo();
}

void FormWindow::Undo() {
  SetOrdering(false);
  form_.Change(LiveLines());
  if (form_.Undo()) Rebuild();
}

void FormWindow::Search(std::string const& expression) {
  if (!search_) return;
  std::size_t edit = search_->Find("_SYS_ED_EXP");
  std::size_t ok = search_->Find("_SYS_BT_OK");
  if (edit != kNone) SetText(edit, expression);
  if (ok != kNone) search_->Clicked(ok);
}

QString FormWindow::StatusText() const {
  return statusBar()->currentMessage();
}

void FormWindow::BuildRunMenus() {
  QMenu* file = menuBar()->addMenu(Tr("&File"));
  file->addAction(Tr("&Open library..."), this, [this] { ChooseLibraries(); })
      ->setShortcut(QKeySequence::Open);
  file->addSeparator();
  file->addAction(Tr("&Close"), this, [this] { close(); })->setShortcut(QKeySequence::Quit);
  // The libraries opened, each with a tick: those ticked are searched together.
  auto* dock = new QDockWidget(Tr("Libraries"), this);
  dock->setObjectName("libraries");
  dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetClosable);
  auto* panel = new QWidget(dock);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(4, 4, 4, 4);
  libraries_list_ = new QListWidget(panel);
  libraries_list_->setToolTip(Tr("The ticked libraries are searched together"));
  layout->addWidget(libraries_list_, 1);
  auto* add = new QPushButton(Tr("Open library..."), panel);
  connect(add, &QPushButton::clicked, this, [this] { ChooseLibraries(); });
  layout->addWidget(add);
  connect(libraries_list_, &QListWidget::itemChanged, this, [this] {
    std::vector<bool> ticks;
    for (int i = 0; i < libraries_list_->count(); ++i) {
      ticks.push_back(libraries_list_->item(i)->checkState() == Qt::Checked);
    }
    SetTicks(ticks);
  });
  dock->setWidget(panel);
  addDockWidget(Qt::RightDockWidgetArea, dock);
  resizeDocks({dock}, {150}, Qt::Horizontal);
  QMenu* view = menuBar()->addMenu(Tr("&View"));
  view->addAction(dock->toggleViewAction());
}

void FormWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(Tr("&File"));
  file->addAction(Tr("&New"), this,
                  [this] {
                    if (MaySetFormAside()) New();
                  })
      ->setShortcut(QKeySequence::New);
  file->addAction(Tr("&Open..."), this,
                  [this] {
                    if (!MaySetFormAside()) return;
                    QString chosen = QFileDialog::getOpenFileName(
                        this, Tr("Open a form"), QString(), Tr("Forms (*.frm);;All files (*)"));
                    if (chosen.isEmpty()) return;
                    std::string error;
                    if (!Open(chosen.toStdString(), error)) {
                      QMessageBox::warning(this, "qel-designer", QString::fromStdString(error));
                    }
                  })
      ->setShortcut(QKeySequence::Open);
  QAction* save = file->addAction(Tr("&Save"), this, [this] {
    std::string error;
    if (!SaveWithDialog(error) && !error.empty()) {
      QMessageBox::warning(this, "qel-designer", QString::fromStdString(error));
    }
  });
  save->setShortcut(QKeySequence::Save);
  file->addAction(Tr("Save &as..."), this,
                  [this] {
                    QString chosen =
                        QFileDialog::getSaveFileName(this, Tr("Save the form as"), QString(),
                                                     Tr("Forms (*.frm);;All files (*)"));
                    if (chosen.isEmpty()) return;
                    std::string error;
                    if (!SaveAs(chosen.toStdString(), error)) {
                      QMessageBox::warning(this, "qel-designer", QString::fromStdString(error));
                    }
                  })
      ->setShortcut(QKeySequence::SaveAs);
  file->addAction(Tr("&Quit"), this, [this] { close(); })->setShortcut(QKeySequence::Quit);
  QMenu* edit = menuBar()->addMenu(Tr("&Edit"));
  undo_action_ = edit->addAction(Tr("&Undo"), this, [this] { Undo(); });
  undo_action_->setShortcut(QKeySequence::Undo);
  undo_action_->setEnabled(false);
  redo_action_ = edit->addAction(Tr("&Redo"), this, [this] { Redo(); });
  redo_action_->setShortcuts({QKeySequence::Redo, QKeySequence("Ctrl+Y")});
  redo_action_->setEnabled(false);
  edit->addAction(Tr("&Delete control"), this,
                  [this] {
                    std::size_t i = selection_.active();
                    if (i == kNone || i >= controls_.size()) return;
                    form_.Change(LiveLines());
                    form_.Remove(i);
                    Rebuild();
                  })
      ->setShortcut(QKeySequence::Delete);
  edit->addSeparator();
  edit->addAction(Tr("&Copy"), this, [this] { Copy(); })->setShortcut(QKeySequence::Copy);
  edit->addAction(Tr("&Paste"), this, [this] { Paste(); })->setShortcut(QKeySequence::Paste);
  edit->addAction(Tr("D&uplicate"), this, [this] { Duplicate(); })
      ->setShortcut(QKeySequence("Ctrl+D"));
  edit->addSeparator();
  order_action_ = edit->addAction(Tr("&Order view"), this, [this](bool on) { SetOrdering(on); });
  order_action_->setCheckable(true);
  order_action_->setShortcut(QKeySequence("Ctrl+T"));

  QMenu* format = menuBar()->addMenu(Tr("F&ormat"));
  struct Command {
    QString name;
    Arrangement arrangement;
  };
  for (Command c : {Command{Tr("Align &left edges"), Arrangement::kAlignLeft},
                    Command{Tr("Align &top edges"), Arrangement::kAlignTop},
                    Command{Tr("Align &right edges"), Arrangement::kAlignRight},
                    Command{Tr("Align &bottom edges"), Arrangement::kAlignBottom},
                    Command{Tr("Same &width"), Arrangement::kSameWidth},
                    Command{Tr("Same &height"), Arrangement::kSameHeight},
                    Command{Tr("Same &size"), Arrangement::kSameSize}}) {
    format->addAction(c.name, this, [this, c] { ArrangeSelection(c.arrangement); });
  }
  format->addSeparator();
  QAction* snap =
      format->addAction(Tr("Snap to &grid"), this, [this](bool on) { SetSnapToGrid(on); });
  snap->setCheckable(true);
  snap->setChecked(snap_);

  QToolBar* palette = addToolBar(Tr("Palette"));
  for (std::string_view kind : Kinds()) {
    std::string name(kind);
    palette->addAction(QString::fromStdString(name), this, [this, name] { AddControl(name); });
  }
  palette->addSeparator();
  palette->addAction(order_action_);
  palette->addAction(undo_action_);
  palette->addAction(redo_action_);
  palette->addAction(save);
}

void FormWindow::BuildProperties() {
  auto* dock = new QDockWidget(Tr("Properties"), this);
  auto* panel = new QWidget(dock);
  auto* layout = new QFormLayout(panel);
  kind_label_ = new QLabel(panel);
  caption_edit_ = new QLineEdit(panel);
  mark_combo_ = new QComboBox(panel);
  mark_combo_->setEditable(true);
  mark_combo_->addItem("", QString());
  for (int i = 0; i < CCtrlWnd::GetSysResideCount(); ++i) {
    QString mark = QString::fromLatin1(CCtrlWnd::GetSysResideMark(i));
    mark_combo_->addItem(mark + "  " + FromGbk(CCtrlWnd::GetSysResideString(i)), mark);
  }
  help_edit_ = new QLineEdit(panel);
  style_list_ = new QListWidget(panel);
  style_extra_ = new QLineEdit(panel);
  style_extra_->setToolTip(Tr("Other style words, separated by |"));
  auto* apply = new QPushButton(Tr("Apply"), panel);
  layout->addRow(Tr("Kind"), kind_label_);
  // The place and size as the line writes them: W and H are the width and height less one.
  char const* place_names[4] = {"X", "Y", "W", "H"};
  for (int k = 0; k < 4; ++k) {
    place_[k] = new QSpinBox(panel);
    place_[k]->setRange(-4000, 4000);
    layout->addRow(place_names[k], place_[k]);
    connect(place_[k], &QSpinBox::editingFinished, this, [this] { ApplyPlace(); });
  }
  layout->addRow(Tr("Caption"), caption_edit_);
  layout->addRow(Tr("Mark"), mark_combo_);
  layout->addRow(Tr("Help"), help_edit_);
  layout->addRow(Tr("Style"), style_list_);
  layout->addRow(Tr("Other words"), style_extra_);
  layout->addRow(apply);
  connect(apply, &QPushButton::clicked, this, [this] { ApplyProperties(); });
  // Enter in a property field applies the properties, as the button does.
  for (QLineEdit* field : {caption_edit_, help_edit_, style_extra_}) {
    connect(field, &QLineEdit::returnPressed, this, [this] { ApplyProperties(); });
  }
  connect(mark_combo_->lineEdit(), &QLineEdit::returnPressed, this, [this] { ApplyProperties(); });
  dock->setWidget(panel);
  addDockWidget(Qt::RightDockWidgetArea, dock);
  resizeDocks({dock}, {150}, Qt::Horizontal);
}

void FormWindow::ShowProperties() {
  if (kind_label_ == nullptr) return;
  std::size_t i = selection_.active();
  CCtrlWnd* c = i < controls_.size() ? controls_[i].get() : nullptr;
  kind_label_->setText(c ? FromGbk(c->GetType()) : Tr("(no control selected)"));
  tagRECT r{};
  if (c != nullptr) {
    c->GetWindowRect(&r);
    host_.ScreenToClient(&r);
  }
  int place[4] = {r.left, r.top, r.right - r.left - 1, r.bottom - r.top - 1};
  for (int k = 0; k < 4; ++k) {
    QSignalBlocker quiet(place_[k]);
    place_[k]->setValue(c != nullptr ? place[k] : 0);
    place_[k]->setEnabled(c != nullptr);
  }
  caption_edit_->setText(c ? FromGbk(c->GetCaption()) : QString());
  QString mark = c ? FromGbk(c->GetMark()) : QString();
  // The system marks offered are those that suit the control's kind.
  mark_combo_->clear();
  mark_combo_->addItem("", QString());
  for (int k = 0; k < CCtrlWnd::GetSysResideCount(); ++k) {
    char const* sys = CCtrlWnd::GetSysResideMark(k);
    if (c != nullptr && !MarkFitsKind(sys, c->GetType())) continue;
    mark_combo_->addItem(QString::fromLatin1(sys) + "  " + FromGbk(CCtrlWnd::GetSysResideString(k)),
                         QString::fromLatin1(sys));
  }
  int row = mark_combo_->findData(mark);
  if (row >= 0) {
    mark_combo_->setCurrentIndex(row);
  } else {
    mark_combo_->setEditText(mark);
  }
  help_edit_->setText(c ? FromGbk(c->GetHelp()) : QString());
  style_list_->clear();
  std::vector<std::string> words = c ? SplitWords(c->GetStyle()) : std::vector<std::string>{};
  std::vector<std::string> extra = words;
  if (c != nullptr) {
    for (std::string_view w : StyleWords(c->GetType())) {
      auto* item = new QListWidgetItem(QString::fromStdString(std::string(w)), style_list_);
      bool on = std::find(words.begin(), words.end(), w) != words.end();
      item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
      extra.erase(std::remove(extra.begin(), extra.end(), w), extra.end());
    }
  }
  style_extra_->setText(FromGbk(JoinWords(extra)));
  for (QWidget* w : std::initializer_list<QWidget*>{caption_edit_, mark_combo_, help_edit_,
                                                    style_list_, style_extra_}) {
    w->setEnabled(c != nullptr);
  }
}

void FormWindow::ApplyPlace() {
  std::size_t i = selection_.active();
  if (i >= controls_.size()) return;
  int x = place_[0]->value(), y = place_[1]->value(), w = place_[2]->value(),
      h = place_[3]->value();
  tagRECT r;
  controls_[i]->GetWindowRect(&r);
  host_.ScreenToClient(&r);
  if (x == r.left && y == r.top && w == r.right - r.left - 1 && h == r.bottom - r.top - 1) return;
  controls_[i]->MoveWindow(x, y, w + 1, h + 1);
  form_.Change(LiveLines());
  Rebuild();
  Select(i, false);
}

void FormWindow::ApplyProperties() {
  std::size_t i = selection_.active();
  if (i >= controls_.size()) return;
  CCtrlWnd& c = *controls_[i];
  std::vector<std::string> words;
  for (int k = 0; k < style_list_->count(); ++k) {
    if (style_list_->item(k)->checkState() == Qt::Checked) {
      words.push_back(style_list_->item(k)->text().toStdString());
    }
  }
  for (std::string& w : SplitWords(ToGbk(style_extra_->text()))) words.push_back(std::move(w));
  QString mark = mark_combo_->currentData().toString();
  if (mark_combo_->currentText() != mark_combo_->itemText(mark_combo_->currentIndex())) {
    mark = mark_combo_->currentText();
  }
  c.SetCaption(ToGbk(caption_edit_->text()).c_str());
  c.SetHelp(ToGbk(help_edit_->text()).c_str());
  c.SetStyle(JoinWords(words).c_str());
  c.m_strMark = ToGbk(mark);
  std::vector<std::string> lines = LiveLines();
  form_.Change(lines);
  Rebuild();
  Select(i, false);
}

std::string FormWindow::Text(std::size_t i) {
  QWidget* w = i < controls_.size() ? CQtBridge::GetWidget(controls_[i].get()) : nullptr;
  if (auto* e = qobject_cast<QLineEdit*>(w)) return ToGbk(e->text());
  if (auto* e = qobject_cast<QPlainTextEdit*>(w)) return ToGbk(e->toPlainText());
  if (auto* e = qobject_cast<QTextEdit*>(w)) return ToGbk(e->toPlainText());
  if (auto* e = qobject_cast<QComboBox*>(w)) return ToGbk(e->currentText());
  return {};
}

void FormWindow::SetText(std::size_t i, std::string const& text) {
  QWidget* w = i < controls_.size() ? CQtBridge::GetWidget(controls_[i].get()) : nullptr;
  if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(FromGbk(text));
  if (auto* e = qobject_cast<QPlainTextEdit*>(w)) e->setPlainText(FromGbk(text));
  if (auto* e = qobject_cast<QTextEdit*>(w)) e->setPlainText(FromGbk(text));
}

bool FormWindow::Checked(std::size_t i) {
  QWidget* w = i < controls_.size() ? CQtBridge::GetWidget(controls_[i].get()) : nullptr;
  auto* b = qobject_cast<QAbstractButton*>(w);
  return b != nullptr && b->isChecked();
}

void FormWindow::SetHits(std::size_t i, std::uint64_t count, std::string const& expression) {
  HitList* list = hit_list(i);
  if (list == nullptr) return;
  list->SetHits(count, expression.empty() ? QString()
                                          : Tr("%1 hits: %2").arg(count).arg(FromGbk(expression)));
}

HitList* FormWindow::hit_list(std::size_t i) const {
  auto it = hit_lists_.find(i);
  return it == hit_lists_.end() ? nullptr : it->second;
}

void FormWindow::SaveHistory() {
  std::vector<std::string> const& typed = session_.history();
  QStringList list;
  std::size_t first = typed.size() > kHistoryKept ? typed.size() - kHistoryKept : 0;
  for (std::size_t i = first; i < typed.size(); ++i) list << FromGbk(typed[i]);
  QSettings().setValue(kHistoryKey, list);
}

void FormWindow::Status(std::string const& text, bool error) {
  if (run_ && !error && !session_.history().empty()) SaveHistory();
  statusBar()->setStyleSheet(error ? "QStatusBar { color: #c00000; }" : "");
  statusBar()->showMessage(FromGbk(text));
}

int FormWindow::Choose(std::string const& title, std::vector<std::string> const& items) {
  QStringList list;
  for (std::string const& item : items) list << FromGbk(item);
  bool ok = false;
  QString picked = QInputDialog::getItem(this, FromGbk(title), Tr("Expression"), list,
                                         static_cast<int>(list.size()) - 1, false, &ok);
  return ok ? static_cast<int>(list.indexOf(picked)) : -1;
}

void FormWindow::ShowRecord(std::string const& title, Fields const& fields, std::size_t number,
                            std::size_t count) {
  if (record_.isNull()) {
    record_ = new QDialog(this);
    record_->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(record_);
    record_text_ = new QTextBrowser(record_);
    layout->addWidget(record_text_);
    auto* row = new QHBoxLayout;
    record_place_ = new QLabel(record_);
    row->addWidget(record_place_, 1);
    struct Step {
      QString label;
      QKeySequence key;
      std::function<void()> act;
    };
    for (Step const& step : {
             Step{Tr("Previous hit"), QKeySequence("Shift+F3"), [this] { ShowHit(-1); }},
             Step{Tr("Next hit"), QKeySequence("F3"), [this] { ShowHit(1); }},
             Step{Tr("Previous record"), QKeySequence("Ctrl+PgUp"),
                  [this] {
                    if (search_) search_->OpenNext(-1);
                  }},
             Step{Tr("Next record"), QKeySequence("Ctrl+PgDown"),
                  [this] {
                    if (search_) search_->OpenNext(1);
                  }},
         }) {
      auto* button = new QPushButton(step.label, record_);
      button->setShortcut(step.key);
      button->setToolTip(step.key.toString(QKeySequence::NativeText));
      button->setAutoDefault(false);
      connect(button, &QPushButton::clicked, record_, step.act);
      row->addWidget(button);
    }
    auto* close = new QPushButton(Tr("Close"), record_);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, record_, &QDialog::close);
    row->addWidget(close);
    layout->addLayout(row);
    record_->resize(620, 460);
  }
  record_->setWindowTitle(FromGbk(title));
  record_text_->setHtml(RecordHtml(fields, &record_hits_));
  record_hit_ = -1;
  record_place_->setText(Tr("Hit %1 of %2").arg(number + 1).arg(count));
  record_->show();
  record_->raise();
  ShowHit(1);
}

void FormWindow::ShowHit(int delta) {
  if (record_.isNull() || record_hits_ == 0) return;
  int next = std::clamp(record_hit_ + delta, 0, record_hits_ - 1);
  record_hit_ = next;
  record_text_->scrollToAnchor(QString("hit%1").arg(next));
}

void FormWindow::Close() {
  close();
}

std::string FormWindow::Unconvertible(std::size_t i) {
  QWidget* w = i < controls_.size() ? CQtBridge::GetWidget(controls_[i].get()) : nullptr;
  auto* edit = qobject_cast<QLineEdit*>(w);
  if (edit == nullptr) return {};
  QString text = edit->text();
  std::size_t position = 0;
  for (QChar const* c = text.constBegin(); c != text.constEnd(); ++position) {
    // One character, a surrogate pair taken whole.
    int units = c->isHighSurrogate() && c + 1 != text.constEnd() ? 2 : 1;
    QString one(c, units);
    std::string gbk, error;
    if (!text::Utf8ToGbk(one.toStdString(), gbk, error)) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(one.toUcs4().value(0)));
      return ToGbk(Tr("the character %1 (%2) at %3 has no GBK form; the library cannot search it")
                       .arg(one, QString::fromLatin1(code))
                       .arg(position + 1));
    }
    c += units;
  }
  return {};
}

void FormWindow::MarkError(std::size_t i, std::size_t character) {
  QWidget* w = i < controls_.size() ? CQtBridge::GetWidget(controls_[i].get()) : nullptr;
  auto* edit = qobject_cast<QLineEdit*>(w);
  if (edit == nullptr) return;
  // Characters of GBK text are Unicode characters one for one; a pair of UTF-16 units
  // stands for one of those outside the basic plane.
  QString text = edit->text();
  int unit = 0;
  for (std::size_t k = 0; k < character && unit < text.size(); ++k) {
    unit += text[unit].isHighSurrogate() && unit + 1 < text.size() ? 2 : 1;
  }
  edit->setFocus();
  edit->setCursorPosition(unit);
  edit->setSelection(unit, unit < text.size() ? 1 : 0);
}

bool FormWindow::eventFilter(QObject* watched, QEvent* event) {
  if (run_ && watched == scroll_->viewport() && event->type() == QEvent::Resize) {
    StretchToWindow();
  }
  if (!run_ && press_.control != kNone && PressDragEvent(watched, event)) return true;
  // Enter in the expression box searches; Enter on a hit opens it.
  if (run_ && search_ && event->type() == QEvent::KeyPress) {
    int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (CQtBridge::GetWidget(controls_[i].get()) != watched) continue;
        if (controls_[i]->GetMark() == std::string("_SYS_ED_EXP")) {
          search_->Entered();
          return true;
        }
      }
    }
  }
  // Icon buttons are static windows, which report no click: the host takes the release.
  if (run_ && search_ && event->type() == QEvent::MouseButtonRelease) {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      if (CQtBridge::GetWidget(controls_[i].get()) == watched &&
          SameKind(controls_[i]->GetType(), "SMBUTTON") &&
          static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        search_->Clicked(i);
        break;
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

bool FormWindow::MaySetFormAside() {
  if (run_ || (form_.Change(LiveLines()), !form_.modified())) return true;
  auto answer =
      QMessageBox::question(this, "qel-designer", Tr("Save the changes to the form?"),
                            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
  if (answer == QMessageBox::Cancel) return false;
  if (answer == QMessageBox::Discard) return true;
  std::string error;
  if (SaveWithDialog(error)) return true;
  if (!error.empty()) QMessageBox::warning(this, "qel-designer", QString::fromStdString(error));
  return false;
}

void FormWindow::New() {
  SetOrdering(false);
  path_.clear();
  form_.Reset();
  skipped_.clear();
  skipped_label_->hide();
  setWindowTitle(Tr("(new form)") + " - qel-designer");
  Rebuild();
}

bool FormWindow::SaveAs(std::string const& path, std::string& error) {
  std::string old = path_;
  path_ = path;
  if (Save(error)) {
    setWindowTitle(QString("%1 - qel-designer").arg(QString::fromStdString(path_)));
    return true;
  }
  path_ = old;
  return false;
}

bool FormWindow::SaveWithDialog(std::string& error) {
  if (!path_.empty()) return Save(error);
  QString chosen = QFileDialog::getSaveFileName(this, Tr("Save the form as"), QString(),
                                                Tr("Forms (*.frm);;All files (*)"));
  if (chosen.isEmpty()) return false;
  return SaveAs(chosen.toStdString(), error);
}

void FormWindow::closeEvent(QCloseEvent* event) {
  if (MaySetFormAside()) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace qel::designer
