#include "readers/search_index.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace qel::search_index {
namespace {

constexpr char kMagic[8] = {'Q', 'E', 'L', 'I', 'N', 'D', 'E', 'X'};
constexpr std::size_t kHeader = 80;
constexpr std::size_t kDirEntry = 32;
constexpr std::size_t kTermEntry = 24;
constexpr std::size_t kCodeBytes = 16;

template <typename T>
void Put(std::string& out, T v) {
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    out += static_cast<char>(static_cast<std::uint64_t>(v) >> (8 * i));
  }
}

template <typename T>
void PutAt(std::string& out, std::size_t at, T v) {
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    out[at + i] = static_cast<char>(static_cast<std::uint64_t>(v) >> (8 * i));
  }
}

template <typename T>
T Get(std::string_view bytes, std::size_t at) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    v |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return static_cast<T>(v);
}

}  // namespace

std::uint64_t Hash(std::string_view bytes) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    h = (h ^ word) * 0x100000001b3ull;
    h ^= h >> 29;
  }
  for (; i < bytes.size(); ++i) h = (h ^ static_cast<unsigned char>(bytes[i])) * 0x100000001b3ull;
  return h;
}

std::pair<std::uint32_t, std::size_t> CharKey(std::string_view text, std::size_t i) {
  auto lead = static_cast<unsigned char>(text[i]);
  if (lead >= 0x81 && i + 1 < text.size()) {
    return {static_cast<std::uint32_t>(lead) << 8 | static_cast<unsigned char>(text[i + 1]), 2};
  }
  return {lead, 1};
}

bool BindingOf(std::string const& record_file, Binding& binding, std::string& error) {
  fs::FileStamp stamp;
  if (!fs::Stamp(record_file, stamp)) {
    error = "cannot read " + record_file;
    return false;
  }
  std::ifstream in(record_file, std::ios::binary);
  std::string head(std::min<std::uint64_t>(stamp.size, kHeadBytes), '\0');
  if (!in.read(head.data(), static_cast<std::streamsize>(head.size()))) {
    error = "cannot read " + record_file;
    return false;
  }
  binding = {stamp.size, stamp.mtime_ns, Hash(head)};
  return true;
}

Builder::Builder(std::string run_prefix, std::size_t run_postings)
    : run_prefix_(std::move(run_prefix)), run_postings_(std::max<std::size_t>(run_postings, 1)) {}

Builder::~Builder() {
  std::error_code ec;
  for (std::string const& run : runs_) std::filesystem::remove(run, ec);
}

void Builder::Add(std::uint32_t offset,
                  std::vector<std::pair<std::string, std::string>> const& fields) {
  std::uint32_t n = records();
  offsets_.push_back(offset);
  for (auto const& [code, value] : fields) {
    auto it = field_ids_.find(code);
    if (it == field_ids_.end()) {
      it = field_ids_.emplace(code, static_cast<std::uint32_t>(codes_.size())).first;
      codes_.push_back(code);
      values_.emplace_back();
    }
    std::uint64_t field = static_cast<std::uint64_t>(it->second) << 32;
    Values& listed = values_[it->second];
    if (!listed.unlisted) {
      auto number = listed.numbers.find(value);
      if (number == listed.numbers.end() && listed.by_number.size() < kMaxValues &&
          value.size() <= kMaxValueBytes) {
        auto next = static_cast<std::uint32_t>(listed.by_number.size());
        number = listed.numbers.emplace(value, next).first;
        listed.by_number.push_back(value);
      }
      if (number == listed.numbers.end()) {
        listed = {};
        listed.unlisted = true;
      } else {
        buffer_.push_back({kValuePosting | field | number->second, n, 0});
      }
    }
    keys_.clear();
    keys_.push_back(kFieldKey);
    std::uint32_t previous = 0;
    for (std::size_t i = 0; i < value.size();) {
      auto [key, length] = CharKey(value, i);
      keys_.push_back(key);
      if (i > 0) keys_.push_back(previous << 16 | key);
      previous = key;
      i += length;
    }
    std::sort(keys_.begin(), keys_.end());
    keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
    for (std::uint32_t key : keys_) buffer_.push_back({field | key, n, 0});
  }
  if (buffer_.size() >= run_postings_ && !Spill()) spill_failed_ = true;
}

