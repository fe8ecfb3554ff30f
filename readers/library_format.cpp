#include "readers/library_format.h"

#include <cstring>

namespace qel::library_format {
namespace {

bool PutSlot(std::string& bytes, std::size_t at, std::size_t size, std::string_view text,
             std::string const& name, std::string& what) {
  if (text.size() >= size) {
    what = name + " is longer than its " + std::to_string(size - 1) + " bytes";
    return false;
  }
  std::memcpy(&bytes[at], text.data(), text.size());
  return true;
}

std::string Block(std::string const& data) {
  std::string block(kBlockHead, '\0');
  PutU32(block, 0, static_cast<std::uint32_t>(data.size()));
  return block + data;
}

}  // namespace

std::uint32_t GetU32(unsigned char const* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}

std::string_view Slot(unsigned char const* p, std::size_t size) {
  auto const* s = reinterpret_cast<char const*>(p);
  return std::string_view(s, strnlen(s, size));
}

std::string_view Title(unsigned char const* descriptor) {
  return Slot(descriptor + kTitleAt, kTitleSize);
}

bool Descriptor(std::uint32_t records, std::uint32_t fields, std::string_view title,
                std::string& bytes, std::string& what) {
  bytes.assign(kDescriptorSize, '\0');
  std::memcpy(&bytes[0], kMarker, sizeof kMarker - 1);
  PutU32(bytes, kRecordCountAt, records);
  PutU32(bytes, kFieldCountAt, fields);
  return PutSlot(bytes, kTitleAt, kTitleSize, title, "the title", what);
}

bool FieldTable(std::vector<FieldEntry> const& fields, std::string& bytes, std::string& what) {
  std::string records, strings;
  for (FieldEntry const& f : fields) {
    std::string r(kFieldRecord, '\0');
    if (!PutSlot(r, kCodeAt, kCodeSize, f.code, "the code of field " + f.name, what) ||
        !PutSlot(r, kNameAt, kNameSize, f.name, "the name " + f.name, what) ||
        !PutSlot(r, kDescriptionAt, kDescriptionSize, f.description,
                 "the description of field " + f.name, what)) {
      return false;
    }
    r[kTypeAt] = static_cast<char>(f.type);
    records += r;
    strings += f.strings;
    strings += '\0';
  }
  bytes.assign(kHeaderSize, '\0');
  PutU32(bytes, kFieldOffsetAt, static_cast<std::uint32_t>(bytes.size()));
  bytes += Block(records);
  PutU32(bytes, kStringOffsetAt, static_cast<std::uint32_t>(bytes.size()));
  bytes += Block(strings);
  return true;
}

}  // namespace qel::library_format
