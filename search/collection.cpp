#include "qelshare/collection.h"

#include <algorithm>
#include <chrono>
#include <fstream>

#include "platform/fs/path.h"
#include "qelshare/CMrfCut.h"
#include "qelshare/CQel2000.h"
#include "readers/library_format.h"
#include "readers/record_format.h"
#include "search/collection_state.h"

namespace qel {
namespace search {

std::shared_ptr<Offsets const> LibraryState::Scanned() const {
  std::lock_guard lock(mutex_);
  return scanned_;
}

void LibraryState::SetScanned(std::shared_ptr<Offsets const> offsets) const {
  std::lock_guard lock(mutex_);
  if (scanned_ == nullptr) scanned_ = std::move(offsets);
}

Status LibraryState::Check() const {
  if (pg != nullptr) return Status();
  if (indexed) {
    // Every search reads the index: its open file is looked at on every call, so that pages
    // past the end of a file cut short are never touched. The record file is looked at
    // where records are read (CheckRecords). Whether a name now stands for another file
    // costs a look-up of the path, done once kCheckInterval has passed since the last.
    if (!index.Unchanged()) {
      return Status(Status::kCorrupt, info.base + library_format::kIndexExt +
                                          " changed since the library was opened; open the "
                                          "library again");
    }
    std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count();
    if (now < next_check_.load(std::memory_order_relaxed)) return Status();
    next_check_.store(now + kCheckInterval, std::memory_order_relaxed);
  }
  return CheckPaths();
}

Status LibraryState::IndexDamaged() const {
  return Status(Status::kCorrupt, "the index of " + record_file + " is damaged; run `qel index " +
                                      info.base + "` to rebuild it");
}

Status LibraryState::CheckRecords() const {
  if (pg == nullptr && indexed && !records.Unchanged()) {
    return Status(Status::kCorrupt,
                  record_file + " changed since the library was opened; open the library again");
  }
  return Status();
}

Status LibraryState::CheckPaths() const {
  fs::FileStamp now;
  if (!fs::Stamp(record_file, now) || !(now == record_stamp)) {
    return Status(Status::kCorrupt, record_file +
                                        " changed or went away since the library was opened; "
                                        "open the library again");
  }
  if (indexed) {
    std::string index_file = info.base + library_format::kIndexExt;
    if (!fs::Stamp(index_file, now) || !(now == index.stamp())) {
      return Status(Status::kCorrupt, index_file +
                                          " changed or went away since the library was "
                                          "opened; open the library again");
    }
  }
  return Status();
}

std::uint64_t LibraryState::Records() const {
  if (pg != nullptr) return pg->records();
  if (indexed) return index.records();
  if (std::shared_ptr<Offsets const> offsets = Scanned()) return offsets->size();
  std::uint64_t n = counted.load();
  return n == kUncounted ? 0 : n;
}

bool LibraryState::Counted() const {
  return indexed || pg != nullptr || Scanned() != nullptr || counted.load() != kUncounted;
}

std::uint64_t LibraryState::Start(std::uint32_t n, Offsets const* offsets) const {
  if (pg != nullptr) return 0;
  return indexed ? index.Offset(n) : (*offsets)[n];
}

bool LibraryState::Text(std::uint32_t n, Offsets const* offsets, std::string& text) const {
  std::uint64_t start = 0, end = 0;
  if (indexed) {
    // Read, not touched through the mapping, so that the records a listing shows do not
    // stay in this process's memory (see MappedFile::ReadAt).
    return index.Extent(n, start, end) && end <= record_stamp.size &&
           records.ReadAt(start, end - start, text);
  }
  if (n >= offsets->size()) return false;
  start = (*offsets)[n];
  end = n + 1 < offsets->size() ? (*offsets)[n + 1] : record_stamp.size;
  if (start > end || end > record_stamp.size) return false;
  std::ifstream in(fs::ToOs(record_file), std::ios::binary);
  if (!in.seekg(static_cast<std::streamoff>(start))) return false;
  text.resize(end - start);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  return static_cast<std::uint64_t>(in.gcount()) == end - start;
}

namespace {

std::string Entry(CStringArr& list, int i) {
  char const* s = list.Get(i);
  return s == nullptr ? std::string() : std::string(s);
}

// Opens one library into lib; the status names the file at fault.
Status OpenLibrary(std::string const& path, LibraryState& lib) {
  CQel2000 descriptor;
  int opened = descriptor.Open(path.c_str());
  std::string base = descriptor.m_strPath;
  std::string qel_file = base + library_format::kDescriptorExt;
  if (!opened) {
    fs::FileStamp stamp;
    if (fs::Stamp(base, stamp) && !fs::Stamp(qel_file, stamp)) {
      return Status(Status::kNotFound, base +
                                           " is a folder or a file, not the base path of a "
                                           "library (give BASE for BASE.qel, BASE.sor, "
                                           "BASE.mrf)");
    }
    if (!fs::Stamp(qel_file, stamp)) {
      return Status(Status::kNotFound,
                    "the library " + base + " is not found (no " + qel_file + ")");
    }
    return Status(Status::kCorrupt, qel_file + " is not a retrieval library descriptor");
  }
  if (fs::FileStamp journal; fs::Stamp(base + library_format::kBuildingExt, journal)) {
    return Status(Status::kCorrupt, "the library " + base +
                                        " was being built when its writer stopped (or is "
                                        "being built now); build it again with `qel mklib`");
  }
  CStringArr names, codes, descriptions, members;
  CByteArray types;
  if (!descriptor.GetField(&names, &codes, &types, &descriptions, &members)) {
    return Status(Status::kCorrupt,
                  "cannot read the field table " + base + library_format::kFieldTableExt);
  }
  auto table = std::make_shared<std::vector<Field>>();
  for (int i = 0; i < names.GetSize(); ++i) {
    Field f;
    f.name = Entry(names, i);
    f.type = types[static_cast<std::size_t>(i)];
    f.code = Entry(members, i).empty() ? Entry(codes, i) : Entry(members, i);
    f.description = Entry(descriptions, i);
    if (!f.group() && std::find(lib.codes.begin(), lib.codes.end(), f.code) == lib.codes.end()) {
      lib.codes.push_back(f.code);
    }
    table->push_back(std::move(f));
  }
  lib.info.base = base;
  std::size_t slash = fs::LastSeparator(base);
  lib.info.name = slash == std::string::npos ? base : base.substr(slash + 1);
  lib.info.title = std::string(library_format::Title(descriptor.m_pDesc));
  lib.info.fields = *table;
  lib.table = std::move(table);

  lib.record_file = base + library_format::kRecordExt;
  CMrfCut cut;
  if (!fs::Stamp(lib.record_file, lib.record_stamp) ||
      !cut.Open(lib.record_file.c_str(), records::kSeparator, 0)) {
    return Status(Status::kIoError, "cannot open the record file " + lib.record_file);
  }
  std::string error;
  search_index::Binding binding;
  std::string index_file = base + library_format::kIndexExt;
  fs::FileStamp index_stamp;
  if (!fs::Stamp(index_file, index_stamp)) return Status();

  if (!search_index::BindingOf(lib.record_file, binding, error)) {
    return Status(Status::kIoError, error);
  }
  if (!lib.index.Open(index_file, binding, error) || !lib.records.Open(lib.record_file, error)) {
    return Status(Status::kCorrupt, error + "; run `qel index " + base + "` to rebuild it");
  }
  // The record file read for the binding is the one mapped.
  lib.record_stamp = lib.records.stamp();
  if (lib.record_stamp.size != binding.size || lib.record_stamp.mtime_ns != binding.mtime_ns) {
    return Status(Status::kCorrupt, lib.record_file + " changed while it was opened");
  }
  lib.indexed = true;
  lib.info.indexed = true;
  return Status();
}

}  // namespace

Status ReadRecord(LibraryState const& lib, Hit const& hit, Offsets const* offsets, Record& record,
                  std::span<std::uint32_t const> ahead) {
  record = Record();
  if (Status s = lib.Check(); !s.ok()) return s;
  if (Status s = lib.CheckRecords(); !s.ok()) return s;
  records::Fields fields;
  std::string text;
  if (lib.pg != nullptr) {
    if (Status s = lib.pg->Read(hit.record, ahead, fields); !s.ok()) return s;
  } else if (!lib.Text(hit.record, offsets, text)) {
    // A record the index lists whose place is not in the record file: the index is damaged
    // there (opening it does not read every offset).
    if (lib.indexed && hit.record < lib.index.records()) return lib.IndexDamaged();
    return Status(Status::kInvalid,
                  "no record " + std::to_string(hit.record + 1) + " in " + lib.record_file);
  }
  record.library = hit.library;
  record.number = hit.record;
  record.offset = lib.Start(hit.record, offsets);
  if (lib.pg == nullptr) records::Parse(text, fields);
  for (auto& [code, value] : fields) {
    FieldValue& f = record.fields.emplace_back();
    for (Field const& def : *lib.table) {
      if (!def.group() && def.code == code) {
        f.name = def.name;
        break;
      }
    }
    f.code = std::move(code);
    f.value = std::move(value);
  }
  record.table = lib.table;
  return Status();
}

}  // namespace search

Collection::Collection() = default;
Collection::~Collection() = default;
Collection::Collection(Collection&&) noexcept = default;
Collection& Collection::operator=(Collection&&) noexcept = default;

Status Collection::Open(std::vector<std::string> const& bases) {
  state_.reset();
  auto state = std::make_shared<State>();
  if (bases.empty()) return Status(Status::kInvalid, "no library to open");
  for (std::string const& base : bases) {
    auto lib = std::make_unique<search::LibraryState>();
    Status status = search::IsPgAddress(base) ? search::PgLibrary::Open(base, *lib)
                                              : search::OpenLibrary(base, *lib);
    if (!status.ok()) return status;
    state->libraries.push_back(std::move(lib));
  }
  state_ = std::move(state);
  return Status();
}

std::size_t Collection::size() const {
  return state_ == nullptr ? 0 : state_->libraries.size();
}

LibraryInfo Collection::library(std::size_t i) const {
  search::LibraryState const& lib = *state_->libraries.at(i);
  LibraryInfo info = lib.info;
  if (lib.Counted()) info.records = lib.Records();
  return info;
}

Status Collection::CountRecords(std::size_t i,
                                std::function<void(std::uint64_t, std::uint64_t)> const& progress,
                                std::stop_token stop) const {
  if (i >= size()) return Status(Status::kInvalid, "no library " + std::to_string(i));
  search::LibraryState const& lib = *state_->libraries[i];
  if (lib.Counted()) return Status();
  if (Status s = lib.Check(); !s.ok()) return s;
  CMrfCut cut;
  if (!cut.Open(lib.record_file.c_str(), records::kSeparator, 0)) {
    return Status(Status::kIoError, "cannot open the record file " + lib.record_file);
  }
  std::uint64_t n = 0;
  for (; !cut.GetRecord().empty(); ++n) {
    if (n % 1024 == 1023) {
      if (stop.stop_requested()) return Status(Status::kCancelled, "counting was cancelled");
      if (progress) progress(cut.GetPos(), lib.record_stamp.size);
    }
  }
  if (progress) progress(cut.GetPos(), lib.record_stamp.size);
  if (Status s = lib.Check(); !s.ok()) return s;
  lib.counted.store(n);
  return Status();
}

Status Collection::Read(Hit const& hit, Record& record) const {
  record = Record();
  if (hit.library >= size()) {
    return Status(Status::kInvalid, "no library " + std::to_string(hit.library));
  }
  search::LibraryState const& lib = *state_->libraries[hit.library];
  std::shared_ptr<search::Offsets const> offsets = lib.indexed ? nullptr : lib.Scanned();
  if (!lib.indexed && lib.pg == nullptr && offsets == nullptr) {
    return Status(Status::kInvalid, "the records of " + lib.record_file +
                                        " are not known before a search of the library");
  }
  return search::ReadRecord(lib, hit, offsets.get(), record);
}

}  // namespace qel
