// FilterString under every switch combination and Text2Html on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "qelshare/CPublicFun.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  if (size == 0) return 0;
  static char const* const kSwitches[] = {"/S", "/m", "/R", "/T", "/h", "/U", "/l"};
  std::string switches;
  for (int bit = 0; bit < 7; ++bit) {
    if (data[0] & (1 << bit)) switches += kSwitches[bit];
  }
  std::string text(reinterpret_cast<char const*>(data + 1), size - 1);
  CString filtered = CPublicFun::FilterString(text.c_str(), switches.c_str());
  if (filtered.size() > text.size()) std::abort();
  CPublicFun::Text2Html(text.c_str());
  return 0;
}
