// Version of libqelshare.
//
// The macros give the version a host was compiled against; QelShareVersion() the one of
// the library actually loaded. The shared library's SONAME carries the major number.
#ifndef QELSHARE_VERSION_H_
#define QELSHARE_VERSION_H_

#include "qelshare/export.h"

#define QELSHARE_VERSION_MAJOR 1
#define QELSHARE_VERSION_MINOR 0
#define QELSHARE_VERSION_PATCH 0
#define QELSHARE_VERSION_STRING "1.0.0"

extern "C" {
// "MAJOR.MINOR.PATCH" of the loaded library; a pointer to constant text.
QELSHARE_API char const* QelShareVersion();
}

#endif  // QELSHARE_VERSION_H_
