// Icon files (.ico): the directory of images and the decoding of one image into an icon.
// Images are device-independent bitmaps of 1, 4, 8, 24 or 32 bits per pixel followed by
// their 1-bit AND mask (a 32-bit image with any alpha takes its transparency from the
// alpha instead), or PNG files; damaged or truncated data is rejected, never read past
// its end.
#ifndef QELSHARE_PLATFORM_GDI_ICON_FILE_H_
#define QELSHARE_PLATFORM_GDI_ICON_FILE_H_

#include <string_view>
#include <vector>

#include "qelshare/window.h"

namespace qel::gdi {

// The largest icon image read, and the largest size the loaders scale icons to.
inline constexpr int kMaxIconSide = 1024;

struct IconImageInfo {
  int width = 0;
  int height = 0;
  int bitCount = 0;
  int colors = 0;  // palette size; 0 for 24 and 32 bits
};

// The images an icon file holds; false for data that is not a readable icon file.
bool ReadIconDirectory(std::string_view file, std::vector<IconImageInfo>& images);
// The image at index as an icon (owned by the caller: DestroyIcon); null when damaged.
HICON DecodeIconImage(std::string_view file, int index);
// The image of the file best matching cx x cy: an exact size first (most colours), else
// the nearest size; -1 when there is none.
int BestIconImage(std::vector<IconImageInfo> const& images, int cx, int cy);

}  // namespace qel::gdi

// The controls' form of the public LoadImageA: an icon of a module's resources by its
// numeric identifier (IMAGE_ICON only; other types and LR_LOADFROMFILE give null).
HICON LoadImageA(HINSTANCE instance, std::uintptr_t name, UINT type, int cx, int cy, UINT flags);

#endif  // QELSHARE_PLATFORM_GDI_ICON_FILE_H_
