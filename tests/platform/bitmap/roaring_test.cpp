// Record sets: the serialisation read back into hit bitmaps in place.
#include "platform/bitmap/roaring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/coding/coding.h"

namespace qel::bitmap {
namespace roaring_test {

std::vector<std::uint32_t> BitsToRecords(std::vector<unsigned char> const& bits) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t n = 0; n < 8 * bits.size(); ++n) {
    if ((bits[n / 8] >> (n % 8) & 1) != 0) out.push_back(n);
  }
  return out;
}

std::string Serialise(std::vector<std::uint32_t> const& records) {
  RecordSet set;
  set.AddMany(records);
  std::string out;
  set.AppendTo(out);
  return out;
}

TEST(RecordSetOrInto, ReadsEveryContainerKind) {
  std::mt19937 rng(14);
  std::vector<std::vector<std::uint32_t>> cases = {{}, {0}, {7, 8, 9, 65535, 65536}};
  // Sparse (arrays), dense (bitsets), ranges (runs), over several containers.
  std::vector<std::uint32_t> sparse, dense, ranges, mixed;
  for (std::uint32_t n = 0; n < 300000; ++n) {
    if (rng() % 100 == 0) sparse.push_back(n);
    if (rng() % 2 == 0) dense.push_back(n);
    if (n % 70000 < 30000) ranges.push_back(n);
    if (n < 65536 ? n % 3 == 0 : n < 131072 ? true : n % 1000 == 1) mixed.push_back(n);
  }
  cases.insert(cases.end(), {sparse, dense, ranges, mixed, {3, 4, 5, 6, 100000, 100001}});
  for (auto const& records : cases) {
    std::vector<unsigned char> bits(300000 / 8 + 1);
    ASSERT_TRUE(OrInto(Serialise(records), bits)) << records.size();
    EXPECT_EQ(BitsToRecords(bits), records) << records.size();
  }
  // Adds to what the bitmap holds already.
  std::vector<unsigned char> bits(2, 0);
  bits[0] = 0x01;
  ASSERT_TRUE(OrInto(Serialise({9, 15}), bits));
  EXPECT_EQ(BitsToRecords(bits), (std::vector<std::uint32_t>{0, 9, 15}));
}

TEST(RecordSetOrInto, RefusesBytesThatAreNotOneSerialisation) {
  std::vector<unsigned char> bits(40000);
  for (auto const& records :
       {std::vector<std::uint32_t>{1, 2, 3000}, std::vector<std::uint32_t>(20000, 0)}) {
    std::vector<std::uint32_t> set = records;
    for (std::uint32_t i = 0; i < set.size(); ++i) set[i] += 2 * i;
    std::string bytes = Serialise(set);
    EXPECT_FALSE(OrInto(bytes.substr(0, bytes.size() - 1), bits));
    EXPECT_FALSE(OrInto(bytes + '\0', bits));
    EXPECT_FALSE(OrInto(bytes.substr(0, 3), bits));
    std::string cookie = bytes;
    cookie[0] ^= 0x10;
    EXPECT_FALSE(OrInto(cookie, bits));
  }
  // Records beyond the bitmap, in an array, a run and a bitset container.
  std::vector<unsigned char> small(2);
  EXPECT_FALSE(OrInto(Serialise({3, 16}), small));
  std::vector<std::uint32_t> run;
  for (std::uint32_t n = 10; n < 20; ++n) run.push_back(n);
  EXPECT_FALSE(OrInto(Serialise(run), small));
  std::vector<std::uint32_t> dense;
  for (std::uint32_t n = 0; n < 20000; n += 2) dense.push_back(n);
  std::vector<unsigned char> short_bits(1000);
  EXPECT_FALSE(OrInto(Serialise(dense), short_bits));
  std::vector<unsigned char> enough(2500);
  EXPECT_TRUE(OrInto(Serialise(dense), enough));
}

