// qel-designer's window driven through injected mouse input, offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QTreeView>
#include <QWidget>
#include <QWindow>
#include <filesystem>
#include <fstream>

#include "designer/form_window.h"
#include "designer/hit_list.h"
#include "designer/tr.h"
#include "qelshare/qt.h"
#include "support/build_paths.h"
#include "support/temp_tree.h"

namespace qel::designer {
namespace designer_window_test {

class DesignerWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = tree.path();
    path = (dir / "f.frm").string();
    std::ofstream(path, std::ios::binary) << "EDIT,\"\",10,10,99,19,\"_SYS_ED_EXP\",\"\",3D\r\n"
                                             "BUTTON,\"go\",10,60,79,23,\"_SYS_BT_OK\",\"\",\r\n"
                                             "this line is no control\r\n"
                                             "LIST,\"\",10,120,199,99,\"hits\",\"\",3D\r\n";
  }

  // Mouse input at a point of a window's client area, through the top-level window.
  static void Mouse(CWnd* wnd, int x, int y, char what, Qt::KeyboardModifiers mods = {}) {
    QWidget* w = CQtBridge::GetWidget(wnd);
    QPoint p = w->mapTo(w->window(), QPoint(x, y));
    QWindow* top = w->window()->windowHandle();
    if (what == 'd') QTest::mousePress(top, Qt::LeftButton, mods, p);
    if (what == 'm') QTest::mouseMove(top, p);
    if (what == 'u') QTest::mouseRelease(top, Qt::LeftButton, mods, p);
    QCoreApplication::processEvents();
  }
  // A click near the top left corner of a window, as a hand makes it.
  static void Click(CWnd* wnd, Qt::KeyboardModifiers mods = {}) {
    Mouse(wnd, 5, 5, 'd', mods);
    Mouse(wnd, 5, 5, 'u', mods);
  }
  static tagRECT Rect(CWnd* wnd) {
    tagRECT r;
    wnd->GetWindowRect(&r);
    return r;
  }
  // A drag of a frame by a path fixed on the window, as a hand makes it: pressed at `at`
  // in the frame, moved by (dx, dy) in steps, released there.
  static void Drag(CWnd* frame, QPoint at, int dx, int dy, int steps = 10) {
    QWidget* w = CQtBridge::GetWidget(frame);
    QWindow* top = w->window()->windowHandle();
    QPoint start = w->mapTo(w->window(), at);
    QTest::mousePress(top, Qt::LeftButton, {}, start);
    for (int step = 1; step <= steps; ++step) {
      QTest::mouseMove(top, start + QPoint(dx * step / steps, dy * step / steps));
      QCoreApplication::processEvents();
    }
    QTest::mouseRelease(top, Qt::LeftButton, {}, start + QPoint(dx, dy));
    QCoreApplication::processEvents();
  }
  // Opens the test form and the library in a run-mode window and shows it.
  void OpenRunAndShow(FormWindow& window) {
    std::string error;
    ASSERT_TRUE(window.Open(path, error)) << error;
    ASSERT_TRUE(window.OpenLibrary(error)) << error;
    Show(window);
  }
  // Opens the test form in the window and shows it.
  void OpenAndShow(FormWindow& window) {
    std::string error;
    ASSERT_TRUE(window.Open(path, error)) << error;
    Show(window);
  }
  void Show(FormWindow& window) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  qel::testing::TempTree tree;
  std::filesystem::path dir;
  std::string path;
};

