#include "qelshare/version.h"

// The module has no start-up work of its own: nothing runs at load time but static
// initialisation (the control identifier counter of the described controls lives with
// them, starting at 1000).
extern "C" char const* QelShareVersion() {
  return QELSHARE_VERSION_STRING;
}
