#include "qelshare/CCtrlSizeWnd.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/ui/ui.h"
#include "qelshare/CCtrlWnd.h"
#include "support/window_host.h"

namespace cctrlsizewnd_test {

using qel::testing::HostWindow;

// A designer's parent window: keeps a copy of every frame notification.
class Designer : public HostWindow {
 public:
  Designer() : HostWindow(400, 300) {}
  struct Note {
    WPARAM from;
    std::uintptr_t code;
    std::int32_t a, b, id;
  };
  std::vector<Note> notes;

  // Pointer input at a point of a window's client area (inside its border).
  static QPoint Client(CWnd* w, int x, int y) {
    tagPOINT p{x, y};
    w->ClientToScreen(&p);
    return CQtBridge::GetWidget(w)->window()->mapFromGlobal(QPoint(p.x, p.y));
  }
  void Move(CWnd* w, int x, int y) { QTest::mouseMove(Window(), last_ = Client(w, x, y)); }
  void Press(CWnd* w, int x, int y) {
    QTest::mousePress(Window(), Qt::LeftButton, Qt::NoModifier, last_ = Client(w, x, y));
  }
  void Release(CWnd* w, int x, int y) {
    QTest::mouseRelease(Window(), Qt::LeftButton, Qt::NoModifier, last_ = Client(w, x, y));
  }
  // Releases where the pointer is (a frame moved under it keeps it still).
  void ReleaseHere() { QTest::mouseRelease(Window(), Qt::LeftButton, Qt::NoModifier, last_); }
  // The pointer's place in a window's client area.
  tagPOINT Pointer(CWnd* w) {
    QPoint g = CQtBridge::GetWidget(this)->mapToGlobal(last_);
    tagPOINT p{g.x(), g.y()};
    w->ScreenToClient(&p);
    return p;
  }

 private:
  QPoint last_;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_COPYDATA) {
      auto const* block = reinterpret_cast<tagCOPYDATASTRUCT const*>(lParam);
      Note n{wParam, block->dwData, 0, 0, 0};
      if (block->cbData == 12) {
        std::int32_t v[3];
        std::memcpy(v, block->lpData, sizeof v);
        n.a = v[0];
        n.b = v[1];
        n.id = v[2];
      }
      notes.push_back(n);
    }
    return HostWindow::WindowProc(message, wParam, lParam);
  }
};

tagRECT InParent(CWnd& w) {
  tagRECT r;
  w.GetWindowRect(&r);
  w.GetParent()->ScreenToClient(&r);
  return r;
}

void ExpectRect(tagRECT r, int l, int t, int rt, int b) {
  EXPECT_EQ(r.left, l);
  EXPECT_EQ(r.top, t);
  EXPECT_EQ(r.right, rt);
  EXPECT_EQ(r.bottom, b);
}

HCURSOR Cursor() {
  return SetCursor(nullptr);  // a null cursor only reports the current one
}

// A control with its frame, linked as a designer does.
struct Pair {
  CCtrlSizeWnd frame;
  CCtrlWnd control;
  Pair(CWnd* parent, unsigned id, char const* line) {
    frame.DoCreate(parent, id);
    control.DoCreate(line, parent, nullptr, &frame);
    frame.SetFriendWnd(&control);
  }
};

TEST(CCtrlSizeWnd, CreatedHiddenThenPlacedAroundTheControlWithItsLook) {
  Designer host;
  Pair p(&host, 7, "EDIT,\"x\",50,50,99,19,\"\",\"\",");
  EXPECT_EQ(p.frame.GetDlgCtrlID(), 107);
  EXPECT_EQ(p.frame.GetStyle(), static_cast<unsigned long>(WS_CHILD | WS_BORDER));
  EXPECT_FALSE(p.frame.IsWindowVisible());
  EXPECT_EQ(p.frame.m_nID, 7);
  EXPECT_EQ(p.frame.m_nMode, 0);

  p.frame.OnFocus(1, 1);
  EXPECT_TRUE(p.frame.IsWindowVisible());
  EXPECT_EQ(p.frame.IsActive(), 1);
  ExpectRect(InParent(p.frame), 45, 45, 155, 75);
  tagRECT q;
  p.frame.GetClientRect(&q);
  ExpectRect(q, 0, 0, 108, 28);
  // Grey corner squares, a hatched band of 0x404040 lines on the background.
  for (auto [x, y] : {std::pair{0, 0}, {4, 4}, {103, 0}, {107, 4}, {103, 23}, {0, 27}}) {
    EXPECT_EQ(HostWindow::Pixel(&p.frame, x, y), 0x848484u) << x << "," << y;
  }
  int lines = 0, other = 0;
  for (int x = 5; x < 103; ++x) {
    COLORREF c = HostWindow::Pixel(&p.frame, x, 2);
    if (c == 0x404040) {
      ++lines;
    } else if (c != 0xFFFFFF) {
      ++other;
    }
  }
  EXPECT_GT(lines, 5);
  EXPECT_LT(lines, 60);
  EXPECT_EQ(other, 0);
  p.frame.OnFocus(1, 0);
  EXPECT_NE(HostWindow::Pixel(&p.frame, 0, 0), 0x848484u);
  p.frame.OnFocus(0, 1);
  EXPECT_FALSE(p.frame.IsWindowVisible());
  EXPECT_EQ(p.frame.IsActive(), 0);  // hiding leaves m_bActive alone; it was 0
}

