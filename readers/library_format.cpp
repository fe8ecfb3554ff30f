#include "readers/library_format.h"

#include <cstring>

#include "platform/coding/coding.h"

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
  coding::Put32(block.data(), static_cast<std::uint32_t>(data.size()));
  return block + data;
}

}  // namespace

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
  coding::Put32(bytes.data() + kRecordCountAt, records);
  coding::Put32(bytes.data() + kFieldCountAt, fields);
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
  coding::Put32(bytes.data() + kFieldOffsetAt, static_cast<std::uint32_t>(bytes.size()));
  bytes += Block(records);
  coding::Put32(bytes.data() + kStringOffsetAt, static_cast<std::uint32_t>(bytes.size()));
  bytes += Block(strings);
  return true;
}

}  // namespace qel::library_format
