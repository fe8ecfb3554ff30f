// Paths of the file floor.
//
// The library names files with code page 936 (GBK) text in which either "/" or "\" may
// separate components. The operating system's names are UTF-8 with "/" only. These
// helpers translate between the two: separators are recognised only on character
// boundaries (the trail byte of a GBK character may equal "\"), and every path this floor
// hands back uses "/".
#ifndef QELSHARE_PLATFORM_FS_PATH_H_
#define QELSHARE_PLATFORM_FS_PATH_H_

#include <string>
#include <string_view>

namespace qel::fs {

// True for either separator byte.
constexpr bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// The library path with every single-byte "\" replaced by "/" (GBK trail bytes untouched).
std::string Slashes(std::string_view path);

// Index of the last separator of a GBK path (either kind, on a character boundary), or
// std::string_view::npos.
std::size_t LastSeparator(std::string_view path);

// The operating system's name for a library path: "/" separators, GBK text as UTF-8
// (bytes that are not GBK become U+FFFD).
std::string ToOs(std::string_view path);

// The library's text for an operating-system name: UTF-8 as GBK; what has no GBK form
// (or is not UTF-8) becomes "?", as the desktop platform's 8-bit file calls report it.
std::string FromOs(std::string_view name);

// The absolute form of a GBK path with "/" separators: a relative path is taken from the
// current directory; "." components, ".." components and repeated separators are
// resolved by text alone, without following links.
std::string Absolute(std::string_view path);

// dir and name joined with one "/".
std::string Join(std::string_view dir, std::string_view name);

}  // namespace qel::fs

#endif  // QELSHARE_PLATFORM_FS_PATH_H_
