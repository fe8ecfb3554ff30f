#include "platform/text/collate.h"

#include <unicode/ucol.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/text/casemap.h"
#include "platform/text/codepage.h"

namespace qel::text {
namespace {

using CollatorPtr = std::unique_ptr<UCollator, decltype(&ucol_close)>;

CollatorPtr OpenCollator(UColAttributeValue strength) {
  UErrorCode status = U_ZERO_ERROR;
  CollatorPtr coll(ucol_open("zh", &status), &ucol_close);
  if (U_FAILURE(status)) throw std::runtime_error("ICU has no collator for zh");
  ucol_setStrength(coll.get(), strength);
  return coll;
}

UCollator const* Collator() {
  static CollatorPtr const coll = OpenCollator(UCOL_TERTIARY);
  return coll.get();
}

UCollator const* CollatorNoCase() {
  static CollatorPtr const coll = OpenCollator(UCOL_SECONDARY);
  return coll.get();
}

// Decodes into a per-thread buffer, avoiding an allocation per comparison.
std::u16string& Decode(std::string_view s, std::u16string& buf) {
  buf.clear();
  GbkToUtf16(s, buf);
  return buf;
}

int ByteOrder(std::string_view a, std::string_view b) {
  int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int Collate(UCollator const* coll, std::string_view a, std::string_view b) {
  thread_local std::u16string ua;
  thread_local std::u16string ub;
  Decode(a, ua);
  Decode(b, ub);
  UCollationResult r =
      ucol_strcoll(coll, reinterpret_cast<UChar const*>(ua.data()), static_cast<int32_t>(ua.size()),
                   reinterpret_cast<UChar const*>(ub.data()), static_cast<int32_t>(ub.size()));
  return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

}  // namespace

int Compare(std::string_view a, std::string_view b) {
  if (a == b) return 0;
  int c = Collate(Collator(), a, b);
  return c != 0 ? c : ByteOrder(a, b);
}

std::string SortKey(std::string_view text) {
  thread_local std::u16string u;
  Decode(text, u);
  auto const* chars = reinterpret_cast<UChar const*>(u.data());
  auto length = static_cast<int32_t>(u.size());
  std::string key(u.size() * 4 + 16, '\0');
  auto* buffer = reinterpret_cast<uint8_t*>(key.data());
  int32_t needed =
      ucol_getSortKey(Collator(), chars, length, buffer, static_cast<int32_t>(key.size()));
  if (needed > static_cast<int32_t>(key.size())) {
    key.resize(needed);
    buffer = reinterpret_cast<uint8_t*>(key.data());
    needed = ucol_getSortKey(Collator(), chars, length, buffer, needed);
  }
  key.resize(needed > 0 ? needed - 1 : 0);  // drop the terminating NUL
  return key;
}

int CompareNoCase(std::string_view a, std::string_view b) {
  if (a == b) return 0;
  int c = Collate(CollatorNoCase(), a, b);
  if (c != 0) return c;
  std::string la(a);
  std::string lb(b);
  CharLower(la.data(), la.size());
  CharLower(lb.data(), lb.size());
  return ByteOrder(la, lb);
}

}  // namespace qel::text
