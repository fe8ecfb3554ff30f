#include "sources.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "fortune.h"
#include "host.h"
#include "platform/text/codepage.h"

namespace qel::cli {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Source text in UTF-8. `at` names the place of the text's first byte ("notes.csv line 3");
// offset is that byte's offset in the file.
std::string Decode(std::string_view bytes, bool gbk, std::string at, std::uint64_t offset,
                   bool whole = false) {
  // In a whole file the fault's line is counted from the start.
  auto line_of = [&](std::size_t n) {
    if (whole) {
      at += " line " + std::to_string(1 + std::count(bytes.begin(), bytes.begin() + n, '\n'));
    }
  };
  if (gbk) {
    std::string out, error;
    if (!text::GbkToUtf8(bytes, out, error)) {
      // error starts "byte N: ...", N counted from the start of bytes.
      std::size_t n = std::strtoull(error.c_str() + 5, nullptr, 10);
      line_of(std::min(n, bytes.size()));
      throw Failure{kIo, at + " (byte " + std::to_string(offset + n) + "): not GBK text" +
                             error.substr(error.find(':'))};
    }
    return out;
  }
  std::size_t bad = InvalidUtf8At(bytes);
  if (bad != std::string_view::npos) {
    line_of(bad);
    throw Failure{kIo, at + " (byte " + std::to_string(offset + bad) + "): invalid UTF-8"};
  }
  return std::string(bytes);
}

// Lines of a file, read one at a time with their line number and file offset.
class Lines {
 public:
  Lines(std::string path, BytesRead const& progress) : path_(std::move(path)), progress_(progress) {
    in_.open(path_, std::ios::binary);
    if (!in_) throw Failure{kIo, "cannot read " + path_ + ": " + std::strerror(errno)};
  }
  // The next line without its line end; false at the end of the file.
  bool Next(std::string& line) {
    offset_ = next_offset_;
    if (!std::getline(in_, line)) {
      if (in_.bad()) throw Failure{kIo, "cannot read " + path_ + ": " + std::strerror(errno)};
      return false;
    }
    ++number_;
    next_offset_ += line.size() + (in_.eof() ? 0 : 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (progress_) progress_(line.size() + 1);
    return true;
  }
  std::string At() const { return path_ + " line " + std::to_string(number_); }
  std::uint64_t offset() const { return offset_; }
  std::string const& path() const { return path_; }

 private:
  std::string path_;
  BytesRead const& progress_;
  std::ifstream in_;
  std::uint64_t number_ = 0, offset_ = 0, next_offset_ = 0;
};

std::string ReadWhole(std::string const& path, BytesRead const& progress) {
  std::ifstream in(path, std::ios::binary);
  std::string data;
  if (in) data.assign(std::istreambuf_iterator<char>(in), {});
  if (!in && !in.eof()) throw Failure{kIo, "cannot read " + path + ": " + std::strerror(errno)};
  if (progress) progress(data.size());
  return data;
}

// "title" of a file: its name without the extension.
void ReadFolder(std::string const& root, bool gbk, RecordSink const& sink,
                BytesRead const& progress) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (!name.empty() && name[0] == '.') {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file()) files.push_back(it->path());
  }
  if (ec) throw Failure{kIo, "cannot read the folder " + root + ": " + ec.message()};
  std::sort(files.begin(), files.end());
  for (fs::path const& file : files) {
    std::string path = file.string();
    std::string content = Decode(ReadWhole(path, progress), gbk, path, 0, true);
    fs::path folder = file.parent_path().filename();
    if (folder.empty()) folder = fs::absolute(file).parent_path().filename();
    SourceRecord record;
    record.where = path;
    record.fields = {
        {"title", file.stem().string()}, {"text", std::move(content)}, {"source", folder.string()}};
    sink(record);
  }
}

// One CSV row, which may span lines inside quotes. False at the end of the file.
bool CsvRow(Lines& lines, bool gbk, std::vector<std::string>& row, std::string& at) {
  row.clear();
  std::string raw;
  if (!lines.Next(raw)) return false;
  at = lines.At();
  std::string line = Decode(raw, gbk, at, lines.offset());
  std::string field;
  bool quoted = false, was_quoted = false;
  for (std::size_t i = 0;;) {
    if (i == line.size()) {
      if (!quoted) break;
      if (!lines.Next(raw)) throw Failure{kIo, at + ": a quoted field is not closed"};
      line = Decode(raw, gbk, lines.At(), lines.offset());
      field += '\n';
      i = 0;
      continue;
    }
    char c = line[i++];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i < line.size() && line[i] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == ',') {
      row.push_back(std::move(field));
      field.clear();
      was_quoted = false;
    } else if (c == '"' && field.empty() && !was_quoted) {
      quoted = was_quoted = true;
    } else if (was_quoted) {
      throw Failure{kIo, lines.At() + ": text after the closing quote of a field"};
    } else if (c == '"') {
      throw Failure{kIo, lines.At() + ": a quote inside an unquoted field"};
    } else {
      field += c;
    }
  }
  row.push_back(std::move(field));
  return true;
}

