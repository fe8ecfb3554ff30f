#include "platform/storage/compound_file.h"

#include <algorithm>
#include <cstring>

namespace qel::storage {
namespace {

constexpr std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) {
  return (a + b - 1) / b;
}

// Largest sector table we build: keeps files within what 32-bit sector numbers address.
constexpr std::size_t kMaxSectors = 0x7FFFFFF0;

// What an open asks: writing (every open reads) and what it denies to other opens.
struct Access {
  bool write, deny_read, deny_write;
};

Access AccessOf(DWORD mode) {
  Access a{};
  DWORD rw = mode & 3;
  a.write = rw == STGM_WRITE || rw == STGM_READWRITE;
  switch (mode & 0x70) {
    case STGM_SHARE_EXCLUSIVE:
      a.deny_read = a.deny_write = true;
      break;
    case STGM_SHARE_DENY_READ:
      a.deny_read = true;
      break;
    case STGM_SHARE_DENY_WRITE:
      a.deny_write = true;
      break;
    default:
      break;
  }
  return a;
}

HRESULT FromOpen(DiskFile::OpenResult r) {
  switch (r) {
    case DiskFile::OpenResult::kOk:
      return S_OK;
    case DiskFile::OpenResult::kNotFound:
      return STG_E_FILENOTFOUND;
    case DiskFile::OpenResult::kExists:
      return STG_E_FILEALREADYEXISTS;
    case DiskFile::OpenResult::kDenied:
      return STG_E_ACCESSDENIED;
    case DiskFile::OpenResult::kShared:
      return STG_E_SHAREVIOLATION;
    case DiskFile::OpenResult::kError:
      break;
  }
  return STG_E_READFAULT;
}

}  // namespace

HRESULT CompoundFile::Open(std::string const& path, DWORD mode,
                           std::shared_ptr<CompoundFile>* out) {
  if ((mode & 3) == 3 || (mode & STGM_TRANSACTED) != 0 || (mode & 0x70) > 0x40) {
    return STG_E_INVALIDFLAG;
  }
  Access a = AccessOf(mode);
  std::shared_ptr<CompoundFile> f(new CompoundFile());
  HRESULT hr =
      FromOpen(f->disk_.Open(path, a.write, a.deny_read, a.deny_write, false, false, false));
  if (FAILED(hr)) return hr;
  f->writable_ = a.write;
  hr = f->Load();
  if (FAILED(hr)) {
    f->writable_ = false;
    return hr;
  }
  *out = std::move(f);
  return S_OK;
}

HRESULT CompoundFile::Create(std::string const& path, DWORD mode,
                             std::shared_ptr<CompoundFile>* out, std::uint16_t major) {
  if ((mode & 3) == 3 || (mode & STGM_TRANSACTED) != 0 || (mode & 0x70) > 0x40) {
    return STG_E_INVALIDFLAG;
  }
  Access a = AccessOf(mode);
  bool replace = (mode & STGM_CREATE) != 0;
  std::shared_ptr<CompoundFile> f(new CompoundFile());
  // The file is written whatever the access asked: a new file needs its first header.
  HRESULT hr =
      FromOpen(f->disk_.Open(path, true, a.deny_read, a.deny_write, true, !replace, replace));
  if (FAILED(hr)) return hr;
  f->writable_ = true;
  f->InitEmpty(major == 4 ? 4 : 3);
  hr = f->Commit();
  if (FAILED(hr)) {
    f->writable_ = false;
    return hr;
  }
  f->writable_ = a.write;
  *out = std::move(f);
  return S_OK;
}

CompoundFile::~CompoundFile() {
  if (writable_ && dirty_ && !broken_) CommitAndCompact();
}

void CompoundFile::InitEmpty(std::uint16_t major) {
  major_ = major;
  shift_ = major == 4 ? 12 : 9;
  DirEntry root;
  root.name = u"Root Entry";
  root.type = kRoot;
  root.color = kBlack;
  dir_.assign(1, root);
  parent_.assign(1, kNoStream);
  dirty_ = true;
}

HRESULT CompoundFile::ReadSectors(std::vector<std::uint32_t> const& sectors,
                                  std::vector<unsigned char>* out) {
  std::size_t ssz = SectorSize();
  out->resize(sectors.size() * ssz);
  std::size_t i = 0;
  while (i < sectors.size()) {
    std::size_t j = i + 1;
    while (j < sectors.size() && sectors[j] == sectors[j - 1] + 1) ++j;
    if (!disk_.ReadAt(SectorOffset(sectors[i]), out->data() + i * ssz, (j - i) * ssz)) {
      return STG_E_READFAULT;
    }
    i = j;
  }
  return S_OK;
}

HRESULT CompoundFile::WalkChain(std::vector<std::uint32_t> const& table, std::uint32_t start,
                                std::uint64_t count, std::vector<std::uint32_t>* chain) {
  chain->clear();
  // A sound chain visits each sector once, so it is never longer than its table.
  if (count > table.size()) return STG_E_DOCFILECORRUPT;
  // Stamps of this walk mark the sectors seen, without clearing a table-sized bitmap.
  if (walk_marks_.size() < table.size()) walk_marks_.resize(table.size(), 0);
  if (++walk_epoch_ == 0) {
    std::fill(walk_marks_.begin(), walk_marks_.end(), 0);
    walk_epoch_ = 1;
  }
  chain->reserve(count);
  std::uint32_t s = start;
  for (std::uint64_t k = 0; k < count; ++k) {
    if (s >= table.size() || walk_marks_[s] == walk_epoch_) return STG_E_DOCFILECORRUPT;
    walk_marks_[s] = walk_epoch_;
    chain->push_back(s);
    s = table[s];
  }
  return S_OK;
}

