// The memory pair shared by libqelshare and its hosts.
//
// Hit bitmaps change owner between a host and the library (CExpStack takes the ones
// pushed onto it and hands its result back), so both sides allocate and free them with
// this one exported pair. Blocks are fixed: the handle is the block's address.
#ifndef QELSHARE_MEMORY_H_
#define QELSHARE_MEMORY_H_

#include <cstddef>

#include "qelshare/export.h"
#include "qelshare/types.h"

// Flags of GlobalAlloc.
inline constexpr unsigned int GMEM_FIXED = 0x0000;
inline constexpr unsigned int GMEM_ZEROINIT = 0x0040;
inline constexpr unsigned int GPTR = GMEM_FIXED | GMEM_ZEROINIT;

extern "C" {
// Allocates a fixed block of bytes (zero-filled with GMEM_ZEROINIT); null when memory is
// exhausted. A request of 0 bytes still returns a block that GlobalFree accepts.
QELSHARE_API HGLOBAL GlobalAlloc(unsigned int flags, std::size_t bytes);
// Frees a block of GlobalAlloc (null is ignored). Returns null.
QELSHARE_API HGLOBAL GlobalFree(HGLOBAL block);
}

#endif  // QELSHARE_MEMORY_H_
