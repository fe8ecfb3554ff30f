#include "qelshare/library_writer.h"

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/fs/durable.h"
#include "platform/fs/path.h"
#include "qelshare/CMrfCut.h"
#include "readers/library_format.h"
#include "readers/record_format.h"

namespace qel {
namespace {

namespace lf = library_format;
namespace stdfs = std::filesystem;

}  // namespace

struct LibraryWriter::Impl {
  fs::DurableFile mrf;
  bool finished = false;
};

static_assert(LibraryWriter::kMaxRecord == CMrfCut::kWindow);

LibraryWriter::LibraryWriter(std::string base)
    : base_(std::move(base)), impl_(std::make_unique<Impl>()) {
  stdfs::path folder = stdfs::path(fs::ToOs(base_)).parent_path();
  std::error_code ec;
  if (!folder.empty()) stdfs::create_directories(folder, ec);
  if (!impl_->mrf.Open(base_ + lf::kRecordExt))
    status_ = Status(Status::kIoError, impl_->mrf.error());
}

LibraryWriter::~LibraryWriter() = default;

Status LibraryWriter::Add(std::vector<std::pair<std::string, std::string>> const& record,
                          std::string_view where) {
  if (!status_.ok()) return status_;
  std::string text;
  records::Append(record, text);
  if (text.empty()) return Status();
  std::string at = where.empty() ? std::string() : std::string(where) + ": ";
  if (text.size() > kMaxRecord) {
    return status_ =
               Status(Status::kInvalid, at + "the record takes " + std::to_string(text.size()) +
                                            " bytes, more than a record may (1 MiB)");
  }
  if (bytes_ + text.size() > kMaxRecordFile) {
    return status_ = Status(Status::kInvalid, at + base_ + lf::kRecordExt +
                                                  " would pass 4 GiB, more than a library holds");
  }
  if (!impl_->mrf.Write(text)) return status_ = Status(Status::kIoError, impl_->mrf.error());
  bytes_ += text.size();
  ++records_;
  return Status();
}

Status LibraryWriter::Finish(std::string_view title, std::vector<Field> const& fields) {
  if (!status_.ok()) return status_;
  if (impl_->finished) return Status(Status::kInvalid, base_ + " is finished already");
  std::vector<lf::FieldEntry> entries;
  for (Field const& f : fields) {
    lf::FieldEntry& e = entries.emplace_back();
    e.code = f.code;
    e.name = f.name;
    e.type = f.type;
    e.strings = f.group() ? f.code : std::string();
    // Without a description of its own a field is described by the first name registered
    // for its code.
    e.description = f.description;
    if (e.description.empty()) {
      for (Field const& first : fields) {
        if (first.code == f.code) {
          e.description = first.name;
          break;
        }
      }
    }
  }
  std::string qel, sor, what;
  if (!lf::Descriptor(static_cast<std::uint32_t>(records_),
                      static_cast<std::uint32_t>(fields.size()), title, qel, what) ||
      !lf::FieldTable(entries, sor, what)) {
    return status_ = Status(Status::kInvalid, what);
  }
  fs::DurableFile table, descriptor;
  if (!table.Open(base_ + lf::kFieldTableExt) || !table.Write(sor)) {
    return status_ = Status(Status::kIoError, table.error());
  }
  if (!descriptor.Open(base_ + lf::kDescriptorExt) || !descriptor.Write(qel)) {
    return status_ = Status(Status::kIoError, descriptor.error());
  }
  // While the three files are put in place a journal beside them says so: a collection
  // refuses a library with one, whose files may be of two builds. It goes once the last
  // file is in place, and a writer killed before leaves it for the next build to replace.
  std::string journal = base_ + lf::kBuildingExt, error;
  if (!fs::WriteFileDurably(journal, std::to_string(fs::ProcessId()) + "\n", error)) {
    return status_ = Status(Status::kIoError, error);
  }
  bool placed = false;
  for (fs::DurableFile* file : {&impl_->mrf, &table, &descriptor}) {
    if (!file->Commit()) {
      // Before the first file is in place the old library is whole: no journal for it.
      if (!placed && !file->placed()) fs::RemoveDurably(journal, error);
      return status_ = Status(Status::kIoError, file->error());
    }
    placed = true;
  }
  // An index of the records replaced would be stale.
  std::error_code ec;
  stdfs::remove(fs::ToOs(base_ + lf::kIndexExt), ec);
  if (!fs::RemoveDurably(journal, error)) return status_ = Status(Status::kIoError, error);
  impl_->finished = true;
  return Status();
}

}  // namespace qel
