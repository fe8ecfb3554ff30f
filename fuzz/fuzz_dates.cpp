// The date, time and amount normalisers and GetFormatDate on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "qelshare/CPublicFun.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  std::string text(reinterpret_cast<char const*>(data), size);
  CPublicFun::StandardDate(text.c_str());
  CPublicFun::StandardTime(text.c_str());
  if (CPublicFun::StandardDateTime(text.c_str()).size() < 19) std::abort();
  CPublicFun::StandardCy(text.c_str());
  // The text up to the first 0x01 is the source, the rest the template.
  std::size_t cut = text.find('\x01');
  if (cut != std::string::npos) {
    std::string source = text.substr(0, cut);
    std::string format = text.substr(cut + 1);
    CPublicFun::GetFormatDate(source.c_str(), format.c_str());
  }
  return 0;
}
