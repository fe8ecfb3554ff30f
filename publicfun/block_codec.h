// Bounded decoding of the library's compressed block format.
//
// CPublicFun::Expand trusts its input the way its callers always have; blocks that come
// from outside the process (packages in compound files, files named on a command line)
// go through ExpandChecked instead, which knows the size the block must expand to.
// A reference counts from the window start, which is never negative, so a reference
// "before the start of the output" is one whose source is not produced yet (at or past
// the current output position); a source one byte behind may overlap its own output.
#ifndef QELSHARE_PUBLICFUN_BLOCK_CODEC_H_
#define QELSHARE_PUBLICFUN_BLOCK_CODEC_H_

#include <span>

namespace qel::block {

// Decodes a compressed block into exactly out.size() bytes; false when the block is
// damaged (flag byte with nothing after it, reference cut short, reference before the
// start of the output or past out.size(), block too short or with bytes left over).
// Never reads past block nor writes past out.
bool ExpandChecked(std::span<unsigned char const> block, std::span<unsigned char> out);

}  // namespace qel::block

#endif  // QELSHARE_PUBLICFUN_BLOCK_CODEC_H_