TEST_F(DesignerWindow, SkipsBadLinesSelectsDragsTogetherAndUndoes) {
  FormWindow window(false, "");
  ASSERT_NO_FATAL_FAILURE(OpenAndShow(window));
  std::string error;
  ASSERT_EQ(window.skipped().size(), 1u);
  EXPECT_EQ(window.skipped()[0].number, 3u);
  ASSERT_EQ(window.form().lines().size(), 3u);
  auto* banner = window.findChild<QLabel*>();
  ASSERT_NE(banner, nullptr);
  EXPECT_TRUE(banner->text().contains("line 3"));

  // Click selects and activates; Ctrl+click adds.
  Click(window.control(0));
  EXPECT_TRUE(window.selection().selected(0));
  EXPECT_TRUE(window.frame(0)->IsWindowVisible());
  EXPECT_EQ(window.frame(0)->IsActive(), 1);
  Click(window.control(1), Qt::ControlModifier);
  EXPECT_EQ(window.selection().Selected(), (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(window.frame(1)->IsActive(), 1);
  EXPECT_EQ(window.frame(0)->IsActive(), 0);
  EXPECT_FALSE(window.frame(2)->IsWindowVisible());

  // Dragging inside control 1's frame moves control 0 along.
  tagRECT before0 = Rect(window.control(0)), before1 = Rect(window.control(1));
  Mouse(window.frame(1), 20, 10, 'd');
  Mouse(window.frame(1), 30, 15, 'm');
  Mouse(window.frame(1), 40, 20, 'm');
  tagRECT after1 = Rect(window.control(1));
  int dx = after1.left - before1.left, dy = after1.top - before1.top;
  EXPECT_GT(dx, 0);
  EXPECT_GT(dy, 0);
  Mouse(window.frame(1), 40, 20, 'u');
  tagRECT after0 = Rect(window.control(0));
  EXPECT_EQ(after0.left - before0.left, Rect(window.control(1)).left - before1.left);
  EXPECT_EQ(after0.top - before0.top, Rect(window.control(1)).top - before1.top);
  std::vector<std::string> moved = window.form().lines();
  EXPECT_NE(moved[0], "EDIT,\"\",10,10,99,19,\"_SYS_ED_EXP\",\"\",3D");
  EXPECT_EQ(moved[2], "LIST,\"\",10,120,199,99,\"hits\",\"\",3D");

  window.Undo();
  EXPECT_EQ(window.form().lines()[0], "EDIT,\"\",10,10,99,19,\"_SYS_ED_EXP\",\"\",3D");
  EXPECT_EQ(Rect(window.control(0)).left, before0.left);

  // The palette adds a control; save writes every control in the form's order, in the
  // file's line ends, and keeps the line that makes no control where it stood.
  window.AddControl("CHECK");
  ASSERT_EQ(window.form().lines().size(), 4u);
  EXPECT_EQ(window.selection().active(), 3u);
  ASSERT_TRUE(window.Save(error)) << error;
  std::ifstream in(path, std::ios::binary);
  std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(saved.find("\"_SYS_BT_OK\",\"\",\r\nthis line is no control\r\nLIST,"),
            std::string::npos)
      << saved;
  EXPECT_EQ(saved.rfind("CHECK,", std::string::npos),
            saved.size() - 2 - window.form().lines()[3].size());
  EXPECT_FALSE(window.form().modified());
}

TEST_F(DesignerWindow, OpeningAndSavingAnUnchangedFormKeepsItsBytes) {
  // LF line ends, a blank line, a line that makes no control and one the controls correct.
  std::string bytes =
      "EDIT,\"\",10,10,99,19,\"_SYS_ED_EXP\",\"\",3D\n"
      "\n"
      "BUTTON,\"go\",10,60,-50,23,\"_SYS_BT_OK\",\"\",\n"
      "not a control\n"
      "LIST,\"\",10,120,199,99,\"hits\",\"\",3D\n";
  std::ofstream(path, std::ios::binary) << bytes;
  FormWindow window(false, "");
  std::string error;
  ASSERT_TRUE(window.Open(path, error)) << error;
  EXPECT_FALSE(window.form().modified());
  auto* banner = window.findChild<QLabel*>();
  ASSERT_NE(banner, nullptr);
  EXPECT_TRUE(banner->text().contains("kept in the file")) << banner->text().toStdString();
  EXPECT_TRUE(banner->text().contains("line 3:")) << banner->text().toStdString();
  auto before = std::filesystem::last_write_time(path);
  ASSERT_TRUE(window.Save(error)) << error;
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes);
  EXPECT_EQ(std::filesystem::last_write_time(path), before);

  // The demo form reads back as written: nothing to report, nothing changed.
  std::filesystem::copy_file(qel::testing::SourcePath("sample/search.frm"), path,
                             std::filesystem::copy_options::overwrite_existing);
  FormWindow demo(false, "");
  ASSERT_TRUE(demo.Open(path, error)) << error;
  EXPECT_FALSE(demo.form().modified());
  EXPECT_TRUE(demo.findChild<QLabel*>()->text().isEmpty())
      << demo.findChild<QLabel*>()->text().toStdString();
}

TEST_F(DesignerWindow, ADragMovesTheControlsAsFarAsThePointer) {
  FormWindow window(false, "");
  ASSERT_NO_FATAL_FAILURE(OpenAndShow(window));
  // Select the button, then the edit too (Ctrl+click), and drag the button's frame by a
  // path fixed on the window, as a hand would: 50 right, 30 down, in steps.
  Click(window.control(1));
  Click(window.control(0), Qt::ControlModifier);
  tagRECT before0 = Rect(window.control(0)), before1 = Rect(window.control(1));
  Drag(window.frame(1), QPoint(20, 10), 50, 30);
  QWidget* frame = CQtBridge::GetWidget(window.frame(1));
  QWindow* top = frame->window()->windowHandle();
  tagRECT after0 = Rect(window.control(0)), after1 = Rect(window.control(1));
  EXPECT_EQ(after1.left - before1.left, 50);
  EXPECT_EQ(after1.top - before1.top, 30);
  EXPECT_EQ(after0.left - before0.left, 50);
  EXPECT_EQ(after0.top - before0.top, 30);
  EXPECT_EQ(window.form().lines()[1], "BUTTON,\"go\",60,90,79,23,\"_SYS_BT_OK\",\"\",");
  // A click without a move leaves the control where it is.
  QPoint on = frame->mapTo(frame->window(), QPoint(20, 10));
  QTest::mousePress(top, Qt::LeftButton, {}, on);
  QTest::mouseRelease(top, Qt::LeftButton, {}, on);
  QCoreApplication::processEvents();
  EXPECT_EQ(Rect(window.control(1)).left, after1.left);
}

// The Format menu lines up and sizes the selection by the active control, Copy, Paste and
// Duplicate add controls beside their originals (one Undo takes a paste back), new
// controls go where there is room, and a drag ends on the grid when snapping is on.
TEST_F(DesignerWindow, ArrangesCopiesPlacesAndSnapsTheSelection) {
  FormWindow window(false, "");
  ASSERT_NO_FATAL_FAILURE(OpenAndShow(window));
  window.Select(0, false);
  window.Select(2, true);  // the list is active: the measure
  window.ArrangeSelection(Arrangement::kAlignRight);
  EXPECT_EQ(window.form().lines()[0], "EDIT,\"\",110,10,99,19,\"_SYS_ED_EXP\",\"\",3D");
  EXPECT_EQ(window.selection().Selected(), (std::vector<std::size_t>{0, 2}));
  window.ArrangeSelection(Arrangement::kSameSize);
  EXPECT_EQ(window.form().lines()[0], "EDIT,\"\",110,10,199,99,\"_SYS_ED_EXP\",\"\",3D");
  EXPECT_EQ(window.form().lines()[2], "LIST,\"\",10,120,199,99,\"hits\",\"\",3D");
  window.Undo();
  window.Undo();
  EXPECT_EQ(window.form().lines()[0], "EDIT,\"\",10,10,99,19,\"_SYS_ED_EXP\",\"\",3D");

  window.Select(1, false);
  window.Duplicate();
  ASSERT_EQ(window.form().lines().size(), 4u);
  EXPECT_EQ(window.form().lines()[3], "BUTTON,\"go\",26,76,79,23,\"_SYS_BT_OK\",\"\",");
  EXPECT_EQ(window.selection().Selected(), (std::vector<std::size_t>{3}));
  window.Undo();
  EXPECT_EQ(window.form().lines().size(), 3u);

  window.Select(0, false);
  window.Copy();
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            "EDIT,\"\",10,10,99,19,\"_SYS_ED_EXP\",\"\",3D\r\n");
  QGuiApplication::clipboard()->setText("EDIT,\"\",10,10,99,19,\"\",\"\",3D\nnot a control\n");
  window.Paste();
  ASSERT_EQ(window.form().lines().size(), 4u);
  EXPECT_EQ(window.form().lines()[3], "EDIT,\"\",26,26,99,19,\"\",\"\",3D");

  // A new control overlaps none.
  window.AddControl("GROUP");
  ASSERT_EQ(window.form().lines().size(), 5u);
  tagRECT added = Rect(window.control(4));
  for (std::size_t i = 0; i < 4; ++i) {
    tagRECT r = Rect(window.control(i));
    bool apart = added.right <= r.left || r.right <= added.left || added.bottom <= r.top ||
                 r.bottom <= added.top;
    EXPECT_TRUE(apart) << i;
  }

  window.SetSnapToGrid(true);
  window.Select(1, false);
  Drag(window.frame(1), QPoint(20, 10), 13, 7);
  std::string const& button = window.form().lines()[1];
  EXPECT_EQ(button, "BUTTON,\"go\",24,64,79,23,\"_SYS_BT_OK\",\"\",") << button;
}

