// Icon files through the loader of the library's embedded icons: the directory, every
// image's decoding, and the choice of the best image never read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/gdi/icon_file.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  std::string_view file(reinterpret_cast<char const*>(data), size);
  std::vector<qel::gdi::IconImageInfo> images;
  bool ok = qel::gdi::ReadIconDirectory(file, images);
  int count = ok ? static_cast<int>(images.size()) : 3;
  for (int i = -1; i <= count; ++i) {
    if (HICON icon = qel::gdi::DecodeIconImage(file, i)) DestroyIcon(icon);
  }
  if (ok) qel::gdi::BestIconImage(images, 16, 16);
  return 0;
}
