// Durable replacement of files: the old file survives every failure, nothing is left
// beside it, and targets that must not be replaced are refused.
#include "platform/fs/durable.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_tree.h"
#include "support/write_faults.h"

namespace qel::fs {
namespace durable_test {

TEST(Durable, OldFileSurvivesAFaultAtEveryCallAndNothingIsLeftBeside) {
  testing::TempTree dir;
  std::string target = dir.File("keep.txt", "old content");
  std::string big(3 << 20, 'x');  // several buffer flushes
  for (bool uncached : {false, true}) {
    int failed = testing::FailEveryCall(
        [&] {
          DurableFile f;
          if (!f.Open(target)) return false;
          if (uncached) f.WriteUncached();
          return f.Write("head") && f.Write(big) && f.Seek(0) && f.Write("HEAD") && f.Commit();
        },
        [&](bool fail, std::string const& label) {
          std::string now = dir.Read("keep.txt");
          EXPECT_EQ(dir.List(), std::vector<std::string>{"keep.txt"}) << label;
          if (fail) {
            // Only a failed sync of the folder comes after the rename.
            EXPECT_TRUE(now == "old content" || now == "HEAD" + big) << label;
          } else {
            EXPECT_EQ(now, "HEAD" + big) << label;
          }
          dir.File("keep.txt", "old content");
        });
    EXPECT_GE(failed, 6);
  }

  // A full disk names itself.
  InjectWriteFault(WriteFault::kDiskFull, 1);
  std::string error;
  EXPECT_FALSE(WriteFileDurably(target, "new", error));
  ClearWriteFaults();
  EXPECT_NE(error.find("the disk is full"), std::string::npos) << error;
  EXPECT_NE(error.find(target), std::string::npos) << error;
  EXPECT_EQ(dir.Read("keep.txt"), "old content");
}

TEST(Durable, RefusesFoldersLinksAndReadOnlyFoldersAndCleansAfterKilledWriters) {
  testing::TempTree dir;
  std::string error;
  std::string folder = dir.Dir("sub");
  EXPECT_FALSE(WriteFileDurably(folder, "x", error));
  EXPECT_NE(error.find("folder"), std::string::npos) << error;
  std::string real = dir.File("real.txt", "real");
  std::string link = dir / "link.txt";
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  EXPECT_FALSE(WriteFileDurably(link, "x", error));
  EXPECT_NE(error.find("link"), std::string::npos) << error;
  EXPECT_EQ(dir.Read("real.txt"), "real");
  if (geteuid() != 0) {  // root writes into read-only folders
    dir.File("ro/a.txt", "a");
    dir.ReadOnly("ro");
    chmod((dir / "ro").c_str(), 0555);
    EXPECT_FALSE(WriteFileDurably(dir / "ro/a.txt", "b", error));
    EXPECT_NE(error.find("ro/a.txt"), std::string::npos) << error;
    chmod((dir / "ro").c_str(), 0755);
  }

  // A file left beside the target by a process that is gone is removed by the next writer;
  // one of a live process (this one's parent) is left alone.
  std::string target = dir.File("t.txt", "old");
  dir.File("t.txt.~999999999-0.new", "half");
  dir.File("t.txt.~" + std::to_string(getppid()) + "-0.new", "theirs");
  ASSERT_TRUE(WriteFileDurably(target, "new", error)) << error;
  EXPECT_EQ(dir.Read("t.txt"), "new");
  EXPECT_FALSE(dir.Exists("t.txt.~999999999-0.new"));
  EXPECT_TRUE(dir.Exists("t.txt.~" + std::to_string(getppid()) + "-0.new"));
}

}  // namespace durable_test
}  // namespace qel::fs