// A press on a control that is not selected selects it, and the same press dragged on
// moves it (and only it) as far as the pointer went: one gesture, as a person expects.
TEST_F(DesignerWindow, ADragOnAnUnselectedControlSelectsAndMovesIt) {
  FormWindow window(false, "");
  ASSERT_NO_FATAL_FAILURE(OpenAndShow(window));
  window.Select(0, false);
  tagRECT before0 = Rect(window.control(0)), before1 = Rect(window.control(1));
  QWidget* button = CQtBridge::GetWidget(window.control(1));
  QWindow* top = button->window()->windowHandle();
  QPoint start = button->mapTo(button->window(), QPoint(10, 8));
  // The offscreen platform has no pointer that synthetic input moves: put it where a
  // hand's would be.
  QCursor::setPos(top->mapToGlobal(start));
  QTest::mousePress(top, Qt::LeftButton, {}, start);
  EXPECT_EQ(window.selection().Selected(), (std::vector<std::size_t>{1}));
  for (int step = 1; step <= 10; ++step) {
    QTest::mouseMove(top, start + QPoint(4 * step, 2 * step));
    QCoreApplication::processEvents();
  }
  QTest::mouseRelease(top, Qt::LeftButton, {}, start + QPoint(40, 20));
  QCoreApplication::processEvents();
  EXPECT_EQ(Rect(window.control(1)).left - before1.left, 40);
  EXPECT_EQ(Rect(window.control(1)).top - before1.top, 20);
  EXPECT_EQ(Rect(window.control(0)).left, before0.left);
  EXPECT_EQ(window.form().lines()[1], "BUTTON,\"go\",50,80,79,23,\"_SYS_BT_OK\",\"\",");
  EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
  // A press and release without a move only selects.
  start = CQtBridge::GetWidget(window.control(0))->mapTo(button->window(), QPoint(10, 8));
  QTest::mousePress(top, Qt::LeftButton, {}, start);
  QTest::mouseRelease(top, Qt::LeftButton, {}, start);
  QCoreApplication::processEvents();
  EXPECT_EQ(window.selection().Selected(), (std::vector<std::size_t>{0}));
  EXPECT_EQ(Rect(window.control(0)).left, before0.left);
  window.Undo();
  EXPECT_EQ(window.form().lines()[1], "BUTTON,\"go\",10,60,79,23,\"_SYS_BT_OK\",\"\",");
}

