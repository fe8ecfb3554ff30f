#include "platform/storage/cfb_format.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstring>

namespace qel::storage {

bool ParseHeader(unsigned char const* b, Header* h) {
  if (!std::equal(kSignature.begin(), kSignature.end(), b)) return false;
  if (Get16(b + 28) != 0xFFFE) return false;
  h->major = Get16(b + 26);
  h->sector_shift = Get16(b + 30);
  if (!((h->major == 3 && h->sector_shift == 9) || (h->major == 4 && h->sector_shift == 12))) {
    return false;
  }
  if (Get16(b + 32) != 6) return false;
  if (Get32(b + 56) != kMiniStreamCutoff) return false;
  h->dir_sectors = Get32(b + 40);
  h->fat_sectors = Get32(b + 44);
  h->first_dir = Get32(b + 48);
  h->first_minifat = Get32(b + 60);
  h->minifat_sectors = Get32(b + 64);
  h->first_difat = Get32(b + 68);
  h->difat_sectors = Get32(b + 72);
  for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) h->difat[i] = Get32(b + 76 + 4 * i);
  return true;
}

void WriteHeader(Header const& h, unsigned char* b) {
  std::memset(b, 0, kHeaderSize);
  std::copy(kSignature.begin(), kSignature.end(), b);
  Put16(b + 24, 0x003E);
  Put16(b + 26, h.major);
  Put16(b + 28, 0xFFFE);
  Put16(b + 30, h.sector_shift);
  Put16(b + 32, 6);
  Put32(b + 40, h.major == 4 ? h.dir_sectors : 0);
  Put32(b + 44, h.fat_sectors);
  Put32(b + 48, h.first_dir);
  Put32(b + 56, static_cast<std::uint32_t>(kMiniStreamCutoff));
  Put32(b + 60, h.first_minifat);
  Put32(b + 64, h.minifat_sectors);
  Put32(b + 68, h.first_difat);
  Put32(b + 72, h.difat_sectors);
  for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) Put32(b + 76 + 4 * i, h.difat[i]);
}

DirEntry ParseDirEntry(unsigned char const* b, bool version3) {
  DirEntry e;
  e.type = b[66];
  if (e.type != kStorage && e.type != kStream && e.type != kRoot) {
    e.type = kUnused;
    return e;
  }
  std::uint16_t name_bytes = Get16(b + 64);
  if (name_bytes < 2 || name_bytes > 64 || name_bytes % 2 != 0) {
    e.type = kUnused;
    return e;
  }
  for (std::size_t i = 0; i + 1 < name_bytes / 2u; ++i) {
    char16_t c = Get16(b + 2 * i);
    if (c == 0) break;
    e.name.push_back(c);
  }
  e.color = b[67] == kRed ? kRed : kBlack;
  e.left = Get32(b + 68);
  e.right = Get32(b + 72);
  e.child = Get32(b + 76);
  std::memcpy(e.clsid.data(), b + 80, 16);
  e.state = Get32(b + 96);
  e.ctime = Get64(b + 100);
  e.mtime = Get64(b + 108);
  e.start = Get32(b + 116);
  e.size = version3 ? Get32(b + 120) : Get64(b + 120);
  return e;
}

void WriteDirEntry(DirEntry const& e, unsigned char* b) {
  std::memset(b, 0, kDirEntrySize);
  if (e.type == kUnused) {
    Put32(b + 68, kNoStream);
    Put32(b + 72, kNoStream);
    Put32(b + 76, kNoStream);
    return;
  }
  std::size_t n = std::min(e.name.size(), kMaxNameChars);
  for (std::size_t i = 0; i < n; ++i) Put16(b + 2 * i, e.name[i]);
  Put16(b + 64, static_cast<std::uint16_t>(2 * (n + 1)));
  b[66] = e.type;
  b[67] = e.color;
  Put32(b + 68, e.left);
  Put32(b + 72, e.right);
  Put32(b + 76, e.child);
  std::memcpy(b + 80, e.clsid.data(), 16);
  Put32(b + 96, e.state);
  Put64(b + 100, e.ctime);
  Put64(b + 108, e.mtime);
  Put32(b + 116, e.start);
  Put64(b + 120, e.size);
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = 0; i < a.size(); ++i) {
    UChar32 x = u_toupper(a[i]);
    UChar32 y = u_toupper(b[i]);
    // Upper case of a code unit outside the Basic Multilingual Plane pairs stays as is.
    if (x > 0xFFFF) x = a[i];
    if (y > 0xFFFF) y = b[i];
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

bool ValidName(std::u16string_view name) {
  if (name.empty() || name.size() > kMaxNameChars) return false;
  for (char16_t c : name) {
    if (c == 0 || c == u'/' || c == u'\\' || c == u':' || c == u'!') return false;
  }
  return true;
}

}  // namespace qel::storage