TEST(RecordSetAppendSorted, BlockedListsReadLikeSetsAndRefuseDamage) {
  // 130 records: 1000 then every tenth to 2280 (block 0: gaps less one 9, 4 bits each),
  // and UINT32_MAX - 1 and UINT32_MAX (block 1: a gap less one of 0, no bits).
  std::vector<std::uint32_t> records;
  for (std::uint32_t i = 0; i < 128; ++i) records.push_back(1000 + 10 * i);
  records.push_back(UINT32_MAX - 1);
  records.push_back(UINT32_MAX);
  std::string bytes;
  AppendSorted(records, bytes);
  std::string table("P1\x82\x01\xE8\x03\x00\x00\x41\x00\x00\x00\xFE\xFF\xFF\xFF\x42\x00\x00\x00",
                    20);
  ASSERT_EQ(bytes.substr(0, 20), table);
  EXPECT_EQ(bytes.substr(20), "\x04" + std::string(63, '\x99') + std::string("\x09\x00", 2));
  RecordSet set;
  ASSERT_TRUE(set.Read(bytes));
  EXPECT_EQ(set.Members(), records);
  RankCursor cursor;
  ASSERT_TRUE(cursor.Open(bytes));
  EXPECT_EQ(cursor.Count(), 130u);
  std::uint64_t rank = 0;
  EXPECT_TRUE(cursor.Find(UINT32_MAX, rank));
  EXPECT_EQ(rank, 129u);
  EXPECT_FALSE(cursor.Find(1005, rank));  // back to the first block, between records
  EXPECT_EQ(rank, 1u);
  EXPECT_TRUE(cursor.Find(2270, rank));
  EXPECT_EQ(rank, 127u);
  EXPECT_FALSE(cursor.Find(999, rank));  // before every record
  EXPECT_EQ(rank, 0u);
  EXPECT_FALSE(cursor.Find(2281, rank));  // after the first block, before the second
  EXPECT_EQ(rank, 128u);
  std::vector<unsigned char> bits(1 << 16);
  EXPECT_FALSE(OrInto(bytes, bits));  // records beyond the bitmap
  // The same with the last block at 5000 and 5001 fits, and is damaged in turn: the table
  // cut short, blocks whose firsts are too close, an end out of order, a byte more; a
  // block of a width past 32, a byte less, or records running into the next block's.
  std::string fits = bytes;
  coding::Put32(fits.data() + 12, 5000);
  ASSERT_TRUE(OrInto(fits, bits));
  std::vector<std::uint32_t> fitting(records.begin(), records.end() - 2);
  fitting.insert(fitting.end(), {5000, 5001});
  EXPECT_EQ(BitsToRecords(bits), fitting);
  std::string cut = fits.substr(0, 18);
  std::string close = fits, ends = fits, longer = fits + '\0', wide = fits, into = fits;
  coding::Put32(close.data() + 12, 1000 + 127);
  coding::Put32(ends.data() + 8, 0x42);
  wide[20] = '\x21';
  coding::Put32(into.data() + 12, 2000);
  std::string shorter = fits;
  shorter.erase(21, 1);
  coding::Put32(shorter.data() + 8, 0x40);
  coding::Put32(shorter.data() + 16, 0x41);
  for (std::string const& damaged : {cut, close, ends, longer, wide, into, shorter}) {
    EXPECT_FALSE(set.Read(damaged)) << damaged.size();
    EXPECT_EQ(set.Count(), 0u);
    EXPECT_FALSE(OrInto(damaged, bits)) << damaged.size();
  }
  // The table's damage is found when a cursor opens; a block's when it is searched.
  for (std::string const& damaged : {cut, close, ends, longer}) EXPECT_FALSE(cursor.Open(damaged));
  for (std::string const& damaged : {wide, into, shorter}) {
    ASSERT_TRUE(cursor.Open(damaged));
    EXPECT_TRUE(cursor.Find(1000, rank));
    EXPECT_EQ(rank, cursor.Count());
  }
}

}  // namespace roaring_test
}  // namespace qel::bitmap