TEST_F(DesignerWindow, AControlDraggedPastTheEdgeStaysWithinReach) {
  FormWindow window(false, "");
  ASSERT_NO_FATAL_FAILURE(OpenAndShow(window));
  Click(window.control(1));
  QWidget* frame = CQtBridge::GetWidget(window.frame(1));
  auto drag = [&](QPoint by) { Drag(window.frame(1), QPoint(20, 10), by.x(), by.y(), 20); };
  // Past the right edge of the 640-pixel area: the area grows to hold it.
  drag(QPoint(700, 0));
  auto* area = window.findChild<QScrollArea*>();
  ASSERT_NE(area, nullptr);
  tagRECT r = Rect(window.control(1));
  QPoint right =
      CQtBridge::GetWidget(window.control(1))->mapTo(area->widget(), QPoint(r.right - r.left, 0));
  EXPECT_GE(area->widget()->width(), right.x() + 20);
  EXPECT_EQ(window.form().lines()[1].rfind("BUTTON,\"go\",710,", 0), 0u)
      << window.form().lines()[1];
  // Past the left edge: it stops at the edge, where it can still be grabbed.
  area->ensureWidgetVisible(frame);
  QCoreApplication::processEvents();
  drag(QPoint(-900, -200));
  EXPECT_EQ(window.form().lines()[1].rfind("BUTTON,\"go\",0,0,", 0), 0u)
      << window.form().lines()[1];
}

