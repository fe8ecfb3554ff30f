// Helpers of the compound-file tests: whole-file reads and writes, and a
// reader of the raw directory that checks the red-black tree of every storage.
#ifndef QEL_TESTS_PLATFORM_STORAGE_CFB_FIXTURE_H_
#define QEL_TESTS_PLATFORM_STORAGE_CFB_FIXTURE_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/storage/cfb_format.h"
#include "qelshare/storage.h"

namespace qel::storage::testing {

inline std::string Slurp(std::string const& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void Spit(std::string const& path, std::string const& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Writes a stream (create-or-replace) of storage.
inline HRESULT PutStream(IStorage* storage, char const* name, std::string const& data) {
  IStream* s = nullptr;
  HRESULT hr = storage->CreateStream(name, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, &s);
  if (FAILED(hr)) return hr;
  ULONG put = 0;
  hr = s->Write(data.data(), static_cast<ULONG>(data.size()), &put);
  s->Release();
  return hr;
}

// The whole content of a stream, or "<error>" when it cannot be opened or read.
inline std::string GetStream(IStorage* storage, char const* name) {
  IStream* s = nullptr;
  if (FAILED(storage->OpenStream(name, STGM_READ | STGM_SHARE_EXCLUSIVE, &s))) return "<error>";
  std::string out;
  char buf[70000];
  for (;;) {
    ULONG got = 0;
    if (FAILED(s->Read(buf, sizeof buf, &got))) {
      s->Release();
      return "<error>";
    }
    if (got == 0) break;
    out.append(buf, got);
  }
  s->Release();
  return out;
}

// Reads the directory of a version 3 file straight from its bytes and checks, for every
// storage, that the children form a binary search tree in the format's name order with
// the red-black properties. Returns the number of entries in use.
inline std::size_t CheckTrees(std::string const& bytes) {
  auto const* b = reinterpret_cast<unsigned char const*>(bytes.data());
  Header h;
  EXPECT_TRUE(ParseHeader(b, &h));
  std::size_t ssz = std::size_t{1} << h.sector_shift;
  std::vector<std::uint32_t> fat;
  std::vector<std::uint32_t> fat_sectors(
      h.difat.begin(), h.difat.begin() + std::min<std::size_t>(h.fat_sectors, 109));
  for (std::uint32_t d = h.first_difat; fat_sectors.size() < h.fat_sectors;) {
    for (std::size_t i = 0; i + 1 < ssz / 4 && fat_sectors.size() < h.fat_sectors; ++i) {
      fat_sectors.push_back(Get32(b + (d + 1) * ssz + 4 * i));
    }
    d = Get32(b + (d + 1) * ssz + ssz - 4);
  }
  for (std::uint32_t s : fat_sectors) {
    for (std::size_t i = 0; i < ssz / 4; ++i) fat.push_back(Get32(b + (s + 1) * ssz + 4 * i));
  }
  std::vector<DirEntry> dir;
  for (std::uint32_t s = h.first_dir; s != kEndOfChain; s = fat.at(s)) {
    for (std::size_t i = 0; i < ssz / kDirEntrySize; ++i) {
      dir.push_back(ParseDirEntry(b + (s + 1) * ssz + i * kDirEntrySize, true));
    }
  }
  std::size_t used = 0;
  for (auto const& e : dir) used += e.type != kUnused;
  // Returns the black height of the subtree, -1 when a rule is broken.
  auto check = [&](auto&& self, std::uint32_t id, std::u16string const* lo,
                   std::u16string const* hi, bool parent_red) -> int {
    if (id == kNoStream) return 1;
    DirEntry const& e = dir.at(id);
    if (lo != nullptr && CompareNames(*lo, e.name) >= 0) return -1;
    if (hi != nullptr && CompareNames(e.name, *hi) >= 0) return -1;
    bool red = e.color == kRed;
    if (red && parent_red) return -1;
    int l = self(self, e.left, lo, &e.name, red);
    int r = self(self, e.right, &e.name, hi, red);
    if (l < 0 || r < 0 || l != r) return -1;
    return l + (red ? 0 : 1);
  };
  for (auto const& e : dir) {
    if (e.type == kStorage || e.type == kRoot) {
      EXPECT_GT(check(check, e.child, nullptr, nullptr, true), 0) << "tree of a storage";
      if (e.child != kNoStream) {
        EXPECT_EQ(dir.at(e.child).color, kBlack) << "root of a tree";
      }
    }
  }
  return used;
}

}  // namespace qel::storage::testing

#endif  // QEL_TESTS_PLATFORM_STORAGE_CFB_FIXTURE_H_
