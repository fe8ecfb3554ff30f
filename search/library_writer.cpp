#include "qelshare/library_writer.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/fs/path.h"
#include "qelshare/CMrfCut.h"
#include "readers/library_format.h"
#include "readers/record_format.h"

namespace qel {
namespace {

namespace lf = library_format;
namespace stdfs = std::filesystem;

constexpr char const* kParts[] = {lf::kDescriptorExt, lf::kFieldTableExt, lf::kRecordExt};

std::string Temp(std::string const& base, char const* part) {
  return base + part + ".tmp";
}

Status WriteFile(std::string const& path, std::string const& bytes) {
  std::ofstream out(fs::ToOs(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) return Status(Status::kIoError, "cannot write " + path + ": " + std::strerror(errno));
  return Status();
}

}  // namespace

static_assert(LibraryWriter::kMaxRecord == CMrfCut::kWindow);

LibraryWriter::LibraryWriter(std::string base) : base_(std::move(base)) {
  stdfs::path folder = stdfs::path(fs::ToOs(base_)).parent_path();
  std::error_code ec;
  if (!folder.empty()) stdfs::create_directories(folder, ec);
  mrf_.open(fs::ToOs(Temp(base_, lf::kRecordExt)), std::ios::binary | std::ios::trunc);
  if (!mrf_) {
    status_ = Status(Status::kIoError,
                     "cannot create " + Temp(base_, lf::kRecordExt) + ": " + std::strerror(errno));
  }
}

LibraryWriter::~LibraryWriter() {
  if (finished_) return;
  mrf_.close();
  std::error_code ec;
  for (char const* part : kParts) stdfs::remove(fs::ToOs(Temp(base_, part)), ec);
}

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
  mrf_.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!mrf_) {
    return status_ = Status(Status::kIoError, "cannot write " + Temp(base_, lf::kRecordExt) + ": " +
                                                  std::strerror(errno));
  }
  bytes_ += text.size();
  ++records_;
  return Status();
}

Status LibraryWriter::Finish(std::string_view title, std::vector<Field> const& fields) {
  if (!status_.ok()) return status_;
  mrf_.close();
  if (!mrf_) {
    return status_ = Status(Status::kIoError, "cannot write " + Temp(base_, lf::kRecordExt) + ": " +
                                                  std::strerror(errno));
  }
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
  if (Status s = WriteFile(Temp(base_, lf::kDescriptorExt), qel); !s.ok()) return status_ = s;
  if (Status s = WriteFile(Temp(base_, lf::kFieldTableExt), sor); !s.ok()) return status_ = s;
  // The record file first and the descriptor last: a library is seen only when whole.
  for (char const* part : {lf::kRecordExt, lf::kFieldTableExt, lf::kDescriptorExt}) {
    std::error_code ec;
    stdfs::rename(fs::ToOs(Temp(base_, part)), fs::ToOs(base_ + part), ec);
    if (ec)
      return status_ =
                 Status(Status::kIoError, "cannot write " + base_ + part + ": " + ec.message());
  }
  finished_ = true;
  // An index of the records replaced would be stale.
  std::error_code ec;
  stdfs::remove(fs::ToOs(base_ + lf::kIndexExt), ec);
  return Status();
}

}  // namespace qel