TEST_F(DesignerWindow, PlaceFieldsShowAndSetThePlaceOfTheControl) {
  FormWindow window(false, "");
  ASSERT_NO_FATAL_FAILURE(OpenAndShow(window));
  Click(window.control(1));
  QList<QSpinBox*> fields = window.findChildren<QSpinBox*>();
  ASSERT_EQ(fields.size(), 4);
  EXPECT_EQ(fields[0]->value(), 10);
  EXPECT_EQ(fields[1]->value(), 60);
  EXPECT_EQ(fields[2]->value(), 79);
  EXPECT_EQ(fields[3]->value(), 23);
  fields[0]->setFocus();
  fields[0]->selectAll();
  QTest::keyClicks(fields[0], "120");
  QTest::keyClick(fields[0], Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_EQ(window.form().lines()[1], "BUTTON,\"go\",120,60,79,23,\"_SYS_BT_OK\",\"\",");
  window.Undo();
  EXPECT_EQ(window.form().lines()[1], "BUTTON,\"go\",10,60,79,23,\"_SYS_BT_OK\",\"\",");
}

TEST_F(DesignerWindow, NewFormsAreBuiltAndSavedAsAFileOfTheirOwn) {
  FormWindow window(false, "");
  std::string error;
  ASSERT_TRUE(window.Open(path, error)) << error;
  window.New();
  EXPECT_TRUE(window.form().lines().empty());
  window.AddControl("BUTTON");
  ASSERT_EQ(window.form().lines().size(), 1u);
  std::string other = (dir / "new.frm").string();
  ASSERT_TRUE(window.SaveAs(other, error)) << error;
  std::ifstream in(other, std::ios::binary);
  std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(saved, window.form().lines()[0] + "\r\n");
  EXPECT_FALSE(window.form().modified());
  // The form opened before is as it was; opening it again shows it.
  ASSERT_TRUE(window.Open(path, error)) << error;
  EXPECT_EQ(window.form().lines().size(), 3u);
}

TEST_F(DesignerWindow, OrderViewRenumbersByClicks) {
  FormWindow window(false, "");
  ASSERT_NO_FATAL_FAILURE(OpenAndShow(window));
  window.SetOrdering(true);
  EXPECT_TRUE(window.frame(0)->IsWindowVisible());
  Mouse(window.frame(2), 20, 20, 'd');
  Mouse(window.frame(2), 20, 20, 'u');
  EXPECT_EQ(window.frame(2)->m_nID, 0);
  Mouse(window.frame(1), 20, 10, 'd');
  Mouse(window.frame(1), 20, 10, 'u');
  EXPECT_EQ(window.frame(1)->m_nID, 1);
  window.SetOrdering(false);
  ASSERT_EQ(window.form().lines().size(), 3u);
  EXPECT_EQ(window.form().lines()[0].rfind("LIST,", 0), 0u);
  EXPECT_EQ(window.form().lines()[1].rfind("BUTTON,", 0), 0u);
  EXPECT_EQ(window.form().lines()[2].rfind("EDIT,", 0), 0u);
}

TEST_F(DesignerWindow, RefusesAFileThatIsNoForm) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string("\x89PNG\0\0", 6);
  FormWindow window(false, "");
  std::string error;
  EXPECT_FALSE(window.Open(path, error));
  EXPECT_NE(error.find(path), std::string::npos);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "no form here\n";
  EXPECT_FALSE(window.Open(path, error));
  EXPECT_NE(error.find("line 1"), std::string::npos);
}