void ReadCsv(std::string const& path, bool gbk, RecordSink const& sink, BytesRead const& progress) {
  Lines lines(path, progress);
  std::vector<std::string> header, row;
  std::string at;
  if (!CsvRow(lines, gbk, header, at)) throw Failure{kIo, path + " is empty: no header row"};
  if (!header.empty() && header[0].starts_with("\xEF\xBB\xBF")) header[0].erase(0, 3);
  while (CsvRow(lines, gbk, row, at)) {
    if (row.size() == 1 && row[0].empty()) continue;
    if (row.size() != header.size()) {
      throw Failure{kIo, at + ": " + std::to_string(row.size()) + " fields, the header has " +
                             std::to_string(header.size())};
    }
    SourceRecord record;
    record.where = at;
    for (std::size_t i = 0; i < row.size(); ++i) record.fields.emplace_back(header[i], row[i]);
    sink(record);
  }
}

void ReadJsonLines(std::string const& path, bool gbk, RecordSink const& sink,
                   BytesRead const& progress) {
  Lines lines(path, progress);
  std::string raw;
  while (lines.Next(raw)) {
    std::string at = lines.At();
    std::string line = Decode(raw, gbk, at, lines.offset());
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
    if (object.is_discarded() || !object.is_object()) {
      throw Failure{kIo, at + ": not a JSON object"};
    }
    SourceRecord record;
    record.where = at;
    for (auto const& [key, value] : object.items()) {
      std::string text;
      if (value.is_string()) {
        text = value.get<std::string>();
      } else if (value.is_number() || value.is_boolean()) {
        text = value.dump();
      } else if (value.is_array()) {
        for (auto const& item : value) {
          if (!item.is_string()) {
            throw Failure{kIo, at + ": \"" + key + "\" holds an array of other than strings"};
          }
          if (!text.empty()) text += '\n';
          text += item.get_ref<std::string const&>();
        }
      } else if (!value.is_null()) {
        throw Failure{kIo, at + ": \"" + key + "\" is an object, not a field value"};
      }
      record.fields.emplace_back(key, std::move(text));
    }
    sink(record);
  }
}

}  // namespace

std::size_t InvalidUtf8At(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return i;
    std::uint32_t cp = n == 1 ? b : b & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
      auto c = static_cast<unsigned char>(s[i + k]);
      if ((c >> 6) != 2) return i;
      cp = cp << 6 | (c & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF.
    static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[n] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return i;
    i += n;
  }
  return std::string_view::npos;
}

SourceKind KindOf(std::string const& path, SourceKind kind) {
  if (kind != SourceKind::kAuto) return kind;
  std::error_code ec;
  if (fs::is_directory(path, ec)) return SourceKind::kFolder;
  std::string ext = Lower(fs::path(path).extension().string());
  if (ext == ".csv") return SourceKind::kCsv;
  if (ext == ".jsonl" || ext == ".ndjson") return SourceKind::kJsonLines;
  if (ext == ".u8" || ext.empty()) return SourceKind::kFortune;
  throw Failure{kUsage, "cannot tell what kind of source " + path +
                            " is from its name; give --kind folder, csv, jsonl or fortune"};
}

void ReadSource(std::string const& path, SourceKind kind, bool gbk, RecordSink const& sink,
                BytesRead const& progress) {
  std::error_code ec;
  if (!fs::exists(path, ec)) throw Failure{kIo, "cannot read " + path + ": no such file or folder"};
  switch (KindOf(path, kind)) {
    case SourceKind::kFolder:
      return ReadFolder(path, gbk, sink, progress);
    case SourceKind::kCsv:
      return ReadCsv(path, gbk, sink, progress);
    case SourceKind::kJsonLines:
      return ReadJsonLines(path, gbk, sink, progress);
    default: {
      std::string text = Decode(ReadWhole(path, progress), gbk, path, 0, true);
      for (SourceRecord const& record : FortuneRecords(text, path)) sink(record);
    }
  }
}

}  // namespace qel::cli
