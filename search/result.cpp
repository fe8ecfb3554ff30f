#include "platform/bitmap/roaring.h"
#include "qelshare/session.h"
#include "search/leaf_rules.h"
#include "search/result_data.h"

namespace qel {
namespace search {

// Hits of a library in PostgreSQL fetched with the one read.
constexpr std::size_t kReadAhead = 63;

}  // namespace search

Result::Result() = default;
Result::~Result() = default;
Result::Result(Result const&) = default;
Result& Result::operator=(Result const&) = default;
Result::Result(Result&&) noexcept = default;
Result& Result::operator=(Result&&) noexcept = default;

std::uint64_t Result::count() const {
  std::uint64_t n = 0;
  if (data_ != nullptr) {
    for (auto const& lib : data_->libraries) n += lib.hits.Count();
  }
  return n;
}

std::uint64_t Result::count(std::size_t library) const {
  return data_ == nullptr || library >= data_->libraries.size()
             ? 0
             : data_->libraries[library].hits.Count();
}

std::uint64_t Result::records() const {
  std::uint64_t n = 0;
  if (data_ != nullptr) {
    for (auto const& lib : data_->libraries) n += lib.records;
  }
  return n;
}

std::uint64_t Result::records(std::size_t library) const {
  return data_ == nullptr || library >= data_->libraries.size() ? 0
                                                                : data_->libraries[library].records;
}

bool Result::Contains(std::size_t library, std::uint32_t record) const {
  return data_ != nullptr && library < data_->libraries.size() &&
         data_->libraries[library].hits.Contains(record);
}

std::vector<Hit> Result::Hits(std::uint64_t first, std::uint64_t n) const {
  std::vector<Hit> hits;
  if (data_ == nullptr) return hits;
  for (std::size_t k = 0; k < data_->libraries.size() && n > 0; ++k) {
    Data::Library const& lib = data_->libraries[k];
    std::uint64_t count = lib.hits.Count();
    if (first >= count) {
      first -= count;
      continue;
    }
    search::LibraryState const& state = *data_->state->libraries[k];
    for (std::uint32_t record : lib.hits.Members(first, n)) {
      hits.push_back({k, record, state.Start(record, lib.offsets.get())});
      --n;
    }
    first = 0;
  }
  return hits;
}

Status Result::Read(Hit const& hit, Record& record) const {
  record = Record();
  if (data_ == nullptr || hit.library >= data_->libraries.size()) {
    return Status(Status::kInvalid, "the result holds no library " + std::to_string(hit.library));
  }
  Data::Library const& lib = data_->libraries[hit.library];
  if (hit.record >= lib.records) {
    return Status(Status::kInvalid, "no record " + std::to_string(hit.record + 1) + " in " +
                                        data_->state->libraries[hit.library]->record_file);
  }
  search::LibraryState const& state = *data_->state->libraries[hit.library];
  // A listing reads the hits in order: a library in PostgreSQL fetches the next ones with
  // this one.
  std::vector<std::uint32_t> ahead;
  if (state.pg != nullptr) ahead = lib.hits.Members(lib.hits.Rank(hit.record), search::kReadAhead);
  Status s = search::ReadRecord(state, hit, lib.offsets.get(), record, ahead);
  if (!s.ok()) return s;
  std::vector<std::pair<std::string, std::string>> terms;
  for (std::string const& redkey : lib.redkeys) {
    for (auto& term : expr::HighlightTerms(redkey, state.codes)) {
      terms.push_back(std::move(term));
    }
  }
  for (FieldValue& f : record.fields) {
    std::vector<std::string> words;
    for (auto const& [code, word] : terms) {
      if (code == f.code) words.push_back(word);
    }
    for (auto const& [code, value] : lib.values) {
      if (code == f.code && value == f.value) words.push_back(value);
    }
    f.hits = search::WordSpans(f.value, words);
  }
  return Status();
}

}  // namespace qel
