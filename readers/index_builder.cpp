// The search index's builder: batches of records are cut into keys by two threads, each
// taking the next batch, whose posting lists spill to segment files in two parts of the
// key space; writing merges each part's segments on a thread of its own (the two threads'
// records of a key interleave by batch) and writes the bitmaps in key order, then the
// offsets and term tables kept in files of their own meanwhile.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <istream>
#include <iterator>
#include <mutex>
#include <ostream>
#include <thread>
#include <unordered_map>
#include <utility>

#include "platform/coding/coding.h"
#include "platform/fs/durable.h"
#include "platform/fs/uncached_file.h"
#include "readers/index_segment.h"
#include "readers/position_code.h"
#include "readers/search_index.h"
#include "readers/search_index_layout.h"

namespace qel::search_index {
using namespace layout;
namespace {

constexpr int kWorkers = 2;
// Parts of the key space whose segments merge and serialise on threads of their own.
constexpr std::size_t kParts = 2;
// Text handed to a worker at a time (less under a small budget, so that a small budget
// also spreads few records over both workers), and batches the workers may lag behind.
constexpr std::size_t kBatchBytes = std::size_t{1} << 20;
constexpr std::size_t kQueueDepth = 8;
constexpr std::size_t kFileBuffer = std::size_t{1} << 20;
// Bytes of segment blocks one part's merge reads into, and the least per segment.
constexpr std::size_t kMergeBlocks = std::size_t{32} << 20;
constexpr std::size_t kSmallestBlock = std::size_t{64} << 10;
// Occurrences a worker collects at most before sorting them into its lists.
constexpr std::size_t kSortedOccurrences = std::size_t{4} << 20;
constexpr std::size_t kChars = 0x10000;

struct StringHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using NumberOf = std::unordered_map<std::string, std::uint32_t, StringHash, std::equal_to<>>;

// Fields of consecutive records: their values side by side in text.
struct Batch {
  struct Item {
    std::uint32_t record;  // from first
    std::uint32_t field;
    std::uint32_t at;
    std::uint32_t length;
    std::int32_t value;  // listed value number, or -1
  };
  std::uint32_t first = 0;
  std::string text;
  std::vector<Item> items;
};

// A bounded queue between threads; Pop gives an empty T once closed and drained.
template <class T>
class Queue {
 public:
  explicit Queue(std::size_t depth = kQueueDepth) : depth_(depth) {}
  void Push(T item) {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return items_.size() < depth_; });
    items_.push_back(std::move(item));
    ready_.notify_one();
  }
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    ready_.notify_all();
  }
  T Pop() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return closed_ || !items_.empty(); });
    if (items_.empty()) return T{};
    T item = std::move(items_.front());
    items_.pop_front();
    room_.notify_one();
    return item;
  }

 private:
  std::size_t depth_;
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<T> items_;
  bool closed_ = false;
};

// Serialised bitmaps of consecutive keys of one part, with what their term entries need.
struct Bitmaps {
  struct Item {
    std::uint64_t key;
    std::uint32_t at;  // in bytes; a listed value's bytes lead its bitmap
    std::uint32_t length;
    std::uint64_t hash;
    std::uint32_t positions = 0;  // bytes of a character's position table after its set
    std::string tail;             // and then its positions
  };
  std::vector<Item> items;
  std::string bytes;
  std::size_t weight = 0;  // bytes and tails together
};

// A character's positions as the index holds them, built a record at a time: the bytes,
// and the block table (its hash, the block count, each block's end and check).
class PositionsOut {
 public:
  void Clear() {
    data_.clear();
    table_.clear();
    records_ = 0;
    block_begin_ = 0;
  }
  void Add(std::span<unsigned char const> positions) {
    data_.append(reinterpret_cast<char const*>(positions.data()), positions.size());
    if (++records_ % kPositionBlock == 0) EndBlock();
  }
  // Appends the hash, block count and table to out, and hands over the bytes.
  void Finish(std::string& out, std::string& data) {
    if (records_ % kPositionBlock != 0) EndBlock();
    std::string count;
    coding::Append32(count, static_cast<std::uint32_t>(PositionBlocks(records_)));
    StreamHash hash;
    hash.Add(count);
    hash.Add(table_);
    coding::Append64(out, hash.value());
    out += count;
    out += table_;
    data = std::move(data_);
    data_ = std::string();
  }

