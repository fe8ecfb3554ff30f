// CMenu: a tree of items kept by the library; TrackPopupMenu shows it as a QMenu.
#include <QCursor>
#include <QMenu>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ui.h"
#include "platform/ui/window_state.h"

namespace {

struct MenuItem {
  UINT flags = 0;
  UINT id = 0;
  std::string text;
  std::unique_ptr<CMenu> sub;  // MF_POPUP
};

struct MenuData {
  std::vector<MenuItem> items;
};

MenuData* DataOf(HMENU menu) {
  return reinterpret_cast<MenuData*>(menu);
}

void Fill(QMenu& target, MenuData const& data) {
  for (MenuItem const& item : data.items) {
    if (item.sub) {
      QMenu* sub = target.addMenu(qel::ui::FromGbk(item.text));
      if (MenuData* d = DataOf(item.sub->m_hMenu)) Fill(*sub, *d);
    } else if (item.flags & MF_SEPARATOR) {
      target.addSeparator();
    } else {
      target.addAction(qel::ui::FromGbk(item.text))->setData(item.id);
    }
  }
}

}  // namespace

CMenu::CMenu() : m_hMenu(nullptr) {}

CMenu::~CMenu() {
  DestroyMenu();
}

int CMenu::CreateMenu() {
  if (m_hMenu) return 0;
  m_hMenu = reinterpret_cast<HMENU>(new MenuData);
  return 1;
}

int CMenu::CreatePopupMenu() {
  return CreateMenu();
}

int CMenu::DestroyMenu() {
  if (!m_hMenu) return 0;
  delete DataOf(m_hMenu);
  m_hMenu = nullptr;
  return 1;
}

int CMenu::AppendMenu(UINT flags, std::uintptr_t id, char const* text) {
  MenuData* data = DataOf(m_hMenu);
  if (!data) return 0;
  MenuItem item;
  item.flags = flags;
  item.text = text ? text : "";
  if (flags & MF_POPUP) {
    // The submenu handle's data moves into a CMenu this menu owns.
    if (!id) return 0;
    item.sub = std::make_unique<CMenu>();
    item.sub->m_hMenu = reinterpret_cast<HMENU>(id);
  } else if ((flags & MF_SEPARATOR) || !text) {
    item.flags |= MF_SEPARATOR;
  } else {
    item.id = static_cast<UINT>(id);
  }
  data->items.push_back(std::move(item));
  return 1;
}

int CMenu::GetMenuItemCount() const {
  MenuData* data = DataOf(m_hMenu);
  return data ? static_cast<int>(data->items.size()) : -1;
}

UINT CMenu::GetMenuItemID(int position) const {
  MenuData* data = DataOf(m_hMenu);
  if (!data || position < 0 || position >= static_cast<int>(data->items.size())) return 0xFFFFFFFF;
  MenuItem const& item = data->items[position];
  if (item.sub) return 0xFFFFFFFF;
  return (item.flags & MF_SEPARATOR) ? 0 : item.id;
}

CMenu* CMenu::GetSubMenu(int position) const {
  MenuData* data = DataOf(m_hMenu);
  if (!data || position < 0 || position >= static_cast<int>(data->items.size())) return nullptr;
  return data->items[position].sub.get();
}

int CMenu::TrackPopupMenu(UINT, int x, int y, CWnd* owner) {
  MenuData* data = DataOf(m_hMenu);
  if (!data) return 0;
  qel::ui::WindowState* s = qel::ui::StateOf(owner ? owner->m_hWnd : nullptr);
  QMenu menu(s ? s->widget.data() : nullptr);
  Fill(menu, *data);
  QAction* chosen = menu.exec(QPoint(x, y));
  return chosen ? chosen->data().toInt() : 0;
}
