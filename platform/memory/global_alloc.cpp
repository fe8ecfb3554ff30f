#include <cstdlib>

#include "qelshare/memory.h"

extern "C" {

HGLOBAL GlobalAlloc(unsigned int flags, std::size_t bytes) {
  if (bytes == 0) bytes = 1;
  return (flags & GMEM_ZEROINIT) != 0 ? std::calloc(1, bytes) : std::malloc(bytes);
}

HGLOBAL GlobalFree(HGLOBAL block) {
  std::free(block);
  return nullptr;
}

}  // extern "C"
