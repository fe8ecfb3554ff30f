#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "qelshare/CPublicFun.h"
#include "support/temp_tree.h"

namespace files_test {

using qel::testing::TempTree;
using Strings = std::vector<std::string>;

Strings Items(CStringArr& list) {
  Strings out;
  for (int i = 0; i < list.GetSize(); ++i) {
    out.emplace_back(list.Get(i) == nullptr ? "<absent>" : list.Get(i));
  }
  return out;
}

Strings Sorted(Strings v) {
  std::sort(v.begin(), v.end());
  return v;
}

// Runs in another current directory for the lifetime of the object.
class InDirectory {
 public:
  explicit InDirectory(std::string const& dir) {
    char buf[4096];
    if (getcwd(buf, sizeof buf) != nullptr) saved_ = buf;
    EXPECT_EQ(chdir(dir.c_str()), 0);
  }
  ~InDirectory() { EXPECT_EQ(chdir(saved_.c_str()), 0); }

 private:
  std::string saved_;
};

TEST(GetFileNameTest, QuotedListNeverTouchesTheDisk) {
  CStringArr out;
  out.Add("stale", -1);
  CPublicFun::GetFileName("\"a.txt\" \"  b c.txt \"  \"/no/such/dir/d.txt\"", 1, &out);
  EXPECT_EQ(Items(out), (Strings{"a.txt", "b c.txt", "/no/such/dir/d.txt"}));
  CPublicFun::GetFileName("\"\" \" \"", 0, &out);
  EXPECT_EQ(Items(out), Strings{});
  CPublicFun::GetFileName("", 0, &out);
  EXPECT_EQ(out.GetSize(), 0);
  CPublicFun::GetFileName(nullptr, 0, &out);
  CPublicFun::GetFileName("x", 0, nullptr);  // no list: nothing to do
}

TEST(GetFileNameTest, PatternsAndRecursion) {
  TempTree t;
  t.File("a.txt");
  t.File("b.TXT");
  t.File("c.doc");
  t.Dir("dir.txt");
  t.File("s1/x.txt");
  t.File("s1/deep/y.txt");
  t.File("s2/z.txt");
  t.File("s2/w.doc");
  CStringArr out;
  {
    InDirectory here(t.root());
    CPublicFun::GetFileName("*.txt", 0, &out);
    EXPECT_EQ(Sorted(Items(out)), (Strings{t / "a.txt", t / "b.TXT"}));
    CPublicFun::GetFileName("*.txt", 1, &out);  // no directory part: nothing
    EXPECT_EQ(out.GetSize(), 0);
  }
  CPublicFun::GetFileName((t.root() + "\\*.txt").c_str(), 1, &out);
  Strings all = Items(out);
  ASSERT_EQ(all.size(), 5u);
  // Top files first, then each subtree together, files of a folder before its subfolders.
  EXPECT_EQ(Sorted({all[0], all[1]}), (Strings{t / "a.txt", t / "b.TXT"}));
  Strings rest(all.begin() + 2, all.end());
  Strings s1_first{t / "s1/x.txt", t / "s1/deep/y.txt", t / "s2/z.txt"};
  Strings s2_first{t / "s2/z.txt", t / "s1/x.txt", t / "s1/deep/y.txt"};
  EXPECT_TRUE(rest == s1_first || rest == s2_first) << ::testing::PrintToString(rest);

  CPublicFun::GetFileName((t / "c.doc").c_str(), 0, &out);
  EXPECT_EQ(Items(out), Strings{t / "c.doc"});
  CPublicFun::GetFileName((t / "dir.txt").c_str(), 0, &out);  // a folder is not a file
  EXPECT_EQ(out.GetSize(), 0);
}

TEST(ScanDirTest, CountsWithAndWithoutAList) {
  TempTree t;
  t.File("1.txt");
  t.File("a/2.txt");
  t.File("a/b/3.TXT");
  t.File("a/b/c/4.txt");
  t.File("a/b/c/skip.doc");
  t.Dir("a/folder.txt");
  CStringArr out;
  EXPECT_EQ(CPublicFun::ScanDir(t.root().c_str(), "*.txt", &out), 4);
  EXPECT_EQ(Sorted(Items(out)),
            Sorted({t / "1.txt", t / "a/2.txt", t / "a/b/3.TXT", t / "a/b/c/4.txt"}));
  EXPECT_EQ(CPublicFun::ScanDir(t.root().c_str(), "*.txt", nullptr), 4);
  EXPECT_EQ(CPublicFun::ScanDir(t.root().c_str(), "*.*", nullptr), 5);
  EXPECT_EQ(CPublicFun::ScanDir(t.root().c_str(), "", nullptr), 0);
  EXPECT_EQ(CPublicFun::ScanDir((t / "missing").c_str(), "*", nullptr), 0);
  // Appends: the list is not cleared.
  EXPECT_EQ(CPublicFun::ScanDir((t / "a/b/c").c_str(), "4.txt", &out), 1);
  EXPECT_EQ(out.GetSize(), 5);
}

TEST(DeleteDirTest, EmptiesTreesWithReadOnlyFiles) {
  TempTree t;
  t.File("tree/ro.txt");
  t.File("tree/sub/deeper/ro2.txt");
  t.File("tree/sub/plain.txt");
  t.ReadOnly("tree/ro.txt");
  t.ReadOnly("tree/sub/deeper/ro2.txt");
  EXPECT_EQ(CPublicFun::DeleteDir((t / "tree").c_str(), 0), 1);
  EXPECT_EQ(t.List(), Strings{"tree/"});
  t.File("tree/again/x.txt");
  t.ReadOnly("tree/again/x.txt");
  EXPECT_NE(CPublicFun::DeleteDir((t.root() + "\\tree").c_str(), 1), 0);
  EXPECT_FALSE(t.Exists("tree"));

  EXPECT_EQ(CPublicFun::DeleteDir((t / "missing").c_str(), 0), 1);
  EXPECT_EQ(CPublicFun::DeleteDir((t / "missing").c_str(), 1), 0);
  EXPECT_EQ(CPublicFun::DeleteDir("", 0), 0);
  EXPECT_EQ(CPublicFun::DeleteDir(nullptr, 1), 0);
}

TEST(IsReadOnlyTest, AtAnyDepth) {
  TempTree t;
  t.File("w.txt");
  t.File("tree/a/b/grandchild.txt");
  t.File("tree/a/plain.txt");
  t.Dir("empty");
  EXPECT_EQ(CPublicFun::IsReadOnly((t / "missing").c_str()), 1);
  EXPECT_EQ(CPublicFun::IsReadOnly(nullptr), 1);
  EXPECT_EQ(CPublicFun::IsReadOnly((t / "w.txt").c_str()), 0);
  EXPECT_EQ(CPublicFun::IsReadOnly((t / "tree").c_str()), 0);
  EXPECT_EQ(CPublicFun::IsReadOnly((t / "empty").c_str()), 0);
  EXPECT_EQ(CPublicFun::IsReadOnly((t / "tree/..").c_str()), 1);  // a dots entry
  t.ReadOnly("tree/a/b/grandchild.txt");
  EXPECT_EQ(CPublicFun::IsReadOnly((t / "tree").c_str()), 1);
  EXPECT_EQ(CPublicFun::IsReadOnly((t / "tree/a/plain.txt").c_str()), 0);
  t.ReadOnly("w.txt");
  EXPECT_EQ(CPublicFun::IsReadOnly((t / "w.txt").c_str()), 1);
}

TEST(CreateDirTest, ChainsNetworkPathsAndTheProbe) {
  TempTree t;
  EXPECT_EQ(CPublicFun::CreateDir((t.root() + "\\a\\b\\c").c_str()), 1);
  EXPECT_TRUE(t.Exists("a/b/c"));
  EXPECT_EQ(CPublicFun::CreateDir((t / "a/b/c").c_str()), 1);  // all there already
  t.File("file");
  EXPECT_EQ(CPublicFun::CreateDir((t / "file/x").c_str()), 0);
  EXPECT_EQ(CPublicFun::CreateDir((t / "file").c_str()), 0);  // exists, not a folder
  EXPECT_EQ(CPublicFun::CreateDir(""), 0);
  EXPECT_EQ(CPublicFun::CreateDir("\\\\"), 0);
  // The share under a server cannot be made, and is passed over.
  EXPECT_EQ(CPublicFun::CreateDir("\\\\qelnosuchserver\\share"), 1);
  EXPECT_EQ(CPublicFun::CreateDir("\\\\qelnosuchserver\\share\\dir"), 0);

  InDirectory here(t.root());
  // One level: made, or probed for writing when it exists.
  EXPECT_EQ(CPublicFun::CreateDir("one"), 1);
  EXPECT_EQ(CPublicFun::CreateDir("one"), 1);
  EXPECT_EQ(t.List(), (Strings{"a/", "a/b/", "a/b/c/", "file", "one/"}));
  // A file of the probe's name belongs to the user and survives the probe.
  t.File("one/~test.tmp", "mine");
  EXPECT_EQ(CPublicFun::CreateDir("one"), 1);
  EXPECT_EQ(t.Read("one/~test.tmp"), "mine");
  EXPECT_EQ(t.List().size(), 6u);
  // The first piece of a longer relative path is taken as existing (as a drive is).
  EXPECT_EQ(CPublicFun::CreateDir("nodrive\\x"), 0);
  EXPECT_EQ(CPublicFun::CreateDir("one\\x\\y"), 1);
  EXPECT_TRUE(t.Exists("one/x/y"));
}

TEST(CopyDirTest, CopiesIntoExistingFolderOnly) {
  TempTree t;
  t.File("src/a.txt", "A");
  t.File("src/sub/b.txt", "B");
  t.File("src/sub/ro.txt", "R");
  t.ReadOnly("src/sub/ro.txt");
  EXPECT_EQ(CPublicFun::CopyDir((t / "src").c_str(), (t / "nowhere").c_str()), 1);
  EXPECT_FALSE(t.Exists("nowhere"));
  t.Dir("dst");
  t.File("dst/a.txt", "old");
  EXPECT_EQ(CPublicFun::CopyDir((t / "src").c_str(), (t / "dst").c_str()), 1);
  EXPECT_EQ(t.Read("dst/a.txt"), "A");
  EXPECT_EQ(t.Read("dst/sub/b.txt"), "B");
  EXPECT_EQ(t.Read("dst/sub/ro.txt"), "R");
  EXPECT_EQ(CPublicFun::IsReadOnly((t / "dst").c_str()), 0);  // no copy is read-only
  EXPECT_EQ(CPublicFun::CopyDir((t / "missing").c_str(), (t / "dst").c_str()), 1);
}

TEST(CopyAccFileTest, PlainFilesOnly) {
  TempTree t;
  t.File("src/a.txt", "A");
  t.File("src/b.bin", "B");
  t.File("src/sub/c.txt");
  for (int ignored : {0, 1, -7}) {
    std::string dst = t / ("out" + std::to_string(ignored) + "/x");
    EXPECT_EQ(CPublicFun::CopyAccFile((t / "src").c_str(), dst.c_str(), ignored), 1);
    CStringArr copied;
    EXPECT_EQ(CPublicFun::ScanDir(dst.c_str(), "*", &copied), 2);
    EXPECT_FALSE(t.Exists("out" + std::to_string(ignored) + "/x/sub"));
  }
  EXPECT_EQ(CPublicFun::CopyAccFile("", (t / "o").c_str(), 0), 0);
  EXPECT_EQ(CPublicFun::CopyAccFile((t / "src").c_str(), nullptr, 0), 0);
  t.File("blocker");
  EXPECT_EQ(CPublicFun::CopyAccFile((t / "src").c_str(), (t / "blocker/x").c_str(), 0), 0);
}

TEST(ExistTest, FilesFoldersAndLists) {
  TempTree t;
  t.File("f.txt");
  t.Dir("d");
  EXPECT_EQ(CPublicFun::IsExistFile((t / "f.txt").c_str()), 1);
  EXPECT_EQ(CPublicFun::IsExistFile((t / "d").c_str()), 0);
  EXPECT_EQ(CPublicFun::IsExistFile((t / "*.txt").c_str()), 1);
  EXPECT_EQ(CPublicFun::IsExistDir((t / "d").c_str()), 1);
  EXPECT_EQ(CPublicFun::IsExistDir((t / "f.txt").c_str()), 0);
  EXPECT_EQ(CPublicFun::IsExistDir((t / "none").c_str()), 0);
  EXPECT_EQ(CPublicFun::IsExistFile(nullptr), 0);

  CStringArr list;
  EXPECT_EQ(CPublicFun::IsExistOneFile(list), 0);
  list.Add((t / "none").c_str(), -1);
  list.Add(nullptr, -1);  // absent: names nothing
  EXPECT_EQ(CPublicFun::IsExistOneFile(list), 0);
  list.Add((t / "?").c_str(), -1);  // the folder d
  EXPECT_EQ(CPublicFun::IsExistOneFile(list), 1);
}

TEST(CopyMoveFileTest, DirectAndFallBack) {
  TempTree t;
  t.File("a.txt", "A");
  t.File("b.txt", "B");
  t.Dir("folder.txt");
  t.Dir("into");
  EXPECT_EQ(CPublicFun::CopyFileA((t / "a.txt").c_str(), (t / "a2.txt").c_str()), 1);
  EXPECT_EQ(CPublicFun::CopyFileA((t / "b.txt").c_str(), (t / "a2.txt").c_str()), 1);
  EXPECT_EQ(t.Read("a2.txt"), "B");
  // Fall-back: a folder as destination, and a wildcard source (files only).
  EXPECT_EQ(CPublicFun::CopyFileA((t / "a.txt").c_str(), (t / "into").c_str()), 1);
  EXPECT_EQ(t.Read("into/a.txt"), "A");
  EXPECT_EQ(CPublicFun::CopyFileA((t / "*.txt").c_str(), (t / "into").c_str()), 1);
  EXPECT_EQ(t.List(), (Strings{"a.txt", "a2.txt", "b.txt", "folder.txt/", "into/", "into/a.txt",
                               "into/a2.txt", "into/b.txt"}));
  EXPECT_EQ(CPublicFun::CopyFileA((t / "*.txt").c_str(), (t / "nofolder").c_str()), 0);
  EXPECT_EQ(CPublicFun::CopyFileA((t / "none*").c_str(), (t / "into").c_str()), 0);
  EXPECT_EQ(CPublicFun::CopyFileA(nullptr, (t / "into").c_str()), 0);

  EXPECT_EQ(CPublicFun::MoveFileA((t / "a2.txt").c_str(), (t / "m.txt").c_str()), 1);
  EXPECT_EQ(CPublicFun::MoveFileA((t / "m.txt").c_str(), (t / "b.txt").c_str()), 1);
  EXPECT_EQ(t.Read("b.txt"), "B");
  t.Dir("out");
  EXPECT_EQ(CPublicFun::MoveFileA((t / "*.txt").c_str(), (t / "out").c_str()), 1);
  EXPECT_EQ(t.List(), (Strings{"folder.txt/", "into/", "into/a.txt", "into/a2.txt", "into/b.txt",
                               "out/", "out/a.txt", "out/b.txt"}));
  // A folder moves with its tree, but never into itself.
  EXPECT_EQ(CPublicFun::MoveFileA((t / "into").c_str(), (t / "out").c_str()), 1);
  EXPECT_TRUE(t.Exists("out/into/b.txt"));
  EXPECT_EQ(CPublicFun::MoveFileA((t / "out").c_str(), (t / "out/into").c_str()), 0);
  EXPECT_TRUE(t.Exists("out/into/b.txt"));
}

TEST(CreateShotNameTest, SafeNames) {
  struct Case {
    char const* path;
    int number;
    char const* name;
  } cases[] = {
      {"D:\\docs\\my report.doc", 0, "report.doc"},
      {"D:\\docs\\my report.doc", 5, "00000005.doc"},
      {"http://host/a/b.gif?x=1", 0, "b.xxx"},
      {"", 0, "00000000.xxx"},
      {nullptr, 0, "00000000.xxx"},
      {"plain", 0, "plain.xxx"},
      {"a.b.c", 0, "a.b.c"},
      {"dir/x+y=z.htm", 0, "z.htm"},
      {"dir\\name.", 0, "name.xxx"},
      {"dir/.hidden", 0, "00000000.hidden"},
      {"a@b&c|d;e:f'g\"h*i%j.txt", 0, "j.txt"},
      {"x.t t", 12345678, "12345678.xxx"},
      {"x", -5, "-0000005.xxx"},
      // 丂 (0x81 0x40) ends in "@", 乗 (0x81 0x5C) in "\": neither cuts a character.
      {"\x81\x40.txt", 0, "\x81\x40.txt"},
      {"d\\\x81\x5c.txt", 0, "\x81\x5c.txt"},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(CPublicFun::CreateShotName(c.path, c.number), c.name)
        << (c.path ? c.path : "(null)") << " " << c.number;
  }
}

}  // namespace files_test
