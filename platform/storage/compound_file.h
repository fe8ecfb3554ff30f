// One open compound file: its sector tables and directory in memory, stream data on
// disk, and the untearable commit that writes changes back.
//
// Layout in memory. The FAT, the mini FAT and the whole directory are read at open; the
// sector chain of a stream is followed only when that stream is first used, and a
// storage's children are looked up by descending its red-black tree until the storage
// is changed, when they are gathered into an ordered map. Commit lays every changed
// storage's children out again as a balanced tree and colours it.
//
// Copy on write. The sectors the file's committed state uses (data, tables, directory)
// are never written in place: a write to one goes to a free sector that the committed
// state does not use, and the chain is relinked in memory. Commit writes the new
// tables and directory to such sectors too, syncs, writes the header (the only
// in-place write), and syncs again. Until the header lands the file on disk is the old
// one; afterwards it is the new one.
//
// Damage. Open refuses a file whose header, tables or directory tree are unsound
// (sectors out of range, a chain with a cycle, an entry reached twice). A stream whose
// chain is unsound fails to open or read with STG_E_DOCFILECORRUPT; the others stay
// readable. Memory stays within a small multiple of the file's size.
#ifndef QELSHARE_PLATFORM_STORAGE_COMPOUND_FILE_H_
#define QELSHARE_PLATFORM_STORAGE_COMPOUND_FILE_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/storage/cfb_format.h"
#include "platform/storage/disk_file.h"
#include "qelshare/storage.h"

namespace qel::storage {

class CompoundFile {
 public:
  // Opens an existing file / creates a new empty one, with the access and
  // share mode bits of mode. Files are made as version 3; tests also make version 4.
  static HRESULT Open(std::string const& path, DWORD mode, std::shared_ptr<CompoundFile>* out);
  static HRESULT Create(std::string const& path, DWORD mode, std::shared_ptr<CompoundFile>* out,
                        std::uint16_t major = 3);
  // Commits what is left uncommitted; a failure here is lost (the old content stays).
  ~CompoundFile();
  CompoundFile(CompoundFile const&) = delete;
  CompoundFile& operator=(CompoundFile const&) = delete;

  bool writable() const { return writable_; }
  HRESULT Commit();

  // --- Directory. Entry 0 is the root storage.
  DirEntry const& Entry(std::uint32_t id) const { return dir_[id]; }
  // The child of storage named name; STG_E_FILENOTFOUND when there is none.
  HRESULT Find(std::uint32_t storage, std::u16string const& name, std::uint32_t* id);
  // The children of storage in name order.
  HRESULT Children(std::uint32_t storage, std::vector<std::uint32_t>* ids);
  // Adds an empty stream or storage; the name must be free.
  HRESULT Add(std::uint32_t storage, std::u16string const& name, std::uint8_t type,
              std::uint32_t* id);
  // Removes a child of storage, with everything inside it.
  HRESULT Remove(std::uint32_t storage, std::uint32_t id);

  // --- Stream data.
  HRESULT Read(std::uint32_t id, std::uint64_t offset, void* buf, std::size_t n, std::size_t* got);
  HRESULT Write(std::uint32_t id, std::uint64_t offset, void const* buf, std::size_t n);
  HRESULT SetSize(std::uint32_t id, std::uint64_t size);
  // Checks that the stream's chain is sound (done before handing out the stream).
  HRESULT CheckStream(std::uint32_t id);

  // --- Elements open as objects: each at most once; a storage with an open element
  // inside cannot be removed.
  bool IsOpen(std::uint32_t id) const { return open_.count(id) != 0; }
  void MarkOpen(std::uint32_t id) { open_[id]++; }
  void MarkClosed(std::uint32_t id);
  bool HasOpenInside(std::uint32_t id) const;

 private:
  CompoundFile() = default;
  HRESULT Load();
  void InitEmpty(std::uint16_t major);
  HRESULT DoCommit();
  HRESULT CommitAndCompact();

