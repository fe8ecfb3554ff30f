// The sources qel mklib builds a library from, read as records of (key, value) pairs in
// UTF-8. Keys are field names or codes of the registry; the caller resolves them.
//
//   folder   every regular file below it, in name order, one record per file: "title" is
//            the file name without its extension, "text" the content, "source" the name
//            of the folder holding the file;
//   csv      a header row of keys, then one record per row (RFC 4180: commas, double
//            quotes around a field that holds commas, quotes or line ends, "" for a quote);
//   jsonl    one JSON object per line; string and number values, arrays of strings (one
//            line each), null for no value;
//   fortune  the Chinese fortune files: entries separated by lines "%", read as Tang
//            poems, Song poems (file names starting tang300, song100) or sayings, giving
//            "title", "author", "source", "keyword", "lines" and "text".
//
// Text is UTF-8, or GBK when asked; bytes that do not decode are an error naming the file,
// the line and the byte.
#ifndef QEL_TOOLS_SOURCES_H_
#define QEL_TOOLS_SOURCES_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qel::cli {

enum class SourceKind { kAuto, kFolder, kCsv, kJsonLines, kFortune };

// One record read from a source; where names its file and line for error messages.
struct SourceRecord {
  std::vector<std::pair<std::string, std::string>> fields;
  std::string where;
};

using RecordSink = std::function<void(SourceRecord const&)>;
// Told the bytes of source text read so far, across all calls of ReadSource.
using BytesRead = std::function<void(std::uint64_t bytes)>;

// The kind of a source: kind itself unless kAuto; otherwise a folder, or by extension
// (.csv; .jsonl, .ndjson; .u8 or none for fortune files). Throws Failure(kUsage) when it
// cannot tell.
SourceKind KindOf(std::string const& path, SourceKind kind);

// Reads every record of a source into sink. Throws Failure(kIo) naming the file (and line
// and byte where it helps) when it cannot be read or is malformed.
void ReadSource(std::string const& path, SourceKind kind, bool gbk, RecordSink const& sink,
                BytesRead const& progress);

// Offset of the first byte that is not part of well-formed UTF-8, or npos.
std::size_t InvalidUtf8At(std::string_view s);

}  // namespace qel::cli

#endif  // QEL_TOOLS_SOURCES_H_
