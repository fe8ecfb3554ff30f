// An owning reference to a compound-file object (IStorage, IStream): released when it
// goes out of scope, so every way out of a member releases what it opened.
#ifndef QELSHARE_PUBLICFUN_STORAGE_REF_H_
#define QELSHARE_PUBLICFUN_STORAGE_REF_H_

#include "qelshare/storage.h"

namespace qel::storage {

template <typename T>
class Ref {
 public:
  Ref() = default;
  ~Ref() { reset(); }
  Ref(Ref const&) = delete;
  Ref& operator=(Ref const&) = delete;

  // Where an open or create call puts the new object.
  T** out() {
    reset();
    return &p_;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  void reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// Reads the whole of a stream (the low 32 bits of its size, as the package and key
// formats count) into data. False on a read failure or a short read.
inline bool ReadWhole(IStream* stream, CByteArray* data) {
  tagSTATSTG st;
  if (FAILED(stream->Stat(&st, STATFLAG_NONAME))) return false;
  data->resize(static_cast<std::uint32_t>(st.cbSize));
  ULONG got = 0;
  if (data->empty()) return true;
  if (FAILED(stream->Read(data->data(), static_cast<ULONG>(data->size()), &got))) return false;
  return got == data->size();
}

}  // namespace qel::storage

#endif  // QELSHARE_PUBLICFUN_STORAGE_REF_H_
