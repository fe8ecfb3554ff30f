// UnzipFile of a damaged package stream: must stop safely and never write outside its
// folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "qelshare/CPublicFun.h"
#include "qelshare/storage.h"
#include "scratch_folder.h"

namespace {

struct Fixture {
  std::filesystem::path base;
  std::filesystem::path folder;
  IStorage* root = nullptr;
  Fixture() {
    base = qel::fuzz::ScratchFolder("fuzz_unzip");
    std::filesystem::create_directories(base / "out");
    folder = base / "out";
    std::string file = (base / "p.cfb").string();
    if (FAILED(StgCreateDocfile(file.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                &root))) {
      std::abort();
    }
  }
};

Fixture& Get() {
  static Fixture f;
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  Fixture& f = Get();
  IStream* s = nullptr;
  if (FAILED(f.root->CreateStream("pkg", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, &s))) {
    std::abort();
  }
  s->Write(data, static_cast<ULONG>(size), nullptr);
  s->Release();
  CPublicFun::UnzipFile(f.folder.string().c_str(), f.root, "pkg");
  // Only plain files directly inside the folder may appear.
  for (auto const& e : std::filesystem::directory_iterator(f.base)) {
    std::string name = e.path().filename().string();
    if (name != "out" && name != "p.cfb") std::abort();
  }
  for (auto const& e : std::filesystem::directory_iterator(f.folder)) {
    if (!e.is_regular_file()) std::abort();
  }
  std::filesystem::remove_all(f.folder);
  std::filesystem::create_directory(f.folder);
  return 0;
}
