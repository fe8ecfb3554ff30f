// Writes pictures as PNG files (through Qt's image writer).
#ifndef QELSHARE_PLATFORM_GDI_PNG_H_
#define QELSHARE_PLATFORM_GDI_PNG_H_

#include <string>

#include "qelshare/window.h"

namespace qel::gdi {

// Writes an icon with its transparency to path (a temporary file renamed into place);
// false when the icon is invalid or the file cannot be written.
bool WriteIconPng(HICON icon, std::string const& path);

}  // namespace qel::gdi

#endif  // QELSHARE_PLATFORM_GDI_PNG_H_
