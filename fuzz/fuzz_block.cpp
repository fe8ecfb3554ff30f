// The block decoders on arbitrary blocks, and the coder on arbitrary data: its blocks are
// the rules' own, byte for byte, and expand back through both decoders.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "publicfun/block_codec.h"
#include "qelshare/CPublicFun.h"
#include "tests/support/reference_coder.h"

namespace {

// Compress declines exactly where the rules do, and otherwise writes their block, which
// both decoders expand back.
void CheckCoder(std::vector<unsigned char> src) {
  std::vector<unsigned char> const expected = qel::testing::ReferenceCompress(src);
  std::vector<unsigned char> packed(src.size());
  unsigned long packedLen = 0;
  if (!CPublicFun::Compress(src.data(), src.size(), packed.data(), &packedLen)) {
    if (!expected.empty()) std::abort();
    return;
  }
  packed.resize(packedLen);
  if (packed != expected) std::abort();
  std::vector<unsigned char> back(src.size());
  if (!qel::block::ExpandChecked(packed, back) || back != src) std::abort();
  std::vector<unsigned char> again(src.size());
  CPublicFun::Expand(packed.data(), packed.size(), again.data());
  if (again != src) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  if (size < 2) return 0;
  std::size_t const expected = data[0] | (data[1] & 0x3F) << 8;
  // Exactly sized heap copies, so that any read past the block is caught.
  std::vector<unsigned char> block(data + 2, data + size);
  std::vector<unsigned char> out(expected);
  bool ok = qel::block::ExpandChecked(block, out);

  // Expand given room for the most a block can produce stays inside it.
  if (block.size() >= 3) {
    std::vector<unsigned char> room(3 + 9 * block.size());
    CPublicFun::Expand(block.data(), block.size(), room.data());
    if (ok && std::memcmp(room.data(), out.data(), out.size()) != 0) std::abort();
  }

  // The data itself, and the data repeated past the window with one byte changed in each
  // copy, so that chains and runs meet the window's edge.
  std::vector<unsigned char> src(data, data + size);
  CheckCoder(std::move(src));
  if (size >= 8 && size < 4096) {
    std::vector<unsigned char> stretched;
    for (std::size_t copy = 0; stretched.size() < 9000; ++copy) {
      stretched.insert(stretched.end(), data, data + size);
      stretched[stretched.size() - 1 - copy % size] ^= static_cast<unsigned char>(copy);
    }
    CheckCoder(stretched);
  }
  return 0;
}