 private:
  void EndBlock() {
    coding::Append32(table_, static_cast<std::uint32_t>(data_.size()));
    coding::Append32(
        table_, static_cast<std::uint32_t>(Hash(std::string_view(data_).substr(block_begin_))));
    block_begin_ = data_.size();
  }
  std::string data_, table_;
  std::size_t records_ = 0;
  std::size_t block_begin_ = 0;
};

constexpr std::size_t kBitmapsBytes = std::size_t{1} << 20;
constexpr std::size_t kBitmapsDepth = 4;
// Terms written between reports of progress.
constexpr std::uint64_t kProgressEvery = 1024;

// Appends a term table entry; a listed value's entry holds its value's length as key.
void AppendTerm(std::string& table, std::uint32_t key, std::uint32_t size, std::uint64_t at,
                std::uint64_t hash) {
  coding::Append32(table, key);
  coding::Append32(table, size);
  coding::Append64(table, at);
  coding::Append64(table, hash);
}

}  // namespace

struct Builder::Impl {
  std::string prefix;
  std::size_t budget;
  // Record offsets go to a file of their own as they come, a block at a time, and are
  // copied into the index when it is written: a large library's offsets stay out of memory.
  std::uint32_t records = 0;
  std::string offsets_path;
  fs::UncachedWriter offsets_writer;
  std::ostream offsets_file{&offsets_writer};
  std::string offsets_block;
  StreamHash offsets_hash;
  void FlushOffsets() {
    offsets_hash.Add(offsets_block);
    if (!offsets_file.write(offsets_block.data(),
                            static_cast<std::streamsize>(offsets_block.size())))
      failed = true;
    offsets_block.clear();
  }
  std::vector<std::string> codes;  // by field number
  NumberOf field_ids;
  // The distinct values of each field while they stay few and short; a field past the
  // limits is marked unlisted and its value lists are dropped when writing.
  struct Values {
    NumberOf numbers;
    std::vector<std::string> by_number;
    bool unlisted = false;
  };
  std::vector<Values> values;  // by field number
  std::unique_ptr<Batch> batch;
  // Batches in record order; each worker takes the next, so a worker's batches rise.
  Queue<std::unique_ptr<Batch const>> queue{kQueueDepth};
  std::size_t batch_bytes = kBatchBytes;
  std::thread workers[kWorkers];
  bool finished = false;
  struct Segment {
    std::string path;
    int worker;
    std::size_t part;
  };
  std::mutex segments_mutex;
  std::vector<Segment> segments;  // by number: a worker's segments hold rising records
  std::atomic<bool> failed{false};
  bool compact = false;  // no sets of pairs below PairFloor
  // Bytes of segment files merged while the index is written, both parts together.
  std::atomic<std::uint64_t> merged{0};
  // Records holding each character of each field, by worker, then summed by Write: they
  // tell which pairs keep a set of their own (see PairKept).
  std::vector<std::vector<std::uint32_t>> char_records[kWorkers];
  bool PairKept(std::uint32_t field, std::uint32_t pair, std::size_t count) const {
    std::uint64_t floor = PairFloor(records);
    if (count >= floor) return true;
    if (compact) return false;
    std::vector<std::uint32_t> const& counts = char_records[0][field];
    if (counts.empty() || records == 0) return false;
    double first = counts[pair >> 16], second = counts[pair & 0xFFFF];
    return first * second / records >= static_cast<double>(floor);
  }

  std::string NewSegment(int worker, std::size_t part) {
    std::lock_guard lock(segments_mutex);
    segments.push_back({prefix + std::to_string(segments.size()), worker, part});
    return segments.back().path;
  }

  void Dispatch() {
    if (!batch) return;
    queue.Push(std::move(batch));
    batch.reset();
  }

  void Work(int worker);
  // Merges the segments of part and serialises each key's bitmap, in key order.
  void Serialise(std::size_t part, Queue<std::unique_ptr<Bitmaps>>& out);
};

