#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "platform/fs/file.h"
#include "platform/fs/find.h"
#include "platform/fs/ops.h"
#include "platform/fs/path.h"
#include "platform/fs/wildcard.h"
#include "support/temp_tree.h"
#include "support/write_faults.h"

namespace fs_test {

using namespace qel::fs;
using qel::testing::TempTree;

TEST(WildcardTest, DesktopPatterns) {
  struct Case {
    char const* pattern;
    char const* name;
    bool match;
  } cases[] = {
      {"*", "anything.txt", true},
      {"*.*", "noextension", true},
      {"*.*", ".hidden", true},
      {"*.txt", "a.TXT", true},
      {"*.txt", "a.txt.bak", false},
      {"*.TxT", "README.txt", true},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"a?c", "abbc", false},
      {"readme.*", "readme", true},
      {"readme.*", "readme.md", true},
      {"readme.*", "readmex", false},
      {"*a*b*", "xxaxxbxx", true},
      {"*a*b*", "xxbxxaxx", false},
      {"**", "", true},
      {"abc", "ABC", true},
      {"abc", "abcd", false},
      {"?", "\xd6\xd0", true},  // 中: one character
      {"??", "\xd6\xd0", false},
      {"\xd6\xd0*", "\xd6\xd0\xce\xc4.txt", true},
      {"\xd6\xd0", "\xd6\xf0", false},
      {"*.txt", "\xd6\xd0.txt", true},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(MatchName(c.pattern, c.name), c.match) << c.pattern << " ~ " << c.name;
  }
  EXPECT_TRUE(HasWildcards("a*"));
  EXPECT_FALSE(HasWildcards("plain.txt"));
}

TEST(PathTest, SeparatorsAndAbsolute) {
  EXPECT_EQ(Slashes("a\\b/c\\"), "a/b/c/");
  // 乗 is 0x81 0x5C: its trail byte is not a separator.
  EXPECT_EQ(Slashes("a\\\x81\\b"), "a/\x81\\b");
  EXPECT_EQ(LastSeparator("a\\\x81\\b"), 1u);
  EXPECT_EQ(Absolute("/a/./b//../c/"), "/a/c");
  EXPECT_EQ(Absolute("\\..\\x"), "/x");
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(Absolute("rel\\x"), std::string(cwd) + "/rel/x");
  EXPECT_EQ(ToOs("\xd6\xd0\\a"), "\xe4\xb8\xad/a");
  EXPECT_EQ(FromOs("\xe4\xb8\xad"), "\xd6\xd0");
}

std::set<std::string> Names(std::string const& file_spec, bool with_dots = false) {
  std::set<std::string> names;
  FileFind find;
  for (bool more = find.Find(file_spec); more; more = find.Next()) {
    if (with_dots || !find.IsDots()) names.insert(find.name());
  }
  return names;
}

TEST(FileFindTest, SearchesLikeTheDesktop) {
  TempTree t;
  t.File("A.TXT");
  t.File("b.txt");
  t.File("c.doc");
  t.Dir("sub.txt");
  t.File("\xe4\xb8\xad.txt");  // a UTF-8 name on disk, 中 in GBK
  EXPECT_EQ(Names(t / "*.txt"),
            (std::set<std::string>{"A.TXT", "b.txt", "sub.txt", "\xd6\xd0.txt"}));
  EXPECT_EQ(Names(t.root() + "\\*.*", true).size(), 7u);  // dots included
  EXPECT_TRUE(Names(t / "").empty());
  EXPECT_TRUE(Names(t / "missing*").empty());

  FileFind find;
  ASSERT_TRUE(find.Find(t / "a.txt"));  // case of ASCII letters ignored
  EXPECT_EQ(find.name(), "A.TXT");
  EXPECT_EQ(find.path(), t.root() + "/A.TXT");
  EXPECT_FALSE(find.IsDirectory());
  EXPECT_FALSE(find.Next());

  ASSERT_TRUE(find.Find(t / "sub.txt/.."));
  EXPECT_TRUE(find.IsDots());
  EXPECT_TRUE(find.IsDirectory());

  ASSERT_TRUE(find.Find(t / "sub.txt/../\xd6\xd0.txt"));
  EXPECT_EQ(find.path(), t.root() + "/\xd6\xd0.txt");

  t.ReadOnly("c.doc");
  ASSERT_TRUE(find.Find(t / "c.*"));
  EXPECT_TRUE(find.IsReadOnly());
  ASSERT_TRUE(find.Find(t / "b.txt"));
  EXPECT_FALSE(find.IsReadOnly());
}