namespace qel::bitmap {
namespace roaring_test {

// The direct writer must give CRoaring's bytes for every shape the index meets: arrays,
// bitsets and runs at their size thresholds, one to many containers (offsets are left out
// for fewer than four containers with runs), records repeated.
TEST(RecordSetRead, RefusesContainersCRoaringWouldTakeOnTrust) {
  // A serialisation of one container, the header's cardinality less one first, then its
  // values, words or runs: the bytes CRoaring's own reader accepts without looking.
  auto one = [](std::uint16_t cardinality, std::string const& body, bool runs = false) {
    std::string bytes;
    if (runs) {
      bytes = std::string("\x3B\x30\x00\x00\x01", 5);  // run cookie, one container
    } else {
      bytes = std::string("\x3A\x30\x00\x00\x01\x00\x00\x00", 8);
    }
    bytes += std::string("\x00\x00", 2);  // key 0
    bytes += static_cast<char>((cardinality - 1) & 0xFF);
    bytes += static_cast<char>((cardinality - 1) >> 8);
    if (!runs) bytes += std::string("\x10\x00\x00\x00", 4);  // offset of the container
    return bytes + body;
  };
  RecordSet set;
  ASSERT_TRUE(set.Read(one(2, std::string("\x01\x00\x05\x00", 4))));
  EXPECT_EQ(set.Members(), (std::vector<std::uint32_t>{1, 5}));
  EXPECT_FALSE(set.Read(one(2, std::string("\x05\x00\x01\x00", 4))));  // falling
  EXPECT_FALSE(set.Read(one(2, std::string("\x05\x00\x05\x00", 4))));  // repeated
  EXPECT_EQ(set.Count(), 0u);
  // A bitset whose bits do not make its cardinality.
  std::string words(8192, '\xFF');
  ASSERT_TRUE(set.Read(one(0, words)));  // 65,536 records: cardinality - 1 is 0xFFFF
  EXPECT_EQ(set.Count(), 65536u);
  words[100] = 0;
  EXPECT_FALSE(set.Read(one(0, words)));
  // Runs: [2, 4] and [6, 6]; overlapping ones, and one past 16 bits.
  ASSERT_TRUE(set.Read(one(4, std::string("\x02\x00\x02\x00\x02\x00\x06\x00\x00\x00", 10), true)));
  EXPECT_EQ(set.Members(), (std::vector<std::uint32_t>{2, 3, 4, 6}));
  EXPECT_FALSE(set.Read(one(4, std::string("\x02\x00\x02\x00\x02\x00\x04\x00\x00\x00", 10), true)));
  EXPECT_FALSE(set.Read(one(2, std::string("\x01\x00\xFF\xFF\x01\x00", 6), true)));
}

TEST(RecordSetAppendSorted, WritesTheBytesOfTheSet) {
  std::mt19937 rng(7);
  std::vector<std::vector<std::uint32_t>> cases = {{}, {0}, {5, 5, 5}, {65535, 65536}};
  auto range = [](std::uint32_t from, std::uint32_t count) {
    std::vector<std::uint32_t> out(count);
    for (std::uint32_t i = 0; i < count; ++i) out[i] = from + i;
    return out;
  };
  // Around the choice between an array and runs, and a bitset and runs.
  for (std::uint32_t count : {1u, 2u, 3u, 4u, 4095u, 4096u, 4097u, 65536u}) {
    cases.push_back(range(70000, count));
  }
  for (std::uint32_t runs : {2046u, 2047u, 2048u}) {
    std::vector<std::uint32_t> set;
    for (std::uint32_t r = 0; r < runs; ++r) {
      for (std::uint32_t i = 0; i < 3; ++i) set.push_back(r * 30 + i);
    }
    cases.push_back(set);
  }
  for (int round = 0; round < 200; ++round) {
    std::vector<std::uint32_t> set;
    std::uint32_t containers = 1 + rng() % 6;
    for (std::uint32_t c = 0; c < containers; ++c) {
      std::uint32_t base = (c * 3 + rng() % 3) << 16;
      std::uint32_t density = 1 + rng() % 40;
      std::uint32_t limit = rng() % 2 ? 65536 : 1 + rng() % 9000;
      for (std::uint32_t low = 0; low < limit; ++low) {
        if (rng() % density == 0) {
          set.push_back(base + low);
          if (rng() % 50 == 0) set.push_back(base + low);
        }
      }
    }
    cases.push_back(set);
  }
  // Thousands of records spread thinly, across blocks of 128 and with a last block of
  // one record.
  for (std::uint32_t count : {129u, 3000u, 4097u}) {
    std::vector<std::uint32_t> thin;
    for (std::uint32_t i = 0; i < count; ++i) thin.push_back(i * 37 + rng() % 30);
    cases.push_back(thin);
  }
  // A case in CRoaring's bytes, or packed or blocked in fewer; each reads back as the set.
  std::size_t packed = 0, blocked = 0;
  for (auto const& records : cases) {
    std::string direct;
    AppendSorted(records, direct);
    std::string portable = Serialise(records);
    std::vector<std::uint32_t> distinct = records;
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    if (direct != portable) {
      ASSERT_LT(direct.size(), portable.size()) << records.size();
      ASSERT_TRUE(direct.starts_with("P0") || direct.starts_with("P1"));
      (direct.starts_with("P0") ? packed : blocked) += 1;
    }
    RecordSet set;
    ASSERT_TRUE(set.Read(direct)) << records.size();
    ASSERT_EQ(set.Members(), distinct);
    std::vector<unsigned char> bits(distinct.empty() ? 0 : distinct.back() / 8 + 1);
    ASSERT_TRUE(OrInto(direct, bits));
    ASSERT_EQ(BitsToRecords(bits), distinct);
    RankCursor cursor;
    ASSERT_TRUE(cursor.Open(direct));
    ASSERT_EQ(cursor.Count(), distinct.size());
    for (std::size_t i = 0; i < distinct.size(); i += 1 + i % 7) {
      std::uint64_t rank = 0;
      ASSERT_TRUE(cursor.Find(distinct[i], rank));
      ASSERT_EQ(rank, i);
    }
  }
  EXPECT_GT(packed, 10u);
  EXPECT_GT(blocked, 10u);
  EXPECT_LT(packed + blocked, cases.size() - 10);
  // A record in each of many containers, with a far gap in each block (which widens it):
  // packed up to 256 records, blocked beyond.
  for (std::uint32_t count : {256u, 257u}) {
    std::vector<std::uint32_t> spread = {0};
    for (std::uint32_t i = 1; i < count; ++i) {
      spread.push_back(spread.back() + (i % 100 == 0 ? 1u << 26 : 65537u));
    }
    std::string direct;
    AppendSorted(spread, direct);
    EXPECT_EQ(direct.substr(0, 2), count == 256 ? "P0" : "P1");
  }
  std::string out = "head";
  AppendSorted(range(1, 1000), out);
  EXPECT_EQ(out, "head" + Serialise(range(1, 1000)));
}

TEST(RecordSetAppendSorted, PackedListsReadLikeSetsAndRefuseDamage) {
  // 0, 5, 200 and UINT32_MAX: gaps less one 4, 194 and UINT32_MAX - 201.
  std::vector<std::uint32_t> records = {0, 5, 200, UINT32_MAX};
  std::string bytes;
  AppendSorted(records, bytes);
  ASSERT_EQ(bytes, std::string("P0\x04\x00\x04\xC2\x01\xB6\xFE\xFF\xFF\x0F", 12));
  RecordSet set;
  ASSERT_TRUE(set.Read(bytes));
  EXPECT_EQ(set.Members(), records);
  RankCursor cursor;
  ASSERT_TRUE(cursor.Open(bytes));
  std::uint64_t rank = 0;
  EXPECT_TRUE(cursor.Find(UINT32_MAX, rank));
  EXPECT_EQ(rank, 3u);
  EXPECT_FALSE(cursor.Find(6, rank));  // back to the start, between records
  EXPECT_EQ(rank, 2u);
  EXPECT_TRUE(cursor.Find(5, rank));
  EXPECT_EQ(rank, 1u);
  std::vector<unsigned char> small(26);  // records up to 207
  EXPECT_FALSE(OrInto(bytes, small));
  // Cut short, a byte more, a count too large or too small, a record past 32 bits.
  std::string cut = bytes.substr(0, bytes.size() - 1);
  std::string more = bytes + '\x01';
  std::string counted_over = bytes, counted_under = bytes;
  counted_over[2] = '\x05';
  counted_under[2] = '\x03';
  std::string past("P0\x02\x00\xFF\xFF\xFF\xFF\x0F", 9);
  for (std::string const& damaged : {cut, more, counted_over, counted_under, past}) {
    EXPECT_FALSE(set.Read(damaged)) << damaged.size();
    EXPECT_EQ(set.Count(), 0u);
    std::vector<unsigned char> bits(1 << 20);
    EXPECT_FALSE(OrInto(damaged, bits));
    EXPECT_FALSE(cursor.Open(damaged)) << damaged.size();
  }
}

}  // namespace roaring_test
}  // namespace qel::bitmap

