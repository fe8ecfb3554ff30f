// WebStr2Str with lengths inside and past the text, and both forms of GetHtmlFormVal.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "qelshare/CPublicFun.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  if (size == 0) return 0;
  int const len = static_cast<int>(data[0]) - 2;  // -2 .. 253
  // No NUL after the bytes: a decoder that reads past the length is caught.
  std::vector<char> raw(data + 1, data + size);
  if (len > 0 && static_cast<std::size_t>(len) <= raw.size()) {
    CString out = CPublicFun::WebStr2Str(raw.data(), len);
    if (out.size() > static_cast<std::size_t>(len)) std::abort();
  }
  std::string text(raw.begin(), raw.end());
  CPublicFun::WebStr2Str(text.c_str(), len);
  CPublicFun::WebStr2Str(text.c_str(), -1);

  CByteArray bytes(data + 1, data + size);
  CStringArr names, values;
  int n = CPublicFun::GetHtmlFormVal(&bytes, &names, &values);
  if (n != names.GetSize() || n != values.GetSize() || n < 1) std::abort();

  tagSAFEARRAY array{};
  array.cDims = 1;
  array.cbElements = 1;
  array.pvData = bytes.empty() ? nullptr : bytes.data();
  array.rgsabound[0].cElements = static_cast<std::uint32_t>(bytes.size());
  tagVARIANT inner{};
  inner.vt = VT_ARRAY | VT_UI1;
  inner.parray = &array;
  tagVARIANT outer{};
  outer.vt = VT_BYREF | VT_VARIANT;
  outer.pvarVal = &inner;
  CStringArr n2, v2;
  if (CPublicFun::GetHtmlFormVal(&outer, &n2, &v2) != n) std::abort();
  // Arbitrary type codes over the same data are refused or read the same way.
  outer.vt = static_cast<std::uint16_t>(data[0] << 8 | (size > 1 ? data[1] : 0));
  CPublicFun::GetHtmlFormVal(&outer, &n2, &v2);
  return 0;
}
