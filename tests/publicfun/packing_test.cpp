#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <span>
#include <string>

#include "platform/fs/durable.h"
#include "platform/fs/file.h"
#include "platform/fs/ops.h"
#include "platform/storage/disk_file.h"
#include "qelshare/CPublicFun.h"
#include "qelshare/storage.h"
#include "support/temp_tree.h"
#include "tests/platform/storage/cfb_fixture.h"
#include "tests/support/write_faults.h"

namespace packing_test {

using qel::storage::testing::GetStream;
using qel::storage::testing::PutStream;
using qel::storage::testing::Slurp;
using qel::storage::testing::Spit;
using qel::testing::TempTree;

constexpr DWORD kRw = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

std::string Poem(std::size_t n) {
  std::string s;
  while (s.size() < n) s += "\xB4\xB2\xC7\xB0\xC3\xF7\xD4\xC2\xB9\xE2 bright moon before my bed\n";
  return s.substr(0, n);
}

struct Package {
  TempTree dir;
  std::string file = dir.Path("pack.cfb");
  IStorage* root = nullptr;
  Package() {
    EXPECT_EQ(StgCreateDocfile(file.c_str(), kRw, &root), S_OK);
    std::filesystem::create_directory(dir.path() / "in");
    std::filesystem::create_directory(dir.path() / "out");
  }
  ~Package() {
    if (root != nullptr) root->Release();
  }
  std::string Input(std::string const& name, std::string const& bytes) {
    std::string path = (dir.path() / "in" / name).string();
    Spit(path, bytes);
    return path;
  }
  std::string Out(std::string const& name) { return Slurp((dir.path() / "out" / name).string()); }
  std::string OutDir() { return (dir.path() / "out").string(); }
};

std::uint32_t Le(std::string const& s, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

TEST(PackingTest, WritesThePackageFormatAndUnpacksIt) {
  Package p;
  CStringArr files;
  std::string big = Poem(20000);
  files.Add(p.Input("a.JPG", Poem(5000)).c_str(), -1);  // media: raw however it compresses
  files.Add(p.Input("short.txt", "twenty bytes of text").c_str(), -1);
  files.Add(p.Input("poem.txt", big).c_str(), -1);
  files.Add(p.Input("empty.dat", "").c_str(), -1);
  ASSERT_EQ(CPublicFun::ZipFile(&files, p.root, "pkg"), 1);
  std::string s = GetStream(p.root, "pkg");
  // Entry 1: a.JPG raw.
  ASSERT_EQ(Le(s, 0, 2), 5u);
  EXPECT_EQ(Le(s, 2, 4), 5000u);
  EXPECT_EQ(Le(s, 6, 4), 0u);
  EXPECT_EQ(s.substr(10, 6), std::string(6, '\0'));
  EXPECT_EQ(s.substr(16, 5), "a.JPG");
  std::size_t at = 16 + 5 + 5000;
  // Entry 2: under 30 bytes, declined by the compressor, raw.
  EXPECT_EQ(Le(s, at, 2), 9u);
  EXPECT_EQ(Le(s, at + 6, 4), 0u);
  at += 16 + 9 + 20;
  // Entry 3: compressed.
  EXPECT_EQ(Le(s, at + 2, 4), 20000u);
  std::uint32_t stored = Le(s, at + 6, 4);
  EXPECT_GT(stored, 0u);
  EXPECT_LT(stored, 20000u);
  at += 16 + 8 + stored;
  EXPECT_EQ(Le(s, at + 2, 4), 0u);
  EXPECT_EQ(s.size(), at + 16 + 9);

  ASSERT_EQ(CPublicFun::UnzipFile(p.OutDir().c_str(), p.root, "pkg"), 1);
  EXPECT_EQ(p.Out("a.JPG"), Poem(5000));
  EXPECT_EQ(p.Out("short.txt"), "twenty bytes of text");
  EXPECT_EQ(p.Out("poem.txt"), big);
  EXPECT_TRUE(std::filesystem::exists(p.dir.path() / "out" / "empty.dat"));
  EXPECT_EQ(p.Out("empty.dat"), "");
  // Into a folder that does not exist: nothing written, still 1.
  EXPECT_EQ(CPublicFun::UnzipFile((p.OutDir() + "/none").c_str(), p.root, "pkg"), 1);
  EXPECT_EQ(CPublicFun::UnzipFile(p.OutDir().c_str(), p.root, "missing"), 0);
}

TEST(PackingTest, NullEmptyAndFailingLists) {
  Package p;
  ASSERT_EQ(CPublicFun::ZipFile(nullptr, p.root, "empty"), 1);
  EXPECT_EQ(GetStream(p.root, "empty"), std::string(16, '\0'));
  EXPECT_EQ(CPublicFun::UnzipFile(p.OutDir().c_str(), p.root, "empty"), 1);
  EXPECT_TRUE(std::filesystem::is_empty(p.dir.path() / "out"));

  CStringArr none;
  EXPECT_EQ(CPublicFun::ZipFile(&none, p.root, "nothing"), 0);
  EXPECT_EQ(GetStream(p.root, "nothing"), "<error>");

  // A missing file fails the whole package, and replaces no old one with a partial one.
  CStringArr files;
  files.Add(p.Input("x.txt", Poem(300)).c_str(), -1);
  files.Add((p.dir.path() / "in" / "gone.txt").string().c_str(), -1);
  EXPECT_EQ(CPublicFun::ZipFile(&files, p.root, "pkg"), 0);
  EXPECT_EQ(GetStream(p.root, "pkg"), "<error>");
}

TEST(PackingTest, DamagedPackagesStopSafely) {
  Package p;
  CStringArr files;
  files.Add(p.Input("one.txt", Poem(3000)).c_str(), -1);
  files.Add(p.Input("two.txt", Poem(4000)).c_str(), -1);
  ASSERT_EQ(CPublicFun::ZipFile(&files, p.root, "pkg"), 1);
  std::string good = GetStream(p.root, "pkg");

  auto entry = [](std::string const& name, std::string const& data) {
    std::string head(16, '\0');
    head[0] = static_cast<char>(name.size());
    for (int i = 0; i < 4; ++i) head[2 + i] = static_cast<char>(data.size() >> (8 * i));
    return head + name + data;
  };
  struct Case {
    char const* what;
    std::string bytes;
    int result;
    char const* written;  // a file expected in out/, or null
  } cases[] = {
      {"last entry cut short", good.substr(0, good.size() - 10), 0, "one.txt"},
      {"name longer than the stream", good.substr(0, 14) + std::string("\0\0", 2) + "x", 0,
       nullptr},
      {"escapes the folder", entry("../evil", "x") + entry("ok", "fine"), 1, "ok"},
      {"dot names and separators",
       entry(".", "x") + entry("..", "x") + entry("a\\b", "x") + entry("", "") + entry("late", "x"),
       1, nullptr},
      {"trailing bytes shorter than a head", entry("t", "1") + "abc", 1, "t"},
  };
  for (auto const& c : cases) {
    std::filesystem::remove_all(p.dir.path() / "out");
    std::filesystem::create_directory(p.dir.path() / "out");
    ASSERT_EQ(PutStream(p.root, "bad", c.bytes), S_OK);
    EXPECT_EQ(CPublicFun::UnzipFile(p.OutDir().c_str(), p.root, "bad"), c.result) << c.what;
    if (c.written != nullptr) {
      EXPECT_TRUE(std::filesystem::exists(p.dir.path() / "out" / c.written)) << c.what;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(p.dir.path() / "evil"));
  EXPECT_FALSE(std::filesystem::exists(p.dir.path() / "out" / "late")) << "after an empty name";
  // A damaged compressed block is refused, and a size that no block can reach too.
  std::string bad = good;
  bad[16 + 7 + 5] ^= 0x55;
  bad[16 + 7 + 6] ^= 0x7F;
  ASSERT_EQ(PutStream(p.root, "bad", bad), S_OK);
  CPublicFun::UnzipFile(p.OutDir().c_str(), p.root, "bad");
  std::string huge = good;
  huge[5] = '\x7F';
  ASSERT_EQ(PutStream(p.root, "bad", huge), S_OK);
  EXPECT_EQ(CPublicFun::UnzipFile(p.OutDir().c_str(), p.root, "bad"), 0);
}

TEST(PackingTest, CutAtEveryWriteOfAPackageLeavesOldOrNew) {
  TempTree dir;
  std::string path = dir.Path("p.cfb");
  std::string in = dir.Path("poem.txt");
  Spit(in, Poem(30000));
  std::string in2 = dir.Path("b.png");
  Spit(in2, Poem(7000));
  IStorage* root = nullptr;
  ASSERT_EQ(StgCreateDocfile(path.c_str(), kRw, &root), S_OK);
  ASSERT_EQ(CPublicFun::ZipFile(nullptr, root, "pkg"), 1);
  root->Release();
  std::string original = Slurp(path);
  CStringArr files;
  files.Add(in.c_str(), -1);
  files.Add(in2.c_str(), -1);
  int olds = 0;
  for (long cut = 0;; ++cut) {
    Spit(path, original);
    ASSERT_EQ(StgOpenStorage(path.c_str(), kRw, &root), S_OK);
    qel::storage::SetWriteLimit(cut);
    int zipped = CPublicFun::ZipFile(&files, root, "pkg");
    HRESULT committed = root->Commit(0);
    root->Release();
    qel::storage::SetWriteLimit(-1);
    ASSERT_EQ(StgOpenStorage(path.c_str(), kRw, &root), S_OK) << "cut at " << cut;
    std::string s = GetStream(root, "pkg");
    root->Release();
    if (s == std::string(16, '\0')) {
      ++olds;
    } else {
      // The new package, whole.
      std::filesystem::remove_all(dir.path() / "out");
      std::filesystem::create_directory(dir.path() / "out");
      ASSERT_EQ(StgOpenStorage(path.c_str(), kRw, &root), S_OK);
      EXPECT_EQ(CPublicFun::UnzipFile((dir.path() / "out").string().c_str(), root, "pkg"), 1);
      root->Release();
      EXPECT_EQ(Slurp((dir.path() / "out" / "poem.txt").string()), Poem(30000)) << cut;
      EXPECT_EQ(Slurp((dir.path() / "out" / "b.png").string()), Poem(7000)) << cut;
    }
    if (zipped == 1 && committed == S_OK) break;
    ASSERT_LT(cut, 2000);
  }
  EXPECT_GT(olds, 3);
}

// Unpacking over older files replaces each one whole or leaves it as it was, whichever call
// fails, and leaves nothing else in the folder.
TEST(PackingTest, UnpackingOverOldFilesLeavesEachOldOrNew) {
  Package p;
  CStringArr files;
  std::string const big = Poem(std::size_t{5} << 19);  // more than one buffer of writes
  files.Add(p.Input("poem.txt", big).c_str(), -1);
  files.Add(p.Input("short.txt", "twenty bytes of text").c_str(), -1);
  ASSERT_EQ(CPublicFun::ZipFile(&files, p.root, "pkg"), 1);
  using qel::fs::WriteFault;
  int old_kept = 0;
  for (WriteFault kind :
       {WriteFault::kWrite, WriteFault::kDiskFull, WriteFault::kSync, WriteFault::kRename}) {
    for (int n = 1; n <= 6; ++n) {
      Spit(p.OutDir() + "/poem.txt", "old poem");
      Spit(p.OutDir() + "/short.txt", "old short");
      qel::fs::InjectWriteFault(kind, n);
      EXPECT_EQ(CPublicFun::UnzipFile(p.OutDir().c_str(), p.root, "pkg"), 1);
      qel::fs::ClearWriteFaults();
      std::string label = std::to_string(static_cast<int>(kind)) + " #" + std::to_string(n);
      std::string poem = p.Out("poem.txt"), text = p.Out("short.txt");
      EXPECT_TRUE(poem == "old poem" || poem == big) << label;
      EXPECT_TRUE(text == "old short" || text == "twenty bytes of text") << label;
      old_kept += (poem == "old poem") + (text == "old short");
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(p.OutDir()), {}), 2) << label;
    }
  }
  EXPECT_GE(old_kept, 8);
}

// A stream copied over an existing file replaces it whole or not at all.
TEST(CopyCmbFileTest, KeepsTheOldFileAtEveryFault) {
  TempTree dir;
  std::string path = dir.Path("c.cfb");
  IStorage* root = nullptr;
  ASSERT_EQ(StgCreateDocfile(path.c_str(), kRw, &root), S_OK);
  std::string const doc = Poem(std::size_t{3} << 19);
  ASSERT_EQ(PutStream(root, "doc", doc), S_OK);
  root->Release();
  std::string out = dir.Path("out.bin");
  Spit(out, "old");
  int failures = qel::testing::FailEveryCall(
      [&] { return CPublicFun::CopyCmbFile(out.c_str(), path.c_str(), "doc") == 1; },
      [&](bool failed, std::string const& label) {
        if (!label.starts_with("sync")) {
          EXPECT_EQ(Slurp(out), failed ? "old" : doc) << label;
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << label;
        Spit(out, "old");
      });
  EXPECT_GE(failures, 5);
}

TEST(CopyCmbFileTest, WritesOneTopLevelStream) {
  TempTree dir;
  std::string path = dir.Path("c.cfb");
  IStorage* root = nullptr;
  ASSERT_EQ(StgCreateDocfile(path.c_str(), kRw, &root), S_OK);
  ASSERT_EQ(PutStream(root, "doc", Poem(12345)), S_OK);
  ASSERT_EQ(PutStream(root, "none", ""), S_OK);
  root->Release();
  std::string out = dir.Path("out.bin");
  Spit(out, "previous longer content that must go away entirely");
  EXPECT_EQ(CPublicFun::CopyCmbFile(out.c_str(), path.c_str(), "doc"), 1);
  EXPECT_EQ(Slurp(out), Poem(12345));
  EXPECT_EQ(CPublicFun::CopyCmbFile(out.c_str(), path.c_str(), "none"), 1);
  EXPECT_EQ(Slurp(out), "");
  EXPECT_EQ(CPublicFun::CopyCmbFile(out.c_str(), path.c_str(), "missing"), 0);
  EXPECT_EQ(CPublicFun::CopyCmbFile(out.c_str(), dir.Path("nofile").c_str(), "doc"), 0);
  EXPECT_EQ(CPublicFun::CopyCmbFile(dir.Path("no/dir").c_str(), path.c_str(), "doc"), 0);
  EXPECT_EQ(CPublicFun::CopyCmbFile(nullptr, path.c_str(), "doc"), 0);
}

// Compound files, packages and copies take GBK paths like every file member, and a
// compound file shares with plain opens of the same file by the same rules.
TEST(CopyCmbFileTest, GbkPathsAndSharingWithPlainOpens) {
  TempTree dir;
  std::string const poem = "\xCA\xAB";  // 诗 in GBK; the disk names are UTF-8
  std::string cfb = dir.Path("") + poem + ".cfb";
  std::string text = dir.Path("") + poem + ".txt";
  std::string error;
  ASSERT_TRUE(qel::fs::WriteFileDurably(text, "verse", error)) << error;
  EXPECT_EQ(Slurp(dir.Path("\xE8\xAF\x97.txt")), "verse");

  IStorage* root = nullptr;
  ASSERT_EQ(StgCreateDocfile(cfb.c_str(), kRw, &root), S_OK);
  CStringArr files;
  files.Add(text.c_str(), -1);
  ASSERT_EQ(CPublicFun::ZipFile(&files, root, "p"), 1);
  // The compound file is held exclusively: a plain open for reading is refused.
  qel::fs::File plain;
  EXPECT_FALSE(plain.Open(cfb, qel::fs::kAccessRead, qel::fs::kShareRead | qel::fs::kShareWrite,
                          qel::fs::Disposition::kOpenExisting));
  EXPECT_EQ(plain.error(), EBUSY);
  ASSERT_EQ(root->Commit(0), S_OK);
  root->Release();

  std::string folder = dir.Path("") + poem;
  ASSERT_TRUE(qel::fs::CreateDirectory(folder));
  ASSERT_EQ(StgOpenStorage(cfb.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, &root), S_OK);
  EXPECT_EQ(CPublicFun::UnzipFile(folder.c_str(), root, "p"), 1);
  EXPECT_EQ(Slurp(dir.Path("\xE8\xAF\x97/\xE8\xAF\x97.txt")), "verse");
  // A reader that denies writing keeps plain writers out, and lets plain readers in.
  EXPECT_FALSE(plain.Open(cfb, qel::fs::kAccessWrite, qel::fs::kShareRead | qel::fs::kShareWrite,
                          qel::fs::Disposition::kOpenExisting));
  EXPECT_TRUE(plain.Open(cfb, qel::fs::kAccessRead, qel::fs::kShareRead | qel::fs::kShareWrite,
                         qel::fs::Disposition::kOpenExisting));
  plain.Close();
  root->Release();

  ASSERT_EQ(StgOpenStorage(cfb.c_str(), kRw, &root), S_OK);
  ASSERT_EQ(PutStream(root, "doc", "lines"), S_OK);
  root->Release();
  std::string copy = dir.Path("") + poem + ".out";
  EXPECT_EQ(CPublicFun::CopyCmbFile(copy.c_str(), cfb.c_str(), "doc"), 1);
  EXPECT_EQ(Slurp(dir.Path("\xE8\xAF\x97.out")), "lines");
}

}  // namespace packing_test
