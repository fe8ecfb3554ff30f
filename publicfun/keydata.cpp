// Key data texts: a value lives in the stream root -> storage -> stream of a compound
// file, as its bytes plus one NUL.
#include <cstring>

#include "publicfun/storage_ref.h"
#include "qelshare/CPublicFun.h"
#include "qelshare/storage.h"

using qel::storage::Ref;

namespace {

constexpr DWORD kReadExclusive = STGM_READ | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kWriteExclusive = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kCreateExclusive = STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE;

bool Empty(char const* s) {
  return s == nullptr || *s == '\0';
}

}  // namespace

CString CPublicFun::GetKeyData(char const* storageFile, char const* storageName,
                               char const* streamName) {
  if (Empty(storageName) || Empty(streamName) || storageFile == nullptr) return CString();
  Ref<IStorage> root, storage;
  Ref<IStream> stream;
  if (FAILED(StgOpenStorage(storageFile, kReadExclusive, root.out()))) return CString();
  if (FAILED(root->OpenStorage(storageName, kReadExclusive, storage.out()))) return CString();
  if (FAILED(storage->OpenStream(streamName, kReadExclusive, stream.out()))) return CString();
  CByteArray data;
  if (!qel::storage::ReadWhole(stream.get(), &data)) return CString();
  auto const* begin = reinterpret_cast<char const*>(data.data());
  return CString(begin, strnlen(begin, data.size()));
}

int CPublicFun::WriteKeyData(char const* storageFile, char const* storageName,
                             char const* streamName, char const* value) {
  if (Empty(storageFile) || Empty(storageName)) return 0;
  Ref<IStorage> root, storage;
  if (FAILED(StgOpenStorage(storageFile, kWriteExclusive, root.out()))) return 0;
  HRESULT hr = root->OpenStorage(storageName, kWriteExclusive, storage.out());
  if (hr == STG_E_FILENOTFOUND) {
    hr = root->CreateStorage(storageName, kCreateExclusive, storage.out());
  }
  if (FAILED(hr)) return 0;
  if (Empty(value)) {
    // Deleting what is not there is no failure.
    if (streamName != nullptr) storage->DestroyElement(streamName);
  } else {
    Ref<IStream> stream;
    hr = storage->CreateStream(streamName, kCreateExclusive, stream.out());
    if (hr == STG_E_FILEALREADYEXISTS) {
      storage->DestroyElement(streamName);
      hr = storage->CreateStream(streamName, kCreateExclusive, stream.out());
    }
    if (FAILED(hr)) return 0;
    ULONG size = static_cast<ULONG>(std::strlen(value) + 1);
    ULONG put = 0;
    if (FAILED(stream->Write(value, size, &put)) || put != size) return 0;
  }
  storage.reset();
  // The value is on disk, in one untearable step, before success is reported.
  return SUCCEEDED(root->Commit(0)) ? 1 : 0;
}
