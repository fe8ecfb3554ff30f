// The descriptor (BASE.qel) and field table (BASE.sor) of a retrieval library: their
// offsets and sizes, and the writer of both. CQel2000 reads them with these constants;
// LibraryWriter writes them with Descriptor and FieldTable.
//
//   BASE.qel  "QEL LIB MARKER", NUL at 14; this library's writer adds, little-endian, the
//             record count at 16, the field count at 20 and the title (NUL-ended) at 24;
//             kDescriptorSize bytes in all
//   BASE.sor  a kHeaderSize-byte header holding at kFieldOffsetAt the offset of the field
//             block and at kStringOffsetAt that of the field-string block (0: none); each
//             block is a kBlockHead-byte head whose first u32 is the data length, then the
//             data. Field block: one kFieldRecord-byte record per field (code at 0 in 16
//             bytes, name at 16 in 16, description at 32 in 64, type letter at 96).
//             String block: one NUL-ended string per field (a group field's member codes
//             separated by LF, empty for the others).
#ifndef QELSHARE_READERS_LIBRARY_FORMAT_H_
#define QELSHARE_READERS_LIBRARY_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qel::library_format {

inline constexpr char kMarker[] = "QEL LIB MARKER";
inline constexpr std::size_t kDescriptorSize = 328;
inline constexpr std::size_t kRecordCountAt = 16;
inline constexpr std::size_t kFieldCountAt = 20;
inline constexpr std::size_t kTitleAt = 24;
inline constexpr std::size_t kTitleSize = 64;

inline constexpr std::size_t kHeaderSize = 512;
inline constexpr std::size_t kFieldOffsetAt = 52;
inline constexpr std::size_t kStringOffsetAt = 116;
inline constexpr std::size_t kBlockHead = 16;
inline constexpr std::size_t kFieldRecord = 112;
inline constexpr std::size_t kCodeAt = 0, kCodeSize = 16;
inline constexpr std::size_t kNameAt = 16, kNameSize = 16;
inline constexpr std::size_t kDescriptionAt = 32, kDescriptionSize = 64;
inline constexpr std::size_t kTypeAt = 96;

// The extensions of a library's files.
inline constexpr char kDescriptorExt[] = ".qel";
inline constexpr char kFieldTableExt[] = ".sor";
inline constexpr char kRecordExt[] = ".mrf";
inline constexpr char kIndexExt[] = ".qix";
// Present while a writer puts a library's three files in place (it holds the writer's
// process id): a library with one is refused, since its files may be of two builds.
inline constexpr char kBuildingExt[] = ".~building";

// A string stored in a slot: it ends at the first NUL or with the slot.
std::string_view Slot(unsigned char const* p, std::size_t size);

// The title stored in a descriptor of this library's writer (empty when there is none).
std::string_view Title(unsigned char const* descriptor);

// One field as the writer stores it.
struct FieldEntry {
  std::string code, name, description;
  unsigned char type = 0;
  std::string strings;  // the field-string block's entry
};

// The bytes of a descriptor. False with `what` naming the text that does not fit its slot.
bool Descriptor(std::uint32_t records, std::uint32_t fields, std::string_view title,
                std::string& bytes, std::string& what);
// The bytes of a field table. False with `what` naming the text that does not fit.
bool FieldTable(std::vector<FieldEntry> const& fields, std::string& bytes, std::string& what);

}  // namespace qel::library_format

#endif  // QELSHARE_READERS_LIBRARY_FORMAT_H_
