#include "qelshare/CEditListCtrl.h"

#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QScrollBar>
#include <string>

#include "support/window_host.h"

namespace ceditlistctrl_test {

using qel::testing::HostWindow;

// Records the list's first visible row at the moment the editor loses the focus.
class EditorWatch : public QObject {
 public:
  EditorWatch(CEditListCtrl* list) : list_(list) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::FocusOut) topAtFocusOut = list_->GetTopIndex();
    return false;
  }
  int topAtFocusOut = -1;

 private:
  CEditListCtrl* list_;
};

TEST(CEditListCtrl, ScrollingTakesTheFocusFirst) {
  HostWindow host(300, 200);
  CEditListCtrl list;
  ASSERT_EQ(list.Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | LVS_SINGLESEL, tagRECT{0, 0, 150, 120},
                        &host, 10),
            1);
  for (int i = 0; i < 100; ++i) list.InsertItem(i, ("row " + std::to_string(i)).c_str());
  EXPECT_EQ(list.GetItemCount(), 100);
  EXPECT_EQ(list.GetItemText(5, 0), "row 5");
  CWnd editor;
  editor.Create("EDIT", "cell", WS_CHILD | WS_VISIBLE, tagRECT{160, 0, 260, 20}, &host, 11);
  editor.SetFocus();
  ASSERT_EQ(CWnd::GetFocus(), &editor);
  EditorWatch watch(&list);
  CQtBridge::GetWidget(&editor)->installEventFilter(&watch);

  // Click the vertical scroll bar's lower part: a page down through the real event path.
  auto* area = qobject_cast<QAbstractScrollArea*>(CQtBridge::GetWidget(&list));
  QScrollBar* bar = area->verticalScrollBar();
  QTest::qWait(20);  // the view lays its rows out after the event loop turns
  ASSERT_TRUE(bar->isVisible());
  QPoint inBar = bar->mapTo(bar->window(), QPoint(bar->width() / 2, bar->height() - 30));
  QTest::mouseClick(host.Window(), Qt::LeftButton, Qt::NoModifier, inBar);
  EXPECT_EQ(CWnd::GetFocus(), &list);
  EXPECT_EQ(watch.topAtFocusOut, 0);  // the editor lost the focus before the rows moved
  EXPECT_GT(list.GetTopIndex(), 0);

  // With the focus already on the list it scrolls as a plain list.
  int before = bar->value();
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_GT(bar->value(), before);
  EXPECT_EQ(CWnd::GetFocus(), &list);
}

// Scroll messages sent to the list scroll it as the list's own scroll bar does, with and
// without the class; CEditListCtrl takes the focus first.
TEST(CEditListCtrl, SentScrollMessagesScrollTheList) {
  HostWindow host(300, 200);
  CEditListCtrl list;
  CListCtrl plain;
  ASSERT_EQ(list.Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | LVS_SINGLESEL, tagRECT{0, 0, 150, 120},
                        &host, 10),
            1);
  ASSERT_EQ(plain.Create(WS_CHILD | WS_VISIBLE | LVS_LIST | LVS_SINGLESEL,
                         tagRECT{0, 130, 150, 190}, &host, 12),
            1);
  for (int i = 0; i < 100; ++i) {
    list.InsertItem(i, ("row " + std::to_string(i)).c_str());
    plain.InsertItem(i, ("row " + std::to_string(i)).c_str());
  }
  CWnd editor;
  editor.Create("EDIT", "cell", WS_CHILD | WS_VISIBLE, tagRECT{160, 0, 260, 20}, &host, 11);
  editor.SetFocus();
  EditorWatch watch(&list);
  CQtBridge::GetWidget(&editor)->installEventFilter(&watch);
  QTest::qWait(20);  // the views lay their rows out after the event loop turns
  QScrollBar* bar =
      qobject_cast<QAbstractScrollArea*>(CQtBridge::GetWidget(&list))->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 20);
  ASSERT_GT(bar->pageStep(), 1);

  list.SendMessage(WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(CWnd::GetFocus(), &list);
  EXPECT_EQ(watch.topAtFocusOut, 0);  // the editor lost the focus before the rows moved
  EXPECT_EQ(bar->value(), bar->singleStep());
  EXPECT_EQ(list.GetTopIndex(), 1);
  list.SendMessage(WM_VSCROLL, SB_PAGEDOWN, 0);
  EXPECT_EQ(bar->value(), 1 + bar->pageStep());
  list.SendMessage(WM_VSCROLL, SB_PAGEUP, 0);
  list.SendMessage(WM_VSCROLL, SB_LINEUP, 0);
  EXPECT_EQ(bar->value(), 0);
  list.SendMessage(WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(bar->value(), bar->maximum());
  list.SendMessage(WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(bar->value(), 0);
  list.SendMessage(WM_VSCROLL, SB_THUMBPOSITION | (17 << 16), 0);
  EXPECT_EQ(list.GetTopIndex(), 17);
  list.SendMessage(WM_VSCROLL, SB_THUMBTRACK | (9 << 16), 0);
  EXPECT_EQ(list.GetTopIndex(), 9);
  list.SendMessage(WM_VSCROLL, SB_ENDSCROLL, 0);
  EXPECT_EQ(list.GetTopIndex(), 9);

  // A plain list in list view scrolls across by columns.
  QScrollBar* across =
      qobject_cast<QAbstractScrollArea*>(CQtBridge::GetWidget(&plain))->horizontalScrollBar();
  ASSERT_GT(across->maximum(), 2);
  plain.SendMessage(WM_HSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(across->value(), across->singleStep());
  plain.SendMessage(WM_HSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(across->value(), across->maximum());
  plain.SendMessage(WM_HSCROLL, SB_THUMBPOSITION | (2 << 16), 0);
  EXPECT_EQ(across->value(), 2);
  EXPECT_GT(plain.GetTopIndex(), 0);
}

}  // namespace ceditlistctrl_test