namespace {

// (key, record) order; a type of its own so that sorting inlines it.
struct Before {
  bool operator()(Builder::Posting const& a, Builder::Posting const& b) const {
    return a.key != b.key ? a.key < b.key : a.record < b.record;
  }
};

// Postings of one run file, read in blocks.
class RunReader {
 public:
  explicit RunReader(std::string const& path) : in_(path, std::ios::binary) {}
  // The current posting, or null at the end.
  Builder::Posting const* Current() {
    if (at_ == block_.size()) {
      block_.resize(65536);
      in_.read(reinterpret_cast<char*>(block_.data()),
               static_cast<std::streamsize>(block_.size() * sizeof(Builder::Posting)));
      block_.resize(static_cast<std::size_t>(in_.gcount()) / sizeof(Builder::Posting));
      at_ = 0;
      if (block_.empty()) return nullptr;
    }
    return &block_[at_];
  }
  void Next() { ++at_; }

 private:
  std::ifstream in_;
  std::vector<Builder::Posting> block_;
  std::size_t at_ = 0;
};

}  // namespace

bool Builder::Spill() {
  std::sort(buffer_.begin(), buffer_.end(), Before{});
  std::string path = run_prefix_ + std::to_string(runs_.size());
  runs_.push_back(path);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<char const*>(buffer_.data()),
            static_cast<std::streamsize>(buffer_.size() * sizeof(Posting)));
  out.close();
  buffer_.clear();
  return static_cast<bool>(out);
}

bool Builder::Write(std::string const& path, Binding const& binding, std::string& error) {
  std::string temp = path + ".tmp";
  auto failed = [&](std::string const& file) {
    std::error_code ec;
    std::filesystem::remove(temp, ec);
    error = "cannot write " + file;
    return false;
  };
  if (spill_failed_ || (!runs_.empty() && !buffer_.empty() && !Spill())) {
    return failed(run_prefix_ + "*");
  }
  std::sort(buffer_.begin(), buffer_.end(), Before{});
  std::vector<RunReader> readers;
  readers.reserve(runs_.size());
  for (std::string const& run : runs_) readers.emplace_back(run);
  std::size_t in_memory = 0;
  // Runs ordered by their current posting, lowest first.
  auto later = [&](std::size_t a, std::size_t b) {
    return Before{}(*readers[b].Current(), *readers[a].Current());
  };
  std::vector<std::size_t> heap;
  for (std::size_t r = 0; r < readers.size(); ++r) {
    if (readers[r].Current() != nullptr) heap.push_back(r);
  }
  std::make_heap(heap.begin(), heap.end(), later);
  Posting taken{};
  // The next posting in (key, record) order, from the buffer or the runs; null at the end.
  auto next = [&]() -> Posting const* {
    if (runs_.empty()) return in_memory < buffer_.size() ? &buffer_[in_memory++] : nullptr;
    if (heap.empty()) return nullptr;
    std::pop_heap(heap.begin(), heap.end(), later);
    RunReader& run = readers[heap.back()];
    taken = *run.Current();
    run.Next();
    if (run.Current() != nullptr) {
      std::push_heap(heap.begin(), heap.end(), later);
    } else {
      heap.pop_back();
    }
    return &taken;
  };

  std::string head(kHeader, '\0');
  std::memcpy(head.data(), kMagic, sizeof kMagic);
  PutAt<std::uint32_t>(head, 8, kVersion);
  PutAt<std::uint32_t>(head, 12, static_cast<std::uint32_t>(codes_.size()));
  PutAt<std::uint32_t>(head, 16, records());
  PutAt<std::uint64_t>(head, 24, binding.size);
  PutAt<std::int64_t>(head, 32, binding.mtime_ns);
  PutAt<std::uint64_t>(head, 40, binding.head_hash);

  std::ofstream out(temp, std::ios::binary | std::ios::trunc);
  std::uint64_t bitmaps_at = kHeader + 4ull * offsets_.size() + kDirEntry * codes_.size();
  out.seekp(static_cast<std::streamoff>(bitmaps_at));
  // Term tables, one per field; bitmaps stream to the file as their postings end.
  std::vector<std::string> tables(codes_.size());
  std::vector<std::vector<std::pair<std::string, std::string>>> value_tables(codes_.size());
  std::vector<std::uint32_t> members;
  std::string bitmap;
  std::uint64_t at = bitmaps_at;
  bitmap::RecordSet set;
  Posting const* p = next();
  while (p != nullptr) {
    std::uint64_t key = p->key;
    members.clear();
    for (; p != nullptr && p->key == key; p = next()) members.push_back(p->record);
    auto field = static_cast<std::uint32_t>(key >> 32 & 0x7FFFFFFFu);
    bool value_key = (key & kValuePosting) != 0;
    if (value_key && values_[field].unlisted) continue;
    set.Clear();
    set.AddMany(members);
    bitmap.clear();
    if (value_key) {
      std::string const& value = values_[field].by_number[static_cast<std::uint32_t>(key)];
      bitmap = value;
      set.AppendTo(bitmap);
      std::string entry;
      Put<std::uint32_t>(entry, static_cast<std::uint32_t>(value.size()));
      Put<std::uint32_t>(entry, static_cast<std::uint32_t>(bitmap.size() - value.size()));
      Put<std::uint64_t>(entry, at);
      Put<std::uint64_t>(entry, Hash(bitmap));
      value_tables[field].emplace_back(value, std::move(entry));
    } else {
      set.AppendTo(bitmap);
      std::string& table = tables[field];
      Put<std::uint32_t>(table, static_cast<std::uint32_t>(key));
      Put<std::uint32_t>(table, static_cast<std::uint32_t>(bitmap.size()));
      Put<std::uint64_t>(table, at);
      Put<std::uint64_t>(table, Hash(bitmap));
    }
    out.write(bitmap.data(), static_cast<std::streamsize>(bitmap.size()));
    at += bitmap.size();
  }
  buffer_ = {};
  // Listed values follow the terms of their field, in the order of their bytes.
  for (std::size_t f = 0; f < codes_.size(); ++f) {
    std::sort(value_tables[f].begin(), value_tables[f].end());
    for (auto const& [value, entry] : value_tables[f]) tables[f] += entry;
  }

  std::string dir;
  for (std::uint32_t offset : offsets_) Put(dir, offset);
  std::uint64_t tables_at = at;
  std::uint64_t table_at = at;
  std::uint64_t tables_hash = 0xcbf29ce484222325ull;
  for (std::size_t f = 0; f < codes_.size(); ++f) {
    std::string padded = codes_[f].substr(0, kCodeBytes - 1);
    padded.resize(kCodeBytes, '\0');
    dir += padded;
    auto values = static_cast<std::uint32_t>(value_tables[f].size());
    Put<std::uint32_t>(dir, static_cast<std::uint32_t>(tables[f].size() / kTermEntry) - values);
    Put<std::uint32_t>(dir, values);
    Put<std::uint64_t>(dir, table_at);
    table_at += tables[f].size();
    out.write(tables[f].data(), static_cast<std::streamsize>(tables[f].size()));
    tables_hash = (tables_hash ^ Hash(tables[f])) * 0x100000001b3ull;
  }
  PutAt<std::uint64_t>(head, 48, table_at);
  PutAt<std::uint64_t>(head, 56, Hash(dir));
  PutAt<std::uint64_t>(head, 64, tables_hash);
  PutAt<std::uint64_t>(head, 72, tables_at);
  out.seekp(0);
  out.write(head.data(), static_cast<std::streamsize>(head.size()));
  out.write(dir.data(), static_cast<std::streamsize>(dir.size()));
  out.close();
  if (!out) return failed(path);
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) return failed(path);
  return true;
}

