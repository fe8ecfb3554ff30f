#include "qelshare/CCtrlWnd.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/gdi/icon_file.h"
#include "qelshare/CCtrlSizeWnd.h"
#include "support/window_host.h"

namespace cctrlwnd_test {

using qel::testing::HostWindow;

// A host that keeps the contents of each WM_COPYDATA block, which lives only for the call.
class DesignHost : public HostWindow {
 public:
  DesignHost() : HostWindow(320, 200) {}
  struct Note {
    WPARAM from;
    std::uintptr_t code;
    std::uint32_t size;
    bool hasData;
  };
  std::vector<Note> notes;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_COPYDATA) {
      auto const* block = reinterpret_cast<tagCOPYDATASTRUCT const*>(lParam);
      notes.push_back({wParam, block->dwData, block->cbData, block->lpData != nullptr});
    }
    return HostWindow::WindowProc(message, wParam, lParam);
  }
};

tagRECT RectInParent(CWnd& w) {
  tagRECT r;
  w.GetWindowRect(&r);
  w.GetParent()->ScreenToClient(&r);
  return r;
}

TEST(CCtrlWnd, CreatesTheDescribedWindowAndWritesItsLineBack) {
  HostWindow host;
  CCtrlWnd::SetBeginID(2000);
  CCtrlWnd edit;
  char const* line = "EDIT,\"Name\",10,20,99,19,\"m\",\"h\",BORDER|3D";
  ASSERT_EQ(edit.DoCreate(line, &host, nullptr, nullptr), 1);
  EXPECT_EQ(edit.CWnd::GetStyle(), 0x50810000u);
  EXPECT_EQ(edit.GetExStyle(), 0x200u);
  EXPECT_EQ(edit.GetDlgCtrlID(), 2000);
  EXPECT_EQ(edit.GetWindowText(), "Name");
  tagRECT r = RectInParent(edit);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right, 110);
  EXPECT_EQ(r.bottom, 40);
  EXPECT_EQ(edit.GetString(), line);
  EXPECT_EQ(edit.GetType(), "EDIT");
  EXPECT_EQ(edit.GetMark(), "m");
  EXPECT_EQ(edit.m_pSizeWnd, nullptr);

  // Setters store but leave the window alone; the line follows the stored fields.
  edit.SetCaption("Other");
  edit.SetHelp("help me");
  edit.SetStyle("BORDER");
  EXPECT_EQ(edit.GetWindowText(), "Name");
  EXPECT_EQ(edit.GetExStyle(), 0x200u);
  EXPECT_EQ(edit.GetString(), "EDIT,\"Other\",10,20,99,19,\"m\",\"help me\",BORDER");

  // Identifiers: an unknown kind uses none, a failed creation uses one.
  CCtrlWnd combo, unknown, orphan;
  EXPECT_EQ(unknown.DoCreate("SLIDER,\"a\",0,0,9,9,\"b\",\"c\",d", &host, nullptr, nullptr), 0);
  EXPECT_EQ(unknown.m_strStyle, "d");  // all five fields were stored
  EXPECT_EQ(unknown.GetType(), "");    // no window: the getters answer empty
  EXPECT_EQ(orphan.DoCreate("edit,\"a\",0,0,9,9,\"\",\"\",", nullptr, nullptr, nullptr), 0);
  CFont font;
  font.CreateFont(-13, "WenQuanYi Micro Hei");
  ASSERT_EQ(combo.DoCreate("combo,\"\",5,7,50,5,\"\",\"\",", &host, &font, nullptr), 1);
  EXPECT_EQ(combo.GetDlgCtrlID(), 2002);
  EXPECT_EQ(combo.GetType(), "combo");
  r = RectInParent(combo);
  EXPECT_EQ(r.bottom - r.top, 120);
  EXPECT_EQ(combo.GetString(), "combo,\"\",5,7,50,119,\"\",\"\",");
  EXPECT_EQ(CQtBridge::GetWidget(&combo)->font().pixelSize(), 13);

  // A syntax error keeps what was read before it, on an object that had other values.
  CCtrlWnd again;
  again.m_strCaption = "old caption";
  again.m_strMark = "old mark";
  EXPECT_EQ(again.DoCreate("TEXT,\"new caption\",1,2,3,4,mark\"", &host, nullptr, nullptr), 0);
  EXPECT_EQ(again.m_strType, "TEXT");
  EXPECT_EQ(again.m_strCaption, "new caption");
  EXPECT_EQ(again.m_strMark, "old mark");
  EXPECT_EQ(again.m_hWnd, nullptr);
  CCtrlWnd bad;
  EXPECT_EQ(bad.DoCreate("TEXT", &host, nullptr, nullptr), 0);
  EXPECT_EQ(bad.m_strType, "");
  EXPECT_EQ(bad.DoCreate(nullptr, &host, nullptr, nullptr), 0);
}