HRESULT CompoundFile::Load() {
  std::vector<unsigned char> head(kHeaderSize);
  if (!disk_.ReadAt(0, head.data(), head.size())) return STG_E_READFAULT;
  std::uint64_t file_size = disk_.Size();
  if (file_size < kHeaderSize) return STG_E_INVALIDHEADER;
  Header h;
  if (!ParseHeader(head.data(), &h)) return STG_E_INVALIDHEADER;
  major_ = h.major;
  shift_ = h.sector_shift;
  std::uint32_t ssz = SectorSize();
  std::uint32_t per = ssz / 4;
  if (file_size < ssz) return STG_E_INVALIDHEADER;
  std::uint64_t file_sectors = CeilDiv(file_size - ssz, ssz);
  if (file_sectors >= kMaxSectors) return STG_E_DOCFILECORRUPT;
  std::vector<std::uint8_t> metadata(file_sectors, 0);
  auto claim = [&](std::uint32_t s) {
    if (s >= file_sectors || metadata[s]) return false;
    metadata[s] = 1;
    return true;
  };

  // FAT sectors: the header's 109, then the DIFAT chain.
  if (h.fat_sectors > file_sectors || h.difat_sectors > file_sectors) {
    return STG_E_DOCFILECORRUPT;
  }
  std::vector<std::uint32_t> fat_sectors;
  for (std::size_t i = 0; i < kHeaderDifatEntries && fat_sectors.size() < h.fat_sectors; ++i) {
    fat_sectors.push_back(h.difat[i]);
  }
  std::vector<std::uint32_t> difat_sectors;
  std::uint32_t next = h.first_difat;
  std::vector<unsigned char> buf(ssz);
  while (fat_sectors.size() < h.fat_sectors) {
    if (difat_sectors.size() >= h.difat_sectors || !claim(next)) return STG_E_DOCFILECORRUPT;
    difat_sectors.push_back(next);
    if (!disk_.ReadAt(SectorOffset(next), buf.data(), ssz)) return STG_E_READFAULT;
    for (std::uint32_t i = 0; i + 1 < per && fat_sectors.size() < h.fat_sectors; ++i) {
      fat_sectors.push_back(Get32(buf.data() + 4 * i));
    }
    next = Get32(buf.data() + 4 * (per - 1));
  }
  for (std::uint32_t s : fat_sectors) {
    if (!claim(s)) return STG_E_DOCFILECORRUPT;
  }
  std::vector<unsigned char> bytes;
  HRESULT hr = ReadSectors(fat_sectors, &bytes);
  if (FAILED(hr)) return hr;
  fat_.resize(bytes.size() / 4);
  for (std::size_t i = 0; i < fat_.size(); ++i) fat_[i] = Get32(bytes.data() + 4 * i);
  // Entries beyond the file describe nothing; sectors beyond the FAT are free.
  fat_.resize(file_sectors, kFreeSector);

  // Directory and mini FAT chains, each bounded by the FAT.
  auto follow = [&](std::uint32_t start, std::vector<std::uint32_t>* chain) -> HRESULT {
    chain->clear();
    std::uint32_t s = start;
    while (s != kEndOfChain) {
      if (chain->size() >= fat_.size() || !claim(s)) return STG_E_DOCFILECORRUPT;
      chain->push_back(s);
      s = fat_[s];
    }
    return S_OK;
  };
  std::vector<std::uint32_t> dir_chain;
  hr = follow(h.first_dir, &dir_chain);
  if (FAILED(hr)) return hr;
  if (dir_chain.empty()) return STG_E_DOCFILECORRUPT;
  hr = ReadSectors(dir_chain, &bytes);
  if (FAILED(hr)) return hr;
  std::size_t entries = bytes.size() / kDirEntrySize;
  dir_.resize(entries);
  for (std::size_t i = 0; i < entries; ++i) {
    dir_[i] = ParseDirEntry(bytes.data() + i * kDirEntrySize, major_ == 3);
  }
  if (dir_[0].type != kRoot) return STG_E_DOCFILECORRUPT;

  std::vector<std::uint32_t> minifat_chain;
  if (h.minifat_sectors > 0 || h.first_minifat != kEndOfChain) {
    hr = follow(h.first_minifat, &minifat_chain);
    if (FAILED(hr)) return hr;
  }
  hr = ReadSectors(minifat_chain, &bytes);
  if (FAILED(hr)) return hr;
  minifat_.resize(bytes.size() / 4);
  for (std::size_t i = 0; i < minifat_.size(); ++i) minifat_[i] = Get32(bytes.data() + 4 * i);

  // The directory must be a tree: every link in range and every entry reached once.
  parent_.assign(entries, kNoStream);
  std::vector<std::uint8_t> seen(entries, 0);
  seen[0] = 1;
  struct Item {
    std::uint32_t id, parent;
  };
  std::vector<Item> todo;
  if (dir_[0].child != kNoStream) todo.push_back({dir_[0].child, 0});
  while (!todo.empty()) {
    Item it = todo.back();
    todo.pop_back();
    if (it.id >= entries || seen[it.id]) return STG_E_DOCFILECORRUPT;
    DirEntry const& e = dir_[it.id];
    if (e.type != kStorage && e.type != kStream) return STG_E_DOCFILECORRUPT;
    seen[it.id] = 1;
    parent_[it.id] = it.parent;
    if (e.left != kNoStream) todo.push_back({e.left, it.parent});
    if (e.right != kNoStream) todo.push_back({e.right, it.parent});
    if (e.type == kStorage && e.child != kNoStream) todo.push_back({e.child, it.id});
  }
  // Entries outside the tree are unreachable leftovers: their slots are free.
  for (std::size_t i = 1; i < entries; ++i) {
    if (!seen[i]) dir_[i] = DirEntry();
  }
  // Streams never have children; a damaged child link is dropped on the next commit.
  for (std::size_t i = 1; i < entries; ++i) {
    if (dir_[i].type == kStream) dir_[i].child = kNoStream;
  }

  meta_sectors_.clear();
  for (auto const* list : {&fat_sectors, &difat_sectors, &dir_chain, &minifat_chain}) {
    meta_sectors_.insert(meta_sectors_.end(), list->begin(), list->end());
  }
  fat_committed_.assign(fat_.size(), 0);
  for (std::size_t s = 0; s < fat_.size(); ++s) fat_committed_[s] = fat_[s] != kFreeSector;
  for (std::uint32_t s : meta_sectors_) fat_committed_[s] = 1;
  mini_committed_.assign(minifat_.size(), 0);
  for (std::size_t m = 0; m < minifat_.size(); ++m) {
    mini_committed_[m] = minifat_[m] != kFreeSector;
  }
  return S_OK;
}

