#include "library_writer.h"

#include <cctype>
#include <cstring>
#include <filesystem>

#include "host.h"
#include "qelshare/CMrfCut.h"

namespace qel::cli {
namespace {

namespace fs = std::filesystem;

constexpr char const* kParts[] = {".qel", ".sor", ".mrf"};

std::string Temp(std::string const& base, char const* part) {
  return base + part + ".tmp";
}

void Put32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

void PutSlot(std::string& s, std::size_t at, std::size_t size, std::string const& text,
             std::string const& what) {
  if (text.size() >= size) {
    throw Failure{kIo, what + " is longer than its " + std::to_string(size - 1) + " bytes"};
  }
  std::memcpy(&s[at], text.data(), text.size());
}

std::string BlockHead(std::size_t length) {
  std::string head(16, '\0');
  Put32(head, 0, static_cast<std::uint32_t>(length));
  return head;
}

void WriteFile(std::string const& path, std::string const& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw Failure{kIo, "cannot write " + path + ": " + std::strerror(errno)};
}

}  // namespace

LibraryWriter::LibraryWriter(std::string base) : base_(std::move(base)) {
  fs::path folder = fs::path(base_).parent_path();
  std::error_code ec;
  if (!folder.empty()) fs::create_directories(folder, ec);
  mrf_.open(Temp(base_, ".mrf"), std::ios::binary | std::ios::trunc);
  if (!mrf_) {
    throw Failure{kIo, "cannot create " + Temp(base_, ".mrf") + ": " + std::strerror(errno)};
  }
}

LibraryWriter::~LibraryWriter() {
  if (finished_) return;
  mrf_.close();
  std::error_code ec;
  for (char const* part : kParts) fs::remove(Temp(base_, part), ec);
}

std::uint64_t LibraryWriter::Add(std::vector<std::pair<std::string, std::string>> const& record,
                                 std::string const& where) {
  std::string text;
  for (auto const& [code, value] : record) {
    if (value.empty()) continue;
    std::size_t start = 0;
    for (;;) {
      std::size_t end = value.find('\n', start);
      std::string_view line = std::string_view(value).substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      text.append(code).append("=").append(line).append("\r\n");
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  if (text.empty()) return 0;
  text += "\r\n";
  if (text.size() > CMrfCut::kWindow) {
    throw Failure{kIo, where + ": the record takes " + std::to_string(text.size()) +
                           " bytes, more than a record may (1 MiB)"};
  }
  if (bytes_ + text.size() > kMaxRecordFile) {
    throw Failure{kIo, where + ": " + base_ + ".mrf would pass 4 GiB, more than a library holds"};
  }
  mrf_.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!mrf_)
    throw Failure{kIo, "cannot write " + Temp(base_, ".mrf") + ": " + std::strerror(errno)};
  bytes_ += text.size();
  ++records_;
  return text.size();
}

void LibraryWriter::Finish(std::string const& title, std::vector<FieldDef> const& fields) {
  mrf_.close();
  if (!mrf_)
    throw Failure{kIo, "cannot write " + Temp(base_, ".mrf") + ": " + std::strerror(errno)};

  std::string qel(328, '\0');
  std::memcpy(&qel[0], "QEL LIB MARKER", 14);
  Put32(qel, 16, static_cast<std::uint32_t>(records_));
  Put32(qel, 20, static_cast<std::uint32_t>(fields.size()));
  PutSlot(qel, 24, 64, title, "the title");

  std::string records_block, strings_block;
  for (FieldDef const& f : fields) {
    // Without a description of its own a field is described by the first name registered
    // for its code.
    std::string description = f.name;
    for (FieldDef const& first : fields) {
      if (first.code == f.code) {
        description = first.name;
        break;
      }
    }
    std::string r(112, '\0');
    PutSlot(r, 0, 16, f.code, "the code of field " + f.name);
    PutSlot(r, 16, 16, f.name, "the name " + f.name);
    PutSlot(r, 32, 64, description, "the description of field " + f.name);
    r[96] = static_cast<char>(f.type);
    records_block += r;
    strings_block += (std::islower(f.type) != 0 ? f.code : std::string()) + '\0';
  }
  std::string sor(512, '\0');
  Put32(sor, 52, static_cast<std::uint32_t>(sor.size()));
  sor += BlockHead(records_block.size()) + records_block;
  Put32(sor, 116, static_cast<std::uint32_t>(sor.size()));
  sor += BlockHead(strings_block.size()) + strings_block;

  WriteFile(Temp(base_, ".qel"), qel);
  WriteFile(Temp(base_, ".sor"), sor);
  // The record file first and the descriptor last: a library is seen only when whole.
  for (char const* part : {".mrf", ".sor", ".qel"}) {
    std::error_code ec;
    fs::rename(Temp(base_, part), base_ + part, ec);
    if (ec) throw Failure{kIo, "cannot write " + base_ + part + ": " + ec.message()};
  }
  finished_ = true;
  // An index of the records replaced would be stale.
  std::error_code ec;
  fs::remove(base_ + ".qix", ec);
}

}  // namespace qel::cli