TEST_F(DesignerWindow, RunModeSearchesTheDemoLibraryAndListsHits) {
  std::string base = qel::testing::BinaryPath("demo/poems");
  if (!std::filesystem::exists(base + ".qel")) GTEST_SKIP() << "demo library not built";
  FormWindow window(true, base);
  ASSERT_NO_FATAL_FAILURE(OpenRunAndShow(window));
  auto* edit = qobject_cast<QLineEdit*>(CQtBridge::GetWidget(window.control(0)));
  ASSERT_NE(edit, nullptr);
  edit->insert(QString::fromUtf8("月"));  // typed through an input method
  Mouse(window.control(1), 10, 10, 'd');
  Mouse(window.control(1), 10, 10, 'u');
  QCoreApplication::processEvents();
  HitList* list = window.hit_list(2);
  ASSERT_NE(list, nullptr);
  EXPECT_GT(list->count(), 10u);
  EXPECT_TRUE(window.StatusText().contains("hits in")) << window.StatusText().toStdString();

  window.Search("AND (");
  EXPECT_FALSE(window.StatusText().contains("hits in"));
  EXPECT_FALSE(window.StatusText().isEmpty());
}

TEST_F(DesignerWindow, RunModeAnswersTheKeyboardAndMarksRejections) {
  std::string base = qel::testing::BinaryPath("demo/poems");
  if (!std::filesystem::exists(base + ".qel")) GTEST_SKIP() << "demo library not built";
  QSettings().clear();
  FormWindow window(true, base);
  ASSERT_NO_FATAL_FAILURE(OpenRunAndShow(window));
  auto* edit = qobject_cast<QLineEdit*>(CQtBridge::GetWidget(window.control(0)));
  HitList* list = window.hit_list(2);
  ASSERT_NE(edit, nullptr);
  ASSERT_NE(list, nullptr);
  // Enter in the expression box searches.
  edit->setFocus();
  edit->insert(QString::fromUtf8("月"));
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_GT(list->count(), 10u);
  // Only the lines in view were read, not every hit.
  EXPECT_LT(list->rows_read(), list->count());
  // Enter on a hit opens it; Escape closes the record.
  list->setFocus();
  list->SetCurrentRow(1);
  QTest::keyClick(list->view(), Qt::Key_Return);
  QCoreApplication::processEvents();
  QPointer<QDialog> record;
  for (QDialog* d : window.findChildren<QDialog*>()) {
    if (d->isVisible()) record = d;
  }
  ASSERT_FALSE(record.isNull());
  // The hit list grows with the window, and what lies below it moves down; the form
  // scrolls only in a window smaller than it.
  tagRECT list_before = Rect(window.control(2));
  window.resize(window.width() + 200, window.height() + 150);
  QCoreApplication::processEvents();
  tagRECT list_after = Rect(window.control(2));
  EXPECT_EQ(list_after.right - list_after.left - (list_before.right - list_before.left), 200);
  EXPECT_EQ(list_after.bottom - list_after.top - (list_before.bottom - list_before.top), 150);
  auto* area = window.findChild<QScrollArea*>();
  EXPECT_FALSE(area->verticalScrollBar()->isVisible());
  window.resize(300, 200);
  QCoreApplication::processEvents();
  // Down to the form's own size (the LIST line's W 199) and no smaller.
  int narrow = Rect(window.control(2)).right - Rect(window.control(2)).left;
  EXPECT_LT(narrow, list_before.right - list_before.left);
  EXPECT_GE(narrow, 200);
  EXPECT_EQ(Rect(window.control(2)).bottom - Rect(window.control(2)).top, 100);
  EXPECT_TRUE(area->verticalScrollBar()->isVisible());
  // The record view steps through the listed hits in place.
  auto* place = record->findChild<QLabel*>();
  ASSERT_NE(place, nullptr);
  EXPECT_EQ(place->text(), QString("Hit 2 of %1").arg(list->count()));
  auto button = [&](char const* text) {
    for (QPushButton* b : record->findChildren<QPushButton*>()) {
      if (b->text() == text) return b;
    }
    return static_cast<QPushButton*>(nullptr);
  };
  ASSERT_NE(button("Next record"), nullptr);
  QString second = record->windowTitle();
  QTest::mouseClick(button("Next record"), Qt::LeftButton);
  EXPECT_EQ(place->text(), QString("Hit 3 of %1").arg(list->count()));
  EXPECT_NE(record->windowTitle(), second);
  QTest::mouseClick(button("Previous record"), Qt::LeftButton);
  EXPECT_EQ(record->windowTitle(), second);
  for (int i = 0; i < 5; ++i) QTest::mouseClick(button("Next hit"), Qt::LeftButton);
  QTest::keyClick(record, Qt::Key_Escape);
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(record.isNull() || !record->isVisible());

  // A rejected expression empties the list and marks its place (in characters).
  edit->setText(QString::fromUtf8("月 AND 乡/nofield"));
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(list->count(), 0u);
  EXPECT_TRUE(window.StatusText().contains("nofield")) << window.StatusText().toStdString();
  EXPECT_EQ(edit->selectionStart(), 8);  // the n of nofield is selected
  // The expressions searched are offered again by the next window (the next run).
  {
    FormWindow next(true, base);
    ASSERT_NO_FATAL_FAILURE(OpenRunAndShow(next));
    std::vector<std::string> const& history = next.session().history();
    ASSERT_FALSE(history.empty());
    EXPECT_EQ(history.back(), std::string("\xD4\xC2"));  // 月
  }
  // A character without a GBK form is named, not searched as "?".
  edit->setText(QString::fromUtf8("月 \xF0\x9F\x98\x80"));
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_TRUE(window.StatusText().contains("U+1F600")) << window.StatusText().toStdString();
}

