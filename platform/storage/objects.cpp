// The object interface over CompoundFile: IStorage and IStream implementations and the
// two entry points that open and create compound files.
#include <atomic>
#include <limits>
#include <memory>
#include <string>

#include "platform/storage/compound_file.h"
#include "platform/text/codepage.h"
#include "qelshare/storage.h"

namespace qel::storage {
namespace {

bool ToName(char const* gbk, std::u16string* name) {
  if (gbk == nullptr) return false;
  name->clear();
  text::GbkToUtf16(gbk, *name);
  return ValidName(*name);
}

CString FromName(std::u16string const& name) {
  CString out;
  for (char16_t c : name) {
    char bytes[2];
    std::size_t n = text::EncodeChar(c, bytes);
    if (n == 0) {
      out.push_back('?');
    } else {
      out.append(bytes, n);
    }
  }
  return out;
}

bool ModeWrites(DWORD mode) {
  return (mode & 3) == STGM_WRITE || (mode & 3) == STGM_READWRITE;
}
bool ModeReads(DWORD mode) {
  return (mode & 3) != STGM_WRITE;
}
bool ValidMode(DWORD mode) {
  return (mode & 3) != 3 && (mode & STGM_TRANSACTED) == 0 && (mode & 0x70) <= 0x40;
}

void FillStat(CompoundFile const& file, std::uint32_t id, DWORD mode, DWORD flags,
              tagSTATSTG* stat) {
  DirEntry const& e = file.Entry(id);
  *stat = tagSTATSTG();
  if ((flags & STATFLAG_NONAME) == 0) stat->name = FromName(e.name);
  stat->type = e.type;
  stat->cbSize = e.type == kStream ? e.size : 0;
  stat->mtime = e.mtime;
  stat->ctime = e.ctime;
  stat->grfMode = mode;
  stat->grfStateBits = e.state;
  stat->clsid.Data1 = Get32(e.clsid.data());
  stat->clsid.Data2 = Get16(e.clsid.data() + 4);
  stat->clsid.Data3 = Get16(e.clsid.data() + 6);
  for (int i = 0; i < 8; ++i) stat->clsid.Data4[i] = e.clsid[8 + i];
}

class Stream final : public IStream {
 public:
  Stream(std::shared_ptr<CompoundFile> file, std::uint32_t id, DWORD mode)
      : file_(std::move(file)), id_(id), mode_(mode) {
    file_->MarkOpen(id_);
  }
  ~Stream() override { file_->MarkClosed(id_); }

  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    if (pcbRead != nullptr) *pcbRead = 0;
    if (pv == nullptr && cb > 0) return STG_E_INVALIDPOINTER;
    if (!ModeReads(mode_)) return STG_E_ACCESSDENIED;
    std::size_t got = 0;
    HRESULT hr = file_->Read(id_, pos_, pv, cb, &got);
    if (FAILED(hr)) return hr;
    pos_ += got;
    if (pcbRead != nullptr) *pcbRead = static_cast<ULONG>(got);
    return S_OK;
  }

  HRESULT Write(void const* pv, ULONG cb, ULONG* pcbWritten) override {
    if (pcbWritten != nullptr) *pcbWritten = 0;
    if (pv == nullptr && cb > 0) return STG_E_INVALIDPOINTER;
    if (!ModeWrites(mode_)) return STG_E_ACCESSDENIED;
    HRESULT hr = file_->Write(id_, pos_, pv, cb);
    if (FAILED(hr)) return hr;
    pos_ += cb;
    if (pcbWritten != nullptr) *pcbWritten = cb;
    return S_OK;
  }

  HRESULT Seek(std::int64_t move, DWORD origin, std::uint64_t* newPosition) override {
    std::int64_t base = 0;
    switch (origin) {
      case STREAM_SEEK_SET:
        break;
      case STREAM_SEEK_CUR:
        base = static_cast<std::int64_t>(pos_);
        break;
      case STREAM_SEEK_END:
        base = static_cast<std::int64_t>(file_->Entry(id_).size);
        break;
      default:
        return STG_E_INVALIDFUNCTION;
    }
    if ((move < 0 && base + move < 0) ||
        (move > 0 && base > std::numeric_limits<std::int64_t>::max() - move)) {
      return STG_E_INVALIDFUNCTION;
    }
    pos_ = static_cast<std::uint64_t>(base + move);
    if (newPosition != nullptr) *newPosition = pos_;
    return S_OK;
  }

  HRESULT SetSize(std::uint64_t size) override {
    if (!ModeWrites(mode_)) return STG_E_ACCESSDENIED;
    return file_->SetSize(id_, size);
  }

  HRESULT Stat(tagSTATSTG* stat, DWORD flags) override {
    if (stat == nullptr) return STG_E_INVALIDPOINTER;
    FillStat(*file_, id_, mode_, flags, stat);
    return S_OK;
  }

 private:
  std::shared_ptr<CompoundFile> file_;
  std::uint32_t id_;
  DWORD mode_;
  std::uint64_t pos_ = 0;
  std::atomic<ULONG> refs_{1};
};

class Storage final : public IStorage {
 public:
  Storage(std::shared_ptr<CompoundFile> file, std::uint32_t id, DWORD mode)
      : file_(std::move(file)), id_(id), mode_(mode) {
    if (id_ != 0) file_->MarkOpen(id_);
  }
  ~Storage() override {
    if (id_ != 0) file_->MarkClosed(id_);
  }

  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT CreateStream(char const* name, DWORD mode, IStream** stream) override {
    return Child<Stream>(&Storage::CreateElement, name, mode, kStream, stream);
  }