bool Reader::Open(std::string const& path, Binding const& binding, std::string& error) {
  fields_.clear();
  records_ = 0;
  if (!file_.Open(path, error)) {
    error = "cannot read " + path + ": " + error;
    return false;
  }
  bytes_ = file_.bytes();
  auto fail = [&](std::string const& why) {
    error = path + " " + why;
    fields_.clear();
    records_ = 0;
    return false;
  };
  if (bytes_.size() < kHeader || std::memcmp(bytes_.data(), kMagic, sizeof kMagic) != 0) {
    return fail("is not a search index");
  }
  if (Get<std::uint32_t>(bytes_, 8) != kVersion) {
    return fail("is a search index of version " + std::to_string(Get<std::uint32_t>(bytes_, 8)) +
                ", this program reads version " + std::to_string(kVersion));
  }
  if (Get<std::uint64_t>(bytes_, 48) != bytes_.size()) return fail("is cut short or damaged");
  std::uint64_t fields = Get<std::uint32_t>(bytes_, 12);
  std::uint64_t records = Get<std::uint32_t>(bytes_, 16);
  std::uint64_t dir_at = kHeader + 4 * records;
  std::uint64_t bitmaps_at = dir_at + kDirEntry * fields;
  std::uint64_t tables_at = Get<std::uint64_t>(bytes_, 72);
  if (bitmaps_at > bytes_.size() || tables_at < bitmaps_at || tables_at > bytes_.size()) {
    return fail("is cut short or damaged");
  }
  if (Hash(bytes_.substr(kHeader, bitmaps_at - kHeader)) != Get<std::uint64_t>(bytes_, 56)) {
    return fail("is damaged (its directory does not match its checksum)");
  }
  std::uint64_t table_at = tables_at;
  std::uint64_t tables_hash = 0xcbf29ce484222325ull;
  for (std::uint64_t f = 0; f < fields; ++f) {
    std::size_t at = dir_at + kDirEntry * f;
    std::string_view code = bytes_.substr(at, kCodeBytes);
    code = code.substr(0, code.find('\0'));
    Field field{Get<std::uint32_t>(bytes_, at + 16), Get<std::uint32_t>(bytes_, at + 20),
                Get<std::uint64_t>(bytes_, at + 24)};
    std::uint64_t entries = std::uint64_t{field.terms} + field.values;
    if (field.table != table_at || kTermEntry * entries > bytes_.size() - table_at) {
      return fail("is damaged (a term table lies outside the file)");
    }
    tables_hash =
        (tables_hash ^ Hash(bytes_.substr(table_at, kTermEntry * entries))) * 0x100000001b3ull;
    table_at += kTermEntry * entries;
    fields_.emplace(std::string(code), field);
  }
  if (table_at != bytes_.size()) return fail("is cut short or damaged");
  if (tables_hash != Get<std::uint64_t>(bytes_, 64)) {
    return fail("is damaged (its term tables do not match their checksum)");
  }
  // The tables were read whole for their checksum; lookups touch only a few pages again.
  file_.Forget(tables_at, table_at - tables_at);
  if (Get<std::uint64_t>(bytes_, 24) != binding.size ||
      Get<std::int64_t>(bytes_, 32) != binding.mtime_ns ||
      Get<std::uint64_t>(bytes_, 40) != binding.head_hash) {
    return fail("does not belong to the record file as it is now");
  }
  records_ = static_cast<std::uint32_t>(records);
  for (std::uint32_t n = 0; n < records_; ++n) {
    if (Offset(n) >= binding.size || (n > 0 && Offset(n) <= Offset(n - 1))) {
      return fail("is damaged (record offsets out of order)");
    }
  }
  return true;
}

