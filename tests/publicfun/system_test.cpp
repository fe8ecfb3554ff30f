#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/registry/registry.h"
#include "qelshare/CPublicFun.h"
#include "support/registry_file.h"
#include "support/temp_tree.h"

namespace system_test {

using namespace qel::registry;
using qel::testing::RegistryFile;
using qel::testing::TempTree;

TEST(GetExecFilePathTest, AppPathsKey) {
  TempTree t;
  RegistryFile file(t / "reg.reg");
  std::string dir = t.Dir("bin") + "/";
  t.File("bin/tool.exe");
  std::string app = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
  Store store;
  store.SetValue(app + "tool.exe", "", kTypeString, StringData(dir + "tool.exe"));
  store.SetValue(app + "tool.exe", "PATH", kTypeString, StringData(dir));
  store.SetValue(app + "gone.exe", "Path", kTypeString, StringData(dir));
  for (int i = 0; i < 12; ++i) {
    store.SetValue(app + "late.exe", "v" + std::to_string(i), kTypeString, StringData("x"));
  }
  store.SetValue(app + "late.exe", "Path", kTypeString, StringData(dir));
  store.SetValue(app + "long.exe", "Path", kTypeString, std::string(600, 'd'));
  // Extra separators pad the folder so that folder + name + NUL is 512 and 513 bytes.
  t.File("bin/a.exe");
  t.File("bin/b.exe");
  store.SetValue(app + "a.exe", "Path", kTypeString,
                 StringData(dir + std::string(506 - dir.size(), '/')));
  store.SetValue(app + "b.exe", "Path", kTypeString,
                 StringData(dir + std::string(507 - dir.size(), '/')));
  std::string error;
  ASSERT_TRUE(Save(file.path(), store, error)) << error;

  EXPECT_EQ(CPublicFun::GetExecFilePath("tool.exe"), dir + "tool.exe");
  EXPECT_EQ(CPublicFun::GetExecFilePath("TOOL.EXE"), dir + "TOOL.EXE");  // key case ignored
  EXPECT_EQ(CPublicFun::GetExecFilePath("gone.exe"), "");                // no such file
  EXPECT_EQ(CPublicFun::GetExecFilePath("late.exe"), "");                // Path is the 13th value
  EXPECT_EQ(CPublicFun::GetExecFilePath("long.exe"), "");  // data too long for its buffer
  EXPECT_EQ(CPublicFun::GetExecFilePath("a.exe").size(), 511u);
  EXPECT_EQ(CPublicFun::GetExecFilePath("b.exe"), "");  // combined path too long
  EXPECT_EQ(CPublicFun::GetExecFilePath("none.exe"), "");
  EXPECT_EQ(CPublicFun::GetExecFilePath(nullptr), "");
}

TEST(GetExecFilePathTest, MissingOrBrokenRegistryFindsNothing) {
  TempTree t;
  RegistryFile file(t / "absent.reg");
  EXPECT_EQ(CPublicFun::GetExecFilePath("tool.exe"), "");
  std::ofstream(file.path()) << "garbage";
  EXPECT_EQ(CPublicFun::GetExecFilePath("tool.exe"), "");
}

}  // namespace system_test