HRESULT CompoundFile::Fail(HRESULT hr) {
  // A failed write leaves the tables in memory out of step with the disk; stop here so
  // that nothing half-made is ever committed.
  broken_ = true;
  return hr;
}

// --- Directory --------------------------------------------------------------------

std::map<std::u16string, std::uint32_t, NameLess>& CompoundFile::Kids(std::uint32_t storage) {
  auto it = kids_.find(storage);
  if (it != kids_.end()) return it->second;
  auto& kids = kids_[storage];
  std::vector<std::uint32_t> todo;
  if (dir_[storage].child != kNoStream) todo.push_back(dir_[storage].child);
  while (!todo.empty()) {
    std::uint32_t id = todo.back();
    todo.pop_back();
    kids.emplace(dir_[id].name, id);
    if (dir_[id].left != kNoStream) todo.push_back(dir_[id].left);
    if (dir_[id].right != kNoStream) todo.push_back(dir_[id].right);
  }
  return kids;
}

HRESULT CompoundFile::Find(std::uint32_t storage, std::u16string const& name, std::uint32_t* id) {
  if (broken_) return STG_E_REVERTED;
  auto it = kids_.find(storage);
  if (it != kids_.end()) {
    auto k = it->second.find(name);
    if (k == it->second.end()) return STG_E_FILENOTFOUND;
    *id = k->second;
    return S_OK;
  }
  // The loaded tree is a tree (checked at open), so the descent ends.
  std::uint32_t at = dir_[storage].child;
  while (at != kNoStream) {
    int c = CompareNames(name, dir_[at].name);
    if (c == 0) {
      *id = at;
      return S_OK;
    }
    at = c < 0 ? dir_[at].left : dir_[at].right;
  }
  return STG_E_FILENOTFOUND;
}

HRESULT CompoundFile::Children(std::uint32_t storage, std::vector<std::uint32_t>* ids) {
  if (broken_) return STG_E_REVERTED;
  for (auto const& [name, id] : Kids(storage)) ids->push_back(id);
  return S_OK;
}

HRESULT CompoundFile::Add(std::uint32_t storage, std::u16string const& name, std::uint8_t type,
                          std::uint32_t* id) {
  if (broken_) return STG_E_REVERTED;
  if (!writable_) return STG_E_ACCESSDENIED;
  auto& kids = Kids(storage);
  if (kids.count(name) != 0) return STG_E_FILEALREADYEXISTS;
  while (entry_hint_ < dir_.size() && dir_[entry_hint_].type != kUnused) ++entry_hint_;
  if (entry_hint_ == dir_.size()) {
    if (dir_.size() >= kNoStream / 2) return STG_E_MEDIUMFULL;
    dir_.emplace_back();
    parent_.push_back(kNoStream);
  }
  std::uint32_t at = entry_hint_++;
  DirEntry e;
  e.name = name;
  e.type = type;
  dir_[at] = e;
  parent_[at] = storage;
  kids.emplace(name, at);
  dirty_ = true;
  *id = at;
  return S_OK;
}