TEST(FileFindTest, LinksAreNotFollowedInListings) {
  TempTree t;
  t.File("real/inside.txt");
  ASSERT_EQ(symlink((t / "real").c_str(), (t / "link").c_str()), 0);
  FileFind find;
  ASSERT_TRUE(find.Find(t / "l*"));
  EXPECT_FALSE(find.IsDirectory());
  ASSERT_TRUE(find.Find(t / "link"));  // named directly: followed
  EXPECT_TRUE(find.IsDirectory());
}

// Runs body in a child process and returns its exit status.
template <typename F>
int InChild(F body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(FileTest, ShareModesHoldBetweenProcesses) {
  TempTree t;
  std::string path = t.File("shared.dat", "data");
  struct Case {
    unsigned access1, share1, access2, share2;
    bool second_opens;
  } cases[] = {
      {kAccessRead, kShareRead, kAccessRead, kShareRead, true},
      {kAccessRead, kShareRead, kAccessWrite, kShareRead | kShareWrite, false},
      {kAccessRead, kShareRead | kShareWrite, kAccessWrite, kShareRead | kShareWrite, true},
      {kAccessRead, kShareRead | kShareWrite, kAccessRead, kShareRead, true},
      {kAccessWrite, kShareRead | kShareWrite, kAccessRead, kShareRead, false},
      {kAccessRead | kAccessWrite, 0, kAccessRead, kShareRead | kShareWrite, false},
      {kAccessWrite, kShareWrite, kAccessWrite, kShareWrite, true},
      {kAccessWrite, kShareWrite, kAccessRead, kShareWrite, false},
  };
  for (auto const& c : cases) {
    File first;
    ASSERT_TRUE(first.Open(path, c.access1, c.share1, Disposition::kOpenExisting));
    int child = InChild([&] {
      File second;
      bool ok = second.Open(path, c.access2, c.share2, Disposition::kOpenExisting);
      return ok ? 0 : second.error() == EBUSY ? 1 : 2;
    });
    EXPECT_EQ(child, c.second_opens ? 0 : 1)
        << c.access1 << "/" << c.share1 << " then " << c.access2 << "/" << c.share2;
    // Within one process the rule is the same.
    File second;
    EXPECT_EQ(second.Open(path, c.access2, c.share2, Disposition::kOpenExisting), c.second_opens);
  }
  // A refused truncating open leaves the content alone; once closed, the file opens.
  {
    File reader;
    ASSERT_TRUE(reader.Open(path, kAccessRead, kShareRead, Disposition::kOpenExisting));
    File writer;
    EXPECT_FALSE(writer.Open(path, kAccessWrite, kShareRead, Disposition::kCreateAlways));
    EXPECT_EQ(t.Read("shared.dat"), "data");
  }
  File writer;
  EXPECT_TRUE(writer.Open(path, kAccessWrite, 0, Disposition::kCreateAlways));
  EXPECT_EQ(writer.Size(), 0);
}

// Handles of the readers follow the same share modes as File, and take GBK paths.
TEST(FileHandleTest, ReadersShareLikeFilesAndTakeGbkPaths) {
  TempTree t;
  t.File("\xe6\x95\xb0\xe6\x8d\xae.dat", "0123456789");  // 数据 in UTF-8
  std::string gbk = t.root() + "/\xca\xfd\xbe\xdd.dat";  // 数据 in GBK
  {
    File writer;
    ASSERT_TRUE(
        writer.Open(gbk, kAccessWrite, kShareRead | kShareWrite, Disposition::kOpenExisting));
    EXPECT_EQ(OpenForReading(gbk, Share::kDenyWrite), kInvalidFile);
    HANDLE shared = OpenForReading(gbk, Share::kDenyNone);
    ASSERT_NE(shared, kInvalidFile);
    Close(shared);
  }
  HANDLE file = OpenForReading(gbk, Share::kDenyWrite);
  ASSERT_NE(file, kInvalidFile);
  File writer;
  EXPECT_FALSE(
      writer.Open(gbk, kAccessWrite, kShareRead | kShareWrite, Disposition::kOpenExisting));
  EXPECT_EQ(writer.error(), EBUSY);
  // A duplicate keeps the sharing after the first handle closes.
  HANDLE copy = Duplicate(file);
  Close(file);
  EXPECT_FALSE(
      writer.Open(gbk, kAccessWrite, kShareRead | kShareWrite, Disposition::kOpenExisting));
  std::uint64_t size = 0;
  ASSERT_TRUE(Size(copy, &size));
  EXPECT_EQ(size, 10u);
  char buffer[4];
  EXPECT_EQ(ReadAt(copy, 8, buffer, sizeof buffer), 2);
  EXPECT_EQ(std::string(buffer, 2), "89");
  Close(copy);
  EXPECT_TRUE(writer.Open(gbk, kAccessWrite, kShareRead | kShareWrite, Disposition::kOpenExisting));
  EXPECT_EQ(OpenForReading(t / "missing", Share::kDenyNone), kInvalidFile);
  EXPECT_EQ(OpenForReading(t.root(), Share::kDenyNone), kInvalidFile);
}

TEST(FileTest, ReadOnlyRefusesWriting) {
  TempTree t;
  std::string path = t.File("ro.txt", "keep");
  ASSERT_TRUE(SetReadOnlyAttribute(path));
  File file;
  EXPECT_FALSE(file.Open(path, kAccessWrite, 0, Disposition::kOpenExisting));
  EXPECT_EQ(file.error(), EACCES);
  EXPECT_FALSE(file.Open(path, kAccessWrite, 0, Disposition::kCreateAlways));
  EXPECT_TRUE(file.Open(path, kAccessRead, kShareRead, Disposition::kOpenExisting));
  char buffer[8];
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 4);
  EXPECT_TRUE(GetAttributes(path)->read_only);
  ASSERT_TRUE(SetNormalAttributes(path));
  EXPECT_FALSE(GetAttributes(path)->read_only);
  EXPECT_FALSE(GetAttributes(t / "missing"));
}

