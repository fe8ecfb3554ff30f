// Fuzz target: a whole retrieval library opened and searched through the search API, as a
// host does. The input is two little-endian 16-bit lengths, then that many bytes of the
// descriptor (BASE.qel), that many of the field table (BASE.sor), and the rest is the
// record file (BASE.mrf); lengths past the end take what is left. There is no index, so
// every search scans the record file.
//
// A library that does not open fails with a status that says why. One that opens is
// counted, searched with fixed expressions (and one naming its first field) and the first
// hits of each result are read: counts agree with the hits, every hit reads back as the
// record it names, and spans stay inside their values, snippets and UTF-8 forms.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qelshare/collection.h"
#include "qelshare/record.h"
#include "qelshare/session.h"
#include "qelshare/status.h"
#include "scratch_folder.h"

namespace {

std::string const& Base() {
  static std::string const base = (qel::fuzz::ScratchFolder("fuzz_library") / "lib").string();
  return base;
}

void Write(std::string const& path, std::string_view bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
  if (std::fclose(f) != 0) std::abort();
}

std::size_t U16(std::string_view s, std::size_t at) {
  return static_cast<unsigned char>(s[at]) |
         static_cast<std::size_t>(static_cast<unsigned char>(s[at + 1])) << 8;
}

std::string_view Take(std::string_view& rest, std::size_t n) {
  n = std::min(n, rest.size());
  std::string_view part = rest.substr(0, n);
  rest.remove_prefix(n);
  return part;
}

bool Utf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
    }
    i += n;
  }
  return true;
}

// Spans of a value: inside it, in order, not overlapping.
void CheckSpans(std::vector<qel::Span> const& spans, std::string_view value) {
  std::size_t last = 0;
  for (qel::Span const& s : spans) {
    if (s.begin < last || s.end < s.begin || s.end > value.size()) std::abort();
    last = s.end;
  }
}

void CheckRecord(qel::Record const& record) {
  for (qel::FieldValue const& f : record.fields) {
    CheckSpans(f.hits, f.value);
    for (std::string_view key : {std::string_view(f.code), std::string_view("title")}) {
      qel::Snippet snippet = record.Kwic(key, 15);
      CheckSpans(snippet.hits, snippet.text);
      if (snippet.text.size() > f.value.size() && key == f.code) std::abort();
    }
  }
  qel::Record utf8 = record.ToUtf8();
  if (utf8.fields.size() != record.fields.size() || utf8.number != record.number) std::abort();
  for (std::size_t i = 0; i < utf8.fields.size(); ++i) {
    qel::FieldValue const& u = utf8.fields[i];
    if (!Utf8(u.code) || !Utf8(u.name) || !Utf8(u.value)) std::abort();
    if (u.hits.size() != record.fields[i].hits.size()) std::abort();
    CheckSpans(u.hits, u.value);
  }
}

void CheckFailure(qel::Status const& status) {
  if (status.ok() || status.message().empty()) std::abort();
}

void Search(qel::Collection const& collection, qel::Session& session, std::string_view expression,
            bool utf8) {
  qel::Result result = utf8 ? session.SearchUtf8(expression) : session.Search(expression);
  if (!result.ok()) {
    CheckFailure(result.status());
    if (result.status().code() == qel::Status::kRejected &&
        result.status().byte_offset() != qel::Status::npos &&
        result.status().byte_offset() > expression.size()) {
      std::abort();
    }
    return;
  }
  std::uint64_t records = result.records();
  if (result.count() > records || result.count(0) != result.count() ||
      result.records(0) != records) {
    std::abort();
  }
  std::optional<std::uint64_t> known = collection.library(0).records;
  if (!known || *known != records) std::abort();
  std::vector<qel::Hit> hits = result.Hits(0, 3);
  if (hits.size() != std::min<std::uint64_t>(3, result.count())) std::abort();
  for (qel::Hit const& hit : hits) {
    if (hit.library != 0 || hit.record >= records || !result.Contains(0, hit.record)) std::abort();
    qel::Record record, plain;
    qel::Status read = result.Read(hit, record);
    if (!read.ok() || record.number != hit.record || record.offset != hit.offset) std::abort();
    CheckRecord(record);
    if (!collection.Read(hit, plain).ok() || plain.fields.size() != record.fields.size()) {
      std::abort();
    }
    for (std::size_t i = 0; i < plain.fields.size(); ++i) {
      if (plain.fields[i].value != record.fields[i].value) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<char const*>(data), size);
  if (rest.size() < 4) return 0;
  std::size_t qel_size = U16(rest, 0), sor_size = U16(rest, 2);
  rest.remove_prefix(4);
  Write(Base() + ".qel", Take(rest, qel_size));
  Write(Base() + ".sor", Take(rest, sor_size));
  Write(Base() + ".mrf", rest);

  qel::Collection collection;
  qel::Status opened = collection.Open(Base());
  if (!opened.ok()) {
    CheckFailure(opened);
    if (collection.size() != 0) std::abort();
    return 0;
  }
  if (collection.size() != 1) std::abort();
  qel::LibraryInfo info = collection.library(0);
  if (info.indexed || info.records || info.title.size() > 64) std::abort();
  // The scan that counts and the scans that search cut the same records.
  if (!collection.CountRecords(0).ok() || !collection.library(0).records) std::abort();

  qel::Session session(collection);
  // Words of the default field, fields by name, comparisons, proximity, history, UTF-8:
  // 月; 月 AND 李白/author; ...; 月 NEAR 光 OR 花 PARA 诗; ...; 月 ORDER 光/text.
  Search(collection, session, "\xD4\xC2", false);
  Search(collection, session, "\xD4\xC2 AND \xC0\xEE\xB0\xD7/author", false);
  Search(collection, session, ">=4/lines OR [1,8)/lines NOT a/title", false);
  Search(collection, session, "\xD4\xC2 NEAR \xB9\xE2 OR \xBB\xA8 PARA \xCA\xAB", false);
  Search(collection, session, "#1 SUB \"a b\"/title", false);
  Search(collection, session, "\xE6\x9C\x88 ORDER \xE5\x85\x89/text", true);
  for (qel::Field const& field : info.fields) {
    if (field.group()) continue;
    Search(collection, session, "a/" + field.name, false);
    break;
  }
  return 0;
}