void Builder::Impl::Work(int worker) {
  // Occurrences waiting to be sorted take up to a quarter of the budget, and as much again
  // while they are sorted; the table takes the rest.
  std::size_t const share = budget / kWorkers;
  std::size_t const sorted =
      std::clamp<std::size_t>(share / 4 / sizeof(std::uint64_t), 4096, kSortedOccurrences);
  PostingTable table(share - std::min(share / 2, 2 * sorted * sizeof(std::uint64_t)));
  auto spill = [&] {
    if (table.empty()) return;
    struct SegmentFile {
      fs::UncachedWriter file;
      std::ostream stream{&file};
    } files[kParts];
    std::ostream* parts[kParts];
    for (std::size_t p = 0; p < kParts; ++p) {
      if (!files[p].file.Open(NewSegment(worker, p))) failed = true;
      parts[p] = &files[p].stream;
    }
    if (!table.WriteSegment(parts)) failed = true;
    for (SegmentFile& segment : files) {
      if (!segment.file.Close()) failed = true;
    }
    table.Clear();
  };
  // Occurrences (OrderOf(key) << 32 | record) of each field, collected over many batches
  // and then sorted: each distinct key's entry and list end are reached once per round
  // instead of once per occurrence, and the entries in the order of the table.
  std::vector<std::vector<std::uint64_t>> pending;
  std::vector<std::uint64_t> scratch;
  std::vector<std::uint32_t> records;
  std::size_t pending_count = 0;
  std::vector<std::size_t> runs;  // where each key's occurrences start, and the end
  auto flush = [&] {
    for (std::size_t field = 0; field < pending.size(); ++field) {
      std::span<std::uint64_t const> list = SortByHigh(pending[field], scratch);
      runs.clear();
      for (std::size_t i = 0; i < list.size(); ++i) {
        if (i == 0 || list[i] >> 32 != list[i - 1] >> 32) runs.push_back(i);
      }
      runs.push_back(list.size());
      auto f = static_cast<std::uint32_t>(field);
      table.Reserve(f, runs.size() - 1);
      constexpr std::size_t kAhead = 8;
      for (std::size_t r = 0; r + 1 < runs.size(); ++r) {
        if (r + kAhead + 1 < runs.size()) {
          table.PrefetchList(f, KeyAt(static_cast<std::uint32_t>(list[runs[r + kAhead]] >> 32)));
        }
        records.clear();
        for (std::size_t i = runs[r]; i < runs[r + 1]; ++i) {
          auto n = static_cast<std::uint32_t>(list[i]);
          if (records.empty() || records.back() != n) records.push_back(n);
        }
        auto key = KeyAt(static_cast<std::uint32_t>(list[runs[r]] >> 32));
        std::span<std::uint32_t const> rest = records;
        for (;;) {
          rest = rest.subspan(table.AddRun(f, key, rest));
          if (rest.empty()) break;
          spill();
        }
      }
      pending[field].clear();
    }
    pending_count = 0;
  };
  // The characters of one value by key: each key's positions chained in order (next), so
  // that a value's keys are gathered in one pass and added a record at a time.
  std::vector<std::uint32_t> seen(kChars, UINT32_MAX), head(kChars), tail(kChars);
  std::vector<std::uint32_t> next, distinct;
  std::vector<unsigned char> coded;
  std::uint32_t stamp = 0;
  while (auto batch = queue.Pop()) {
    auto const* text = reinterpret_cast<unsigned char const*>(batch->text.data());
    for (Batch::Item const& item : batch->items) {
      std::uint32_t n = batch->first + item.record;
      if (item.value >= 0) {
        while (!table.AddValue(item.field, static_cast<std::uint32_t>(item.value), n)) spill();
      }
      if (pending.size() <= item.field) pending.resize(item.field + 1);
      if (char_records[worker].size() <= item.field) char_records[worker].resize(item.field + 1);
      std::vector<std::uint32_t>& counts = char_records[worker][item.field];
      if (counts.empty()) counts.resize(kChars);
      std::vector<std::uint64_t>& out = pending[item.field];
      std::size_t before = out.size();
      out.push_back(std::uint64_t{OrderOf(kFieldKey)} << 32 | n);
      if (++stamp == UINT32_MAX) {
        std::fill(seen.begin(), seen.end(), UINT32_MAX);
        stamp = 0;
      }
      distinct.clear();
      next.clear();
      // Characters cut as CharKey cuts them, each with the pair it ends (a pair led by a
      // NUL byte would have a character's key, so it gives none).
      unsigned char const* p = text + item.at;
      std::size_t length = item.length;
      std::uint32_t previous = 0;
      for (std::size_t i = 0; i < length;) {
        std::size_t start = i;
        std::uint32_t key = p[i++];
        if (key >= 0x81 && i < length) key = key << 8 | p[i++];
        if (start > 0 && previous != 0) {
          out.push_back(std::uint64_t{OrderOf(previous << 16 | key)} << 32 | n);
        }
        previous = key;
        auto at = static_cast<std::uint32_t>(next.size());
        if (seen[key] != stamp) {
          seen[key] = stamp;
          head[key] = at;
          distinct.push_back(key);
        } else {
          next[tail[key]] = at;
        }
        tail[key] = at;
        next.push_back(UINT32_MAX);
      }
      for (std::uint32_t key : distinct) {
        coded.clear();
        std::uint32_t gap_from = 0;  // the first position is coded as it is
        for (std::uint32_t at = head[key]; at != UINT32_MAX; at = next[at]) {
          position_code::Put(coded, at - gap_from, next[at] != UINT32_MAX);
          gap_from = at + 1;
        }
        while (!table.AddPositions(item.field, key, n, coded)) {
          // A record's positions that do not fit an empty table never will.
          if (table.empty()) {
            failed = true;
            break;
          }
          spill();
        }
        ++counts[key];
      }
      pending_count += out.size() - before;
      if (pending_count >= sorted) flush();
    }
  }
  flush();
  spill();
}

