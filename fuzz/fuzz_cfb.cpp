// Opens a damaged compound file and walks it: every storage listed, every stream read,
// then a change written and committed. Nothing may crash, hang or grow memory beyond
// the file's size.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "qelshare/storage.h"
#include "scratch_folder.h"

namespace {

std::string const& Scratch() {
  static std::string const path = (qel::fuzz::ScratchFolder("fuzz_cfb") / "file.cfb").string();
  return path;
}

void Walk(IStorage* storage, DWORD mode, int depth) {
  std::vector<tagSTATSTG> items;
  if (FAILED(storage->EnumElements(&items)) || depth > 8) return;
  for (auto const& st : items) {
    if (st.type == STGTY_STORAGE) {
      IStorage* child = nullptr;
      if (SUCCEEDED(storage->OpenStorage(st.name.c_str(), mode, &child))) {
        Walk(child, mode, depth + 1);
        child->Release();
      }
    } else {
      IStream* s = nullptr;
      if (SUCCEEDED(storage->OpenStream(st.name.c_str(), mode, &s))) {
        char buf[4096];
        ULONG got = 0;
        while (SUCCEEDED(s->Read(buf, sizeof buf, &got)) && got > 0) {
        }
        s->Seek(0, STREAM_SEEK_SET, nullptr);
        s->Write("x", 1, nullptr);
        s->Release();
      }
    }
  }
  if (!items.empty()) storage->DestroyElement(items.front().name.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  std::FILE* f = std::fopen(Scratch().c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  IStorage* root = nullptr;
  if (SUCCEEDED(StgOpenStorage(Scratch().c_str(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE, &root))) {
    Walk(root, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0);
    IStream* s = nullptr;
    if (SUCCEEDED(root->CreateStream("new", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, &s))) {
      s->Write(data, static_cast<ULONG>(size < 6000 ? size : 6000), nullptr);
      s->Release();
    }
    HRESULT committed = root->Commit(0);
    root->Release();
    // What was committed must open again, and walk.
    HRESULT reopened = StgOpenStorage(Scratch().c_str(), STGM_READ | STGM_SHARE_EXCLUSIVE, &root);
    if (committed == S_OK && FAILED(reopened)) std::abort();
    if (SUCCEEDED(reopened)) {
      Walk(root, STGM_READ | STGM_SHARE_EXCLUSIVE, 0);
      root->Release();
    }
  }
  std::remove(Scratch().c_str());
  return 0;
}