HRESULT CompoundFile::Remove(std::uint32_t storage, std::uint32_t id) {
  if (broken_) return STG_E_REVERTED;
  if (!writable_) return STG_E_ACCESSDENIED;
  Kids(storage).erase(dir_[id].name);
  dirty_ = true;
  std::vector<std::uint32_t> todo{id};
  while (!todo.empty()) {
    std::uint32_t at = todo.back();
    todo.pop_back();
    if (dir_[at].type == kStorage) {
      std::vector<std::uint32_t> inner;
      Children(at, &inner);
      todo.insert(todo.end(), inner.begin(), inner.end());
      kids_.erase(at);
    } else if (dir_[at].type == kStream) {
      HRESULT hr = Truncate(at, IsMini(dir_[at]), 0);
      // A stream whose chain is damaged keeps its sectors; the entry still goes.
      if (hr == STG_E_DOCFILECORRUPT) hr = S_OK;
      if (FAILED(hr)) return Fail(hr);
    }
    chains_.erase(at);
    dir_[at] = DirEntry();
    parent_[at] = kNoStream;
    entry_hint_ = std::min(entry_hint_, at);
  }
  return S_OK;
}

void CompoundFile::MarkClosed(std::uint32_t id) {
  auto it = open_.find(id);
  if (it != open_.end() && --it->second == 0) open_.erase(it);
}

bool CompoundFile::HasOpenInside(std::uint32_t id) const {
  for (auto const& [open_id, count] : open_) {
    for (std::uint32_t at = open_id, steps = 0; at != kNoStream && steps <= dir_.size();
         at = parent_[at], ++steps) {
      if (at == id) return true;
    }
  }
  return false;
}

// --- Sector allocation ------------------------------------------------------------

std::uint32_t CompoundFile::Alloc(std::uint32_t mark) {
  while (alloc_hint_ < fat_.size() &&
         (fat_[alloc_hint_] != kFreeSector || Committed(alloc_hint_))) {
    ++alloc_hint_;
  }
  if (alloc_hint_ == fat_.size()) {
    if (fat_.size() >= kMaxSectors) return kFreeSector;
    fat_.push_back(kFreeSector);
  }
  fat_[alloc_hint_] = mark;
  return alloc_hint_++;
}

std::uint32_t CompoundFile::AllocMini() {
  while (mini_hint_ < minifat_.size() &&
         (minifat_[mini_hint_] != kFreeSector || MiniCommitted(mini_hint_))) {
    ++mini_hint_;
  }
  if (mini_hint_ == minifat_.size()) {
    if (minifat_.size() >= kMaxSectors) return kFreeSector;
    minifat_.push_back(kFreeSector);
  }
  minifat_[mini_hint_] = kEndOfChain;
  return mini_hint_++;
}

void CompoundFile::FreeSector(std::uint32_t s) {
  if (s >= fat_.size()) return;
  fat_[s] = kFreeSector;
  if (!Committed(s)) alloc_hint_ = std::min(alloc_hint_, s);
}

void CompoundFile::FreeMini(std::uint32_t m) {
  if (m >= minifat_.size()) return;
  minifat_[m] = kFreeSector;
  if (!MiniCommitted(m)) mini_hint_ = std::min(mini_hint_, m);
}

// --- Stream data ------------------------------------------------------------------

HRESULT CompoundFile::GetChain(std::uint32_t id, std::vector<std::uint32_t>** chain) {
  auto it = chains_.find(id);
  if (it != chains_.end()) {
    *chain = &it->second;
    return S_OK;
  }
  DirEntry const& e = dir_[id];
  std::vector<std::uint32_t> walked;
  bool mini = IsMini(e);
  std::uint64_t unit = mini ? kMiniSectorSize : SectorSize();
  HRESULT hr = WalkChain(mini ? minifat_ : fat_, e.start, CeilDiv(e.size, unit), &walked);
  if (FAILED(hr)) return hr;
  if (mini) {
    // Mini sectors must lie inside the mini stream.
    std::uint64_t capacity = dir_[0].size / kMiniSectorSize;
    for (std::uint32_t m : walked) {
      if (m >= capacity) return STG_E_DOCFILECORRUPT;
    }
  }
  auto [pos, added] = chains_.emplace(id, std::move(walked));
  *chain = &pos->second;
  return S_OK;
}

HRESULT CompoundFile::CheckStream(std::uint32_t id) {
  if (broken_) return STG_E_REVERTED;
  std::vector<std::uint32_t>* chain = nullptr;
  HRESULT hr = GetChain(id, &chain);
  if (FAILED(hr)) return hr;
  if (IsMini(dir_[id])) return GetChain(0, &chain);
  return S_OK;
}

HRESULT CompoundFile::ReadRegular(std::vector<std::uint32_t> const& chain, std::uint64_t offset,
                                  unsigned char* buf, std::size_t n) {
  std::uint32_t ssz = SectorSize();
  while (n > 0) {
    std::uint64_t k = offset >> shift_;
    if (k >= chain.size()) return STG_E_DOCFILECORRUPT;
    std::uint32_t within = static_cast<std::uint32_t>(offset & (ssz - 1));
    // Extend the run over physically consecutive sectors.
    std::size_t len = std::min<std::size_t>(n, ssz - within);
    std::uint64_t j = k + 1;
    while (len < n && j < chain.size() && chain[j] == chain[j - 1] + 1) {
      len += std::min<std::size_t>(n - len, ssz);
      ++j;
    }
    if (!disk_.ReadAt(SectorOffset(chain[k]) + within, buf, len)) return STG_E_READFAULT;
    buf += len;
    offset += len;
    n -= len;
  }
  return S_OK;
}

