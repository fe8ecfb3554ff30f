#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <thread>

#include "support/window_host.h"

namespace cwnd_test {

using qel::testing::HostWindow;

template <typename W>
W* As(CWnd& wnd) {
  return qobject_cast<W*>(CQtBridge::GetWidget(&wnd));
}

TEST(CWndFloor, StandardClassesAreRealWidgetsWithTheirStyleBits) {
  HostWindow host;
  CWnd password, upper, multi, rich, label, combo, check, group, push, list, unknown;
  tagRECT r = {0, 0, 80, 20};
  ASSERT_EQ(password.Create("EDIT", "abc", WS_CHILD | ES_PASSWORD | ES_RIGHT, r, &host, 1), 1);
  EXPECT_EQ(As<QLineEdit>(password)->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(As<QLineEdit>(password)->alignment() & Qt::AlignRight);
  EXPECT_EQ(password.GetStyle(), WS_CHILD | ES_PASSWORD | ES_RIGHT);
  upper.Create("edit", "", WS_CHILD | WS_VISIBLE | ES_UPPERCASE, r, &host, 2);
  upper.SetFocus();
  QTest::keyClicks(As<QLineEdit>(upper), "abc");
  EXPECT_EQ(As<QLineEdit>(upper)->text(), "ABC");
  multi.Create("EDIT", "", WS_CHILD | ES_MULTILINE, r, &host, 3);
  EXPECT_NE(As<QPlainTextEdit>(multi), nullptr);
  // "RICHEDIT" exists only after the load call.
  EXPECT_EQ(rich.Create("RICHEDIT", "", WS_CHILD, r, &host, 4), 0);
  CWnd::LoadRichEdit();
  EXPECT_EQ(rich.Create("RICHEDIT", "", WS_CHILD, r, &host, 4), 1);
  EXPECT_NE(As<QTextEdit>(rich), nullptr);
  label.Create("STATIC", "\xD6\xD0\xCE\xC4", WS_CHILD | SS_CENTER, r, &host, 5);
  EXPECT_EQ(As<QLabel>(label)->text(), QString::fromUtf8("\xE4\xB8\xAD\xE6\x96\x87"));
  EXPECT_TRUE(As<QLabel>(label)->alignment() & Qt::AlignHCenter);
  combo.Create("COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST, r, &host, 6);
  EXPECT_FALSE(As<QComboBox>(combo)->isEditable());
  check.Create("BUTTON", "on", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, r, &host, 7);
  EXPECT_NE(As<QCheckBox>(check), nullptr);
  group.Create("BUTTON", "g", WS_CHILD | BS_GROUPBOX, r, &host, 8);
  EXPECT_NE(As<QGroupBox>(group), nullptr);
  push.Create("BUTTON", "go", WS_CHILD | WS_VISIBLE, tagRECT{100, 100, 160, 130}, &host, 9);
  list.Create("SysListView32", "", WS_CHILD | LVS_LIST | LVS_SINGLESEL, r, &host, 10);
  EXPECT_EQ(As<QListWidget>(list)->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_TRUE(As<QListWidget>(list)->isWrapping());
  EXPECT_EQ(unknown.Create("NoSuchClass", "", WS_CHILD, r, &host, 11), 0);
  EXPECT_EQ(unknown.m_hWnd, nullptr);
  EXPECT_EQ(unknown.GetDlgCtrlID(), 0);

  // Typing posted EN_CHANGE notifications; a push button's click reaches the parent as
  // WM_COMMAND with its identifier and its handle.
  HostWindow::Pump();
  ASSERT_EQ(host.commands.size(), 3u);
  EXPECT_EQ(host.commands[0].wParam, 2u | (EN_CHANGE << 16));
  host.commands.clear();
  QTest::mouseClick(host.Window(), Qt::LeftButton, Qt::NoModifier, HostWindow::At(&push, 5, 5));
  HostWindow::Pump();
  ASSERT_EQ(host.commands.size(), 1u);
  EXPECT_EQ(host.commands[0].wParam & 0xFFFF, 9u);
  EXPECT_EQ(host.commands[0].lParam, reinterpret_cast<LPARAM>(push.m_hWnd));
}

TEST(CWndFloor, ClientRectanglesByBorderKindAndCoordinates) {
  HostWindow host;
  CWnd::RegisterClass("QelPlain", CS_DBLCLKS, nullptr, nullptr);
  struct Case {
    unsigned long style, exStyle;
    int border;
  } cases[] = {
      {0, 0, 0},           {WS_BORDER, 0, 1},    {0, WS_EX_CLIENTEDGE, 2}, {0, WS_EX_STATICEDGE, 1},
      {WS_DLGFRAME, 0, 3}, {WS_THICKFRAME, 0, 4}};
  for (Case const& c : cases) {
    CWnd w;
    ASSERT_EQ(w.CreateEx(c.exStyle, "QelPlain", "", WS_CHILD | WS_VISIBLE | c.style,
                         tagRECT{10, 20, 60, 50}, &host, 1),
              1);
    tagRECT client, window;
    w.GetClientRect(&client);
    w.GetWindowRect(&window);
    EXPECT_EQ(client.right, 50 - 2 * c.border);
    EXPECT_EQ(client.bottom, 30 - 2 * c.border);
    EXPECT_EQ(window.right - window.left, 50);
    tagPOINT p = {0, 0};
    w.ClientToScreen(&p);
    EXPECT_EQ(p.x, window.left + c.border);
    w.ScreenToClient(&p);
    EXPECT_EQ(p.x, 0);
  }
  CWnd moved;
  moved.Create("QelPlain", "", WS_CHILD | WS_VISIBLE, tagRECT{0, 0, 10, 10}, &host, 2);
  moved.MoveWindow(5, 6, 30, 40);
  tagRECT client;
  moved.GetClientRect(&client);
  EXPECT_EQ(client.right, 30);
  EXPECT_EQ(moved.GetParent(), &host);
  EXPECT_EQ(moved.ShowWindow(SW_HIDE), 1);
  EXPECT_EQ(moved.IsWindowVisible(), 0);
}

// Records what reaches a window, in order.
class Recorder : public CWnd {
 public:
  std::vector<qel::testing::Message> seen;

 protected:
  LRESULT WindowProc(UINT m, WPARAM w, LPARAM l) override {
    if (m >= WM_USER || m == WM_ENABLE || m == WM_LBUTTONDBLCLK || m == WM_LBUTTONDOWN) {
      seen.push_back({m, w, l});
    }
    return m == WM_USER + 1 ? 77 : CWnd::WindowProc(m, w, l);
  }
};

TEST(CWndFloor, SendPostEnableAndInput) {
  HostWindow host;
  Recorder r;
  CWnd::RegisterClass("QelPlain", CS_DBLCLKS, nullptr, nullptr);
  r.Create("QelPlain", "", WS_CHILD | WS_VISIBLE | WS_BORDER, tagRECT{0, 0, 50, 50}, &host, 4);
  EXPECT_EQ(r.SendMessage(WM_USER + 1, 1, 2), 77);
  ASSERT_EQ(r.seen.size(), 1u);
  // Posted from another thread: delivered in order by the user-interface thread.
  std::thread poster([&] {
    for (int i = 0; i < 3; ++i) PostMessageA(r.m_hWnd, WM_USER + 2, i, 0);
  });
  poster.join();
  EXPECT_EQ(r.seen.size(), 1u);
  HostWindow::Pump();
  ASSERT_EQ(r.seen.size(), 4u);
  EXPECT_EQ(r.seen[3].wParam, 2u);
  EXPECT_EQ(PostMessageA(nullptr, WM_USER, 0, 0), 0);
  EXPECT_EQ(SendMessageA(reinterpret_cast<HWND>(&r), WM_USER, 0, 0), 0);

  r.seen.clear();
  EXPECT_EQ(r.EnableWindow(0), 0);
  EXPECT_EQ(r.GetStyle() & WS_DISABLED, WS_DISABLED);
  EXPECT_EQ(r.EnableWindow(1), 1);
  ASSERT_EQ(r.seen.size(), 2u);
  EXPECT_EQ(r.seen[0].message, WM_ENABLE);
  EXPECT_EQ(r.seen[0].wParam, 0u);

  // Client coordinates inside the border; a double click by the class style.
  r.seen.clear();
  QTest::mouseDClick(host.Window(), Qt::LeftButton, Qt::NoModifier, HostWindow::At(&r, 11, 21));
  ASSERT_FALSE(r.seen.empty());
  EXPECT_EQ(r.seen[0].message, WM_LBUTTONDOWN);
  EXPECT_EQ(r.seen[0].lParam, MakeLParam(10, 20));
  EXPECT_EQ(r.seen.back().message, WM_LBUTTONDBLCLK);
  EXPECT_NE(LoadCursorA(nullptr, IDC_SIZEWE), nullptr);
  EXPECT_EQ(LoadCursorA(reinterpret_cast<HINSTANCE>(&r), IDC_ARROW), nullptr);
  EXPECT_EQ(GetKeyState(VK_SHIFT) < 0, false);
}

}  // namespace cwnd_test
