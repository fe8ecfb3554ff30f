// The search index's character positions and pair sets: built, read back against the
// values they came from, and refused when damaged.
#include "readers/search_index.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/coding/coding.h"
#include "readers/index_segment.h"
#include "support/temp_tree.h"

namespace qel::search_index {
namespace search_index_test {

using qel::testing::TempTree;

// Where each character stands in each value, by key and record.
using Expected = std::map<std::uint32_t, std::map<std::uint32_t, std::vector<std::uint32_t>>>;

Expected PositionsOf(std::vector<std::string> const& values) {
  Expected expected;
  for (std::uint32_t n = 0; n < values.size(); ++n) {
    std::uint32_t at = 0;
    for (std::size_t i = 0; i < values[n].size(); ++at) {
      auto [key, length] = CharKey(values[n], i);
      expected[key][n].push_back(at);
      i += length;
    }
  }
  return expected;
}

// Builds an index of values in field TX (record n at offset n) under budget.
void Build(TempTree const& dir, std::vector<std::string> const& values, std::size_t budget) {
  Builder builder(dir.Path("run"), budget);
  for (std::uint32_t n = 0; n < values.size(); ++n) {
    Builder::Field field{"TX", values[n]};
    builder.Add(n, std::span(&field, 1));
  }
  std::string error;
  ASSERT_TRUE(builder.Write(dir.Path("lib.qix"), Binding{values.size() + 1, 0, 0}, error)) << error;
}

TEST(SearchIndex, GivesEveryCharacterItsPositionsInEveryRecord) {
  TempTree dir;
  std::mt19937 rng(7);
  // Two-byte characters, one whose trail is ASCII, ASCII, LF, a NUL byte and a lead byte
  // ending a value; values long enough for gaps of two-byte varints, and enough records
  // for many blocks of one character.
  std::vector<std::string> const alphabet = {"\xB4\xBA", "\xD4\xC2", "\x81\x40",
                                             "a",        "\n",       std::string(1, '\0')};
  std::vector<std::string> values;
  for (int n = 0; n < 3000; ++n) {
    std::string value;
    int length = n % 97 == 0 ? 400 : static_cast<int>(rng() % 12);
    for (int i = 0; i < length; ++i) value += alphabet[rng() % (n % 97 == 0 ? 2 : 6)];
    if (n % 11 == 0) value += "\xC7";
    values.push_back(value);
  }
  Expected expected = PositionsOf(values);
  // One segment, and many, merged from both builder threads.
  for (std::size_t budget : {std::size_t{64} << 20, std::size_t{40000}}) {
    Build(dir, values, budget);
    Reader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(dir.Path("lib.qix"), Binding{values.size() + 1, 0, 0}, error)) << error;
    ASSERT_TRUE(reader.Check(error)) << error;
    for (auto const& [key, records] : expected) {
      std::vector<std::uint32_t> members;
      for (auto const& [n, at] : records) members.push_back(n);
      // Records found by counting those before them (each block read alone, or the
      // positions read whole), and by walking the set.
      for (std::uint64_t lookups :
           {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{members.size()}}) {
        PositionList list;
        ASSERT_TRUE(reader.Positions("TX", key, list)) << key;
        ASSERT_TRUE(list.found()) << key;
        ASSERT_EQ(list.count(), members.size());
        // Positions read before the set is, and after; the set in place, and a record at a
        // time.
        if (lookups > 0) {
          std::vector<std::uint32_t> set;
          ASSERT_TRUE(list.Records(set));
          ASSERT_EQ(set, members);
          for (std::uint32_t n = 0; n < reader.records(); ++n) {
            bool holds = false;
            ASSERT_TRUE(list.Holds(n, holds));
            ASSERT_EQ(holds, std::binary_search(members.begin(), members.end(), n)) << n;
          }
        }
        list.Expect(lookups);
        // Rising, then backwards: each way gives the same positions.
        std::vector<std::uint32_t> positions;
        for (auto const& [n, at] : records) {
          ASSERT_TRUE(list.Find(n, positions));
          ASSERT_EQ(positions, at) << key << " in " << n;
        }
        for (auto it = records.rbegin(); it != records.rend(); ++it) {
          ASSERT_TRUE(list.Find(it->first, positions));
          ASSERT_EQ(positions, it->second);
        }
        ASSERT_TRUE(list.Find(static_cast<std::uint32_t>(values.size()), positions));
        EXPECT_TRUE(positions.empty());
      }
    }
    PositionList none;
    ASSERT_TRUE(reader.Positions("TX", 0xB0A1, none));
    EXPECT_FALSE(none.found());
    ASSERT_TRUE(reader.Positions("XX", 'a', none));
    EXPECT_FALSE(none.found());
  }
}

TEST(SearchIndex, KeepsSetsOfCommonPairsOnly) {
  TempTree dir;
  // Pairs of two common characters keep a set; a pair of a common and a rare one, and a
  // pair led by a NUL byte (which would have the second character's key), do not.
  std::vector<std::string> values;
  for (int n = 0; n < 4000; ++n) {
    std::string value = n % 2 ? "ab" : "ba";
    if (n % 500 == 0) value += "cz";
    if (n % 7 == 0) value += std::string(1, '\0') + "q";
    values.push_back(value);
  }
  Build(dir, values, std::size_t{64} << 20);
  Reader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(dir.Path("lib.qix"), Binding{values.size() + 1, 0, 0}, error));
  ASSERT_TRUE(reader.Check(error)) << error;
  auto has = [&](std::uint32_t key) {
    bitmap::RecordSet set;
    bool found = false;
    EXPECT_TRUE(reader.Lookup("TX", key, set, &found));
    return found;
  };
  EXPECT_TRUE(has('a' << 16 | 'b'));
  EXPECT_TRUE(has('b' << 16 | 'a'));
  EXPECT_FALSE(has('a' << 16 | 'c'));
  EXPECT_FALSE(has('c' << 16 | 'z'));
  EXPECT_TRUE(has('z'));
  bitmap::RecordSet q;
  ASSERT_TRUE(reader.Lookup("TX", 'q', q));
  EXPECT_EQ(q.Count(), 572u);
}

