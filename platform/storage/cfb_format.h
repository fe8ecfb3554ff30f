// Fixed facts of the Compound File Binary Format: sector markers, the header and the
// 128-byte directory entry, and the order of names in a storage's tree.
#ifndef QELSHARE_PLATFORM_STORAGE_CFB_FORMAT_H_
#define QELSHARE_PLATFORM_STORAGE_CFB_FORMAT_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/coding/coding.h"

namespace qel::storage {

// Sector numbers with a meaning of their own in the FAT and the DIFAT.
inline constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
inline constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
inline constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
// "No entry" in a directory entry's left, right and child fields.
inline constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

inline constexpr std::size_t kHeaderSize = 512;
inline constexpr std::size_t kHeaderDifatEntries = 109;
inline constexpr std::size_t kDirEntrySize = 128;
inline constexpr std::size_t kMiniSectorSize = 64;
// Streams shorter than this live in the mini stream.
inline constexpr std::uint64_t kMiniStreamCutoff = 4096;
inline constexpr std::size_t kMaxNameChars = 31;

inline constexpr std::array<unsigned char, 8> kSignature = {0xD0, 0xCF, 0x11, 0xE0,
                                                            0xA1, 0xB1, 0x1A, 0xE1};

// Object types of a directory entry.
enum EntryType : std::uint8_t { kUnused = 0, kStorage = 1, kStream = 2, kRoot = 5 };
enum Color : std::uint8_t { kRed = 0, kBlack = 1 };

struct Header {
  std::uint16_t major = 3;
  std::uint16_t sector_shift = 9;
  std::uint32_t dir_sectors = 0;  // version 4 only
  std::uint32_t fat_sectors = 0;
  std::uint32_t first_dir = kEndOfChain;
  std::uint32_t first_minifat = kEndOfChain;
  std::uint32_t minifat_sectors = 0;
  std::uint32_t first_difat = kEndOfChain;
  std::uint32_t difat_sectors = 0;
  std::array<std::uint32_t, kHeaderDifatEntries> difat{};
};

// Parses the first 512 bytes; false when they are not a header we can read.
bool ParseHeader(unsigned char const* bytes, Header* header);
void WriteHeader(Header const& header, unsigned char* bytes);

struct DirEntry {
  std::u16string name;
  std::uint8_t type = kUnused;
  std::uint8_t color = kBlack;
  std::uint32_t left = kNoStream;
  std::uint32_t right = kNoStream;
  std::uint32_t child = kNoStream;
  std::array<unsigned char, 16> clsid{};
  std::uint32_t state = 0;
  std::uint64_t ctime = 0;
  std::uint64_t mtime = 0;
  std::uint32_t start = kEndOfChain;
  std::uint64_t size = 0;
};

// Parses one 128-byte entry. version3 keeps only the low 32 bits of the size, as
// version 3 writers may leave garbage in the high ones. An entry whose name field is
// inconsistent reads as unused.
DirEntry ParseDirEntry(unsigned char const* bytes, bool version3);
void WriteDirEntry(DirEntry const& entry, unsigned char* bytes);

// The format's order of sibling names: shorter first, then code unit by code unit in
// upper case. Returns <0, 0, >0.
int CompareNames(std::u16string_view a, std::u16string_view b);

struct NameLess {
  bool operator()(std::u16string const& a, std::u16string const& b) const {
    return CompareNames(a, b) < 0;
  }
};

// True when name may name an element: 1 to 31 code units, none of / \ : ! or NUL.
bool ValidName(std::u16string_view name);

using coding::Get16;
using coding::Get32;
using coding::Get64;
using coding::Put16;
using coding::Put32;
using coding::Put64;

}  // namespace qel::storage

#endif  // QELSHARE_PLATFORM_STORAGE_CFB_FORMAT_H_
