// CopyCmbFile: one top-level stream of a compound file written out as a plain file.
#include <string>

#include "platform/fs/durable.h"
#include "publicfun/storage_ref.h"
#include "qelshare/CPublicFun.h"
#include "qelshare/storage.h"

int CPublicFun::CopyCmbFile(char const* destFile, char const* storageFile, char const* streamName) {
  if (destFile == nullptr || storageFile == nullptr || streamName == nullptr) return 0;
  qel::storage::Ref<IStorage> root;
  qel::storage::Ref<IStream> stream;
  if (FAILED(StgOpenStorage(storageFile, STGM_READ | STGM_SHARE_DENY_WRITE, root.out()))) {
    return 0;
  }
  if (FAILED(root->OpenStream(streamName, STGM_READ | STGM_SHARE_EXCLUSIVE, stream.out()))) {
    return 0;
  }
  CByteArray data;
  if (!qel::storage::ReadWhole(stream.get(), &data)) return 0;
  stream.reset();
  std::string error;
  return qel::fs::WriteFileDurably(destFile,
                                   {reinterpret_cast<char const*>(data.data()), data.size()}, error)
             ? 1
             : 0;
}
