// Fuzz target: search index files opened, read and checked whole. The binding is taken
// from the input's own header, so that damaged directories, bitmaps and positions are
// reached; every lookup must stay inside the file and name only records the index holds,
// and an index that passes the whole check has its record offsets in order and gives
// every record of a character its positions, rising.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "readers/search_index.h"
#include "scratch_folder.h"

namespace {

std::uint64_t Get64(std::string const& s, std::size_t at) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    v |= static_cast<std::uint64_t>(static_cast<unsigned char>(s[at + i])) << (8 * i);
  }
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  static std::string const path = (qel::fuzz::ScratchFolder("fuzz_index") / "lib.qix").string();
  std::string bytes(reinterpret_cast<char const*>(data), size);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  qel::search_index::Binding binding;
  if (bytes.size() >= 48) {
    binding = {Get64(bytes, 24), static_cast<std::int64_t>(Get64(bytes, 32)), Get64(bytes, 40)};
  }
  qel::search_index::Reader reader;
  std::string error;
  if (!reader.Open(path, binding, error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  std::string fault;
  bool whole = reader.Check(fault);
  if (whole) {
    for (std::uint32_t n = 1; n < reader.records(); ++n) {
      if (reader.Offset(n) <= reader.Offset(n - 1)) std::abort();
    }
  } else if (fault.empty()) {
    std::abort();
  }
  qel::bitmap::RecordSet set;
  std::vector<unsigned char> bits((reader.records() + 7) / 8);
  for (char const* code : {"TI", "TX", "AU", "A"}) {
    for (std::uint32_t key : {qel::search_index::kFieldKey, 0x61u, 0xB4BAu, 0xB4BAC7EFu, 0xD2D2u}) {
      if (reader.Lookup(code, key, set) && set.Count() > 0 && set.Maximum() >= reader.records()) {
        std::abort();
      }
      reader.LookupInto(code, key, bits);
    }
    reader.ValuesInto(
        code, [](std::string_view value) { return !value.empty(); }, bits);
    for (std::uint32_t key : {0x0Au, 0x61u, 0xB4BAu, 0xD2D2u}) {
      std::uint64_t lookups = key == 0x61u ? 0 : UINT64_MAX;
      qel::search_index::PositionList list;
      if (!reader.Positions(code, key, list)) {
        if (whole) std::abort();
        continue;
      }
      std::vector<std::uint32_t> positions;
      list.Expect(lookups);
      std::vector<std::uint32_t> members;
      if (!list.Records(members)) {
        if (whole) std::abort();
        continue;
      }
      // Each record is held, and those between are not, as far as the set reads.
      for (std::size_t i = 0; i < members.size(); ++i) {
        bool held = false;
        if (list.Holds(members[i], held) && !held) std::abort();
        if (i > 0 && members[i] <= members[i - 1]) std::abort();
        if (i > 0 && members[i] > members[i - 1] + 1 && list.Holds(members[i] - 1, held) && held) {
          std::abort();
        }
      }
      for (std::uint32_t n : members) {
        if (n >= reader.records()) std::abort();
        bool read = list.Find(n, positions);
        if (whole && (!read || positions.empty())) std::abort();
        for (std::size_t i = 1; i < positions.size(); ++i) {
          if (positions[i] <= positions[i - 1]) std::abort();
        }
      }
      reader.LetGo(list);
    }
  }
  return 0;
}
