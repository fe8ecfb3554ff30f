// The public image loaders (qelshare/window.h): module handles, bitmaps and icons from
// files, memory and module resources.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/ops.h"
#include "platform/fs/path.h"
#include "platform/gdi/bitmap_file.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/icon_file.h"
#include "platform/gdi/png.h"
#include "platform/resources/resources.h"

namespace qel::gdi {
namespace {

// Larger files cannot hold a bitmap within the limits (a 32-bit one of the largest area
// takes 256 MiB).
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{512} << 20;
// The desktop platform's standard icon size (LR_DEFAULTSIZE, LoadIconA).
constexpr int kDefaultIconSize = 32;

HICON IconOf(std::string_view file, int cx, int cy, UINT flags) {
  if (cx > kMaxIconSide || cy > kMaxIconSide) return nullptr;
  std::vector<IconImageInfo> images;
  if (!ReadIconDirectory(file, images)) return nullptr;
  if (flags & LR_DEFAULTSIZE) {
    if (cx == 0) cx = kDefaultIconSize;
    if (cy == 0) cy = kDefaultIconSize;
  }
  int wantW = cx ? cx : images.front().width, wantH = cy ? cy : images.front().height;
  int index = BestIconImage(images, wantW, wantH);
  HICON icon = DecodeIconImage(file, index);
  if (!icon || (images[index].width == wantW && images[index].height == wantH)) return icon;
  // Scaled to the size asked for, as the platform's loader does.
  Surface image = ScaleNearest(*IconImage(icon), wantW, wantH);
  Surface mask = ScaleNearest(*IconMask(icon), wantW, wantH);
  DestroyIcon(icon);
  return CreateIconFromSurfaces(std::move(image), std::move(mask));
}

HBITMAP BitmapOf(std::string_view bytes, int cx, int cy) {
  if (cx > kMaxBitmapSide || cy > kMaxBitmapSide) return nullptr;
  Surface pixels;
  if (!(IsPng(bytes) ? DecodePng(bytes, pixels, nullptr) : DecodeBmp(bytes, pixels))) {
    return nullptr;
  }
  int w = cx ? cx : pixels.width, h = cy ? cy : pixels.height;
  if (w != pixels.width || h != pixels.height) {
    if (std::int64_t{w} * h > kMaxBitmapPixels) return nullptr;
    pixels = ScaleNearest(pixels, w, h);
  }
  return CreateBitmapFromSurface(std::move(pixels));
}

HANDLE ImageOf(std::string_view bytes, UINT type, int cx, int cy, UINT flags) {
  if (cx < 0 || cy < 0) return nullptr;
  if (type == IMAGE_BITMAP) return BitmapOf(bytes, cx, cy);
  if (type == IMAGE_ICON) return IconOf(bytes, cx, cy, flags);
  return nullptr;
}

// The resource type holding each image type's bytes.
char const* ResourceType(UINT type) {
  return type == IMAGE_BITMAP ? "BITMAP" : type == IMAGE_ICON ? "ICON" : nullptr;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace
}  // namespace qel::gdi

using namespace qel::gdi;

HINSTANCE GetModuleHandleA(char const* moduleName) {
  if (!moduleName || !*moduleName) return nullptr;
  // A file name names its module by its base: no folder, no extension, and on this
  // platform's naming no "lib" prefix ("libqelshare.so.1" is "qelshare").
  std::string_view name(moduleName);
  std::size_t slash = qel::fs::LastSeparator(name);
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  name = name.substr(0, name.find('.'));
  if (name.empty()) return nullptr;
  if (HINSTANCE module = qel::res::FindModule(name)) return module;
  if (name.size() > 3 && SameText(name.substr(0, 3), "lib")) {
    return qel::res::FindModule(name.substr(3));
  }
  return nullptr;
}

HANDLE LoadImageA(HINSTANCE instance, char const* name, UINT type, int cx, int cy, UINT flags) {
  if (!name || cx < 0 || cy < 0 || !ResourceType(type)) return nullptr;
  if (flags & LR_LOADFROMFILE) {
    if (IS_INTRESOURCE(name) || !*name) return nullptr;
    std::optional<std::vector<unsigned char>> file = qel::fs::ReadWholeFile(name, kMaxFileBytes);
    if (!file) return nullptr;
    std::string_view bytes(reinterpret_cast<char const*>(file->data()), file->size());
    return ImageOf(bytes, type, cx, cy, flags);
  }
  if (!IS_INTRESOURCE(name)) return nullptr;  // resources have numeric identifiers only
  auto id = static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(name));
  std::optional<std::string_view> bytes = qel::res::Find(instance, ResourceType(type), id);
  if (!bytes) return nullptr;
  return ImageOf(*bytes, type, cx, cy, flags);
}

HANDLE LoadImageFromMemory(void const* data, std::size_t size, UINT type, int cx, int cy,
                           UINT flags) {
  if (!data) return nullptr;
  return ImageOf(std::string_view(static_cast<char const*>(data), size), type, cx, cy, flags);
}

HICON LoadIconA(HINSTANCE instance, char const* name) {
  return static_cast<HICON>(LoadImageA(instance, name, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
}

HICON LoadImageA(HINSTANCE instance, std::uintptr_t name, UINT type, int cx, int cy, UINT flags) {
  if (type != IMAGE_ICON || name == 0 || name > 0xFFFF || (flags & LR_LOADFROMFILE)) {
    return nullptr;
  }
  return static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(static_cast<unsigned>(name)), type, cx, cy, flags));
}
