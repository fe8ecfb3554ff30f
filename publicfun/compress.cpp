// Block compression (an LZSS coder with a 4 KiB window), its decoders, and SimpleCode.
//
// Block format: the first three input bytes as they are, then groups of a flag byte and
// up to eight items, the flag's bits from 0x80 down telling each item's kind: a literal
// byte (bit clear) or a two-byte reference (bit set) B1 B2 with length (B1 >> 4) + 3 and
// source W + (((B1 & 0x0F) << 8) | B2), where the window start W is max(0, P - 4096) for
// the output position P after the previous item. References may overlap their output.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "publicfun/block_codec.h"
#include "qelshare/CPublicFun.h"

namespace {

constexpr std::size_t kWindow = 4096;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 18;
constexpr unsigned long kMinInput = 30;

// The coder's answer for a position is fixed by the format's rules: the earliest
// position Q in [W, P - 3] among those whose match with P (capped at 18 bytes and at the
// end of the input) is longest, when that length is at least 3. Any candidate must
// share P's first three bytes, so candidates are bucketed by a hash of three bytes and
// each bucket lists its positions in increasing order; buckets are sized to the input.
class MatchIndex {
 public:
  MatchIndex(unsigned char const* src, std::size_t len) : src_(src), len_(len) {
    int bits = std::clamp(static_cast<int>(std::bit_width(len)) - 2, 8, 16);
    shift_ = 32 - bits;
    std::size_t buckets = std::size_t{1} << bits;
    head_ = std::make_unique<std::uint32_t[]>(buckets + 1);
    end_ = std::make_unique<std::uint32_t[]>(buckets);
    std::size_t count = len - 2;  // positions that have three bytes
    positions_ = std::make_unique<std::uint32_t[]>(count);
    std::fill_n(head_.get(), buckets + 1, 0u);
    for (std::size_t p = 0; p < count; ++p) ++head_[Key(p) + 1];
    for (std::size_t b = 0; b < buckets; ++b) head_[b + 1] += head_[b];
    std::copy_n(head_.get(), buckets, end_.get());
    for (std::size_t p = 0; p < count; ++p)
      positions_[end_[Key(p)]++] = static_cast<std::uint32_t>(p);
  }

  // Best match for p with at most limit (3..18) bytes, positions below window dropped.
  // Returns the length (0 when below 3) and sets *from.
  std::size_t Find(std::size_t p, std::size_t window, std::size_t limit, std::size_t* from) {
    std::uint32_t key = Key(p);
    std::uint32_t i = head_[key];
    std::uint32_t const end = end_[key];
    while (i < end && positions_[i] < window) ++i;
    head_[key] = i;
    std::size_t best = 0;
    bool const wide = p + 24 <= len_;
    unsigned char const* cur = src_ + p;
    for (; i < end; ++i) {
      std::size_t q = positions_[i];
      if (q + kMinMatch > p) break;
      unsigned char const* cand = src_ + q;
      // Only a strictly longer match counts, and it must agree at index best.
      if (cand[best] != cur[best]) continue;
      std::size_t n = wide ? WideLength(cand, cur, limit) : ByteLength(cand, cur, limit);
      if (n > best) {
        best = n;
        *from = q;
        if (n == limit) break;
      }
    }
    return best >= kMinMatch ? best : 0;
  }

 private:
  std::uint32_t Key(std::size_t p) const {
    std::uint32_t v = src_[p] | (src_[p + 1] << 8) | (src_[p + 2] << 16);
    return (v * 2654435761u) >> shift_;
  }

  static std::size_t ByteLength(unsigned char const* a, unsigned char const* b, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && a[n] == b[n]) ++n;
    return n;
  }

  // Needs 24 readable bytes after both a and b.
  static std::size_t WideLength(unsigned char const* a, unsigned char const* b, std::size_t limit) {
    if constexpr (std::endian::native == std::endian::little) {
      for (std::size_t n = 0; n < kMaxMatch; n += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y) return std::min(limit, n + std::countr_zero(x ^ y) / 8);
      }
      return limit;
    } else {
      return ByteLength(a, b, limit);
    }
  }

  unsigned char const* src_;
  std::size_t len_;
  int shift_ = 0;
  std::unique_ptr<std::uint32_t[]> head_;
  std::unique_ptr<std::uint32_t[]> end_;
  std::unique_ptr<std::uint32_t[]> positions_;
};

enum class Decoded { kComplete, kDamaged };

