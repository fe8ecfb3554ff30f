// Posting lists of the index builder: written to a segment and read back whole.
#include "readers/index_segment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "readers/search_index.h"
#include "support/temp_tree.h"

namespace qel::search_index {
namespace index_segment_test {

using qel::testing::TempTree;

using Lists = std::map<std::uint64_t, std::vector<std::uint32_t>>;

Lists ReadBack(std::string const& path) {
  Lists lists;
  SegmentReader reader(path);
  std::uint64_t previous = 0;
  bool first = true;
  while (reader.Next()) {
    EXPECT_TRUE(first || reader.key() > previous) << "keys out of order";
    previous = reader.key();
    first = false;
    reader.Records(lists[reader.key()]);
  }
  EXPECT_FALSE(reader.failed());
  return lists;
}

TEST(IndexSegment, ListsComeBackInKeyOrderWithEveryRecord) {
  TempTree dir;
  PostingTable table(std::size_t{16} << 20);
  Lists expected;
  // Deltas around every varint length, records up to the largest number, a list long
  // enough to fill chunks of every size, keys of both tables, a record added twice.
  std::vector<std::uint32_t> records = {
      0, 1, 128, 129, 16512, 16513, 2113664, 270549120, 270549121, 0xFFFFFFFDu, 0xFFFFFFFEu};
  for (std::uint32_t n : records) {
    for (std::uint32_t key : {0x41u, 0xB0A1u, 0xB0A1B0A2u, 0xFFFFFFFFu}) {
      ASSERT_TRUE(table.Add(1, key, n));
      ASSERT_TRUE(table.Add(1, key, n));
      expected[std::uint64_t{1} << 32 | key].push_back(n);
    }
  }
  for (std::uint32_t n = 0; n < 200000; n += n % 7 + 1) {
    ASSERT_TRUE(table.Add(0, 0x20u, n));
    ASSERT_TRUE(table.AddValue(2, 3, n));
    expected[0x20u].push_back(n);
    expected[kValueList | std::uint64_t{2} << 32 | 3].push_back(n);
  }
  std::string path = dir.Path("segment");
  {
    std::ofstream out(path, std::ios::binary);
    ASSERT_TRUE(table.WriteSegment(out));
  }
  EXPECT_EQ(ReadBack(path), expected);

  // Cleared, the table starts again from nothing.
  table.Clear();
  EXPECT_TRUE(table.empty());
  ASSERT_TRUE(table.Add(0, 0x20u, 5));
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(table.WriteSegment(out));
  }
  EXPECT_EQ(ReadBack(path), (Lists{{0x20u, {5}}}));

