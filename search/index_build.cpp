#include <deque>

#include "platform/fs/mapped_file.h"
#include "platform/fs/path.h"
#include "qelshare/CMrfCut.h"
#include "qelshare/CQel2000.h"
#include "qelshare/library_writer.h"
#include "readers/library_format.h"
#include "readers/record_format.h"
#include "readers/search_index.h"
#include "search/pg_library.h"

namespace qel {

namespace {

// Opens the descriptor of the library at base_path; base receives its base path.
Status OpenDescriptor(std::string const& base_path, std::string& base) {
  if (search::IsPgAddress(base_path)) {
    return Status(Status::kInvalid,
                  "a library in PostgreSQL has the server's own indexes, "
                  "built by `qel pg load`: give the base path of a "
                  "library's files");
  }
  CQel2000 descriptor;
  bool opened = descriptor.Open(base_path.c_str()) != 0;
  base = descriptor.m_strPath;
  if (opened) return Status();
  fs::FileStamp stamp;
  if (!fs::Stamp(base + library_format::kDescriptorExt, stamp)) {
    return Status(Status::kNotFound, "the library " + base + " is not found (no " + base +
                                         library_format::kDescriptorExt + ")");
  }
  return Status(Status::kCorrupt, base + ".qel is not a retrieval library descriptor");
}

}  // namespace

Status CheckIndex(std::string const& base_path, IndexStats* stats) {
  std::string base;
  if (Status s = OpenDescriptor(base_path, base); !s.ok()) return s;
  std::string record_file = base + library_format::kRecordExt;
  std::string index_file = base + library_format::kIndexExt;
  fs::FileStamp stamp;
  if (!fs::Stamp(index_file, stamp)) {
    return Status(Status::kNotFound, "the library " + base + " has no index (no " + index_file +
                                         "); `qel index " + base + "` writes it");
  }
  std::string error;
  search_index::Binding binding;
  if (!search_index::BindingOf(record_file, binding, error)) {
    return Status(Status::kIoError, error);
  }
  search_index::Reader reader;
  if (!reader.Open(index_file, binding, error) || !reader.Check(error)) {
    return Status(Status::kCorrupt, error + "; run `qel index " + base + "` to rebuild it");
  }
  if (stats != nullptr) *stats = {reader.records(), binding.size, stamp.size};
  return Status();
}

Status BuildIndex(std::string const& base_path, IndexStats* stats, IndexOptions const& options) {
  std::string base;
  if (Status s = OpenDescriptor(base_path, base); !s.ok()) return s;
  std::string record_file = base + library_format::kRecordExt;
  std::string index_file = base + library_format::kIndexExt;
  std::string error;
  search_index::Binding binding;
  if (!search_index::BindingOf(record_file, binding, error)) {
    return Status(Status::kIoError, error);
  }
  if (binding.size > search_index::kMaxRecordFile) {
    return Status(Status::kInvalid,
                  record_file + " holds more than 4 GiB, more than an index serves");
  }
  CMrfCut cut;
  if (!cut.Open(record_file.c_str(), records::kSeparator, 0)) {
    return Status(Status::kIoError, "cannot open the record file " + record_file);
  }
  // The builder's files are named for the operating system.
  std::string os_index = fs::ToOs(index_file);
  search_index::Builder builder(os_index + ".run", options.memory_budget, options.compact);
  std::vector<records::FieldView> fields;
  std::deque<std::pair<std::size_t, std::string>> joined;
  for (std::uint64_t record = 0;; ++record) {
    auto offset = static_cast<std::uint32_t>(cut.GetPos());
    CString text = cut.GetRecord();
    if (text.empty()) break;
    records::Views(text, fields, joined);
    builder.Add(offset, fields);
    if (record % 1024 == 0) {
      if (options.stop.stop_requested())
        return Status(Status::kCancelled, "indexing was cancelled");
      if (options.progress) options.progress(cut.GetPos(), binding.size);
    }
  }
  builder.Finish();
  if (options.progress) options.progress(cut.GetPos(), binding.size);
  // A record file changed while it was read binds nothing.
  search_index::Binding after;
  if (!search_index::BindingOf(record_file, after, error) || after.size != binding.size ||
      after.mtime_ns != binding.mtime_ns || after.head_hash != binding.head_hash) {
    return Status(Status::kCorrupt, record_file + " changed while it was indexed; index it again");
  }
  if (options.stop.stop_requested()) return Status(Status::kCancelled, "indexing was cancelled");
  std::uint32_t records = builder.records();
  if (!builder.Write(index_file, binding, error, options.write_progress))
    return Status(Status::kIoError, error);
  if (stats != nullptr) {
    fs::FileStamp stamp;
    fs::Stamp(index_file, stamp);
    *stats = {records, binding.size, stamp.size};
  }
  return Status();
}

}  // namespace qel