TEST_F(DesignerWindow, RunModeSearchesTheLibrariesTickedAndOpensAHitByDoubleClick) {
  std::string base = qel::testing::BinaryPath("demo/poems");
  if (!std::filesystem::exists(base + ".qel")) GTEST_SKIP() << "demo library not built";
  for (char const* ext : {".qel", ".sor", ".mrf"}) {
    std::filesystem::copy_file(base + ext, dir / (std::string("tang") + ext));
  }
  std::ofstream(path, std::ios::app) << "COMBO,\"\",10,240,150,120,\"lib\",\"\",3D\r\n";
  QSettings().clear();
  FormWindow window(true, base);
  ASSERT_NO_FATAL_FAILURE(OpenRunAndShow(window));
  auto* combo = qobject_cast<QComboBox*>(CQtBridge::GetWidget(window.control(3)));
  ASSERT_NE(combo, nullptr);
  ASSERT_EQ(combo->count(), 2);  // the library, then "Open library..."
  EXPECT_EQ(combo->currentText(), "poems");
  window.Search("\xD4\xC2");  // 月
  HitList* list = window.hit_list(2);
  std::uint64_t one = list->count();
  ASSERT_GT(one, 10u);

  // A second library is searched with the first; the combo names both.
  ASSERT_TRUE(window.AddLibraries({QString::fromStdString((dir / "tang.qel").string())}));
  EXPECT_EQ(list->count(), 0u);  // the hits of the libraries before are gone
  EXPECT_EQ(combo->currentText(), "poems + tang");
  window.Search("\xD4\xC2");
  EXPECT_EQ(list->count(), 2 * one);
  EXPECT_TRUE(window.StatusText().contains(QString::number(2 * one) + " hits"));
  // Choosing one in the combo searches that one alone.
  combo->activated(combo->findText("tang"));
  EXPECT_EQ(window.session().bases(), std::vector<std::string>{(dir / "tang").string()});
  EXPECT_EQ(combo->currentText(), "tang");
  window.Search("\xD4\xC2");
  EXPECT_EQ(list->count(), one);
  // No library ticked, or one that is not there: said, and the search stays where it was.
  window.SetTicks({false, false});
  EXPECT_TRUE(window.StatusText().contains("Tick at least one"));
  EXPECT_FALSE(window.AddLibraries({QString::fromStdString((dir / "gone.qel").string())}));
  EXPECT_TRUE(window.StatusText().contains("gone")) << window.StatusText().toStdString();
  EXPECT_EQ(window.session().bases(), std::vector<std::string>{(dir / "tang").string()});
  EXPECT_EQ(combo->currentText(), "tang");

  // A double click on a hit, as a hand makes it, opens its record.
  window.Search("\xD4\xC2");
  QTreeView* view = list->view();
  QRect third = view->visualRect(view->model()->index(2, 1));
  QPoint at = view->viewport()->mapTo(&window, third.center());
  QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, at);
  QCoreApplication::processEvents();
  QDialog* record = nullptr;
  for (QDialog* d : window.findChildren<QDialog*>()) {
    if (d->isVisible()) record = d;
  }
  ASSERT_NE(record, nullptr) << window.StatusText().toStdString();
  EXPECT_TRUE(record->findChild<QLabel*>()->text().startsWith("Hit 3 of"));
}

