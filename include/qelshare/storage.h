// Structured storage: compound files as objects (IStorage, IStream).
//
// A compound file holds a tree of storages (folders) and streams (files) in one disk
// file, in the published Compound File Binary Format, so other programs read and write
// the same files. The library reads format versions 3 (512-byte sectors) and 4
// (4096-byte sectors) and creates version 3 files.
//
// Objects and lifetime. Every object is reference counted: the function or member that
// hands one out gives it with one reference, AddRef adds one, Release drops one and
// destroys the object at zero. A child keeps the compound file open; the disk file is
// closed when the last object of the file is released.
//
// Names are 8-bit code page 936 (GBK) text, converted to the format's UTF-16 names; a
// name holds 1 to 31 UTF-16 characters and none of / \ : !. Names compare as the format
// orders them: shorter first, then by upper-cased UTF-16 code units.
//
// Direct mode. Changes are made in the object tree at once and reach the disk when a
// storage's Commit is called or the last object of the file is released. A commit never
// tears the file: changed sectors go to free or new sectors, then the header is written
// last between two fsync calls, so an interrupted commit leaves the old content.
//
// Sharing. Opening a compound file asks for access (STGM_READ, STGM_WRITE,
// STGM_READWRITE) and a share mode (STGM_SHARE_*); an open that conflicts with another
// open of the same disk file, in this process or another, fails with
// STG_E_SHAREVIOLATION. Inside one file each child element can be open once at a time
// (opening it again fails with STG_E_ACCESSDENIED), as with exclusive sharing.
//
// Results are HRESULT codes: S_OK (0) on success, a negative STG_E_* code on failure.
// Nothing throws.
#ifndef QELSHARE_STORAGE_H_
#define QELSHARE_STORAGE_H_

#include <cstdint>
#include <vector>

#include "qelshare/export.h"
#include "qelshare/types.h"

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;

inline constexpr bool SUCCEEDED(HRESULT hr) {
  return hr >= 0;
}
inline constexpr bool FAILED(HRESULT hr) {
  return hr < 0;
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001u);
inline constexpr HRESULT STG_E_FILENOTFOUND = static_cast<HRESULT>(0x80030002u);
inline constexpr HRESULT STG_E_PATHNOTFOUND = static_cast<HRESULT>(0x80030003u);
inline constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005u);
inline constexpr HRESULT STG_E_INSUFFICIENTMEMORY = static_cast<HRESULT>(0x80030008u);
inline constexpr HRESULT STG_E_INVALIDPOINTER = static_cast<HRESULT>(0x80030009u);
inline constexpr HRESULT STG_E_WRITEFAULT = static_cast<HRESULT>(0x8003001Du);
inline constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001Eu);
inline constexpr HRESULT STG_E_SHAREVIOLATION = static_cast<HRESULT>(0x80030020u);
inline constexpr HRESULT STG_E_FILEALREADYEXISTS = static_cast<HRESULT>(0x80030050u);
inline constexpr HRESULT STG_E_INVALIDPARAMETER = static_cast<HRESULT>(0x80030057u);
inline constexpr HRESULT STG_E_MEDIUMFULL = static_cast<HRESULT>(0x80030070u);
inline constexpr HRESULT STG_E_INVALIDHEADER = static_cast<HRESULT>(0x800300FBu);
inline constexpr HRESULT STG_E_INVALIDNAME = static_cast<HRESULT>(0x800300FCu);
inline constexpr HRESULT STG_E_INVALIDFLAG = static_cast<HRESULT>(0x800300FFu);
inline constexpr HRESULT STG_E_REVERTED = static_cast<HRESULT>(0x80030102u);
inline constexpr HRESULT STG_E_DOCFILECORRUPT = static_cast<HRESULT>(0x80030109u);

// Access, sharing and creation flags of the open and create calls.
inline constexpr DWORD STGM_READ = 0x0;
inline constexpr DWORD STGM_WRITE = 0x1;
inline constexpr DWORD STGM_READWRITE = 0x2;
inline constexpr DWORD STGM_SHARE_DENY_NONE = 0x40;
inline constexpr DWORD STGM_SHARE_DENY_READ = 0x30;
inline constexpr DWORD STGM_SHARE_DENY_WRITE = 0x20;
inline constexpr DWORD STGM_SHARE_EXCLUSIVE = 0x10;
inline constexpr DWORD STGM_DIRECT = 0x0;
inline constexpr DWORD STGM_FAILIFTHERE = 0x0;
inline constexpr DWORD STGM_CREATE = 0x1000;
inline constexpr DWORD STGM_TRANSACTED = 0x10000;

// Element types of tagSTATSTG::type.
inline constexpr DWORD STGTY_STORAGE = 1;
inline constexpr DWORD STGTY_STREAM = 2;
inline constexpr DWORD STGTY_ROOT = 5;