HRESULT CompoundFile::ReadForm(std::uint32_t id, bool mini, std::uint64_t offset,
                               unsigned char* buf, std::size_t n) {
  std::vector<std::uint32_t>* chain = nullptr;
  HRESULT hr = GetChain(id, &chain);
  if (FAILED(hr)) return hr;
  if (!mini) return ReadRegular(*chain, offset, buf, n);
  std::vector<std::uint32_t>* stream = nullptr;
  hr = GetChain(0, &stream);
  if (FAILED(hr)) return hr;
  while (n > 0) {
    std::uint64_t k = offset / kMiniSectorSize;
    if (k >= chain->size()) return STG_E_DOCFILECORRUPT;
    std::size_t within = offset % kMiniSectorSize;
    std::size_t len = std::min<std::size_t>(n, kMiniSectorSize - within);
    std::uint64_t j = k + 1;
    while (len < n && j < chain->size() && (*chain)[j] == (*chain)[j - 1] + 1) {
      len += std::min<std::size_t>(n - len, kMiniSectorSize);
      ++j;
    }
    hr = ReadRegular(*stream, static_cast<std::uint64_t>((*chain)[k]) * kMiniSectorSize + within,
                     buf, len);
    if (FAILED(hr)) return hr;
    buf += len;
    offset += len;
    n -= len;
  }
  return S_OK;
}

HRESULT CompoundFile::Read(std::uint32_t id, std::uint64_t offset, void* buf, std::size_t n,
                           std::size_t* got) {
  *got = 0;
  if (broken_) return STG_E_REVERTED;
  std::uint64_t size = dir_[id].size;
  if (offset >= size || n == 0) return S_OK;
  n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size - offset));
  HRESULT hr = ReadForm(id, IsMini(dir_[id]), offset, static_cast<unsigned char*>(buf), n);
  if (FAILED(hr)) return hr;
  *got = n;
  return S_OK;
}

HRESULT CompoundFile::WriteRegular(std::uint32_t id, std::vector<std::uint32_t>& chain,
                                   std::uint64_t offset, unsigned char const* buf, std::size_t n) {
  std::uint32_t ssz = SectorSize();
  std::vector<unsigned char> sector;
  // A pending run of consecutive sectors written from consecutive input bytes.
  std::uint64_t run_at = 0;
  unsigned char const* run_from = nullptr;
  std::size_t run_len = 0;
  std::uint32_t run_next = 0;
  auto flush = [&]() {
    bool ok = run_len == 0 || disk_.WriteAt(run_at, run_from, run_len);
    run_len = 0;
    return ok;
  };
  while (n > 0) {
    std::uint64_t k = offset >> shift_;
    std::size_t within = static_cast<std::size_t>(offset & (ssz - 1));
    std::size_t len = std::min<std::size_t>(n, ssz - within);
    bool whole = within == 0 && len == ssz;
    std::uint32_t s;
    bool relocated_partial = false;
    if (k > chain.size()) return STG_E_DOCFILECORRUPT;
    if (k == chain.size()) {
      s = Alloc(kEndOfChain);
      if (s == kFreeSector) return STG_E_MEDIUMFULL;
      if (chain.empty()) {
        dir_[id].start = s;
      } else {
        fat_[chain.back()] = s;
      }
      chain.push_back(s);
    } else if (Committed(chain[k])) {
      std::uint32_t old = chain[k];
      s = Alloc(fat_[old]);
      if (s == kFreeSector) return STG_E_MEDIUMFULL;
      if (!whole) {
        sector.resize(ssz);
        if (!disk_.ReadAt(SectorOffset(old), sector.data(), ssz)) return STG_E_READFAULT;
        relocated_partial = true;
      }
      if (k == 0) {
        dir_[id].start = s;
      } else {
        fat_[chain[k - 1]] = s;
      }
      fat_[old] = kFreeSector;
      chain[k] = s;
    } else {
      s = chain[k];
    }
    dirty_ = true;
    if (relocated_partial) {
      if (!flush()) return STG_E_WRITEFAULT;
      std::memcpy(sector.data() + within, buf, len);
      if (!disk_.WriteAt(SectorOffset(s), sector.data(), ssz)) return STG_E_WRITEFAULT;
    } else if (run_len > 0 && within == 0 && s == run_next && (run_len + run_at) % ssz == 0) {
      run_len += len;
      run_next = s + 1;
    } else {
      if (!flush()) return STG_E_WRITEFAULT;
      run_at = SectorOffset(s) + within;
      run_from = buf;
      run_len = len;
      run_next = s + 1;
    }
    buf += len;
    offset += len;
    n -= len;
  }
  return flush() ? S_OK : STG_E_WRITEFAULT;
}