Builder::Builder(std::string segment_prefix, std::size_t memory_budget, bool compact)
    : impl_(std::make_unique<Impl>()) {
  impl_->prefix = std::move(segment_prefix);
  impl_->compact = compact;
  impl_->offsets_path = impl_->prefix + "offsets";
  if (!impl_->offsets_writer.Open(impl_->offsets_path)) impl_->failed = true;
  impl_->budget = memory_budget;
  impl_->batch_bytes = std::clamp<std::size_t>(memory_budget / 256, 1, kBatchBytes);
  for (int w = 0; w < kWorkers; ++w) {
    impl_->workers[w] = std::thread([impl = impl_.get(), w] { impl->Work(w); });
  }
}

Builder::~Builder() {
  Finish();
  std::error_code ec;
  for (Impl::Segment const& segment : impl_->segments) std::filesystem::remove(segment.path, ec);
  impl_->offsets_writer.Close();
  std::filesystem::remove(impl_->offsets_path, ec);
  std::filesystem::remove(impl_->prefix + "terms", ec);
}

std::uint32_t Builder::records() const {
  return impl_->records;
}

void Builder::Add(std::uint32_t offset, std::span<Field const> fields) {
  Impl& b = *impl_;
  std::uint32_t n = b.records++;
  coding::Append32(b.offsets_block, offset);
  if (b.offsets_block.size() >= kFileBuffer) b.FlushOffsets();
  if (!b.batch) {
    b.batch = std::make_unique<Batch>();
    b.batch->first = n;
  }
  Batch& batch = *b.batch;
  for (Field const& f : fields) {
    auto it = b.field_ids.find(f.code);
    if (it == b.field_ids.end()) {
      it = b.field_ids.emplace(std::string(f.code), static_cast<std::uint32_t>(b.codes.size()))
               .first;
      b.codes.emplace_back(f.code);
      b.values.emplace_back();
    }
    std::int32_t number = -1;
    Impl::Values& listed = b.values[it->second];
    if (!listed.unlisted) {
      auto found = listed.numbers.find(f.value);
      if (found == listed.numbers.end() && listed.by_number.size() < kMaxValues &&
          f.value.size() <= kMaxValueBytes) {
        auto next = static_cast<std::uint32_t>(listed.by_number.size());
        found = listed.numbers.emplace(std::string(f.value), next).first;
        listed.by_number.emplace_back(f.value);
      }
      if (found == listed.numbers.end()) {
        listed = {};
        listed.unlisted = true;
      } else {
        number = static_cast<std::int32_t>(found->second);
      }
    }
    batch.items.push_back({n - batch.first, it->second,
                           static_cast<std::uint32_t>(batch.text.size()),
                           static_cast<std::uint32_t>(f.value.size()), number});
    batch.text.append(f.value);
  }
  if (batch.text.size() >= b.batch_bytes) b.Dispatch();
}

void Builder::Finish() {
  Impl& b = *impl_;
  if (b.finished) return;
  b.Dispatch();
  b.queue.Close();
  for (std::thread& t : b.workers) t.join();
  b.FlushOffsets();
  if (!b.offsets_writer.Close() || !b.offsets_file) b.failed = true;
  b.finished = true;
}