  HRESULT OpenStream(char const* name, DWORD mode, IStream** stream) override {
    return Child<Stream>(&Storage::OpenElement, name, mode, kStream, stream);
  }

  HRESULT CreateStorage(char const* name, DWORD mode, IStorage** storage) override {
    return Child<Storage>(&Storage::CreateElement, name, mode, kStorage, storage);
  }

  HRESULT OpenStorage(char const* name, DWORD mode, IStorage** storage) override {
    return Child<Storage>(&Storage::OpenElement, name, mode, kStorage, storage);
  }

  HRESULT DestroyElement(char const* name) override {
    std::u16string wide;
    if (!ToName(name, &wide)) return name == nullptr ? STG_E_INVALIDPOINTER : STG_E_INVALIDNAME;
    if (!ModeWrites(mode_)) return STG_E_ACCESSDENIED;
    std::uint32_t id = 0;
    HRESULT hr = file_->Find(id_, wide, &id);
    if (FAILED(hr)) return hr;
    if (file_->HasOpenInside(id)) return STG_E_ACCESSDENIED;
    return file_->Remove(id_, id);
  }

  HRESULT EnumElements(std::vector<tagSTATSTG>* elements) override {
    if (elements == nullptr) return STG_E_INVALIDPOINTER;
    std::vector<std::uint32_t> ids;
    HRESULT hr = file_->Children(id_, &ids);
    if (FAILED(hr)) return hr;
    for (std::uint32_t id : ids) {
      elements->emplace_back();
      FillStat(*file_, id, 0, STATFLAG_DEFAULT, &elements->back());
    }
    return S_OK;
  }

  HRESULT Stat(tagSTATSTG* stat, DWORD flags) override {
    if (stat == nullptr) return STG_E_INVALIDPOINTER;
    FillStat(*file_, id_, mode_, flags, stat);
    return S_OK;
  }

  HRESULT Commit(DWORD) override { return file_->Commit(); }

 private:
  // Finds or makes the child element with `find` (CreateElement or OpenElement) and hands
  // it out as a new object of type Object.
  template <typename Object, typename Interface>
  HRESULT Child(HRESULT (Storage::*find)(char const*, DWORD, std::uint8_t, std::uint32_t*),
                char const* name, DWORD mode, std::uint8_t type, Interface** out) {
    std::uint32_t id = 0;
    HRESULT hr = (this->*find)(name, mode, type, &id);
    if (FAILED(hr)) return hr;
    *out = new Object(file_, id, mode);
    return S_OK;
  }

  HRESULT CreateElement(char const* name, DWORD mode, std::uint8_t type, std::uint32_t* id) {
    std::u16string wide;
    if (!ValidMode(mode)) return STG_E_INVALIDFLAG;
    if (!ToName(name, &wide)) return name == nullptr ? STG_E_INVALIDPOINTER : STG_E_INVALIDNAME;
    if (!ModeWrites(mode_) || !file_->writable()) return STG_E_ACCESSDENIED;
    std::uint32_t old = 0;
    HRESULT hr = file_->Find(id_, wide, &old);
    if (SUCCEEDED(hr)) {
      if ((mode & STGM_CREATE) == 0) return STG_E_FILEALREADYEXISTS;
      if (file_->HasOpenInside(old)) return STG_E_ACCESSDENIED;
      hr = file_->Remove(id_, old);
      if (FAILED(hr)) return hr;
    } else if (hr != STG_E_FILENOTFOUND) {
      return hr;
    }
    return file_->Add(id_, wide, type, id);
  }

  HRESULT OpenElement(char const* name, DWORD mode, std::uint8_t type, std::uint32_t* id) {
    std::u16string wide;
    if (!ValidMode(mode) || (mode & STGM_CREATE) != 0) return STG_E_INVALIDFLAG;
    if (!ToName(name, &wide)) return name == nullptr ? STG_E_INVALIDPOINTER : STG_E_INVALIDNAME;
    if (ModeWrites(mode) && (!ModeWrites(mode_) || !file_->writable())) {
      return STG_E_ACCESSDENIED;
    }
    HRESULT hr = file_->Find(id_, wide, id);
    if (FAILED(hr)) return hr;
    if (file_->Entry(*id).type != type) return STG_E_FILENOTFOUND;
    if (file_->IsOpen(*id)) return STG_E_ACCESSDENIED;
    if (type == kStream) return file_->CheckStream(*id);
    return S_OK;
  }

  std::shared_ptr<CompoundFile> file_;
  std::uint32_t id_;
  DWORD mode_;
  std::atomic<ULONG> refs_{1};
};

}  // namespace
}  // namespace qel::storage

extern "C" {

HRESULT StgOpenStorage(char const* path, DWORD mode, IStorage** storage) {
  if (path == nullptr || storage == nullptr) return STG_E_INVALIDPOINTER;
  *storage = nullptr;
  std::shared_ptr<qel::storage::CompoundFile> file;
  HRESULT hr = qel::storage::CompoundFile::Open(path, mode, &file);
  if (FAILED(hr)) return hr;
  *storage = new qel::storage::Storage(std::move(file), 0, mode);
  return S_OK;
}

HRESULT StgCreateDocfile(char const* path, DWORD mode, IStorage** storage) {
  if (path == nullptr || storage == nullptr) return STG_E_INVALIDPOINTER;
  *storage = nullptr;
  std::shared_ptr<qel::storage::CompoundFile> file;
  HRESULT hr = qel::storage::CompoundFile::Create(path, mode, &file);
  if (FAILED(hr)) return hr;
  *storage = new qel::storage::Storage(std::move(file), 0, mode);
  return S_OK;
}

}  // extern "C"
