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

}  // namespace ceditlistctrl_test