  // A segment cut short is a failure, not a shorter list.
  std::filesystem::resize_file(path, std::filesystem::file_size(path) - 1);
  SegmentReader cut(path);
  EXPECT_FALSE(cut.Next());
  EXPECT_TRUE(cut.failed());
}

TEST(IndexSegment, AFullTableRefusesUntilCleared) {
  PostingTable table(4096);
  std::uint32_t added = 0;
  for (std::uint32_t key = 0x10000; table.Add(0, key, 0); ++key) ++added;
  EXPECT_GT(added, 10u);
  EXPECT_FALSE(table.Add(0, 0x20000000u, 0));
  table.Clear();
  EXPECT_TRUE(table.Add(0, 0x20000000u, 0));
}

// Runs of records: repeats dropped, a full table stops part-way and says where, and keys
// added in slot order after Reserve come back whole and in key order.
TEST(IndexSegment, RunsOfRecordsAddAsOneByOne) {
  for (std::uint32_t key : {0u, 1u, 0xB0A1u, 0xFFFFu, 0x10000u, 0xB0A1B0A2u, 0xFFFFFFFFu}) {
    EXPECT_EQ(KeyAt(OrderOf(key)), key);
  }
  EXPECT_NE(OrderOf(0xB0A1B0A2u), 0xB0A1B0A2u);

  TempTree dir;
  std::string path = dir.Path("segment");
  PostingTable table(std::size_t{16} << 20);
  std::vector<std::uint32_t> keys;
  for (std::uint32_t i = 0; i < 50000; ++i) keys.push_back(0xB0A10000u + i * 7919u);
  keys.push_back(0x41u);
  std::sort(keys.begin(), keys.end(),
            [](std::uint32_t a, std::uint32_t b) { return OrderOf(a) < OrderOf(b); });
  table.Reserve(3, keys.size());
  Lists expected;
  std::vector<std::uint32_t> run = {2, 2, 5, 900, 900, 70000};
  for (std::uint32_t key : keys) {
    ASSERT_EQ(table.AddRun(3, key, run), run.size());
    expected[std::uint64_t{3} << 32 | key] = {2, 5, 900, 70000};
  }
  // The last record of a run again, as the next run's first: added once.
  ASSERT_EQ(table.AddRun(3, 0x41u, std::vector<std::uint32_t>{70000, 70001}), 2u);
  expected[std::uint64_t{3} << 32 | 0x41u].push_back(70001);
  {
    std::ofstream out(path, std::ios::binary);
    ASSERT_TRUE(table.WriteSegment(out));
  }
  EXPECT_EQ(ReadBack(path), expected);

  // A small table takes part of a long run, then the rest once cleared.
  PostingTable small(4096);
  std::vector<std::uint32_t> records;
  for (std::uint32_t n = 0; n < 20000; ++n) records.push_back(n * 3);
  std::size_t added = small.AddRun(0, 0x20u, records);
  EXPECT_GT(added, 0u);
  EXPECT_LT(added, records.size());
  small.Clear();
  EXPECT_EQ(small.AddRun(0, 0x20u, std::span(records).subspan(added, 10)), 10u);
}

// A segment written in parts: each list in the part its key names, each part in key
// order, and together the lists of the whole segment. The keys of other keys are sorted
// by SortByHigh, which keeps equal keys in their order.
TEST(IndexSegment, PartsTogetherHoldTheWholeSegment) {
  std::mt19937 rng(14);
  std::vector<std::uint64_t> items, scratch;
  for (std::uint64_t i = 0; i < 5000; ++i) {
    std::uint64_t high = rng() % 3 == 0 ? rng() : rng() % 40;
    items.push_back(high << 32 | i);
  }
  std::vector<std::uint64_t> expected = items;
  std::stable_sort(expected.begin(), expected.end(),
                   [](std::uint64_t a, std::uint64_t b) { return a >> 32 < b >> 32; });
  std::span<std::uint64_t const> sorted = SortByHigh(items, scratch);
  EXPECT_EQ(std::vector(sorted.begin(), sorted.end()), expected);
  // Three passes: the items end in scratch, and each buffer stays with its vector.
  EXPECT_EQ(sorted.data(), scratch.data());

  TempTree dir;
  PostingTable table(std::size_t{16} << 20);
  for (std::uint32_t n = 0; n < 3000; n += rng() % 5 + 1) {
    for (int k = 0; k < 20; ++k) {
      std::uint32_t key = rng() % 2 ? 0xB0A1u + rng() % 200 : 0xB0A1B0A1u + rng() % 5000;
      ASSERT_TRUE(table.Add(rng() % 3, key, n));
    }
    ASSERT_TRUE(table.AddValue(1, rng() % 7, n));
  }
  std::string whole = dir.Path("whole");
  {
    std::ofstream out(whole, std::ios::binary);
    ASSERT_TRUE(table.WriteSegment(out));
  }
  constexpr std::size_t kParts = 3;
  std::ofstream files[kParts];
  std::ostream* parts[kParts];
  for (std::size_t p = 0; p < kParts; ++p) {
    files[p].open(dir.Path("part" + std::to_string(p)), std::ios::binary);
    parts[p] = &files[p];
  }
  ASSERT_TRUE(table.WriteSegment(parts));
  Lists together;
  for (std::size_t p = 0; p < kParts; ++p) {
    files[p].close();
    Lists part = ReadBack(dir.Path("part" + std::to_string(p)));
    EXPECT_FALSE(part.empty()) << p;
    for (auto const& [key, records] : part) {
      EXPECT_EQ(PartOf(key, kParts), p) << key;
      together[key] = records;
    }
  }
  Lists all = ReadBack(whole);
  EXPECT_GT(all.size(), 1000u);
  EXPECT_EQ(together, all);
}

// Long lists whose varints of every length run on from one chunk into the next, read
// back through blocks smaller than a list head, than a list and than the segment.
TEST(IndexSegment, ListsCrossChunksAndReadingBlocks) {
  std::mt19937 rng(7);
  PostingTable table(std::size_t{64} << 20);
  Lists expected;
  std::uint32_t const keys[] = {0x30u, 0xB0A1u, 0xB0A1B0A2u, 0xC4E3C4E3u};
  std::uint32_t n[4] = {};
  for (int i = 0; i < 300000; ++i) {
    std::size_t k = rng() % 4;
    // Deltas of one to five varint bytes, records staying below 2^32.
    std::uint32_t delta = 1 + (rng() & ((1u << (7 * (rng() % 4 + 1))) - 1));
    if (rng() % 50000 == 0) delta = 0x7FFFFFFFu;
    if (n[k] > 0xFFFFFFFEu - delta) continue;
    n[k] += delta;
    ASSERT_TRUE(table.Add(1, keys[k], n[k]));
    expected[std::uint64_t{1} << 32 | keys[k]].push_back(n[k]);
  }
  TempTree dir;
  std::string path = dir.Path("segment");
  {
    std::ofstream out(path, std::ios::binary);
    ASSERT_TRUE(table.WriteSegment(out));
  }
  for (std::size_t block :
       {std::size_t{1}, std::size_t{100}, std::size_t{4096}, SegmentReader::kBlock}) {
    Lists lists;
    SegmentReader reader(path, block);
    while (reader.Next()) reader.Records(lists[reader.key()]);
    EXPECT_FALSE(reader.failed()) << block;
    EXPECT_EQ(lists, expected) << block;
  }
  std::filesystem::resize_file(path, std::filesystem::file_size(path) - 3);
  SegmentReader cut(path, 4096);
  while (cut.Next()) {
  }
  EXPECT_TRUE(cut.failed());
}

// Keys with short lists: the key table takes what the lists leave of the budget, so a
// table holds many more keys than half the budget would give it.
TEST(IndexSegment, KeysAndListsShareTheBudget) {
  PostingTable table(std::size_t{16} << 20);
  std::uint32_t added = 0;
  for (std::uint32_t key = 0x10000; table.Add(0, key, 1); ++key) ++added;
  EXPECT_GT(added, 300000u);
  // Once the keys have settled the tables' size, a few long lists fill the rest.
  table.Clear();
  std::uint32_t records = 0;
  while (table.Add(0, 0x10000, records)) ++records;
  EXPECT_GT(records, 4000000u);
}

// Bytes hashed in pieces of every size, words cut anywhere: the hash of them in a row.
TEST(IndexSegment, HashInPiecesIsTheHashOfTheWhole) {
  std::mt19937 rng(3);
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes += static_cast<char>(rng());
  for (std::size_t size : {0, 1, 7, 8, 9, 31, 32, 33, 63, 1000}) {
    std::string_view whole = std::string_view(bytes).substr(0, size);
    StreamHash pieces;
    for (std::size_t at = 0; at < size;) {
      std::size_t piece = std::min<std::size_t>(rng() % 13, size - at);
      pieces.Add(whole.substr(at, piece));
      at += piece;
    }
    EXPECT_EQ(pieces.value(), Hash(whole)) << size;
  }
  // Index files written earlier carry these hashes: the function must not change.
  EXPECT_EQ(Hash(""), 0xab67c54bfd7dc0cbull);
  EXPECT_EQ(Hash("abcdefghijk"), 0x84ab09d34e9a9abdull);
}

}  // namespace index_segment_test
}  // namespace qel::search_index
