#include "qelshare/storage.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/storage/compound_file.h"
#include "platform/storage/disk_file.h"
#include "support/temp_tree.h"
#include "tests/platform/storage/cfb_fixture.h"

namespace qel::storage::testing {
namespace storage_test {

using qel::testing::TempTree;

constexpr DWORD kRw = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;

std::string Pattern(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  std::mt19937 rng(seed);
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

TEST(StorageTest, RoundTripsStreamsOfEverySizeClass) {
  TempTree dir;
  std::string path = dir.Path("a.cfb");
  std::vector<std::size_t> sizes = {0, 1, 63, 64, 65, 4095, 4096, 4097, 70000, 1 << 20};
  {
    IStorage* root = nullptr;
    ASSERT_EQ(StgCreateDocfile(path.c_str(), kRw | STGM_CREATE, &root), S_OK);
    IStorage* sub = nullptr;
    ASSERT_EQ(root->CreateStorage("\xD7\xD3\xC4\xBF\xC2\xBC", kRw, &sub), S_OK);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      std::string name = "s" + std::to_string(sizes[i]);
      ASSERT_EQ(PutStream(root, name.c_str(), Pattern(sizes[i], i)), S_OK);
      ASSERT_EQ(PutStream(sub, name.c_str(), Pattern(sizes[i], i + 100)), S_OK);
    }
    sub->Release();
    root->Release();
  }
  IStorage* root = nullptr;
  ASSERT_EQ(StgOpenStorage(path.c_str(), kRead, &root), S_OK);
  IStorage* sub = nullptr;
  ASSERT_EQ(root->OpenStorage("\xD7\xD3\xC4\xBF\xC2\xBC", kRead, &sub), S_OK);
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    std::string name = "s" + std::to_string(sizes[i]);
    EXPECT_EQ(GetStream(root, name.c_str()), Pattern(sizes[i], i)) << name;
    EXPECT_EQ(GetStream(sub, name.c_str()), Pattern(sizes[i], i + 100)) << name;
  }
  std::vector<tagSTATSTG> list;
  ASSERT_EQ(root->EnumElements(&list), S_OK);
  ASSERT_EQ(list.size(), sizes.size() + 1);
  // Shorter names first, then by upper case.
  EXPECT_EQ(list[0].name, "s0");
  EXPECT_EQ(list.back().name, "s1048576");
  tagSTATSTG st;
  ASSERT_EQ(sub->Stat(&st, STATFLAG_DEFAULT), S_OK);
  EXPECT_EQ(st.name, "\xD7\xD3\xC4\xBF\xC2\xBC");
  EXPECT_EQ(st.type, STGTY_STORAGE);
  sub->Release();
  root->Release();
  CheckTrees(Slurp(path));
}

TEST(StorageTest, RewritesShrinksGrowsAndSeeks) {
  TempTree dir;
  std::string path = dir.Path("b.cfb");
  IStorage* root = nullptr;
  ASSERT_EQ(StgCreateDocfile(path.c_str(), kRw, &root), S_OK);
  IStream* s = nullptr;
  ASSERT_EQ(root->CreateStream("data", kRw, &s), S_OK);
  std::string big = Pattern(10000, 7);
  ASSERT_EQ(s->Write(big.data(), 10000, nullptr), S_OK);
  ASSERT_EQ(root->Commit(0), S_OK);
  // Overwrite the middle after a commit: the committed sectors are copied, not changed.
  std::uint64_t pos = 0;
  ASSERT_EQ(s->Seek(5000, STREAM_SEEK_SET, &pos), S_OK);
  ASSERT_EQ(s->Write("XYZ", 3, nullptr), S_OK);
  big.replace(5000, 3, "XYZ");
  // Shrink under the mini stream cutoff and grow again: the gap reads as zeros.
  ASSERT_EQ(s->SetSize(100), S_OK);
  ASSERT_EQ(s->Seek(200, STREAM_SEEK_SET, &pos), S_OK);
  ASSERT_EQ(s->Write("end", 3, nullptr), S_OK);
  std::string want = big.substr(0, 100) + std::string(100, '\0') + "end";
  ASSERT_EQ(s->SetSize(9000), S_OK);
  want.resize(9000, '\0');
  ASSERT_EQ(s->Seek(-1, STREAM_SEEK_END, &pos), S_OK);
  EXPECT_EQ(pos, 8999u);
  EXPECT_EQ(s->Seek(-10000, STREAM_SEEK_CUR, &pos), STG_E_INVALIDFUNCTION);
  s->Release();
  EXPECT_EQ(GetStream(root, "data"), want);
  // Replacing a stream with create-or-replace leaves only the new content.
  ASSERT_EQ(PutStream(root, "data", "short"), S_OK);
  EXPECT_EQ(PutStream(root, "DATA", "x"), S_OK) << "names compare without case: replaced";
  root->Release();
  ASSERT_EQ(StgOpenStorage(path.c_str(), kRead, &root), S_OK);
  EXPECT_EQ(GetStream(root, "data"), "x");
  root->Release();
}

TEST(StorageTest, RefusesBadNamesModesAndMissingElements) {
  TempTree dir;
  std::string path = dir.Path("c.cfb");
  IStorage* root = nullptr;
  ASSERT_EQ(StgOpenStorage(path.c_str(), kRead, &root), STG_E_FILENOTFOUND);
  ASSERT_EQ(StgCreateDocfile(path.c_str(), kRw, &root), S_OK);
  IStream* s = nullptr;
  for (char const* bad : {"", "a/b", "a\\b", "a:b", "a!b", "12345678901234567890123456789012"}) {
    EXPECT_EQ(root->CreateStream(bad, kRw, &s), STG_E_INVALIDNAME) << bad;
  }
  EXPECT_EQ(root->CreateStream(nullptr, kRw, &s), STG_E_INVALIDPOINTER);
  EXPECT_EQ(root->OpenStream("none", kRead, &s), STG_E_FILENOTFOUND);
  EXPECT_EQ(root->DestroyElement("none"), STG_E_FILENOTFOUND);
  ASSERT_EQ(PutStream(root, "one", "1"), S_OK);
  EXPECT_EQ(root->CreateStream("one", kRw, &s), STG_E_FILEALREADYEXISTS);
  IStorage* sub = nullptr;
  EXPECT_EQ(root->OpenStorage("one", kRead, &sub), STG_E_FILENOTFOUND) << "a stream";
  // An open element cannot be opened twice, replaced or destroyed.
  ASSERT_EQ(root->OpenStream("one", kRead, &s), S_OK);
  IStream* again = nullptr;
  EXPECT_EQ(root->OpenStream("one", kRead, &again), STG_E_ACCESSDENIED);
  EXPECT_EQ(root->DestroyElement("one"), STG_E_ACCESSDENIED);
  EXPECT_EQ(s->Write("x", 1, nullptr), STG_E_ACCESSDENIED) << "opened for reading";
  s->Release();
  ASSERT_EQ(root->CreateStorage("box", kRw, &sub), S_OK);
  ASSERT_EQ(PutStream(sub, "in", "inside"), S_OK);
  ASSERT_EQ(sub->OpenStream("in", kRead, &s), S_OK);
  sub->Release();
  EXPECT_EQ(root->DestroyElement("box"), STG_E_ACCESSDENIED) << "a stream inside is open";
  s->Release();
  EXPECT_EQ(root->DestroyElement("box"), S_OK);
  EXPECT_EQ(root->OpenStorage("box", kRead, &sub), STG_E_FILENOTFOUND);
  EXPECT_EQ(StgCreateDocfile(path.c_str(), kRw, &sub), STG_E_FILEALREADYEXISTS);
  root->Release();
  EXPECT_EQ(StgCreateDocfile(path.c_str(), STGM_READWRITE | STGM_TRANSACTED, &root),
            STG_E_INVALIDFLAG);
}

TEST(StorageTest, ExclusiveSharingHoldsAcrossOpensAndProcesses) {
  TempTree dir;
  std::string path = dir.Path("d.cfb");
  IStorage* first = nullptr;
  ASSERT_EQ(StgCreateDocfile(path.c_str(), kRw, &first), S_OK);
  IStorage* second = nullptr;
  EXPECT_EQ(StgOpenStorage(path.c_str(), STGM_READ | STGM_SHARE_DENY_NONE, &second),
            STG_E_SHAREVIOLATION);
  pid_t child = fork();
  if (child == 0) {
    IStorage* other = nullptr;
    _exit(StgOpenStorage(path.c_str(), kRead, &other) == STG_E_SHAREVIOLATION ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  first->Release();
  // Readers that deny writers share with each other, not with a writer.
  DWORD share_read = STGM_READ | STGM_SHARE_DENY_WRITE;
  ASSERT_EQ(StgOpenStorage(path.c_str(), share_read, &first), S_OK);
  ASSERT_EQ(StgOpenStorage(path.c_str(), share_read, &second), S_OK);
  IStorage* writer = nullptr;
  EXPECT_EQ(StgOpenStorage(path.c_str(), STGM_READWRITE | STGM_SHARE_DENY_NONE, &writer),
            STG_E_SHAREVIOLATION);
  first->Release();
  second->Release();
  ASSERT_EQ(StgOpenStorage(path.c_str(), kRw, &writer), S_OK);
  writer->Release();
}

TEST(StorageTest, TenThousandStreamsKeepBalancedTrees) {
  TempTree dir;
  std::string path = dir.Path("many.cfb");
  IStorage* root = nullptr;
  ASSERT_EQ(StgCreateDocfile(path.c_str(), kRw, &root), S_OK);
  for (int i = 0; i < 10000; ++i) {
    std::string name = "n" + std::to_string(i * 7919 % 10007);
    ASSERT_EQ(PutStream(root, name.c_str(), name), S_OK);
  }
  root->Release();
  EXPECT_EQ(CheckTrees(Slurp(path)), 10001u);
  // Independent readers walk the tree recursively; a degenerate tree would defeat them.
  std::string py = "/usr/bin/python3 -c \"import olefile,sys; o=olefile.OleFileIO('" + path +
                   "'); sys.exit(0 if len(o.listdir())==10000 and "
                   "o.openstream('n5').read()==b'n5' else 1)\"";
  EXPECT_EQ(std::system(py.c_str()), 0) << "olefile";
  std::string gsf = "test $(gsf list '" + path + "' | grep -c ' n[0-9]') -eq 10000";
  EXPECT_EQ(std::system(gsf.c_str()), 0) << "gsf";
  std::string seven = "7z l '" + path + "' | grep -q '10000 files'";
  EXPECT_EQ(std::system(seven.c_str()), 0) << "7z";
  ASSERT_EQ(StgOpenStorage(path.c_str(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE, &root), S_OK);
  EXPECT_EQ(GetStream(root, "n5"), "n5");
  // Remove every other one and check the trees again.
  for (int i = 0; i < 10000; i += 2) {
    std::string name = "n" + std::to_string(i * 7919 % 10007);
    ASSERT_EQ(root->DestroyElement(name.c_str()), S_OK) << name;
  }
  root->Release();
  std::string bytes = Slurp(path);
  EXPECT_EQ(CheckTrees(bytes), 5001u);
  ASSERT_EQ(StgOpenStorage(path.c_str(), kRead, &root), S_OK);
  std::vector<tagSTATSTG> list;
  ASSERT_EQ(root->EnumElements(&list), S_OK);
  EXPECT_EQ(list.size(), 5000u);
  root->Release();
}

TEST(StorageTest, BigStreamUsesDifatBeyondTheHeader) {
  // 109 FAT sectors cover about 6.8 MB of 512-byte sectors; 12 MB needs DIFAT sectors.
  TempTree dir;
  std::string path = dir.Path("big.cfb");
  std::string data = Pattern(12 << 20, 3);
  IStorage* root = nullptr;
  ASSERT_EQ(StgCreateDocfile(path.c_str(), kRw, &root), S_OK);
  ASSERT_EQ(PutStream(root, "small", "tiny"), S_OK);
  ASSERT_EQ(PutStream(root, "big", data), S_OK);
  root->Release();
  std::string bytes = Slurp(path);
  Header h;
  ASSERT_TRUE(ParseHeader(reinterpret_cast<unsigned char const*>(bytes.data()), &h));
  EXPECT_GT(h.fat_sectors, 109u);
  EXPECT_GE(h.difat_sectors, 1u);
  ASSERT_EQ(StgOpenStorage(path.c_str(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE, &root), S_OK);
  EXPECT_EQ(GetStream(root, "big"), data);
  // Replace it with something small: the file shrinks back.
  ASSERT_EQ(root->DestroyElement("big"), S_OK);
  root->Release();
  EXPECT_LT(Slurp(path).size(), 64u * 1024);
  ASSERT_EQ(StgOpenStorage(path.c_str(), kRead, &root), S_OK);
  EXPECT_EQ(GetStream(root, "small"), "tiny");
  root->Release();
}

TEST(StorageTest, InterruptedCommitsLeaveOldOrNewContent) {
  TempTree dir;
  std::string path = dir.Path("cut.cfb");
  IStorage* root = nullptr;
  ASSERT_EQ(StgCreateDocfile(path.c_str(), kRw, &root), S_OK);
  ASSERT_EQ(PutStream(root, "keep", Pattern(5000, 1)), S_OK);
  ASSERT_EQ(PutStream(root, "small", "old"), S_OK);
  root->Release();
  std::string original = Slurp(path);
  for (long cut = 0;; ++cut) {
    Spit(path, original);
    ASSERT_EQ(StgOpenStorage(path.c_str(), kRw, &root), S_OK);
    SetWriteLimit(cut);
    PutStream(root, "small", "new");
    PutStream(root, "added", Pattern(9000, 2));
    root->DestroyElement("keep");
    HRESULT hr = root->Commit(0);
    root->Release();
    SetWriteLimit(-1);
    ASSERT_EQ(StgOpenStorage(path.c_str(), kRead, &root), S_OK) << "cut at " << cut;
    std::string small = GetStream(root, "small");
    if (small == "new") {
      EXPECT_EQ(GetStream(root, "added"), Pattern(9000, 2));
      EXPECT_EQ(GetStream(root, "keep"), "<error>");
    } else {
      EXPECT_EQ(small, "old") << "cut at " << cut;
      EXPECT_EQ(GetStream(root, "keep"), Pattern(5000, 1));
      EXPECT_EQ(GetStream(root, "added"), "<error>");
    }
    root->Release();
    if (hr == S_OK) break;
    ASSERT_LT(cut, 1000);
  }
}

TEST(StorageTest, DamagedFilesAreRefusedOrReadAsFarAsSound) {
  TempTree dir;
  std::string path = dir.Path("sound.cfb");
  IStorage* root = nullptr;
  ASSERT_EQ(StgCreateDocfile(path.c_str(), kRw, &root), S_OK);
  IStorage* sub = nullptr;
  ASSERT_EQ(root->CreateStorage("sub", kRw, &sub), S_OK);
  ASSERT_EQ(PutStream(sub, "small", "hello"), S_OK);
  ASSERT_EQ(PutStream(root, "large", Pattern(20000, 5)), S_OK);
  sub->Release();
  root->Release();
  std::string sound = Slurp(path);
  auto const* b = reinterpret_cast<unsigned char const*>(sound.data());
  Header h;
  ASSERT_TRUE(ParseHeader(b, &h));
  std::size_t fat_at = (h.difat[0] + 1) * 512;
  std::size_t dir_at = (h.first_dir + 1) * 512;
  auto patch32 = [&](std::size_t at, std::uint32_t v) {
    std::string s = sound;
    Put32(reinterpret_cast<unsigned char*>(s.data()) + at, v);
    return s;
  };
  std::uint32_t large_start = 0;
  for (int i = 0; i < 4; ++i) {
    DirEntry e = ParseDirEntry(b + dir_at + i * 128, true);
    if (e.name == u"large") large_start = e.start;
  }
  struct Case {
    char const* what;
    std::string bytes;
  } cases[] = {
      {"truncated header", sound.substr(0, 100)},
      {"bad signature", patch32(0, 0)},
      {"FAT sector out of range", patch32(76, 99999)},
      {"huge FAT count", patch32(44, 0x7FFFFFFF)},
      {"directory chain cycle", patch32(fat_at + 4 * h.first_dir, h.first_dir)},
      {"data chain cycle", patch32(fat_at + 4 * large_start, large_start)},
      {"data chain out of range", patch32(fat_at + 4 * large_start, 0x00ABCDEF)},
      {"root child points to itself", patch32(dir_at + 76, 0)},
      {"child out of range", patch32(dir_at + 76, 5000)},
      {"huge stream size", patch32(dir_at + 128 + 120, 0xFFFFFFF0)},
      {"file cut short", sound.substr(0, sound.size() / 2)},
  };
  for (auto const& c : cases) {
    std::string bad = dir.Path("bad.cfb");
    Spit(bad, c.bytes);
    IStorage* r = nullptr;
    if (FAILED(StgOpenStorage(bad.c_str(), kRead, &r))) continue;
    // Opened: walk everything; failures are fine, crashes and hangs are not.
    std::vector<tagSTATSTG> list;
    r->EnumElements(&list);
    GetStream(r, "large");
    IStorage* s = nullptr;
    if (SUCCEEDED(r->OpenStorage("sub", kRead, &s))) {
      GetStream(s, "small");
      s->Release();
    }
    r->Release();
    SUCCEED() << c.what;
  }
  // Random damage, deterministic: flip bytes all over the file.
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    std::string bytes = sound;
    for (int k = 0; k < 8; ++k) bytes[rng() % bytes.size()] = static_cast<char>(rng());
    std::string bad = dir.Path("flip.cfb");
    Spit(bad, bytes);
    IStorage* r = nullptr;
    if (FAILED(StgOpenStorage(bad.c_str(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE, &r))) continue;
    GetStream(r, "large");
    PutStream(r, "large", "rewritten");
    r->Release();
  }
}

}  // namespace storage_test
}  // namespace qel::storage::testing

namespace qel::storage::testing {
namespace storage_test {

using qel::testing::TempTree;

TEST(StorageTest, ReadsVersion4Files) {
  TempTree dir;
  std::string path = dir.Path("v4.cfb");
  std::string big = Pattern(50000, 9);
  {
    std::shared_ptr<CompoundFile> f;
    ASSERT_EQ(CompoundFile::Create(path, kRw, &f, 4), S_OK);
    std::uint32_t sub = 0, small = 0, large = 0;
    ASSERT_EQ(f->Add(0, u"sub", kStorage, &sub), S_OK);
    ASSERT_EQ(f->Add(sub, u"small", kStream, &small), S_OK);
    ASSERT_EQ(f->Add(0, u"large", kStream, &large), S_OK);
    ASSERT_EQ(f->Write(small, 0, "four kilobyte sectors", 21), S_OK);
    ASSERT_EQ(f->Write(large, 0, big.data(), big.size()), S_OK);
    ASSERT_EQ(f->Commit(), S_OK);
  }
  std::string bytes = Slurp(path);
  ASSERT_EQ(bytes.size() % 4096, 0u);
  EXPECT_EQ(bytes[26], 4);
  IStorage* root = nullptr;
  ASSERT_EQ(StgOpenStorage(path.c_str(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE, &root), S_OK);
  EXPECT_EQ(GetStream(root, "large"), big);
  IStorage* sub = nullptr;
  ASSERT_EQ(root->OpenStorage("sub", kRw, &sub), S_OK);
  EXPECT_EQ(GetStream(sub, "small"), "four kilobyte sectors");
  // Changing a version 4 file keeps it version 4.
  ASSERT_EQ(PutStream(sub, "more", big.substr(0, 7000)), S_OK);
  sub->Release();
  root->Release();
  EXPECT_EQ(Slurp(path)[26], 4);
  std::string py = "/usr/bin/python3 -c \"import olefile,sys; o=olefile.OleFileIO('" + path +
                   "'); sys.exit(0 if o.openstream('sub/more').read()==o.openstream('large')"
                   ".read()[:7000] and o.openstream('sub/small').read()==b'four kilobyte "
                   "sectors' else 1)\"";
  EXPECT_EQ(std::system(py.c_str()), 0) << "olefile reads the version 4 file alike";
}

}  // namespace storage_test
}  // namespace qel::storage::testing
