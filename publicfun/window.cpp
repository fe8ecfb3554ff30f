// CPublicFun's window-bound members: folder chooser, menu identifiers, GIF resources and
// window animation.
#include "platform/fs/durable.h"
#include "platform/fs/ops.h"
#include "platform/resources/resources.h"
#include "platform/ui/shell.h"
#include "platform/ui/ui.h"
#include "qelshare/CPublicFun.h"

CFileException::CFileException(int cause, CString fileName)
    : m_cause(cause), m_strFileName(std::move(fileName)) {}

CFileException::~CFileException() = default;

CString CPublicFun::BrowseFolder(HWND owner, char const* title) {
  std::string path;
  if (!qel::ui::ChooseFolder(owner, title ? title : "", path)) return "";
  return path;
}

void CPublicFun::GetCmdFromMenu(CMenu* menu, CUIntArray& ids) {
  if (!menu) return;
  for (int i = 0; i < menu->GetMenuItemCount(); ++i) {
    UINT id = menu->GetMenuItemID(i);
    if (id == 0) continue;
    if (id == 0xFFFFFFFF) {
      GetCmdFromMenu(menu->GetSubMenu(i), ids);
    } else {
      ids.push_back(id);
    }
  }
}

int CPublicFun::SaveGif(HINSTANCE instance, unsigned int resourceId, char const* target) {
  if (!target) return 0;
  if (qel::fs::GetAttributes("bk.gif") && qel::fs::CopyFile("bk.gif", target, false)) return 1;
  auto gif = qel::res::Find(instance, "GIF", resourceId & 0xFFFF);
  if (!gif) return 0;
  std::string error;
  if (!qel::fs::WriteFileDurably(target, {gif->data(), gif->size()}, error)) {
    throw CFileException(CFileException::generic, target);
  }
  return 1;
}

void CPublicFun::AnimateWindow(HWND hwnd, unsigned long time, unsigned long flags, int redraw) {
  if (!hwnd || time == 0 || flags == 0 || !IsWindow(hwnd)) return;
  qel::ui::Animate(hwnd, time, flags);
  if (redraw) InvalidateRect(hwnd, nullptr, 1);
}
