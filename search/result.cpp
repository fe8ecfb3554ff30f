#include <cstring>

#include "platform/bitmap/roaring.h"
#include "qelshare/session.h"
#include "search/leaf_rules.h"
#include "search/result_data.h"

namespace qel {
namespace search {

// Hits of a library in PostgreSQL fetched with the one read.
constexpr std::size_t kReadAhead = 63;

std::uint64_t Count(Bits const& bits) {
  return bitmap::CountBits(bits);
}

}  // namespace search

std::uint64_t Result::Data::Count(std::size_t library) const {
  std::uint64_t n = counts[library].load(std::memory_order_relaxed);
  if (n == kUncounted) {
    n = search::Count(libraries[library].bits);
    counts[library].store(n, std::memory_order_relaxed);
  }
  return n;
}

Result::Result() = default;
Result::~Result() = default;
Result::Result(Result const&) = default;
Result& Result::operator=(Result const&) = default;
Result::Result(Result&&) noexcept = default;
Result& Result::operator=(Result&&) noexcept = default;

std::uint64_t Result::count() const {
  std::uint64_t n = 0;
  if (data_ != nullptr) {
    for (std::size_t k = 0; k < data_->libraries.size(); ++k) n += data_->Count(k);
  }
  return n;
}

std::uint64_t Result::count(std::size_t library) const {
  return data_ == nullptr || library >= data_->libraries.size() ? 0 : data_->Count(library);
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
         search::Test(data_->libraries[library].bits, record);
}

std::vector<Hit> Result::Hits(std::uint64_t first, std::uint64_t n) const {
  std::vector<Hit> hits;
  if (data_ == nullptr) return hits;
  for (std::size_t k = 0; k < data_->libraries.size() && n > 0; ++k) {
    Data::Library const& lib = data_->libraries[k];
    std::uint64_t count = data_->Count(k);
    if (first >= count) {
      first -= count;
      continue;
    }
    search::LibraryState const& state = *data_->state->libraries[k];
    search::Bits const& bits = lib.bits;
    // Whole words of 64 records are skipped by their counts until the first hit wanted.
    std::size_t byte = 0;
    for (; byte + 8 <= bits.size(); byte += 8) {
      std::uint64_t word;
      std::memcpy(&word, bits.data() + byte, 8);
      auto c = static_cast<std::uint64_t>(__builtin_popcountll(word));
      if (c > first) break;
      first -= c;
    }
    for (std::uint64_t r = std::uint64_t{byte} * 8; r < lib.records && n > 0; ++r) {
      if (!search::Test(bits, r)) continue;
      if (first > 0) {
        --first;
        continue;
      }
      auto record = static_cast<std::uint32_t>(r);
      hits.push_back({k, record, state.Start(record, lib.offsets.get())});
      --n;
    }
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
  for (std::uint64_t r = hit.record + 1; state.pg != nullptr && r < lib.records; ++r) {
    if (ahead.size() == search::kReadAhead) break;
    if (search::Test(lib.bits, r)) ahead.push_back(static_cast<std::uint32_t>(r));
  }
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
