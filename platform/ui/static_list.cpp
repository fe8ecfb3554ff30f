// CStatic and CListCtrl: the standard "STATIC" and "SysListView32" windows.
#include <QListWidget>

#include "platform/ui/ui.h"
#include "platform/ui/window_state.h"

namespace {

QListWidget* ListOf(HWND hwnd) {
  qel::ui::WindowState* s = qel::ui::StateOf(hwnd);
  return s ? qobject_cast<QListWidget*>(s->widget.data()) : nullptr;
}

}  // namespace

CStatic::CStatic() = default;
CStatic::~CStatic() = default;

int CStatic::Create(char const* text, unsigned long style, tagRECT const& rect, CWnd* parent,
                    UINT id) {
  return CWnd::Create("STATIC", text, style, rect, parent, id);
}

HICON CStatic::SetIcon(HICON icon) {
  return reinterpret_cast<HICON>(
      ::SendMessageA(m_hWnd, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0));
}

HICON CStatic::GetIcon() const {
  return reinterpret_cast<HICON>(::SendMessageA(m_hWnd, STM_GETICON, 0, 0));
}

HBITMAP CStatic::SetBitmap(HBITMAP bitmap) {
  return reinterpret_cast<HBITMAP>(
      ::SendMessageA(m_hWnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
}

HBITMAP CStatic::GetBitmap() const {
  return reinterpret_cast<HBITMAP>(::SendMessageA(m_hWnd, STM_GETIMAGE, IMAGE_BITMAP, 0));
}

CListCtrl::CListCtrl() = default;
CListCtrl::~CListCtrl() = default;

int CListCtrl::Create(unsigned long style, tagRECT const& rect, CWnd* parent, UINT id) {
  return CWnd::Create("SysListView32", "", style, rect, parent, id);
}

int CListCtrl::InsertItem(int index, char const* text) {
  QListWidget* list = ListOf(m_hWnd);
  if (!list) return -1;
  index = std::clamp(index, 0, list->count());
  list->insertItem(index, qel::ui::FromGbk(text ? text : ""));
  return index;
}

int CListCtrl::GetItemCount() const {
  QListWidget* list = ListOf(m_hWnd);
  return list ? list->count() : 0;
}

CString CListCtrl::GetItemText(int index, int subItem) const {
  QListWidget* list = ListOf(m_hWnd);
  if (!list || subItem != 0 || index < 0 || index >= list->count()) return {};
  return qel::ui::ToGbk(list->item(index)->text());
}

int CListCtrl::DeleteAllItems() {
  QListWidget* list = ListOf(m_hWnd);
  if (!list) return 0;
  list->clear();
  return 1;
}

int CListCtrl::GetSelectionMark() const {
  QListWidget* list = ListOf(m_hWnd);
  if (!list) return -1;
  auto rows = list->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

int CListCtrl::GetTopIndex() const {
  QListWidget* list = ListOf(m_hWnd);
  if (!list) return 0;
  QListWidgetItem* top = list->itemAt(2, 2);
  return top ? list->row(top) : 0;
}