namespace qel::bitmap {
namespace roaring_test {

// Places found in place agree with the set's own order, whether the records asked for
// rise, skip, fall back or are not in the set, for every container kind.
TEST(RecordSetAssignBits, HoldsTheRecordsOfAHitBitmap) {
  // Chunks of 65,536 records: empty, sparse (an array), dense (a bitset), one record, and
  // a last chunk cut short within a word.
  std::vector<unsigned char> bits(8192 * 4 + 8192 / 2 + 3);
  std::mt19937 rng(3);
  auto set = [&](std::uint32_t n) { bits[n / 8] |= static_cast<unsigned char>(1u << (n % 8)); };
  for (std::uint32_t n = 65536; n < 2 * 65536; n += 1 + rng() % 40) set(n);
  for (std::uint32_t n = 2 * 65536; n < 3 * 65536; ++n) {
    if (rng() % 3 != 0) set(n);
  }
  set(3 * 65536 + 7);
  set(static_cast<std::uint32_t>(8 * bits.size() - 1));
  std::vector<std::uint32_t> records = BitsToRecords(bits);
  RecordSet hits;
  hits.AssignBits(bits);
  ASSERT_EQ(hits.Members(), records);
  // A page of members from any place, and past the end.
  EXPECT_EQ(hits.Members(0, 3), std::vector<std::uint32_t>(records.begin(), records.begin() + 3));
  std::size_t middle = records.size() / 2;
  EXPECT_EQ(
      hits.Members(middle, 1000),
      std::vector<std::uint32_t>(records.begin() + static_cast<std::ptrdiff_t>(middle),
                                 records.begin() + static_cast<std::ptrdiff_t>(middle) + 1000));
  EXPECT_EQ(hits.Members(records.size() - 1, 5), std::vector<std::uint32_t>{records.back()});
  EXPECT_TRUE(hits.Members(records.size(), 5).empty());
  // Back into a bitmap: the same bits, and in a shorter one those that fit.
  std::vector<unsigned char> back(bits.size());
  hits.OrInto(back);
  EXPECT_EQ(back, bits);
  std::vector<unsigned char> shorter(8192 * 2);
  hits.OrInto(shorter);
  EXPECT_EQ(shorter, std::vector<unsigned char>(bits.begin(), bits.begin() + 8192 * 2));
  // No hits, no records.
  hits.AssignBits(std::vector<unsigned char>(100));
  EXPECT_EQ(hits.Count(), 0u);
  hits.AssignBits({});
  EXPECT_EQ(hits.Count(), 0u);
}

TEST(CountBits, CountsWholeWordsAndTheBytesAfter) {
  // Five words and three bytes after them, every seventh record or so set.
  std::vector<unsigned char> bytes(8 * 5 + 3);
  std::uint64_t set = 0, in_tail = 0;
  for (std::size_t n = 0; n < bytes.size() * 8; n += (n % 7) + 1) {
    bytes[n / 8] |= static_cast<unsigned char>(1u << (n % 8));
    ++set;
    if (n >= 8 * 40) ++in_tail;
  }
  EXPECT_EQ(CountBits(bytes), set);
  EXPECT_EQ(CountBits(std::span(bytes).subspan(40)), in_tail);
  EXPECT_EQ(CountBits(std::vector<unsigned char>(17, 0xFF)), 17u * 8);
  EXPECT_EQ(CountBits({}), 0u);
}

TEST(RankCursor, FindsThePlaceOfEveryRecord) {
  std::mt19937 rng(21);
  std::vector<std::uint32_t> sparse, dense, ranges, mixed;
  for (std::uint32_t n = 0; n < 300000; ++n) {
    if (rng() % 100 == 0) sparse.push_back(n);
    if (rng() % 2 == 0) dense.push_back(n);
    if (n % 70000 < 30000 || n % 70000 == 40000) ranges.push_back(n);
    if (n < 65536 ? n % 3 == 0 : n < 131072 ? true : n % 1000 == 1) mixed.push_back(n);
  }
  for (auto const& records : {sparse, dense, ranges, mixed, std::vector<std::uint32_t>{5}}) {
    std::string bytes = Serialise(records);
    RankCursor cursor;
    ASSERT_TRUE(cursor.Open(bytes));
    EXPECT_EQ(cursor.Count(), records.size());
    std::vector<std::uint32_t> asked;
    for (std::uint32_t n = 0; n < 300100; n += 1 + rng() % 700) asked.push_back(n);
    for (int i = 0; i < 200; ++i) asked.push_back(static_cast<std::uint32_t>(rng() % 300000));
    for (std::uint32_t n : records) {
      if (rng() % 50 == 0) asked.push_back(n);
    }
    for (std::uint32_t n : asked) {
      auto it = std::lower_bound(records.begin(), records.end(), n);
      bool in = it != records.end() && *it == n;
      std::uint64_t rank = 0;
      ASSERT_EQ(cursor.Find(n, rank), in) << n;
      if (in) {
        EXPECT_EQ(rank, static_cast<std::uint64_t>(it - records.begin())) << n;
      }
    }
  }
  RankCursor cursor;
  EXPECT_FALSE(cursor.Open("not a set"));
  std::string cut = Serialise(sparse);
  cut.pop_back();
  EXPECT_FALSE(cursor.Open(cut));
}

}  // namespace roaring_test
}  // namespace qel::bitmap
