// The block coder as its rules read, without any of the fast paths, for checking
// CPublicFun::Compress byte for byte in tests and fuzz targets.
#ifndef QEL_TESTS_SUPPORT_REFERENCE_CODER_H_
#define QEL_TESTS_SUPPORT_REFERENCE_CODER_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qel::testing {

// The block Compress must produce for src, or an empty vector where it must decline
// (under 30 bytes, or no shorter than src less two bytes). Positions are listed per pair
// key in increasing order, and every listed position in the window is a candidate: the
// earliest of the longest matches (3..18 bytes) wins, parsed greedily.
inline std::vector<unsigned char> ReferenceCompress(std::vector<unsigned char> const& src) {
  std::size_t n = src.size();
  if (n < 30) return {};
  auto key = [&](std::size_t q) { return 5 * src[q] + 4 * src[q + 1]; };
  std::vector<std::vector<std::uint32_t>> buckets(2304);
  for (std::size_t q = 0; q + 1 < n; ++q) buckets[key(q)].push_back(static_cast<std::uint32_t>(q));
  std::vector<std::size_t> front(buckets.size(), 0);
  std::vector<unsigned char> dst(src.begin(), src.begin() + 3);
  std::size_t flagAt = 3, p = 3, w = 0, items = 0;
  dst.push_back(0);
  while (p < n) {
    if (dst.size() >= n - 2) return {};
    std::size_t m = std::min<std::size_t>(18, n - p), best = 0, from = 0;
    if (m >= 3) {
      auto const& bucket = buckets[key(p)];
      std::size_t& k = front[key(p)];
      while (k < bucket.size() && bucket[k] < w) ++k;
      for (std::size_t i = k; i < bucket.size() && bucket[i] + 3 <= p; ++i) {
        std::size_t q = bucket[i], j = 0;
        while (j < m && src[q + j] == src[p + j]) ++j;
        if (j == m) {
          best = j, from = q;
          break;
        }
        if (j > best) best = j, from = q;
      }
    }
    if (best >= 3) {
      dst[flagAt] |= 0x80 >> items;
      dst.push_back(static_cast<unsigned char>(((best - 3) << 4) | ((from - w) >> 8)));
      dst.push_back(static_cast<unsigned char>((from - w) & 0xFF));
      p += best;
    } else {
      dst.push_back(src[p++]);
    }
    if (++items == 8) {
      flagAt = dst.size();
      dst.push_back(0);
      items = 0;
    }
    if (p - w > 4096) w = p - 4096;
  }
  if (items == 0) dst.pop_back();
  return dst;
}

}  // namespace qel::testing

#endif  // QEL_TESTS_SUPPORT_REFERENCE_CODER_H_