HRESULT CompoundFile::WriteMini(std::uint32_t id, std::vector<std::uint32_t>& chain,
                                std::uint64_t offset, unsigned char const* buf, std::size_t n) {
  std::vector<std::uint32_t>* stream = nullptr;
  HRESULT hr = GetChain(0, &stream);
  if (FAILED(hr)) return hr;
  unsigned char piece[kMiniSectorSize];
  while (n > 0) {
    std::uint64_t k = offset / kMiniSectorSize;
    std::size_t within = offset % kMiniSectorSize;
    std::size_t len = std::min<std::size_t>(n, kMiniSectorSize - within);
    std::uint32_t m;
    bool keep_old = false;
    if (k > chain.size()) return STG_E_DOCFILECORRUPT;
    if (k == chain.size()) {
      m = AllocMini();
      if (m == kFreeSector) return STG_E_MEDIUMFULL;
      if (chain.empty()) {
        dir_[id].start = m;
      } else {
        minifat_[chain.back()] = m;
      }
      chain.push_back(m);
    } else if (MiniCommitted(chain[k])) {
      std::uint32_t old = chain[k];
      m = AllocMini();
      if (m == kFreeSector) return STG_E_MEDIUMFULL;
      minifat_[m] = minifat_[old];
      if (len != kMiniSectorSize) {
        hr = ReadRegular(*stream, static_cast<std::uint64_t>(old) * kMiniSectorSize, piece,
                         kMiniSectorSize);
        if (FAILED(hr)) return hr;
        keep_old = true;
      }
      if (k == 0) {
        dir_[id].start = m;
      } else {
        minifat_[chain[k - 1]] = m;
      }
      minifat_[old] = kFreeSector;
      chain[k] = m;
    } else {
      m = chain[k];
    }
    dirty_ = true;
    std::uint64_t at = static_cast<std::uint64_t>(m) * kMiniSectorSize;
    // The mini stream grows a whole mini sector at a time.
    if (at + kMiniSectorSize > dir_[0].size) {
      std::uint64_t old_size = dir_[0].size;
      std::vector<unsigned char> zeros(static_cast<std::size_t>(at + kMiniSectorSize - old_size));
      hr = WriteRegular(0, *stream, old_size, zeros.data(), zeros.size());
      if (FAILED(hr)) return hr;
      dir_[0].size = at + kMiniSectorSize;
    }
    if (keep_old) {
      std::memcpy(piece + within, buf, len);
      hr = WriteRegular(0, *stream, at, piece, kMiniSectorSize);
    } else {
      hr = WriteRegular(0, *stream, at + within, buf, len);
    }
    if (FAILED(hr)) return hr;
    buf += len;
    offset += len;
    n -= len;
  }
  return S_OK;
}

HRESULT CompoundFile::WriteForm(std::uint32_t id, bool mini, std::uint64_t offset,
                                unsigned char const* buf, std::size_t n) {
  std::vector<std::uint32_t>* chain = nullptr;
  HRESULT hr = GetChain(id, &chain);
  if (FAILED(hr)) return hr;
  return mini ? WriteMini(id, *chain, offset, buf, n) : WriteRegular(id, *chain, offset, buf, n);
}

HRESULT CompoundFile::ZeroFill(std::uint32_t id, bool mini, std::uint64_t offset, std::uint64_t n) {
  static unsigned char const kZeros[65536] = {};
  while (n > 0) {
    std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(n, sizeof kZeros));
    HRESULT hr = WriteForm(id, mini, offset, kZeros, len);
    if (FAILED(hr)) return hr;
    offset += len;
    n -= len;
  }
  return S_OK;
}

HRESULT CompoundFile::Truncate(std::uint32_t id, bool mini, std::uint64_t size) {
  std::vector<std::uint32_t>* chain = nullptr;
  HRESULT hr = GetChain(id, &chain);
  if (FAILED(hr)) return hr;
  std::uint64_t keep = CeilDiv(size, mini ? kMiniSectorSize : SectorSize());
  for (std::size_t k = keep; k < chain->size(); ++k) {
    if (mini) {
      FreeMini((*chain)[k]);
    } else {
      FreeSector((*chain)[k]);
    }
  }
  if (keep < chain->size()) {
    chain->resize(keep);
    if (keep == 0) {
      dir_[id].start = kEndOfChain;
    } else if (mini) {
      minifat_[chain->back()] = kEndOfChain;
    } else {
      fat_[chain->back()] = kEndOfChain;
    }
  }
  dir_[id].size = std::min(dir_[id].size, size);
  dirty_ = true;
  return S_OK;
}

HRESULT CompoundFile::Convert(std::uint32_t id, bool to_mini) {
  std::uint64_t size = dir_[id].size;
  std::vector<unsigned char> data(static_cast<std::size_t>(size));
  HRESULT hr = ReadForm(id, !to_mini, 0, data.data(), data.size());
  if (FAILED(hr)) return hr;
  hr = Truncate(id, !to_mini, 0);
  if (FAILED(hr)) return hr;
  hr = WriteForm(id, to_mini, 0, data.data(), data.size());
  if (FAILED(hr)) return hr;
  dir_[id].size = size;
  return S_OK;
}

HRESULT CompoundFile::Write(std::uint32_t id, std::uint64_t offset, void const* buf,
                            std::size_t n) {
  if (broken_) return STG_E_REVERTED;
  if (!writable_) return STG_E_ACCESSDENIED;
  if (n == 0) return S_OK;
  std::uint64_t end = offset + n;
  if (end < offset || (major_ == 3 && end > 0xFFFFFFFFu)) return STG_E_MEDIUMFULL;
  HRESULT hr = S_OK;
  if (offset > dir_[id].size) {
    hr = SetSize(id, offset);
    if (FAILED(hr)) return hr;
  }
  bool mini = IsMini(dir_[id]);
  if (end > dir_[id].size && mini && end >= kMiniStreamCutoff) {
    hr = Convert(id, false);
    if (FAILED(hr)) return Fail(hr);
    mini = false;
  }
  hr = WriteForm(id, mini, offset, static_cast<unsigned char const*>(buf), n);
  if (FAILED(hr)) return hr == STG_E_DOCFILECORRUPT ? hr : Fail(hr);
  dir_[id].size = std::max(dir_[id].size, end);
  return S_OK;
}

