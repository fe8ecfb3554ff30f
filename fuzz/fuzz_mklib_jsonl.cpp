// Fuzz target: the JSON Lines reader of qel mklib (ReadSource, kind jsonl) in UTF-8 and
// GBK. See mklib_source.h for what every reading must hold.
#include <cstddef>
#include <cstdint>

#include "mklib_source.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  qel::fuzz::FuzzSource("fuzz_mklib_jsonl", "source.jsonl", qel::cli::SourceKind::kJsonLines, data,
                        size);
  return 0;
}