TEST(SearchIndex, DamagedPositionsAreRefusedWhereTheyAreRead) {
  TempTree dir;
  std::vector<std::string> values(300,
                                  "\xB4\xBA\xB4\xBA"
                                  "a");
  Build(dir, values, std::size_t{64} << 20);
  std::string path = dir.Path("lib.qix");
  std::string bytes = dir.Read("lib.qix");
  Binding binding{values.size() + 1, 0, 0};
  // The positions of 春 in each record, 0 and 1: "\x40\x00" per record, block after block.
  std::string run;
  for (int n = 0; n < 300; ++n) run += std::string("\x40\x00", 2);
  std::size_t at = bytes.find(run);
  ASSERT_NE(at, std::string::npos);
  struct Fault {
    std::size_t offset;
    char byte;
    bool table;  // the block table is damaged, so no position of the character reads
  };
  // A position changed within its block, and a block's end pointing past the bytes.
  for (Fault fault :
       {Fault{at + 2 * 200 + 1, '\x03', false}, Fault{at - 5 * 8 + 8 + 1, '\x7F', true}}) {
    std::string damaged = bytes;
    damaged[fault.offset] = fault.byte;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
    Reader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(path, binding, error)) << error;
    EXPECT_FALSE(reader.Check(error));
    EXPECT_NE(error.find("positions of a character of field TX"), std::string::npos) << error;
    PositionList list;
    std::vector<std::uint32_t> positions;
    ASSERT_EQ(reader.Positions("TX", 0xB4BA, list), !fault.table);
    if (fault.table) continue;
    // Records of the blocks before the damage still read; the damaged block does not.
    EXPECT_TRUE(list.Find(0, positions));
    EXPECT_EQ(positions, (std::vector<std::uint32_t>{0, 1}));
    EXPECT_FALSE(list.Find(200, positions));
  }
}

}  // namespace search_index_test
}  // namespace qel::search_index