HRESULT CompoundFile::SetSize(std::uint32_t id, std::uint64_t size) {
  if (broken_) return STG_E_REVERTED;
  if (!writable_) return STG_E_ACCESSDENIED;
  if (major_ == 3 && size > 0xFFFFFFFFu) return STG_E_MEDIUMFULL;
  std::uint64_t old = dir_[id].size;
  if (size == old) return S_OK;
  bool mini = IsMini(dir_[id]);
  bool target = size < kMiniStreamCutoff;
  HRESULT hr = S_OK;
  if (size < old) {
    hr = Truncate(id, mini, size);
    if (SUCCEEDED(hr) && target && !mini) hr = Convert(id, true);
  } else {
    if (mini && !target) {
      hr = Convert(id, false);
      mini = false;
    }
    if (SUCCEEDED(hr)) hr = ZeroFill(id, mini, old, size - old);
    if (SUCCEEDED(hr)) dir_[id].size = size;
  }
  if (FAILED(hr)) return hr == STG_E_DOCFILECORRUPT ? hr : Fail(hr);
  return S_OK;
}

// --- Commit -----------------------------------------------------------------------

void CompoundFile::BuildTree(std::uint32_t storage,
                             std::map<std::u16string, std::uint32_t, NameLess> const& kids) {
  std::vector<std::uint32_t> ids;
  ids.reserve(kids.size());
  for (auto const& [name, id] : kids) ids.push_back(id);
  // A tree split at medians fills every level but the last; black everywhere except a
  // red last level keeps every path's black count equal.
  int height = 0;
  for (std::size_t n = ids.size(); n > 0; n >>= 1) ++height;
  auto build = [&](auto&& self, std::size_t lo, std::size_t hi, int depth) -> std::uint32_t {
    if (lo >= hi) return kNoStream;
    std::size_t mid = lo + (hi - lo) / 2;
    DirEntry& e = dir_[ids[mid]];
    e.left = self(self, lo, mid, depth + 1);
    e.right = self(self, mid + 1, hi, depth + 1);
    e.color = (depth == height - 1 && depth > 0) ? kRed : kBlack;
    return ids[mid];
  };
  dir_[storage].child = build(build, 0, ids.size(), 0);
}

std::vector<std::uint32_t> CompoundFile::AllocChain(std::size_t count) {
  std::vector<std::uint32_t> chain;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t s = Alloc(kEndOfChain);
    if (s == kFreeSector) return {};
    if (!chain.empty()) fat_[chain.back()] = s;
    chain.push_back(s);
  }
  return chain;
}

HRESULT CompoundFile::WriteChainData(std::vector<std::uint32_t> const& chain,
                                     std::vector<unsigned char> const& data) {
  std::size_t ssz = SectorSize();
  std::size_t i = 0;
  while (i < chain.size()) {
    std::size_t j = i + 1;
    while (j < chain.size() && chain[j] == chain[j - 1] + 1) ++j;
    if (!disk_.WriteAt(SectorOffset(chain[i]), data.data() + i * ssz, (j - i) * ssz)) {
      return STG_E_WRITEFAULT;
    }
    i = j;
  }
  return S_OK;
}

HRESULT CompoundFile::Commit() {
  if (broken_) return STG_E_REVERTED;
  if (!writable_ || !dirty_) return S_OK;
  HRESULT hr = CommitAndCompact();
  if (FAILED(hr)) return Fail(hr);
  return S_OK;
}