TEST(CCtrlSizeWnd, ZonesGiveCursorsAndDragsResizeOrMove) {
  Designer host;
  Pair p(&host, 0, "EDIT,\"x\",50,50,99,19,\"\",\"\",");
  p.frame.OnFocus(1, 1);
  HCURSOR we = LoadCursorA(nullptr, IDC_SIZEWE), ns = LoadCursorA(nullptr, IDC_SIZENS),
          all = LoadCursorA(nullptr, IDC_SIZEALL);
  host.Move(&p.frame, 2, 10);
  EXPECT_EQ(Cursor(), we);
  host.Move(&p.frame, 50, 25);
  EXPECT_EQ(Cursor(), ns);
  host.Move(&p.frame, 50, 10);
  EXPECT_EQ(Cursor(), all);
  host.Move(&p.frame, 2, 2);  // a corner sets nothing: the class cursor shows
  EXPECT_EQ(Cursor(), LoadCursorA(nullptr, IDC_ARROW));

  // Corners and the column x = R start nothing, but remember the point.
  host.Press(&p.frame, 103, 10);
  EXPECT_EQ(p.frame.m_nMode, 0);
  EXPECT_EQ(p.frame.m_ptLast.x, 103);
  EXPECT_EQ(CWnd::GetCapture(), nullptr);
  host.Release(&p.frame, 103, 10);
  EXPECT_TRUE(host.notes.empty());

  // Right edge to client x = 40: the control becomes 40 wide, the frame lies on it, white
  // with a black outline, and only the release notifies.
  host.Press(&p.frame, 105, 10);
  EXPECT_EQ(p.frame.m_nMode, 3);
  EXPECT_EQ(CWnd::GetCapture(), &p.frame);
  EXPECT_EQ(Cursor(), we);
  host.Move(&p.frame, 40, 10);
  ExpectRect(InParent(p.control), 50, 50, 90, 70);
  ExpectRect(InParent(p.frame), 50, 50, 90, 70);
  EXPECT_EQ(HostWindow::Pixel(&p.frame, 0, 0), 0x000000u);
  EXPECT_EQ(HostWindow::Pixel(&p.frame, 5, 5), 0xFFFFFFu);
  EXPECT_TRUE(host.notes.empty());
  tagPOINT at = host.Pointer(&p.frame);
  EXPECT_EQ(at.x, 35);  // the frame moved under the still pointer
  EXPECT_EQ(at.y, 5);
  host.ReleaseHere();
  EXPECT_EQ(p.frame.m_nMode, 0);
  EXPECT_EQ(CWnd::GetCapture(), nullptr);
  ExpectRect(InParent(p.frame), 45, 45, 95, 75);
  ASSERT_EQ(host.notes.size(), 1u);
  EXPECT_EQ(host.notes[0].code, 0x202u);
  EXPECT_EQ(host.notes[0].a, 35);
  EXPECT_EQ(host.notes[0].b, 5);
  EXPECT_EQ(host.notes[0].from, reinterpret_cast<WPARAM>(p.frame.m_hWnd));
  EXPECT_EQ(p.control.GetString(), "EDIT,\"x\",50,50,39,19,\"\",\"\",");
  host.notes.clear();

  // Move: 0x201 at the click, 0x200 with each offset, 0x202 at the release.
  host.Press(&p.frame, 20, 10);
  EXPECT_EQ(p.frame.m_nMode, 5);
  host.Move(&p.frame, 23, 8);
  ExpectRect(InParent(p.control), 53, 48, 93, 68);
  ExpectRect(InParent(p.frame), 53, 48, 93, 68);
  host.Move(&p.frame, 23, 8);  // the frame moved along: the same client point again
  ExpectRect(InParent(p.control), 56, 46, 96, 66);
  host.ReleaseHere();
  ExpectRect(InParent(p.frame), 51, 41, 101, 71);
  ASSERT_EQ(host.notes.size(), 4u);
  EXPECT_EQ(host.notes[0].code, 0x201u);
  EXPECT_EQ(host.notes[0].a, 20);
  EXPECT_EQ(host.notes[0].b, 10);
  EXPECT_EQ(host.notes[1].code, 0x200u);
  EXPECT_EQ(host.notes[1].a, 3);
  EXPECT_EQ(host.notes[1].b, -2);
  EXPECT_EQ(host.notes[2].code, 0x200u);
  EXPECT_EQ(host.notes[3].code, 0x202u);
  for (auto const& n : host.notes) EXPECT_EQ(n.id, 0);
  host.notes.clear();

  // Left, top and bottom edges.
  host.Press(&p.frame, 2, 10);
  host.Move(&p.frame, 4, 10);
  EXPECT_EQ(InParent(p.control).left, 60);
  EXPECT_EQ(InParent(p.control).right, 96);
  host.ReleaseHere();
  host.Press(&p.frame, 10, 2);
  host.Move(&p.frame, 10, 1);
  EXPECT_EQ(InParent(p.control).top, 47);
  host.ReleaseHere();
  tagRECT q;
  p.frame.GetClientRect(&q);
  host.Press(&p.frame, 10, q.bottom - 2);
  EXPECT_EQ(p.frame.m_nMode, 4);
  host.Move(&p.frame, 10, 30);
  EXPECT_EQ(InParent(p.control).bottom - InParent(p.control).top, 30);
  host.ReleaseHere();
  EXPECT_EQ(p.frame.m_nMode, 0);
}