TEST(CCtrlWnd, IconButtonsTakeTheirIconFromTheCaption) {
  HostWindow host;
  CCtrlWnd scan, plain, del;
  ASSERT_EQ(
      scan.DoCreate("SMBUTTON,\"Scan\",0,0,39,39,\"\",\"\",3D|BORDER", &host, nullptr, nullptr), 1);
  ASSERT_NE(scan.m_hIcon, nullptr);
  int w = 0, h = 0;
  qel::gdi::IconSize(scan.m_hIcon, w, h);
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 32);
  EXPECT_EQ(scan.SendMessage(STM_GETICON), reinterpret_cast<LRESULT>(scan.m_hIcon));
  EXPECT_EQ(scan.GetExStyle(), 0u);
  EXPECT_EQ(scan.CWnd::GetStyle(), 0x50810303u);
  ASSERT_EQ(del.DoCreate("smbutton,\"DEL\",50,0,19,19,\"\",\"\",", &host, nullptr, nullptr), 1);
  qel::gdi::IconSize(del.m_hIcon, w, h);
  EXPECT_EQ(w, 16);
  ASSERT_EQ(plain.DoCreate("SMBUTTON,\"save\",0,50,19,19,\"\",\"\",", &host, nullptr, nullptr), 1);
  EXPECT_EQ(plain.m_hIcon, nullptr);
}

TEST(CCtrlWnd, DoubleClickOnARunModeListPostsItsIdentifier) {
  HostWindow host;
  CCtrlWnd::SetBeginID(3000);
  CCtrlWnd list, lower;
  ASSERT_EQ(list.DoCreate("LIST,\"\",10,10,99,59,\"\",\"\",", &host, nullptr, nullptr), 1);
  ASSERT_EQ(lower.DoCreate("list,\"\",120,10,99,59,\"\",\"\",", &host, nullptr, nullptr), 1);
  QTest::mouseDClick(host.Window(), Qt::LeftButton, Qt::NoModifier, HostWindow::At(&list, 20, 20));
  HostWindow::Pump();
  ASSERT_EQ(host.commands.size(), 1u);
  EXPECT_EQ(host.commands[0].message, WM_COMMAND);
  EXPECT_EQ(host.commands[0].wParam, 3000u);
  EXPECT_EQ(host.commands[0].lParam, 0);
  QTest::mouseDClick(host.Window(), Qt::LeftButton, Qt::NoModifier, HostWindow::At(&lower, 20, 20));
  HostWindow::Pump();
  EXPECT_EQ(host.commands.size(), 1u);
}

TEST(CCtrlWnd, DesignModeClickSelectsInsteadOfReachingTheControl) {
  DesignHost host;
  CCtrlSizeWnd frame;
  ASSERT_NE(frame.DoCreate(&host, 0), 0);
  CCtrlWnd check;
  ASSERT_EQ(check.DoCreate("CHECK,\"Tick\",40,40,79,19,\"\",\"\",", &host, nullptr, &frame), 1);
  frame.SetFriendWnd(&check);
  EXPECT_FALSE(frame.IsWindowVisible());

  host.Press(&check, 10, 10);
  host.Release(&check, 10, 10);
  ASSERT_EQ(host.notes.size(), 1u);
  EXPECT_EQ(host.notes[0].from, reinterpret_cast<WPARAM>(check.m_hWnd));
  EXPECT_EQ(host.notes[0].code, 0u);
  EXPECT_EQ(host.notes[0].size, 0u);
  EXPECT_FALSE(host.notes[0].hasData);
  EXPECT_TRUE(frame.IsWindowVisible());
  EXPECT_EQ(frame.IsActive(), 1);
  auto* box = qobject_cast<QAbstractButton*>(CQtBridge::GetWidget(&check));
  ASSERT_NE(box, nullptr);
  EXPECT_FALSE(box->isChecked());  // the click never reached the check box

  frame.OnFocus(0, 0);
  QTest::mousePress(host.Window(), Qt::LeftButton, Qt::ControlModifier,
                    HostWindow::At(&check, 10, 10));
  QTest::mouseRelease(host.Window(), Qt::LeftButton, Qt::ControlModifier,
                      HostWindow::At(&check, 10, 10));
  ASSERT_EQ(host.notes.size(), 2u);
  EXPECT_EQ(host.notes[1].code, 1u);

  // The system marks table.
  EXPECT_EQ(CCtrlWnd::GetSysResideCount(), 14);
  EXPECT_STREQ(CCtrlWnd::GetSysResideMark(8), "_SYS_ED_EXP");
  EXPECT_STREQ(CCtrlWnd::GetSysResideMark(14), "");
  EXPECT_STREQ(CCtrlWnd::GetSysResideMark(-1), "");
  EXPECT_EQ(CCtrlWnd::GetSysResideString(13), "\xd4\xd9\xb4\xce\xbc\xec\xcb\xf7\xb0\xb4\xc5\xa5");
  EXPECT_EQ(CCtrlWnd::GetSysResideString(-1), "");
}