  bool IsMini(DirEntry const& e) const { return e.type == kStream && e.size < kMiniStreamCutoff; }
  std::uint32_t SectorSize() const { return 1u << shift_; }
  std::uint64_t SectorOffset(std::uint32_t s) const {
    return (static_cast<std::uint64_t>(s) + 1) << shift_;
  }
  HRESULT ReadSectors(std::vector<std::uint32_t> const& sectors, std::vector<unsigned char>* out);
  HRESULT WalkChain(std::vector<std::uint32_t> const& table, std::uint32_t start,
                    std::uint64_t count, std::vector<std::uint32_t>* chain);
  HRESULT GetChain(std::uint32_t id, std::vector<std::uint32_t>** chain);
  HRESULT ReadForm(std::uint32_t id, bool mini, std::uint64_t offset, unsigned char* buf,
                   std::size_t n);
  HRESULT WriteForm(std::uint32_t id, bool mini, std::uint64_t offset, unsigned char const* buf,
                    std::size_t n);
  HRESULT ReadRegular(std::vector<std::uint32_t> const& chain, std::uint64_t offset,
                      unsigned char* buf, std::size_t n);
  HRESULT WriteRegular(std::uint32_t id, std::vector<std::uint32_t>& chain, std::uint64_t offset,
                       unsigned char const* buf, std::size_t n);
  HRESULT WriteMini(std::uint32_t id, std::vector<std::uint32_t>& chain, std::uint64_t offset,
                    unsigned char const* buf, std::size_t n);
  HRESULT ZeroFill(std::uint32_t id, bool mini, std::uint64_t offset, std::uint64_t n);
  HRESULT Truncate(std::uint32_t id, bool mini, std::uint64_t size);
  HRESULT Convert(std::uint32_t id, bool to_mini);
  std::uint32_t Alloc(std::uint32_t mark);
  std::uint32_t AllocMini();
  void FreeSector(std::uint32_t s);
  void FreeMini(std::uint32_t m);
  bool Committed(std::uint32_t s) const {
    return s < fat_committed_.size() && fat_committed_[s] != 0;
  }
  bool MiniCommitted(std::uint32_t m) const {
    return m < mini_committed_.size() && mini_committed_[m] != 0;
  }
  std::map<std::u16string, std::uint32_t, NameLess>& Kids(std::uint32_t storage);
  void BuildTree(std::uint32_t storage,
                 std::map<std::u16string, std::uint32_t, NameLess> const& kids);
  HRESULT WriteChainData(std::vector<std::uint32_t> const& chain,
                         std::vector<unsigned char> const& data);
  std::vector<std::uint32_t> AllocChain(std::size_t count);
  HRESULT Fail(HRESULT hr);

  DiskFile disk_;
  bool writable_ = false;
  bool dirty_ = false;
  bool broken_ = false;
  std::uint16_t major_ = 3;
  std::uint16_t shift_ = 9;
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint8_t> fat_committed_;
  std::vector<std::uint32_t> minifat_;
  std::vector<std::uint8_t> mini_committed_;
  std::vector<DirEntry> dir_;
  std::vector<std::uint32_t> parent_;        // parent storage of each entry in the tree
  std::vector<std::uint32_t> meta_sectors_;  // tables and directory of the committed state
  std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> chains_;
  std::unordered_map<std::uint32_t, std::map<std::u16string, std::uint32_t, NameLess>> kids_;
  std::unordered_map<std::uint32_t, int> open_;
  std::uint32_t alloc_hint_ = 0;
  std::uint32_t mini_hint_ = 0;
  std::uint32_t entry_hint_ = 1;
  std::vector<std::uint32_t> walk_marks_;
  std::uint32_t walk_epoch_ = 0;
};

}  // namespace qel::storage

#endif  // QELSHARE_PLATFORM_STORAGE_COMPOUND_FILE_H_