// Where the zone table sets no cursor (corners, the column x = R, the row y = B, the outer
// line) the pointer shows the class cursor, the arrow, not the last zone's; while a drag
// holds the mouse the drag's cursor stays wherever the pointer goes.
TEST(CCtrlSizeWnd, PointsOfNoZoneShowTheClassCursor) {
  Designer host;
  Pair p(&host, 0, "EDIT,\"x\",50,50,99,19,\"\",\"\",");
  p.frame.OnFocus(1, 1);
  QWidget* frame = CQtBridge::GetWidget(&p.frame);
  HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW), we = LoadCursorA(nullptr, IDC_SIZEWE);
  struct Step {
    int fromX, fromY, x, y;
  };
  // From inside (all-ways arrows) or a band to a point of no zone.
  for (Step s :
       {Step{50, 10, 2, 2}, Step{50, 10, 103, 10}, Step{105, 10, 103, 10}, Step{50, 10, 50, 23},
        Step{2, 10, 0, 10}, Step{50, 2, 50, 0}, Step{105, 10, 107, 27}}) {
    SCOPED_TRACE(::testing::Message() << s.fromX << "," << s.fromY << " -> " << s.x << "," << s.y);
    host.Move(&p.frame, s.fromX, s.fromY);
    EXPECT_NE(Cursor(), arrow);
    EXPECT_NE(frame->cursor().shape(), Qt::ArrowCursor);
    host.Move(&p.frame, s.x, s.y);
    EXPECT_EQ(Cursor(), arrow);
    EXPECT_EQ(frame->cursor().shape(), Qt::ArrowCursor);
  }

  // A right-edge drag keeps its cursor over points of no zone and inside.
  host.Press(&p.frame, 105, 10);
  host.Move(&p.frame, 103, 10);
  EXPECT_EQ(Cursor(), we);
  EXPECT_EQ(frame->cursor().shape(), Qt::SizeHorCursor);
  host.ReleaseHere();
  EXPECT_EQ(p.frame.m_nMode, 0);
}

TEST(CCtrlSizeWnd, ShiftMoveReportsScreenPointsAndLeavesTheControl) {
  Designer host;
  Pair p(&host, 3, "BUTTON,\"b\",60,60,39,19,\"\",\"\",");
  p.frame.OnFocus(1, 1);
  host.Press(&p.frame, 10, 10);
  host.notes.clear();
  QTest::mouseEvent(QTest::MouseMove, host.Window(), Qt::NoButton, Qt::ShiftModifier,
                    Designer::Client(&p.frame, 30, 12));
  ExpectRect(InParent(p.control), 60, 60, 100, 80);
  ASSERT_EQ(host.notes.size(), 1u);
  tagPOINT at{30, 12};
  p.frame.ClientToScreen(&at);
  EXPECT_EQ(host.notes[0].code, 3u);
  EXPECT_EQ(host.notes[0].a, at.x);
  EXPECT_EQ(host.notes[0].b, at.y);
  EXPECT_EQ(host.notes[0].id, 3);
  QTest::mouseRelease(host.Window(), Qt::LeftButton, Qt::ShiftModifier,
                      Designer::Client(&p.frame, 30, 12));
  ASSERT_EQ(host.notes.size(), 2u);
  EXPECT_EQ(host.notes[1].code, 2u);
  EXPECT_EQ(host.notes[1].a, at.x);
  EXPECT_EQ(host.notes[1].b, at.y);
  EXPECT_EQ(p.frame.m_nMode, 0);
  EXPECT_EQ(CWnd::GetCapture(), nullptr);
  ExpectRect(InParent(p.control), 60, 60, 100, 80);
  QTest::keyClick(host.Window(), Qt::Key_A);  // let go of Shift for the next tests
}

