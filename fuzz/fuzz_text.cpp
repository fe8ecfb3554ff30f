// Arbitrary bytes through the GBK text floor, CStringArr and SplitString: conversions,
// ordering, case mapping and splitting must never fault, and the order must be total
// and consistent (antisymmetric, equal only for identical texts).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/text/casemap.h"
#include "platform/text/codepage.h"
#include "platform/text/collate.h"
#include "platform/text/mbcs.h"
#include "qelshare/CPublicFun.h"
#include "qelshare/CStringArr.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
  std::string_view input(reinterpret_cast<char const*>(data), size);
  std::string out, error;
  qel::text::Utf8ToGbk(input, out, error);
  qel::text::Utf8ToGbkReplacing(input, out);
  if (qel::text::GbkToUtf8(input, out, error)) {
    std::string back;
    if (!qel::text::Utf8ToGbk(out, back, error)) std::abort();
  }
  std::string upper(input);
  qel::text::CharUpper(upper.data(), upper.size());
  if (upper.size() != size) std::abort();

  std::size_t half = size / 2;
  std::string_view a = input.substr(0, half), b = input.substr(half);
  int ab = qel::text::Compare(a, b);
  int ba = qel::text::Compare(b, a);
  if ((ab < 0) != (ba > 0) || (ab == 0) != (a == b)) std::abort();
  qel::text::CompareNoCase(a, b);
  qel::text::MbsICmp(std::string(a).c_str(), std::string(b).c_str());
  qel::text::FindAnyOf(input, "|\\/");

  // Split at the first byte, keep a sorted set of the pieces and check it is ordered.
  std::string text(input);
  CStringArr parts;
  int n = CPublicFun::SplitString(text.c_str(), parts, size > 0 ? text[0] : ',');
  CStringArr set;
  for (int i = 0; i < n; ++i) {
    int inserted;
    set.FindInsert(parts.Get(i), &inserted);
  }
  for (int i = 1; i < set.GetSize(); ++i) {
    if (qel::text::Compare(set.Get(i - 1), set.Get(i)) >= 0) std::abort();
  }
  // Sort collates by keys; it must agree with the pairwise order.
  parts.Sort(1);
  for (int i = 1; i < parts.GetSize(); ++i) {
    if (qel::text::Compare(parts.Get(i - 1), parts.Get(i)) > 0) std::abort();
  }
  parts.Sort(0);
  parts.RemoveAt(0);
  return 0;
}