TEST(OpsTest, CopyAndMove) {
  TempTree t;
  std::string src = t.File("src.txt", std::string(200000, 'z'));
  SetReadOnlyAttribute(src);
  EXPECT_TRUE(CopyFile(src, t / "copy.txt", false));
  EXPECT_EQ(t.Read("copy.txt").size(), 200000u);
  EXPECT_TRUE(GetAttributes(t / "copy.txt")->read_only);  // attributes travel with the copy
  EXPECT_FALSE(CopyFile(src, t / "copy.txt", false));     // a read-only target stays
  EXPECT_FALSE(CopyFile(src, src, false));                // onto itself: refused, not lost
  EXPECT_EQ(t.Read("src.txt").size(), 200000u);
  t.File("other.txt", "o");
  EXPECT_TRUE(CopyFile(t / "other.txt", t / "other2.txt", false));
  EXPECT_FALSE(CopyFile(t / "other.txt", t / "other2.txt", true));  // must not exist

  EXPECT_FALSE(MoveFile(t / "other.txt", t / "other2.txt"));  // no replacing
  EXPECT_TRUE(MoveFile(t / "other.txt", t / "moved.txt"));
  EXPECT_FALSE(t.Exists("other.txt"));
  EXPECT_TRUE(CreateDirectory(t / "d"));
  EXPECT_FALSE(CreateDirectory(t / "d"));
  EXPECT_FALSE(DeleteFile(t / "d"));
  EXPECT_TRUE(RemoveDirectory(t / "d"));
}

// Replacing a file by a copy keeps the old one whole at any failure, leaves nothing beside
// it, and refuses a target that is a link.
TEST(OpsTest, CopyReplacesDurably) {
  TempTree t;
  std::string src = t.File("src.txt", std::string(3 << 20, 'n'));
  t.File("dst.txt", "old");
  int failures = qel::testing::FailEveryCall(
      [&] { return CopyFile(src, t / "dst.txt", false); },
      [&](bool failed, std::string const& label) {
        EXPECT_EQ(t.Read("dst.txt"), failed ? "old" : std::string(3 << 20, 'n')) << label;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(t.root()), {}), 2) << label;
        if (!failed) t.File("dst.txt", "old");
      });
  EXPECT_GE(failures, 8);  // several writes of a large copy, the sync, the rename
  std::filesystem::create_symlink(t / "src.txt", t / "link.txt");
  EXPECT_FALSE(CopyFile(t / "dst.txt", t / "link.txt", false));
  EXPECT_EQ(t.Read("src.txt").size(), std::size_t{3} << 20);
}

}  // namespace fs_test