TEST(CCtrlSizeWnd, SimulateMirrorsADragWithoutNotifying) {
  Designer host;
  Pair p(&host, 1, "TEXT,\"t\",100,100,49,19,\"\",\"\",");
  p.frame.OnFocus(1, 0);
  p.frame.Simulate(WM_LBUTTONDOWN, 0, 0);
  EXPECT_EQ(p.frame.m_nMode, 6);
  ExpectRect(InParent(p.control), 100, 100, 150, 120);
  p.frame.Simulate(WM_MOUSEMOVE, 3, -2);
  ExpectRect(InParent(p.control), 103, 98, 153, 118);
  ExpectRect(InParent(p.frame), 103, 98, 153, 118);
  EXPECT_EQ(p.frame.m_nMode, 6);
  host.Press(&p.frame, 10, 10);  // a click while mirrored does not start a drag
  EXPECT_EQ(p.frame.m_nMode, 6);
  p.frame.Simulate(WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(p.frame.m_nMode, 0);
  ExpectRect(InParent(p.frame), 98, 93, 158, 123);
  p.frame.Simulate(WM_LBUTTONDBLCLK, 5, 5);
  ExpectRect(InParent(p.control), 103, 98, 153, 118);
  EXPECT_TRUE(host.notes.empty());
  host.ReleaseHere();  // let go of the button for the next tests
}

// Pixels of the order view's box: blue with some white text.
int WhiteIn(CWnd* frame) {
  int white = 0;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 30; ++x) {
      COLORREF c = HostWindow::Pixel(frame, x, y);
      if (c == 0xFFFFFF) ++white;
    }
  }
  return white;
}

TEST(CCtrlSizeWnd, OrderViewShowsTheNumberAndReportsClicks) {
  Designer host;
  Pair p(&host, 0, "EDIT,\"e\",40,40,99,29,\"\",\"\",");
  p.frame.OnFocus(1, 1);
  p.frame.Order(1);
  EXPECT_EQ(p.frame.m_nMode, -1);
  p.frame.UpdateWindow();
  EXPECT_FALSE(p.control.IsWindowVisible());
  EXPECT_EQ(HostWindow::Pixel(&p.frame, 0, 0), 0xFF0000u);
  EXPECT_EQ(HostWindow::Pixel(&p.frame, 29, 19), 0xFF0000u);
  int one = WhiteIn(&p.frame);
  EXPECT_GT(one, 0);
  p.frame.SetID(4);
  p.frame.Invalidate(1);
  p.frame.UpdateWindow();
  EXPECT_GT(WhiteIn(&p.frame), 0);
  EXPECT_NE(WhiteIn(&p.frame), one);  // "5" is not "1"
  p.frame.SetID(0);
  p.frame.Invalidate(1);
  p.frame.UpdateWindow();
  EXPECT_EQ(WhiteIn(&p.frame), one);

  host.Press(&p.frame, 50, 8);
  host.Release(&p.frame, 50, 8);
  ASSERT_EQ(host.notes.size(), 1u);
  EXPECT_EQ(host.notes[0].code, 0x201u);
  EXPECT_EQ(host.notes[0].a, 50);
  EXPECT_EQ(host.notes[0].b, 8);
  EXPECT_EQ(p.frame.m_nMode, -1);
  EXPECT_EQ(CWnd::GetCapture(), nullptr);

  p.frame.Order(0);
  EXPECT_EQ(p.frame.m_nMode, 0);
  EXPECT_TRUE(p.control.IsWindowVisible());
  EXPECT_FALSE(p.frame.IsWindowVisible());
  EXPECT_EQ(p.frame.IsActive(), 0);

  // A frame without a friend paints and leaves the order view without touching one.
  CCtrlSizeWnd lone;
  ASSERT_NE(lone.DoCreate(&host, 9), 0);
  lone.Order(0);
  lone.UpdateWindow();
  EXPECT_EQ(lone.m_nMode, 0);
}

}  // namespace cctrlsizewnd_test