HRESULT CompoundFile::DoCommit() {
  std::uint32_t ssz = SectorSize();
  std::uint32_t per = ssz / 4;
  // The old tables stay on disk, untouched, until the new header is down.
  for (std::uint32_t s : meta_sectors_) {
    if (s < fat_.size()) fat_[s] = kFreeSector;
  }
  alloc_hint_ = 0;
  for (auto const& [storage, kids] : kids_) BuildTree(storage, kids);

  // Directory.
  while (dir_.size() > 1 && dir_.back().type == kUnused) dir_.pop_back();
  parent_.resize(dir_.size());
  entry_hint_ = std::min<std::uint32_t>(entry_hint_, static_cast<std::uint32_t>(dir_.size()));
  std::size_t per_dir = ssz / kDirEntrySize;
  std::size_t dir_count = CeilDiv(dir_.size(), per_dir);
  std::vector<unsigned char> dir_bytes(dir_count * ssz);
  DirEntry unused;
  for (std::size_t i = 0; i < dir_count * per_dir; ++i) {
    WriteDirEntry(i < dir_.size() ? dir_[i] : unused, dir_bytes.data() + i * kDirEntrySize);
  }
  std::vector<std::uint32_t> dir_chain = AllocChain(dir_count);
  if (dir_chain.size() != dir_count) return STG_E_MEDIUMFULL;

  // Mini FAT.
  while (!minifat_.empty() && minifat_.back() == kFreeSector) minifat_.pop_back();
  std::size_t minifat_count = CeilDiv(minifat_.size(), per);
  std::vector<unsigned char> minifat_bytes(minifat_count * ssz, 0xFF);
  for (std::size_t i = 0; i < minifat_.size(); ++i) {
    Put32(minifat_bytes.data() + 4 * i, minifat_[i]);
  }
  std::vector<std::uint32_t> minifat_chain = AllocChain(minifat_count);
  if (minifat_chain.size() != minifat_count) return STG_E_MEDIUMFULL;

  // FAT and DIFAT sectors cover every sector including themselves.
  std::vector<std::uint32_t> fat_secs, difat_secs;
  auto extent = [&]() {
    std::size_t n = fat_.size();
    while (n > 0 && fat_[n - 1] == kFreeSector) --n;
    return n;
  };
  for (;;) {
    std::size_t n = extent();
    std::size_t need_fat = std::max<std::size_t>(1, CeilDiv(n, per));
    std::size_t need_difat =
        need_fat > kHeaderDifatEntries ? CeilDiv(need_fat - kHeaderDifatEntries, per - 1) : 0;
    if (fat_secs.size() >= need_fat && difat_secs.size() >= need_difat) break;
    while (fat_secs.size() < need_fat) {
      std::uint32_t s = Alloc(kFatSector);
      if (s == kFreeSector) return STG_E_MEDIUMFULL;
      fat_secs.push_back(s);
    }
    while (difat_secs.size() < need_difat) {
      std::uint32_t s = Alloc(kDifatSector);
      if (s == kFreeSector) return STG_E_MEDIUMFULL;
      difat_secs.push_back(s);
    }
  }
  std::size_t used = extent();
  std::vector<unsigned char> fat_bytes(fat_secs.size() * ssz, 0xFF);
  for (std::size_t i = 0; i < used; ++i) Put32(fat_bytes.data() + 4 * i, fat_[i]);

  Header h;
  h.major = major_;
  h.sector_shift = shift_;
  h.dir_sectors = static_cast<std::uint32_t>(dir_chain.size());
  h.fat_sectors = static_cast<std::uint32_t>(fat_secs.size());
  h.first_dir = dir_chain.front();
  h.first_minifat = minifat_chain.empty() ? kEndOfChain : minifat_chain.front();
  h.minifat_sectors = static_cast<std::uint32_t>(minifat_chain.size());
  h.first_difat = difat_secs.empty() ? kEndOfChain : difat_secs.front();
  h.difat_sectors = static_cast<std::uint32_t>(difat_secs.size());
  h.difat.fill(kFreeSector);
  for (std::size_t i = 0; i < fat_secs.size() && i < kHeaderDifatEntries; ++i) {
    h.difat[i] = fat_secs[i];
  }
  std::vector<unsigned char> difat_bytes(difat_secs.size() * ssz, 0xFF);
  for (std::size_t d = 0; d < difat_secs.size(); ++d) {
    unsigned char* p = difat_bytes.data() + d * ssz;
    for (std::size_t i = 0; i + 1 < per; ++i) {
      std::size_t f = kHeaderDifatEntries + d * (per - 1) + i;
      if (f < fat_secs.size()) Put32(p + 4 * i, fat_secs[f]);
    }
    Put32(p + 4 * (per - 1), d + 1 < difat_secs.size() ? difat_secs[d + 1] : kEndOfChain);
  }

  HRESULT hr = WriteChainData(dir_chain, dir_bytes);
  if (SUCCEEDED(hr)) hr = WriteChainData(minifat_chain, minifat_bytes);
  if (SUCCEEDED(hr)) hr = WriteChainData(fat_secs, fat_bytes);
  if (SUCCEEDED(hr)) hr = WriteChainData(difat_secs, difat_bytes);
  if (FAILED(hr)) return hr;
  std::uint64_t length = (static_cast<std::uint64_t>(used) + 1) * ssz;
  if (disk_.Size() < length && !disk_.Truncate(length)) return STG_E_WRITEFAULT;
  if (!disk_.Sync()) return STG_E_WRITEFAULT;
  std::vector<unsigned char> head(ssz, 0);
  WriteHeader(h, head.data());
  if (!disk_.WriteAt(0, head.data(), head.size()) || !disk_.Sync()) return STG_E_WRITEFAULT;

  // The new state is the committed one.
  meta_sectors_.clear();
  for (auto const* list : {&fat_secs, &difat_secs, &dir_chain, &minifat_chain}) {
    meta_sectors_.insert(meta_sectors_.end(), list->begin(), list->end());
  }
  fat_.resize(used);
  fat_committed_.assign(fat_.size(), 0);
  for (std::size_t s = 0; s < fat_.size(); ++s) fat_committed_[s] = fat_[s] != kFreeSector;
  mini_committed_.assign(minifat_.size(), 0);
  for (std::size_t m = 0; m < minifat_.size(); ++m) {
    mini_committed_[m] = minifat_[m] != kFreeSector;
  }
  alloc_hint_ = 0;
  mini_hint_ = 0;
  dirty_ = false;
  // Sectors past the new end are free: give them back (a failure only leaves slack).
  if (disk_.Size() > length) disk_.Truncate(length);
  return S_OK;
}

HRESULT CompoundFile::CommitAndCompact() {
  HRESULT hr = DoCommit();
  if (FAILED(hr)) return hr;
  // The new tables could not reuse the sectors the old state held, so after a big
  // removal they sit far out; a second pass moves them down and the file shrinks.
  std::size_t in_use = 0;
  for (std::uint32_t v : fat_) in_use += v != kFreeSector;
  if (fat_.size() > 2 * in_use + 64) {
    dirty_ = true;
    hr = DoCommit();
  }
  return hr;
}

}  // namespace qel::storage