namespace {

// The lists of segments, merged by key; a key's records come out in order. Segments are
// given in the order they were written, each with the worker that wrote it; merged counts
// the bytes of them read.
class Merge {
 public:
  Merge(std::vector<std::pair<std::string, int>> const& segments,
        std::atomic<std::uint64_t>& merged)
      : merged_(merged) {
    // Each segment is read a block at a time; the blocks of one merge together stay
    // bounded however many segments a large library spills.
    std::size_t block =
        std::clamp<std::size_t>(kMergeBlocks / std::max<std::size_t>(segments.size(), 1),
                                kSmallestBlock, SegmentReader::kBlock);
    for (auto const& [path, worker] : segments) {
      readers_.push_back(std::make_unique<SegmentReader>(path, block));
      workers_.push_back(worker);
    }
    for (std::size_t s = 0; s < readers_.size(); ++s) Advance(s);
    std::make_heap(heap_.begin(), heap_.end(), std::greater<>{});
  }
  // The next key and its records, and for a character (IsCharList) their positions into
  // positions; false at the end or when a segment cannot be read. A key other than a
  // character's for which wanted(key, most records it may hold) is false is passed over
  // without reading its records.
  template <class Wanted>
  bool Next(std::uint64_t& key, std::vector<std::uint32_t>& records, PositionsOut& positions,
            Wanted const& wanted) {
    records.clear();
    positions.Clear();
    for (;;) {
      if (failed_ || heap_.empty()) return false;
      key = heap_.front().first;
      if (IsCharList(key)) return NextPositions(key, records, positions);
      // The segments holding the key, by segment number: a worker's earlier segments hold
      // its earlier records, so each worker's lists, one after the other, hold its records
      // rising.
      held_.clear();
      std::size_t most = 0;
      while (!heap_.empty() && heap_.front().first == key) {
        std::pop_heap(heap_.begin(), heap_.end(), std::greater<>{});
        held_.push_back(heap_.back().second);
        heap_.pop_back();
        most += readers_[held_.back()]->Varints();
      }
      bool read = wanted(key, most);
      // The first worker's records are decoded straight into records, each other's merged
      // in from the back (only one worker's records are held twice).
      for (auto& list : lists_) list.clear();
      for (std::size_t s : held_) {
        if (read) readers_[s]->Records(workers_[s] == 0 ? records : lists_[workers_[s]]);
        if (Advance(s)) std::push_heap(heap_.begin(), heap_.end(), std::greater<>{});
      }
      if (read) break;
    }
    for (auto const& list : lists_) {
      if (list.empty()) continue;
      std::size_t a = records.size();
      records.resize(a + list.size());
      std::size_t b = list.size();
      for (std::size_t k = records.size(); b > 0;) {
        if (a > 0 && records[a - 1] > list[b - 1]) {
          records[--k] = records[--a];
        } else {
          records[--k] = list[--b];
        }
      }
    }
    return !failed_;
  }
  bool failed() const { return failed_; }

 private:
  // A character's lists are merged where the segments hold them: each worker's lists
  // one after the other, the two workers' records interleaved (a record belongs to one
  // worker's batch, so no record comes twice).
  bool NextPositions(std::uint64_t key, std::vector<std::uint32_t>& records,
                     PositionsOut& positions) {
    std::vector<std::size_t> held[kWorkers];
    while (!heap_.empty() && heap_.front().first == key) {
      std::pop_heap(heap_.begin(), heap_.end(), std::greater<>{});
      std::size_t s = heap_.back().second;
      heap_.pop_back();
      held[workers_[s]].push_back(s);
    }
    struct Cursor {
      std::vector<std::size_t> const* segments;
      std::size_t next = 0;  // the segment after the one decoded
      PositionsDecoder decoder;
      std::uint32_t record = 0;
      std::span<unsigned char const> at;
      bool valid = false;
    };
    Cursor cursors[kWorkers];
    auto step = [&](Cursor& c) {
      for (;;) {
        if (c.decoder.Next(c.record, c.at)) return c.valid = true;
        if (c.decoder.malformed()) failed_ = true;
        if (c.next == c.segments->size()) return c.valid = false;
        c.decoder = PositionsDecoder(readers_[(*c.segments)[c.next++]]->list());
      }
    };
    for (std::size_t w = 0; w < kWorkers; ++w) {
      cursors[w].segments = &held[w];
      step(cursors[w]);
    }
    for (;;) {
      Cursor* low = nullptr;
      for (Cursor& c : cursors) {
        if (c.valid && (low == nullptr || c.record < low->record)) low = &c;
      }
      if (low == nullptr) break;
      records.push_back(low->record);
      positions.Add(low->at);
      step(*low);
    }
    for (auto const& segments : held) {
      for (std::size_t s : segments) {
        if (Advance(s)) std::push_heap(heap_.begin(), heap_.end(), std::greater<>{});
      }
    }
    return !failed_;
  }
  bool Advance(std::size_t s) {
    std::uint64_t passed = readers_[s]->passed();
    bool next = readers_[s]->Next();
    merged_.fetch_add(readers_[s]->passed() - passed, std::memory_order_relaxed);
    if (next) {
      heap_.emplace_back(readers_[s]->key(), s);
      return true;
    }
    failed_ = failed_ || readers_[s]->failed();
    return false;
  }
  std::atomic<std::uint64_t>& merged_;
  std::vector<std::unique_ptr<SegmentReader>> readers_;
  std::vector<int> workers_;  // by segment
  std::vector<std::pair<std::uint64_t, std::size_t>> heap_;
  // The current key's records of each worker but the first, and its segments.
  std::vector<std::uint32_t> lists_[kWorkers];
  std::vector<std::size_t> held_;
  bool failed_ = false;
};

}  // namespace

