// The driver the fuzz targets of qel mklib's CSV and JSON Lines readers share. ReadSource
// takes a path, so the input goes to a file in the scratch folder and is read three ways:
// as UTF-8, as GBK, and (when it is UTF-8 that survives the trip to GBK and back) as its
// GBK form, which must give the records and the failure the UTF-8 reading gave. A
// Failure is the reader's answer to bad input; any other exception escapes and is a
// finding, as are crashes and sanitizer reports.
#ifndef QEL_FUZZ_MKLIB_SOURCE_H_
#define QEL_FUZZ_MKLIB_SOURCE_H_

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "host.h"
#include "platform/text/codepage.h"
#include "scratch_folder.h"
#include "sources.h"

namespace qel::fuzz {

// What one reading gave: the records, or the failure that ended it (records delivered
// before a failure are kept too).
struct Reading {
  std::vector<cli::SourceRecord> records;
  bool failed = false;
  int code = 0;
  std::string message;
};

inline void WriteFile(std::string const& path, std::string_view bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
  if (std::fclose(f) != 0) std::abort();
}

// Reads bytes as a source of kind, checking what holds for every reading: the text handed
// on is UTF-8, every record says where it came from, progress never passes the file, and
// a failure is an input/output failure that names the file.
inline Reading ReadAs(std::string const& path, std::string_view bytes, cli::SourceKind kind,
                      bool gbk) {
  WriteFile(path, bytes);
  Reading reading;
  std::uint64_t progress = 0;
  auto sink = [&](cli::SourceRecord const& record) {
    if (record.where.rfind(path, 0) != 0) std::abort();
    for (auto const& [key, value] : record.fields) {
      if (cli::InvalidUtf8At(key) != std::string_view::npos ||
          cli::InvalidUtf8At(value) != std::string_view::npos) {
        std::abort();
      }
    }
    reading.records.push_back(record);
  };
  // Each line is told with its line end; the last line may lack one.
  auto told = [&](std::uint64_t n) {
    progress += n;
    if (progress > bytes.size() + 1) std::abort();
  };
  try {
    cli::ReadSource(path, kind, gbk, sink, told);
  } catch (cli::Failure const& failure) {
    if (failure.code != cli::kIo || failure.message.find(path) == std::string::npos) std::abort();
    reading.failed = true;
    reading.code = failure.code;
    reading.message = failure.message;
  }
  return reading;
}

inline bool Same(Reading const& a, Reading const& b) {
  if (a.failed != b.failed || a.message != b.message || a.records.size() != b.records.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.records.size(); ++i) {
    if (a.records[i].fields != b.records[i].fields || a.records[i].where != b.records[i].where) {
      return false;
    }
  }
  return true;
}

// The whole check of one input; name is the target's (for its scratch folder), file the
// name the source is written under.
inline void FuzzSource(char const* name, char const* file, cli::SourceKind kind,
                       std::uint8_t const* data, std::size_t size) {
  static std::string const path = (ScratchFolder(name) / file).string();
  std::string_view bytes(reinterpret_cast<char const*>(data), size);
  Reading utf8 = ReadAs(path, bytes, kind, false);
  ReadAs(path, bytes, kind, true);
  if (cli::InvalidUtf8At(bytes) != std::string_view::npos) return;
  std::string gbk, back, error;
  if (!text::Utf8ToGbk(bytes, gbk, error) || !text::GbkToUtf8(gbk, back, error) || back != bytes) {
    return;
  }
  // Line ends and the CSV and JSON punctuation are ASCII, which GBK never uses inside a
  // character, so the GBK form splits into the same lines and fields.
  if (!Same(utf8, ReadAs(path, gbk, kind, true))) std::abort();
}

}  // namespace qel::fuzz

#endif  // QEL_FUZZ_MKLIB_SOURCE_H_