// Decodes block into out. With a bounded output (checked), the output must come out
// exactly full and the block exactly used up; without it (Expand's contract, the caller
// guarantees the room), decoding ends with the block. Either way no byte is read past
// the block and a reference to bytes not produced yet ends decoding as damaged.
template <bool kChecked>
Decoded Decode(unsigned char const* in, std::size_t inLen, unsigned char* out, std::size_t outLen) {
  std::size_t const head = kChecked ? 3 : std::min<std::size_t>(3, inLen);
  if (kChecked && (inLen < 3 || outLen < 3)) return Decoded::kDamaged;
  std::memcpy(out, in, head);
  std::size_t i = 3;
  std::size_t o = 3;
  std::size_t w = 0;
  while (i < inLen) {
    unsigned flags = in[i++];
    if (i == inLen) return Decoded::kDamaged;  // a flag byte without items
    for (unsigned bit = 0x80; bit != 0 && i < inLen; bit >>= 1) {
      if (kChecked && o == outLen) return Decoded::kDamaged;  // bytes left over
      if (flags & bit) {
        if (i + 1 >= inLen) return Decoded::kDamaged;  // reference cut short
        std::size_t len = (in[i] >> 4) + kMinMatch;
        std::size_t from = w + (((in[i] & 0x0Fu) << 8) | in[i + 1]);
        i += 2;
        if (from >= o) return Decoded::kDamaged;
        if (kChecked && len > outLen - o) return Decoded::kDamaged;
        if (o - from >= len) {
          std::memcpy(out + o, out + from, len);
        } else {
          for (std::size_t k = 0; k < len; ++k) out[o + k] = out[from + k];
        }
        o += len;
      } else {
        out[o++] = in[i++];
      }
      if (o - w > kWindow) w = o - kWindow;
    }
  }
  if (kChecked && o != outLen) return Decoded::kDamaged;
  return Decoded::kComplete;
}

}  // namespace

namespace qel::block {

bool ExpandChecked(std::span<unsigned char const> block, std::span<unsigned char> out) {
  return Decode<true>(block.data(), block.size(), out.data(), out.size()) == Decoded::kComplete;
}

}  // namespace qel::block

int CPublicFun::Compress(unsigned char* src, unsigned long srcLen, unsigned char* dst,
                         unsigned long* dstLen) {
  if (src == nullptr || dst == nullptr || dstLen == nullptr) return 0;
  if (srcLen < kMinInput || srcLen > 0xFFFFFFF0ul) return 0;
  try {
    std::size_t const n = srcLen;
    MatchIndex index(src, n);
    std::memcpy(dst, src, 3);
    std::size_t flagAt = 3;
    dst[flagAt] = 0;
    std::size_t o = 4;
    std::size_t p = 3;
    std::size_t w = 0;
    unsigned bit = 0x80;
    while (p < n) {
      // Stop while the next item and flag byte still fit in srcLen bytes.
      if (o >= n - 2) return 0;
      std::size_t limit = std::min(kMaxMatch, n - p);
      std::size_t from = 0;
      std::size_t len = limit >= kMinMatch ? index.Find(p, w, limit, &from) : 0;
      if (len != 0) {
        dst[flagAt] |= static_cast<unsigned char>(bit);
        std::size_t offset = from - w;
        dst[o++] = static_cast<unsigned char>(((len - kMinMatch) << 4) | (offset >> 8));
        dst[o++] = static_cast<unsigned char>(offset & 0xFF);
        p += len;
      } else {
        dst[o++] = src[p++];
      }
      bit >>= 1;
      if (bit == 0) {
        flagAt = o;
        dst[o++] = 0;
        bit = 0x80;
      }
      if (p - w > kWindow) w = p - kWindow;
    }
    *dstLen = bit == 0x80 ? flagAt : o;
    return 1;
  } catch (...) {
    return 0;
  }
}

int CPublicFun::Expand(unsigned char* src, unsigned long srcLen, unsigned char* dst) {
  if (src == nullptr || dst == nullptr) return 1;
  Decode<false>(src, srcLen, dst, 0);
  return 1;
}

int CPublicFun::SimpleCode(unsigned char* buf, unsigned long len) {
  if (buf == nullptr) return 1;
  for (unsigned long i = 0; i < len; ++i) {
    unsigned b = buf[i];
    buf[i] = static_cast<unsigned char>(((b << 1) & 0xAA) | ((b >> 1) & 0x55));
  }
  return 1;
}