std::uint32_t Reader::Offset(std::uint32_t n) const {
  return Get<std::uint32_t>(bytes_, kHeader + 4ull * n);
}

bool Reader::Lookup(std::string_view code, std::uint32_t key, bitmap::RecordSet& set) const {
  set.Clear();
  std::size_t at = Find(code, key);
  if (at == 0) return true;
  std::string_view data;
  return Bitmap(at, data) && set.Read(data) && (set.Count() == 0 || set.Maximum() < records_);
}

std::size_t Reader::Find(std::string_view code, std::uint32_t key) const {
  auto it = fields_.find(code);
  if (it == fields_.end()) return 0;
  std::size_t low = 0, high = it->second.terms;
  while (low < high) {
    std::size_t mid = (low + high) / 2;
    std::size_t at = it->second.table + kTermEntry * mid;
    std::uint32_t k = Get<std::uint32_t>(bytes_, at);
    if (k < key) {
      low = mid + 1;
    } else if (k > key) {
      high = mid;
    } else {
      return at;
    }
  }
  return 0;
}

bool Reader::Bitmap(std::size_t at, std::string_view& data) const {
  std::uint64_t length = Get<std::uint32_t>(bytes_, at + 4);
  std::uint64_t offset = Get<std::uint64_t>(bytes_, at + 8);
  if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
  data = bytes_.substr(offset, length);
  return Hash(data) == Get<std::uint64_t>(bytes_, at + 16);
}

bool Reader::LookupInto(std::string_view code, std::uint32_t key,
                        std::span<unsigned char> bits) const {
  std::size_t at = Find(code, key);
  if (at == 0) return true;
  std::string_view data;
  return Bitmap(at, data) &&
         bitmap::OrInto(data, bits.first(std::min<std::size_t>(bits.size(), (records_ + 7) / 8)));
}

bool Reader::HasValues(std::string_view code) const {
  auto it = fields_.find(code);
  return it != fields_.end() && it->second.values > 0;
}

bool Reader::ValuesInto(std::string_view code, std::function<bool(std::string_view)> const& wanted,
                        std::span<unsigned char> bits) const {
  auto it = fields_.find(code);
  if (it == fields_.end()) return true;
  bits = bits.first(std::min<std::size_t>(bits.size(), (records_ + 7) / 8));
  for (std::uint32_t v = 0; v < it->second.values; ++v) {
    std::size_t at = it->second.table + kTermEntry * (std::size_t{it->second.terms} + v);
    std::uint64_t value_length = Get<std::uint32_t>(bytes_, at);
    std::uint64_t length = value_length + Get<std::uint32_t>(bytes_, at + 4);
    std::uint64_t offset = Get<std::uint64_t>(bytes_, at + 8);
    if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
    std::string_view data = bytes_.substr(offset, length);
    if (Hash(data) != Get<std::uint64_t>(bytes_, at + 16)) return false;
    if (wanted(data.substr(0, value_length)) && !bitmap::OrInto(data.substr(value_length), bits)) {
      return false;
    }
  }
  return true;
}

}  // namespace qel::search_index