void Builder::Impl::Serialise(std::size_t part, Queue<std::unique_ptr<Bitmaps>>& out) {
  std::vector<std::pair<std::string, int>> own;
  for (Segment const& segment : segments) {
    if (segment.part == part) own.emplace_back(segment.path, segment.worker);
  }
  Merge merge(own, merged);
  auto chunk = std::make_unique<Bitmaps>();
  std::vector<std::uint32_t> members;
  PositionsOut positions;
  std::uint64_t key = 0;
  // A pair's set is written when PairKept says so: a pair that could not pass it with as
  // many records as its lists hold varints is not read at all.
  auto is_pair = [](std::uint64_t key) {
    return (key & kValueList) == 0 && !IsCharList(key) &&
           static_cast<std::uint32_t>(key) != kFieldKey;
  };
  auto field_of = [](std::uint64_t key) {
    return static_cast<std::uint32_t>(key >> 32 & 0x7FFFFFFFu);
  };
  auto wanted = [&](std::uint64_t key, std::size_t most) {
    if ((key & kValueList) != 0) return !values[field_of(key)].unlisted;
    return !is_pair(key) || PairKept(field_of(key), static_cast<std::uint32_t>(key), most);
  };
  while (merge.Next(key, members, positions, wanted)) {
    auto field = field_of(key);
    bool value_key = (key & kValueList) != 0;
    bool char_key = IsCharList(key);
    if (is_pair(key) && !PairKept(field, static_cast<std::uint32_t>(key), members.size())) {
      continue;
    }
    auto at = static_cast<std::uint32_t>(chunk->bytes.size());
    if (!value_key && !char_key && members.size() <= kInlineMost) {
      // Up to three records stand in the term entry itself: the first two where a set's
      // place goes (carried here as the hash), the third where its length's place goes.
      chunk->items.push_back({key,
                              InlineThird(members),
                              kInline | static_cast<std::uint32_t>(members.size()),
                              InlineFirstTwo(members),
                              0,
                              {}});
      continue;
    }
    if (value_key) chunk->bytes += values[field].by_number[static_cast<std::uint32_t>(key)];
    // A listed value's set is read whole by each comparison: never a blocked list.
    bitmap::AppendSorted(members, chunk->bytes, !value_key);
    auto length = static_cast<std::uint32_t>(chunk->bytes.size() - at);
    std::uint64_t hash = Hash(std::string_view(chunk->bytes).substr(at));
    std::string tail;
    if (char_key) positions.Finish(chunk->bytes, tail);
    chunk->weight += chunk->bytes.size() - at + tail.size();
    chunk->items.push_back({key, at, length, hash,
                            static_cast<std::uint32_t>(chunk->bytes.size() - at - length),
                            std::move(tail)});
    if (chunk->weight >= kBitmapsBytes) {
      out.Push(std::move(chunk));
      chunk = std::make_unique<Bitmaps>();
    }
  }
  if (merge.failed()) failed = true;
  if (!chunk->items.empty()) out.Push(std::move(chunk));
  out.Close();
}

