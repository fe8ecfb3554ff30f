// Fuzz target: CQel2000 on damaged libraries. The input is the field table (BASE.sor);
// its first 400 bytes are also the descriptor (BASE.qel). Whatever the lengths and
// offsets claim, Open and GetField return 0 or 1, keep the five lists parallel and never
// read outside a block (AddressSanitizer watches the buffers).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "qelshare/CQel2000.h"
#include "scratch_folder.h"

namespace {

std::string const& Base() {
  static std::string const base = (qel::fuzz::ScratchFolder("fuzz_sor") / "lib").string();
  return base;
}

void Write(std::string const& path, uint8_t const* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
  Write(Base() + ".sor", data, size);
  Write(Base() + ".qel", data, size < 400 ? size : 400);
  CQel2000 lib;
  int opened = lib.Open((Base() + ".QEL").c_str());
  if (opened != 0 && opened != 1) std::abort();
  if (lib.m_strPath != Base()) std::abort();
  CStringArr l1, l2, l4, l5;
  CByteArray types;
  int result = lib.GetField(&l1, &l2, &types, &l4, &l5);
  if (result != 0 && result != 1) std::abort();
  int n = l1.GetSize();
  if (l2.GetSize() != n || l4.GetSize() != n || l5.GetSize() != n ||
      types.size() != static_cast<size_t>(n)) {
    std::abort();
  }
  // A field needs 112 bytes of the file: the lists cannot outgrow the input.
  if (static_cast<size_t>(n) * 112 > size) std::abort();
  for (int i = 0; i < n; ++i) {
    if (l1.Get(i) != nullptr && std::string(l1.Get(i)).size() > 16) std::abort();
    if (l4.Get(i) != nullptr && std::string(l4.Get(i)).size() > 64) std::abort();
  }
  return 0;
}
