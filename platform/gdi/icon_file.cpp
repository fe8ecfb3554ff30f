#include "platform/gdi/icon_file.h"

#include <cstdint>
#include <cstdlib>
#include <limits>

#include "platform/coding/coding.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/png.h"

namespace qel::gdi {
namespace {

struct Entry {
  std::size_t offset;
  std::size_t size;
};

bool Entries(std::string_view file, std::vector<Entry>& entries) {
  if (file.size() < 6 || coding::Get16(file.data() + 0) != 0 || coding::Get16(file.data() + 2) != 1)
    return false;
  std::size_t count = coding::Get16(file.data() + 4);
  if (count == 0 || file.size() < 6 + 16 * count) return false;
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t at = 6 + 16 * i;
    std::size_t size = coding::Get32(file.data() + at + 8),
                offset = coding::Get32(file.data() + at + 12);
    if (offset > file.size() || size > file.size() - offset) return false;
    entries.push_back({offset, size});
  }
  return true;
}

// The header of one image; false when it is not one we read. A PNG image (as newer icon
// files hold their large sizes) is only sized here; Qt decodes it.
bool Header(std::string_view image, IconImageInfo& info, std::size_t& paletteAt,
            std::size_t& bitsAt) {
  if (IsPng(image)) {
    int w, h;
    if (!PngSize(image, w, h) || w > kMaxIconSide || h > kMaxIconSide) return false;
    info = {w, h, 32, 0};
    paletteAt = bitsAt = 0;
    return true;
  }
  if (image.size() < 40 || coding::Get32(image.data() + 0) < 40 ||
      coding::Get32(image.data() + 0) > image.size())
    return false;
  auto width = static_cast<std::int32_t>(coding::Get32(image.data() + 4));
  auto height2 = static_cast<std::int32_t>(coding::Get32(image.data() + 8));
  int bits = coding::Get16(image.data() + 14);
  if (coding::Get16(image.data() + 12) != 1 || coding::Get32(image.data() + 16) != 0)
    return false;  // one plane, uncompressed
  if (width <= 0 || width > kMaxIconSide || height2 <= 0 || height2 % 2 ||
      height2 / 2 > kMaxIconSide) {
    return false;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return false;
  int colors = 0;
  if (bits <= 8) {
    std::uint32_t used = coding::Get32(image.data() + 32);
    colors = used == 0 ? 1 << bits : static_cast<int>(std::min<std::uint32_t>(used, 1u << bits));
  }
  info = {width, height2 / 2, bits, colors};
  paletteAt = coding::Get32(image.data() + 0);
  bitsAt = paletteAt + static_cast<std::size_t>(colors) * 4;
  std::size_t xorStride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
  std::size_t andStride = ((static_cast<std::size_t>(width) + 31) / 32) * 4;
  std::size_t need = bitsAt + (xorStride + andStride) * info.height;
  return need <= image.size();
}

}  // namespace

bool ReadIconDirectory(std::string_view file, std::vector<IconImageInfo>& images) {
  std::vector<Entry> entries;
  if (!Entries(file, entries)) return false;
  for (Entry const& e : entries) {
    IconImageInfo info;
    std::size_t paletteAt, bitsAt;
    if (!Header(file.substr(e.offset, e.size), info, paletteAt, bitsAt)) return false;
    images.push_back(info);
  }
  return true;
}

HICON DecodeIconImage(std::string_view file, int index) {
  std::vector<Entry> entries;
  if (!Entries(file, entries) || index < 0 || index >= static_cast<int>(entries.size())) {
    return nullptr;
  }
  std::string_view image = file.substr(entries[index].offset, entries[index].size);
  IconImageInfo info;
  std::size_t paletteAt, bitsAt;
  if (!Header(image, info, paletteAt, bitsAt)) return nullptr;
  if (IsPng(image)) {
    Surface colour, mask;
    if (!DecodePng(image, colour, &mask)) return nullptr;
    return CreateIconFromSurfaces(std::move(colour), std::move(mask));
  }
  int w = info.width, h = info.height, bits = info.bitCount;
  std::size_t xorStride = ((static_cast<std::size_t>(w) * bits + 31) / 32) * 4;
  std::size_t andStride = ((static_cast<std::size_t>(w) + 31) / 32) * 4;
  std::size_t maskAt = bitsAt + xorStride * h;
  // 32-bit images with an alpha channel take their transparency from it: their AND mask
  // is often left empty.
  bool alpha = false;
  for (int y = 0; bits == 32 && !alpha && y < h; ++y) {
    for (int x = 0; x < w && !alpha; ++x) {
      alpha = image[bitsAt + xorStride * y + static_cast<std::size_t>(x) * 4 + 3] != 0;
    }
  }
  Surface colour(w, h, 32), mask(w, h, 1);
  for (int y = 0; y < h; ++y) {
    std::size_t row = bitsAt + xorStride * (h - 1 - y);  // rows are stored bottom-up
    std::size_t maskRow = maskAt + andStride * (h - 1 - y);
    for (int x = 0; x < w; ++x) {
      std::uint32_t px = 0;
      if (bits <= 8) {
        std::size_t bit = static_cast<std::size_t>(x) * bits;
        unsigned byte = static_cast<unsigned char>(image[row + bit / 8]);
        unsigned index8 = (byte >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
        if (index8 < static_cast<unsigned>(info.colors))
          px = coding::Get32(image.data() + paletteAt + index8 * 4);
      } else {
        std::size_t at = row + static_cast<std::size_t>(x) * (bits / 8);
        px = static_cast<unsigned char>(image[at]) |
             static_cast<unsigned char>(image[at + 1]) << 8 |
             static_cast<unsigned char>(image[at + 2]) << 16;
      }
      bool transparent = (static_cast<unsigned char>(image[maskRow + x / 8]) >> (7 - x % 8)) & 1;
      if (alpha) {
        transparent =
            static_cast<unsigned char>(image[row + static_cast<std::size_t>(x) * 4 + 3]) < 128;
        if (transparent) px = 0;
      }
      colour.Row(y)[x] = px & 0xFFFFFF;
      mask.MonoRow(y)[x] = transparent ? 1 : 0;
    }
  }
  return CreateIconFromSurfaces(std::move(colour), std::move(mask));
}

int BestIconImage(std::vector<IconImageInfo> const& images, int cx, int cy) {
  int best = -1;
  long bestScore = std::numeric_limits<long>::max();
  for (std::size_t i = 0; i < images.size(); ++i) {
    IconImageInfo const& im = images[i];
    long distance =
        std::labs(static_cast<long>(im.width) - cx) + std::labs(static_cast<long>(im.height) - cy);
    long score = distance * 64 - im.bitCount;
    if (score < bestScore) {
      bestScore = score;
      best = static_cast<int>(i);
    }
  }
  return best;
}

}  // namespace qel::gdi