bool Builder::Write(std::string const& path, Binding const& binding, std::string& error,
                    Progress const& progress) {
  Finish();
  Impl& b = *impl_;
  fs::DurableFile out;
  auto failed = [&](std::string const& file) {
    out.Abort();
    error = "cannot write " + file;
    return false;
  };
  if (b.failed) return failed(b.prefix + "*");

  // The character counts of both workers, which PairKept reads while writing.
  for (int w = 1; w < kWorkers; ++w) {
    auto& total = b.char_records[0];
    if (total.size() < b.char_records[w].size()) total.resize(b.char_records[w].size());
    for (std::size_t f = 0; f < b.char_records[w].size(); ++f) {
      if (total[f].empty()) total[f].resize(kChars);
      for (std::size_t k = 0; k < b.char_records[w][f].size(); ++k) {
        total[f][k] += b.char_records[w][f][k];
      }
    }
  }

  std::string head(kHeader, '\0');
  std::memcpy(head.data(), kMagic, sizeof kMagic);
  coding::Put32(head.data() + 8, kVersion);
  coding::Put32(head.data() + 12, static_cast<std::uint32_t>(b.codes.size()));
  coding::Put32(head.data() + 16, records());
  coding::Put64(head.data() + 24, binding.size);
  coding::Put64(head.data() + 32, static_cast<std::uint64_t>(binding.mtime_ns));
  coding::Put64(head.data() + 40, binding.head_hash);

  if (!out.Open(path)) {
    error = out.error();
    return false;
  }
  out.WriteUncached();
  // Write errors are met by Commit, which reports the first.
  std::uint64_t bitmaps_at = kHeader + 4ull * b.records + kDirEntry * b.codes.size();
  out.Seek(bitmaps_at);

  // The parts hold disjoint keys: each part's segments merge and serialise on a thread of
  // their own, and the bitmaps are written here in the order of all keys.
  std::deque<Queue<std::unique_ptr<Bitmaps>>> streams;  // not movable
  for (std::size_t p = 0; p < kParts; ++p) streams.emplace_back(kBitmapsDepth);
  std::vector<std::thread> threads;
  for (std::size_t p = 0; p < kParts; ++p) {
    threads.emplace_back([&b, &streams, p] { b.Serialise(p, streams[p]); });
  }
  struct Cursor {
    std::unique_ptr<Bitmaps> chunk;
    std::size_t next = 0;
  };
  std::vector<Cursor> cursors(kParts);
  std::uint64_t segment_bytes = 0;
  for (Impl::Segment const& segment : b.segments) {
    std::error_code ec;
    std::uintmax_t size = std::filesystem::file_size(segment.path, ec);
    if (!ec) segment_bytes += size;
  }
  std::uint64_t items = 0;
  auto refill = [&](std::size_t w) {
    Cursor& c = cursors[w];
    if (c.chunk && c.next < c.chunk->items.size()) return true;
    c.chunk = streams[w].Pop();
    c.next = 0;
    return c.chunk != nullptr;
  };
  // Term tables, one per field; bitmaps stream to the file in key order. Keys come field
  // by field, so the term entries go to a file of their own in the order of the tables
  // and are copied in behind the bitmaps; listed values (few) wait in memory to be sorted.
  std::string terms_path = b.prefix + "terms";
  fs::UncachedWriter terms_writer;
  if (!terms_writer.Open(terms_path)) b.failed = true;
  std::ostream terms(&terms_writer);
  std::string term_block;
  std::vector<std::uint64_t> term_bytes(b.codes.size());
  // Every kTopEvery-th key of each field's terms, written after its table.
  std::vector<std::string> top_keys(b.codes.size());
  std::vector<StreamHash> table_hashes(b.codes.size());
  std::vector<std::vector<std::pair<std::string, std::string>>> value_tables(b.codes.size());
  std::uint64_t at = bitmaps_at;
  for (;;) {
    std::size_t w = kParts;
    for (std::size_t v = 0; v < kParts; ++v) {
      if (!refill(v)) continue;
      if (w == kParts || cursors[v].chunk->items[cursors[v].next].key <
                             cursors[w].chunk->items[cursors[w].next].key) {
        w = v;
      }
    }
    if (w == kParts) break;
    Bitmaps const& chunk = *cursors[w].chunk;
    Bitmaps::Item const& item = chunk.items[cursors[w].next++];
    // An entry holding its records (kInline) has no bytes of its own.
    std::string_view bytes = (item.length & kInline) != 0
                                 ? std::string_view()
                                 : std::string_view(chunk.bytes)
                                       .substr(item.at, std::size_t{item.length} + item.positions);
    auto field = static_cast<std::uint32_t>(item.key >> 32 & 0x7FFFFFFFu);
    if ((item.key & kValueList) != 0) {
      std::string const& value = b.values[field].by_number[static_cast<std::uint32_t>(item.key)];
      std::string entry;
      AppendTerm(entry, static_cast<std::uint32_t>(value.size()),
                 static_cast<std::uint32_t>(bytes.size() - value.size()), at, item.hash);
      value_tables[field].emplace_back(value, std::move(entry));
    } else {
      if ((item.length & kInline) != 0) {
        // The entry holds the records where a set's place goes, and their check.
        AppendTerm(term_block, static_cast<std::uint32_t>(item.key), item.length, item.hash,
                   InlineHash(item.hash, item.at));
      } else {
        AppendTerm(term_block, static_cast<std::uint32_t>(item.key), item.length, at, item.hash);
      }
      table_hashes[field].Add(std::string_view(term_block).substr(term_block.size() - kTermEntry));
      if (term_bytes[field] % (kTermEntry * kTopEvery) == 0) {
        coding::Append32(top_keys[field], static_cast<std::uint32_t>(item.key));
      }
      term_bytes[field] += kTermEntry;
      if (term_block.size() >= kFileBuffer) {
        terms.write(term_block.data(), static_cast<std::streamsize>(term_block.size()));
        term_block.clear();
      }
    }
    out.Write(bytes);
    out.Write(item.tail);
    at += bytes.size() + item.tail.size();
    if (progress && ++items % kProgressEvery == 0) {
      progress(std::min(b.merged.load(std::memory_order_relaxed), segment_bytes), segment_bytes);
    }
  }
  for (std::thread& t : threads) t.join();
  if (progress) progress(segment_bytes, segment_bytes);
  terms.write(term_block.data(), static_cast<std::streamsize>(term_block.size()));
  if (!terms_writer.Close() || !terms) b.failed = true;
  if (b.failed) return failed(b.prefix + "*");
  // Listed values follow the terms of their field, in the order of their bytes, and the
  // top keys follow them.
  for (std::size_t f = 0; f < b.codes.size(); ++f) {
    std::sort(value_tables[f].begin(), value_tables[f].end());
    for (auto const& [value, entry] : value_tables[f]) table_hashes[f].Add(entry);
    table_hashes[f].Add(top_keys[f]);
  }

  std::string dir;
  std::uint64_t tables_at = at;
  std::uint64_t table_at = at;
  std::uint64_t tables_hash = 0xcbf29ce484222325ull;
  for (std::size_t f = 0; f < b.codes.size(); ++f) {
    std::string padded = b.codes[f].substr(0, kCodeBytes - 1);
    padded.resize(kCodeBytes, '\0');
    dir += padded;
    auto values = static_cast<std::uint32_t>(value_tables[f].size());
    coding::Append32(dir, static_cast<std::uint32_t>(term_bytes[f] / kTermEntry));
    coding::Append32(dir, values);
    coding::Append64(dir, table_at);
    table_at += term_bytes[f] + std::uint64_t{kTermEntry} * values + top_keys[f].size();
    tables_hash = (tables_hash ^ table_hashes[f].value()) * 0x100000001b3ull;
  }
  // Behind the bitmaps, each field's term entries, its listed values and its top keys.
  {
    fs::UncachedReader terms_reader;
    terms_reader.Open(terms_path);  // a file that cannot be read comes short, below
    std::istream in(&terms_reader);
    std::vector<char> block(kFileBuffer);
    for (std::size_t f = 0; f < b.codes.size(); ++f) {
      for (std::uint64_t left = term_bytes[f]; left > 0;) {
        in.read(block.data(),
                static_cast<std::streamsize>(std::min<std::uint64_t>(left, block.size())));
        if (in.gcount() == 0) return failed(path);
        out.Write(std::string_view(block.data(), static_cast<std::size_t>(in.gcount())));
        left -= static_cast<std::uint64_t>(in.gcount());
      }
      for (auto const& [value, entry] : value_tables[f]) out.Write(entry);
      out.Write(top_keys[f]);
    }
  }
  coding::Put64(head.data() + 48, table_at);
  StreamHash dir_hash = b.offsets_hash;
  dir_hash.Add(dir);
  coding::Put64(head.data() + 56, dir_hash.value());
  coding::Put64(head.data() + 64, tables_hash);
  coding::Put64(head.data() + 72, tables_at);
  out.Seek(0);
  out.Write(head);
  {
    fs::UncachedReader offsets_reader;
    offsets_reader.Open(b.offsets_path);  // a file that cannot be read comes short, below
    std::istream offsets(&offsets_reader);
    std::uint64_t left = 4ull * b.records;
    std::vector<char> block(kFileBuffer);
    while (left > 0 && offsets) {
      offsets.read(block.data(),
                   static_cast<std::streamsize>(std::min<std::uint64_t>(left, block.size())));
      out.Write(std::string_view(block.data(), static_cast<std::size_t>(offsets.gcount())));
      left -= static_cast<std::uint64_t>(offsets.gcount());
    }
    if (left > 0) return failed(path);
  }
  out.Write(dir);
  if (!out.Commit()) {
    error = out.error();
    return false;
  }
  return true;
}

}  // namespace qel::search_index
