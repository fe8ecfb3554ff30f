// Packages of files in one stream of a compound file.
//
// A package is a sequence of entries, one per file, ended by the end of the stream or by
// a head whose name length is 0:
//
//   offset 0  u16 name length N        offset 10  6 zero bytes
//   offset 2  u32 file size U          offset 16  N name bytes (no folder, no NUL)
//   offset 6  u32 stored size S        then S bytes of a compressed block, or U raw
//                                      bytes when S is 0
//
// All numbers are little-endian. Media files (by extension) and files the compressor
// declines are stored raw.
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/coding/coding.h"
#include "platform/fs/durable.h"
#include "platform/fs/ops.h"
#include "platform/text/casemap.h"
#include "publicfun/block_codec.h"
#include "publicfun/storage_ref.h"
#include "qelshare/CPublicFun.h"
#include "qelshare/storage.h"

using qel::storage::Ref;

namespace {

constexpr std::size_t kHeadSize = 16;
constexpr DWORD kCreate = STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE;
// A compressed block cannot expand more than this (a flag byte and eight two-byte
// references give 8 * 18 bytes), which bounds what a damaged head can make us allocate.
constexpr std::uint64_t kMaxExpansion = 9;

// The file name part of a path: after its last / or \.
std::string_view BaseName(std::string_view path) {
  std::size_t cut = path.find_last_of("/\\");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool KeptRaw(std::string_view name) {
  static constexpr std::array<char const*, 8> kRaw = {".jpg", ".gif", ".pdf", ".png",
                                                      ".avi", ".mpg", ".mid", ".wav"};
  if (name.size() < 4) return false;
  std::string lower(name);
  qel::text::CharLower(lower.data(), lower.size());
  std::string_view tail = std::string_view(lower).substr(lower.size() - 4);
  for (char const* ext : kRaw) {
    if (tail == ext) return true;
  }
  return false;
}

bool WriteAll(IStream* stream, void const* data, std::size_t n) {
  ULONG put = 0;
  return n == 0 || (SUCCEEDED(stream->Write(data, static_cast<ULONG>(n), &put)) && put == n);
}

// Writes one entry for the file at path; false on any failure.
bool PackOne(IStream* stream, char const* path) {
  if (path == nullptr) return false;
  // Sizes are stored in 32 bits.
  std::optional<CByteArray> content = qel::fs::ReadWholeFile(path, 0xFFFFFFFFu);
  if (!content) return false;
  CByteArray& data = *content;
  std::string_view name = BaseName(path);
  if (name.size() > 0xFFFF) return false;
  CByteArray packed;
  unsigned long stored = 0;
  if (!KeptRaw(name) && !data.empty()) {
    packed.resize(data.size());
    unsigned long out = 0;
    if (CPublicFun::Compress(data.data(), static_cast<unsigned long>(data.size()), packed.data(),
                             &out) == 1) {
      stored = out;
    }
  }
  unsigned char head[kHeadSize] = {};
  qel::coding::Put16(head, static_cast<std::uint16_t>(name.size()));
  qel::coding::Put32(head + 2, static_cast<std::uint32_t>(data.size()));
  qel::coding::Put32(head + 6, stored);
  if (!WriteAll(stream, head, kHeadSize) || !WriteAll(stream, name.data(), name.size())) {
    return false;
  }
  return stored != 0 ? WriteAll(stream, packed.data(), stored)
                     : WriteAll(stream, data.data(), data.size());
}

// Reads exactly n bytes; false on a failure or a short read.
bool ReadExactly(IStream* stream, void* data, std::size_t n) {
  ULONG got = 0;
  return n == 0 || (SUCCEEDED(stream->Read(data, static_cast<ULONG>(n), &got)) && got == n);
}

// A stored name that stays inside the target folder.
bool SafeName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

}  // namespace

int CPublicFun::ZipFile(CStringArr* files, IStorage* storage, char const* streamName) {
  if (storage == nullptr || streamName == nullptr) return 0;
  if (files != nullptr && files->GetSize() == 0) return 0;
  Ref<IStream> stream;
  if (FAILED(storage->CreateStream(streamName, kCreate, stream.out()))) return 0;
  bool ok = true;
  if (files == nullptr) {
    unsigned char const empty[kHeadSize] = {};
    ok = WriteAll(stream.get(), empty, kHeadSize);
  } else {
    for (int i = 0; ok && i < files->GetSize(); ++i) ok = PackOne(stream.get(), files->Get(i));
  }
  stream.reset();
  if (!ok) {
    // All or nothing: no partial package stays behind.
    storage->DestroyElement(streamName);
    return 0;
  }
  return 1;
}

int CPublicFun::UnzipFile(char const* folder, IStorage* storage, char const* streamName) {
  if (storage == nullptr || streamName == nullptr) return 0;
  Ref<IStream> stream;
  if (FAILED(storage->OpenStream(streamName, STGM_READ | STGM_SHARE_EXCLUSIVE, stream.out()))) {
    return 0;
  }
  tagSTATSTG st;
  if (FAILED(stream->Stat(&st, STATFLAG_NONAME))) return 0;
  std::uint64_t left = st.cbSize;
  std::string base = folder == nullptr ? std::string() : std::string(folder);
  CByteArray packed, data;
  for (;;) {
    unsigned char head[kHeadSize];
    if (left < kHeadSize || !ReadExactly(stream.get(), head, kHeadSize)) return 1;
    left -= kHeadSize;
    std::uint32_t name_size = qel::coding::Get16(head);
    std::uint32_t size = qel::coding::Get32(head + 2);
    std::uint32_t stored = qel::coding::Get32(head + 6);
    if (name_size == 0) return 1;
    std::string name(name_size, '\0');
    if (name_size > left || !ReadExactly(stream.get(), name.data(), name_size)) return 0;
    left -= name_size;
    if (stored != 0) {
      if (stored > left || size > kMaxExpansion * stored + 16) return 0;
      packed.resize(stored);
      data.resize(size);
      if (!ReadExactly(stream.get(), packed.data(), stored)) return 0;
      left -= stored;
      if (!qel::block::ExpandChecked(packed, data)) return 0;
    } else {
      if (size > left) return 0;
      data.resize(size);
      if (!ReadExactly(stream.get(), data.data(), size)) return 0;
      left -= size;
    }
    // An entry that cannot be written (or whose name would leave the folder) is skipped.
    if (base.empty() || !SafeName(name)) continue;
    std::string error;
    qel::fs::WriteFileDurably(base + "/" + name,
                              {reinterpret_cast<char const*>(data.data()), data.size()}, error);
  }
}
