// Fuzzes the REGEDIT4 reader: any text is read or refused with a line-numbered reason,
// and whatever is read exports to text that reads back to the same registry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/registry/registry.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  std::string_view text(reinterpret_cast<char const*>(data), size);
  qel::registry::Store store;
  std::string error;
  if (!store.Import(text, error)) {
    if (error.rfind("line ", 0) != 0) abort();
    return 0;
  }
  std::string exported = store.Export();
  qel::registry::Store again;
  if (!again.Import(exported, error)) abort();
  if (again.Export() != exported) abort();
  return 0;
}
