// The block decoders on arbitrary blocks, and the coder's round trip on arbitrary data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "publicfun/block_codec.h"
#include "qelshare/CPublicFun.h"

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

  // Whatever compresses expands back, through both decoders.
  std::vector<unsigned char> src(data, data + size);
  std::vector<unsigned char> packed(size);
  unsigned long packedLen = 0;
  if (CPublicFun::Compress(src.data(), src.size(), packed.data(), &packedLen)) {
    if (packedLen >= size) std::abort();
    packed.resize(packedLen);
    std::vector<unsigned char> back(size);
    if (!qel::block::ExpandChecked(packed, back) || back != src) std::abort();
    std::vector<unsigned char> again(size);
    CPublicFun::Expand(packed.data(), packed.size(), again.data());
    if (again != src) std::abort();
  }
  return 0;
}