TEST_F(DesignerWindow, SpeaksChineseInAChineseLocaleAndEnglishElsewhere) {
  std::string base = qel::testing::BinaryPath("demo/poems");
  if (!std::filesystem::exists(base + ".qel")) GTEST_SKIP() << "demo library not built";
  auto menus = [](FormWindow& window) {
    QStringList titles;
    for (QAction* a : window.menuBar()->actions()) titles << a->text();
    return titles.join(" ");
  };
  {
    Translation english(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_FALSE(english.loaded());
    FormWindow window(true, base);
    EXPECT_EQ(menus(window), "&File &View");
  }
  {
    Translation chinese(QLocale(QLocale::Chinese, QLocale::China));
    ASSERT_TRUE(chinese.loaded());
    FormWindow window(true, base);
    std::string error;
    ASSERT_TRUE(window.Open(path, error)) << error;
    ASSERT_TRUE(window.OpenLibrary(error)) << error;
    EXPECT_EQ(menus(window), QString::fromUtf8("文件(&F) 视图(&V)"));
    window.Search("\xD4\xC2");  // 月: the status line and the list's caption in Chinese too
    EXPECT_TRUE(window.StatusText().contains(QString::fromUtf8("条记录中命中")))
        << window.StatusText().toStdString();
    window.Search("  ");
    EXPECT_EQ(window.StatusText(), QString::fromUtf8("表达式为空"));
  }
  // Gone with the translation.
  FormWindow window(false, "");
  EXPECT_TRUE(menus(window).startsWith("&File"));
}

}  // namespace designer_window_test
}  // namespace qel::designer