// Flags of Stat: STATFLAG_NONAME leaves tagSTATSTG::name empty.
inline constexpr DWORD STATFLAG_DEFAULT = 0;
inline constexpr DWORD STATFLAG_NONAME = 1;

// Origins of IStream::Seek.
inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;

// What Stat and EnumElements tell about an element.
struct tagSTATSTG {
  CString name;              // GBK; characters without a GBK form read as '?'
  DWORD type = 0;            // STGTY_STORAGE, STGTY_STREAM or STGTY_ROOT
  std::uint64_t cbSize = 0;  // bytes of a stream; 0 for storages
  std::uint64_t mtime = 0;   // modification time (FILETIME ticks) of a storage, else 0
  std::uint64_t ctime = 0;   // creation time (FILETIME ticks) of a storage, else 0
  DWORD grfMode = 0;         // the mode the element was opened with (0 in enumerations)
  DWORD grfStateBits = 0;
  _GUID clsid{};
};
using STATSTG = tagSTATSTG;

// A stream: a byte sequence with a seek pointer.
class QELSHARE_API IStream {
 public:
  // Reference counting (see the header comment); Release returns the count left.
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

  // Reads up to cb bytes at the seek pointer into pv and advances it; *pcbRead (when not
  // null) receives the count, less than cb only at the end of the stream.
  virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
  // Writes cb bytes at the seek pointer, growing the stream as needed (a gap after the
  // old end reads as zeros), and advances the pointer. STG_E_ACCESSDENIED on a stream
  // opened for reading only.
  virtual HRESULT Write(void const* pv, ULONG cb, ULONG* pcbWritten) = 0;
  // Moves the seek pointer by move from STREAM_SEEK_SET/CUR/END; *newPosition (when not
  // null) receives the new position. A position before 0 is STG_E_INVALIDFUNCTION.
  virtual HRESULT Seek(std::int64_t move, DWORD origin, std::uint64_t* newPosition) = 0;
  // Cuts or extends (with zeros) the stream to size bytes; the seek pointer stays.
  virtual HRESULT SetSize(std::uint64_t size) = 0;
  // Fills *stat (type STGTY_STREAM, cbSize, name unless STATFLAG_NONAME).
  virtual HRESULT Stat(tagSTATSTG* stat, DWORD flags) = 0;

 protected:
  virtual ~IStream() = default;
};

// A storage: named child storages and streams.
class QELSHARE_API IStorage {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

  // Creates the stream name. With STGM_CREATE an existing element of that name is
  // destroyed first (create-or-replace); without it an existing name is
  // STG_E_FILEALREADYEXISTS. The new stream is empty and open with mode.
  virtual HRESULT CreateStream(char const* name, DWORD mode, IStream** stream) = 0;
  // Opens the existing stream name with mode; STG_E_FILENOTFOUND when there is none.
  virtual HRESULT OpenStream(char const* name, DWORD mode, IStream** stream) = 0;
  // As CreateStream, for a child storage.
  virtual HRESULT CreateStorage(char const* name, DWORD mode, IStorage** storage) = 0;
  // As OpenStream, for a child storage.
  virtual HRESULT OpenStorage(char const* name, DWORD mode, IStorage** storage) = 0;
  // Removes the element name (a storage with everything inside it).
  // STG_E_FILENOTFOUND when there is none, STG_E_ACCESSDENIED while it (or anything
  // inside it) is open.
  virtual HRESULT DestroyElement(char const* name) = 0;
  // Appends the statistics (with names) of the direct children, in the format's name
  // order, to *elements.
  virtual HRESULT EnumElements(std::vector<tagSTATSTG>* elements) = 0;
  // Fills *stat for this storage (type STGTY_ROOT for the root storage).
  virtual HRESULT Stat(tagSTATSTG* stat, DWORD flags) = 0;
  // Writes every change of the compound file to disk (whatever storage it is called on)
  // as one untearable update; S_OK when there was nothing to write.
  virtual HRESULT Commit(DWORD flags) = 0;

 protected:
  virtual ~IStorage() = default;
};

extern "C" {

// Opens the existing compound file path (GBK) with mode (access, share mode;
// STGM_TRANSACTED is not supported). STG_E_FILENOTFOUND when it does not exist,
// STG_E_INVALIDHEADER or STG_E_DOCFILECORRUPT when it is not a sound compound file,
// STG_E_SHAREVIOLATION when another open holds it.
QELSHARE_API HRESULT StgOpenStorage(char const* path, DWORD mode, IStorage** storage);

// Creates a new, empty compound file (version 3) at path and opens its root storage
// with mode. With STGM_CREATE an existing file is replaced; without it an existing file
// is STG_E_FILEALREADYEXISTS.
QELSHARE_API HRESULT StgCreateDocfile(char const* path, DWORD mode, IStorage** storage);

}  // extern "C"

#endif  // QELSHARE_STORAGE_H_
