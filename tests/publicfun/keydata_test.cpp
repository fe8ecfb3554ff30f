#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/storage/disk_file.h"
#include "qelshare/CPublicFun.h"
#include "qelshare/storage.h"
#include "support/temp_tree.h"
#include "tests/platform/storage/cfb_fixture.h"

namespace keydata_test {

using qel::storage::testing::GetStream;
using qel::storage::testing::Slurp;
using qel::storage::testing::Spit;
using qel::testing::TempTree;

std::string NewFile(TempTree const& dir, char const* name) {
  std::string path = dir.Path(name);
  IStorage* root = nullptr;
  EXPECT_EQ(StgCreateDocfile(path.c_str(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE, &root), S_OK);
  root->Release();
  return path;
}

TEST(KeyDataTest, StoresReplacesAndDeletesValues) {
  TempTree dir;
  std::string path = NewFile(dir, "keys.cfb");
  char const* file = path.c_str();
  // A missing storage is created; the value comes back as it went in.
  EXPECT_EQ(CPublicFun::WriteKeyData(file, "Setup", "User", "\xD5\xC5\xC8\xFD"), 1);
  EXPECT_EQ(CPublicFun::GetKeyData(file, "Setup", "User"), "\xD5\xC5\xC8\xFD");
  // A shorter value replaces a longer one completely.
  EXPECT_EQ(CPublicFun::WriteKeyData(file, "Setup", "Path", "a long value"), 1);
  EXPECT_EQ(CPublicFun::WriteKeyData(file, "Setup", "Path", "ab"), 1);
  EXPECT_EQ(CPublicFun::GetKeyData(file, "Setup", "Path"), "ab");
  // The stream holds the text and one NUL, nothing else.
  IStorage* root = nullptr;
  ASSERT_EQ(StgOpenStorage(file, STGM_READ | STGM_SHARE_EXCLUSIVE, &root), S_OK);
  IStorage* setup = nullptr;
  ASSERT_EQ(root->OpenStorage("Setup", STGM_READ | STGM_SHARE_EXCLUSIVE, &setup), S_OK);
  EXPECT_EQ(GetStream(setup, "Path"), std::string("ab\0", 3));
  // While the file is held exclusively, both members fail.
  EXPECT_EQ(CPublicFun::GetKeyData(file, "Setup", "Path"), "");
  EXPECT_EQ(CPublicFun::WriteKeyData(file, "Setup", "Path", "x"), 0);
  setup->Release();
  root->Release();
  // An empty or null value deletes the stream; deleting again is no failure.
  EXPECT_EQ(CPublicFun::WriteKeyData(file, "Setup", "Path", ""), 1);
  EXPECT_EQ(CPublicFun::GetKeyData(file, "Setup", "Path"), "");
  EXPECT_EQ(CPublicFun::WriteKeyData(file, "Setup", "Path", nullptr), 1);
  EXPECT_EQ(CPublicFun::GetKeyData(file, "Setup", "User"), "\xD5\xC5\xC8\xFD");
}

TEST(KeyDataTest, RefusesMissingNamesAndFiles) {
  TempTree dir;
  std::string path = NewFile(dir, "keys.cfb");
  std::string missing = dir.Path("none.cfb");
  struct Case {
    char const *file, *storage, *stream, *value;
    int written;
  } cases[] = {
      {missing.c_str(), "S", "K", "v", 0},  // never creates the file
      {path.c_str(), "", "K", "v", 0},
      {path.c_str(), nullptr, "K", "v", 0},
      {"", "S", "K", "v", 0},
      {nullptr, "S", "K", "v", 0},
      {path.c_str(), "S", "", "v", 0},
      {path.c_str(), "bad/name", "K", "v", 0},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(CPublicFun::WriteKeyData(c.file, c.storage, c.stream, c.value), c.written)
        << (c.storage ? c.storage : "(null)");
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
  ASSERT_EQ(CPublicFun::WriteKeyData(path.c_str(), "S", "K", "v"), 1);
  EXPECT_EQ(CPublicFun::GetKeyData(path.c_str(), "S", ""), "");
  EXPECT_EQ(CPublicFun::GetKeyData(path.c_str(), "S", nullptr), "");
  EXPECT_EQ(CPublicFun::GetKeyData(path.c_str(), nullptr, "K"), "");
  EXPECT_EQ(CPublicFun::GetKeyData(path.c_str(), "S", "other"), "");
  EXPECT_EQ(CPublicFun::GetKeyData(path.c_str(), "T", "K"), "");
  EXPECT_EQ(CPublicFun::GetKeyData(missing.c_str(), "S", "K"), "");
  // A stream without a NUL gives all its bytes.
  IStorage* root = nullptr;
  ASSERT_EQ(StgOpenStorage(path.c_str(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE, &root), S_OK);
  IStorage* s = nullptr;
  ASSERT_EQ(root->OpenStorage("S", STGM_READWRITE | STGM_SHARE_EXCLUSIVE, &s), S_OK);
  ASSERT_EQ(qel::storage::testing::PutStream(s, "raw", "abc"), S_OK);
  s->Release();
  root->Release();
  EXPECT_EQ(CPublicFun::GetKeyData(path.c_str(), "S", "raw"), "abc");
}

TEST(KeyDataTest, CutAtEveryWriteLeavesOldOrNewValue) {
  TempTree dir;
  std::string path = NewFile(dir, "keys.cfb");
  ASSERT_EQ(CPublicFun::WriteKeyData(path.c_str(), "S", "K", "old value"), 1);
  std::string original = Slurp(path);
  int results[2] = {0, 0};
  for (long cut = 0;; ++cut) {
    Spit(path, original);
    qel::storage::SetWriteLimit(cut);
    int written = CPublicFun::WriteKeyData(path.c_str(), "S", "K", std::string(5000, 'n').c_str());
    qel::storage::SetWriteLimit(-1);
    std::string value = CPublicFun::GetKeyData(path.c_str(), "S", "K");
    if (written == 1) {
      EXPECT_EQ(value, std::string(5000, 'n')) << "cut at " << cut;
      break;
    }
    // A failed write reports 0 and the file opens with one of the two values.
    EXPECT_TRUE(value == "old value" || value == std::string(5000, 'n')) << "cut at " << cut;
    ++results[value == "old value" ? 0 : 1];
    ASSERT_LT(cut, 500);
  }
  EXPECT_GT(results[0], 3);
}

}  // namespace keydata_test