// A design-mode control of any kind: a real Ctrl+click selects it, and neither the control
// nor the host (which accepts click focus) takes the keyboard focus from where it was.
TEST(CCtrlWnd, DesignModeClickLeavesTheFocusAndTheControlAlone) {
  DesignHost host;
  host.SetFocus();
  CCtrlWnd other;
  ASSERT_EQ(other.DoCreate("EDIT,\"other\",200,160,99,19,\"\",\"\",", &host, nullptr, nullptr), 1);
  QWidget* otherWidget = CQtBridge::GetWidget(&other);
  other.SetFocus();
  ASSERT_EQ(QApplication::focusWidget(), otherWidget);

  char const* lines[] = {
      "EDIT,\"e\",10,10,79,19,\"\",\"\",",        "EDIT,\"m\",100,10,79,39,\"\",\"\",MULTLINE",
      "COMBO,\"\",200,10,79,19,\"\",\"\",",       "BUTTON,\"b\",10,60,79,19,\"\",\"\",",
      "CHECK,\"c\",10,90,79,19,\"\",\"\",",       "LIST,\"\",100,60,79,59,\"\",\"\",",
      "GROUP,\"g\",10,130,79,29,\"\",\"\",",      "TEXT,\"t\",100,130,79,19,\"\",\"\",",
      "SMBUTTON,\"up\",250,130,19,19,\"\",\"\",",
  };
  for (char const* line : lines) {
    SCOPED_TRACE(line);
    CCtrlSizeWnd frame;
    ASSERT_NE(frame.DoCreate(&host, 0), 0);
    CCtrlWnd control;
    ASSERT_EQ(control.DoCreate(line, &host, nullptr, &frame), 1);
    frame.SetFriendWnd(&control);
    QWidget* widget = CQtBridge::GetWidget(&control);
    if (auto* list = qobject_cast<QListWidget*>(widget)) list->addItem("row");
    if (auto* combo = qobject_cast<QComboBox*>(widget)) combo->addItems({"a", "b"});
    HostWindow::Pump();  // the combo box's first selection notifies
    host.notes.clear();
    host.commands.clear();

    QTest::mousePress(host.Window(), Qt::LeftButton, Qt::ControlModifier,
                      HostWindow::At(&control, 8, 8));
    QTest::mouseRelease(host.Window(), Qt::LeftButton, Qt::ControlModifier,
                        HostWindow::At(&control, 8, 8));
    HostWindow::Pump();
    ASSERT_EQ(host.notes.size(), 1u);
    EXPECT_EQ(host.notes[0].from, reinterpret_cast<WPARAM>(control.m_hWnd));
    EXPECT_EQ(host.notes[0].code, 1u);
    EXPECT_TRUE(frame.IsWindowVisible());
    EXPECT_EQ(QApplication::focusWidget(), otherWidget);
    EXPECT_EQ(CWnd::GetFocus(), &other);
    // The control did not react: no command, no tick, no selection, no open list.
    for (auto const& m : host.commands) EXPECT_NE(m.message, static_cast<UINT>(WM_COMMAND));
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      EXPECT_FALSE(button->isChecked());
    }
    if (auto* list = qobject_cast<QListWidget*>(widget)) {
      EXPECT_TRUE(list->selectedItems().isEmpty());
    }
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
      EXPECT_FALSE(combo->view()->isVisible());
    }
    frame.OnFocus(0, 0);
  }

  // In run mode the click is the control's own again: it takes the focus, and the press
  // reaches the window once.
  struct Counting : CCtrlWnd {
    int presses = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
      if (message == WM_LBUTTONDOWN) ++presses;
      return CCtrlWnd::WindowProc(message, wParam, lParam);
    }
  } run;
  ASSERT_EQ(run.DoCreate("EDIT,\"r\",100,170,79,19,\"\",\"\",", &host, nullptr, nullptr), 1);
  QTest::mouseClick(host.Window(), Qt::LeftButton, Qt::ControlModifier, HostWindow::At(&run, 8, 8));
  EXPECT_EQ(run.presses, 1);
  EXPECT_EQ(CWnd::GetFocus(), &run);
  EXPECT_EQ(QApplication::focusWidget(), CQtBridge::GetWidget(&run));
}

}  // namespace cctrlwnd_test
