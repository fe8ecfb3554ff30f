#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "platform/fs/durable.h"
#include "platform/resources/resources.h"
#include "qelshare/CPublicFun.h"
#include "support/temp_tree.h"
#include "support/window_host.h"

namespace window_test {

using qel::testing::HostWindow;

TEST(PublicFunWindow, GetCmdFromMenuWalksSubmenusInPlace) {
  CMenu menu, sub;
  ASSERT_EQ(menu.CreatePopupMenu(), 1);
  ASSERT_EQ(sub.CreatePopupMenu(), 1);
  sub.AppendMenu(MF_STRING, 200, "a");
  sub.AppendMenu(MF_STRING, 201, "b");
  menu.AppendMenu(MF_STRING, 100, "first");
  menu.AppendMenu(MF_SEPARATOR);
  menu.AppendMenu(MF_POPUP, reinterpret_cast<std::uintptr_t>(sub.m_hMenu), "more");
  sub.m_hMenu = nullptr;  // now owned by menu
  menu.AppendMenu(MF_STRING, 300, "last");
  CUIntArray ids = {7};
  CPublicFun::GetCmdFromMenu(&menu, ids);
  EXPECT_EQ(ids, (CUIntArray{7, 100, 200, 201, 300}));
  CPublicFun::GetCmdFromMenu(nullptr, ids);
  EXPECT_EQ(ids.size(), 5u);
}

TEST(PublicFunWindow, SaveGifPrefersBkGifOverTheResource) {
  qel::testing::TempTree tree;
  auto old = std::filesystem::current_path();
  std::filesystem::current_path(tree.root());
  HINSTANCE host = qel::res::CreateModule("host");
  qel::res::AddResource(host, "GIF", 7, "GIF89a-resource");
  EXPECT_EQ(CPublicFun::SaveGif(host, 0x10007, "out.gif"), 1);  // low 16 bits name it
  EXPECT_EQ(tree.Read("out.gif"), "GIF89a-resource");
  EXPECT_EQ(CPublicFun::SaveGif(host, 8, "none.gif"), 0);
  EXPECT_FALSE(std::filesystem::exists("none.gif"));
  tree.File("bk.gif", "GIF89a-file");
  EXPECT_EQ(CPublicFun::SaveGif(host, 7, "out.gif"), 1);
  EXPECT_EQ(tree.Read("out.gif"), "GIF89a-file");
  std::filesystem::remove("bk.gif");
  EXPECT_THROW(CPublicFun::SaveGif(host, 7, "no/such/dir/out.gif"), CFileException);
  // A failed save keeps the old picture whole and leaves nothing beside it.
  for (auto fault : {qel::fs::WriteFault::kWrite, qel::fs::WriteFault::kRename}) {
    qel::fs::InjectWriteFault(fault, 1);
    EXPECT_THROW(CPublicFun::SaveGif(host, 7, "out.gif"), CFileException);
    qel::fs::ClearWriteFaults();
    EXPECT_EQ(tree.Read("out.gif"), "GIF89a-file");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 1);
  }
  qel::res::DestroyModule(host);
  std::filesystem::current_path(old);
}

TEST(PublicFunWindow, BrowseFolderCancelledAndChosen) {
  HostWindow host;
  auto answer = [](bool accept, QString dir) {
    QTimer::singleShot(50, [accept, dir] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      if (!accept) {
        dialog->reject();
        return;
      }
      dialog->setDirectory(dir);
      static_cast<QDialog*>(dialog)->accept();
    });
  };
  answer(false, {});
  EXPECT_EQ(CPublicFun::BrowseFolder(host.m_hWnd, "Choose"), "");
  QString tmp = QString::fromStdString(std::filesystem::temp_directory_path().string());
  answer(true, tmp);
  EXPECT_EQ(CPublicFun::BrowseFolder(nullptr, "Choose"), tmp.toStdString());
}

TEST(PublicFunWindow, AnimateWindowShowsAndHidesForReal) {
  HostWindow host;
  CWnd child;
  CWnd::RegisterClass("QelAnimated", 0, nullptr, nullptr);
  child.Create("QelAnimated", "", WS_CHILD, tagRECT{0, 0, 60, 40}, &host, 3);
  CPublicFun::AnimateWindow(child.m_hWnd, 0, AW_SLIDE | AW_HOR_POSITIVE, 1);
  EXPECT_EQ(child.IsWindowVisible(), 0);  // time 0: nothing
  CPublicFun::AnimateWindow(child.m_hWnd, 40, 0, 1);
  EXPECT_EQ(child.IsWindowVisible(), 0);  // flags 0: nothing
  CPublicFun::AnimateWindow(nullptr, 40, AW_BLEND, 1);
  unsigned long const hows[] = {AW_SLIDE | AW_HOR_POSITIVE,
                                AW_SLIDE | AW_HOR_NEGATIVE,
                                AW_SLIDE | AW_VER_POSITIVE,
                                AW_SLIDE | AW_VER_NEGATIVE,
                                AW_CENTER,
                                AW_BLEND};
  for (unsigned long how : hows) {
    CPublicFun::AnimateWindow(child.m_hWnd, 30, how | AW_ACTIVATE, 1);
    EXPECT_EQ(child.IsWindowVisible(), 1) << how;
    CPublicFun::AnimateWindow(child.m_hWnd, 30, how | AW_HIDE, 0);
    EXPECT_EQ(child.IsWindowVisible(), 0) << how;
  }
}

}  // namespace window_test
