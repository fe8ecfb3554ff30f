// Fuzz target: the CSV reader of qel mklib (ReadSource, kind csv) in UTF-8 and GBK. See
// mklib_source.h for what every reading must hold.
#include <cstddef>
#include <cstdint>

#include "mklib_source.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  qel::fuzz::FuzzSource("fuzz_mklib_csv", "source.csv", qel::cli::SourceKind::kCsv, data, size);
  return 0;
}
