#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "publicfun/block_codec.h"
#include "qelshare/CPublicFun.h"
#include "support/reference_coder.h"

namespace compress_test {

using Bytes = std::vector<unsigned char>;

Bytes B(std::string const& s) {
  return Bytes(s.begin(), s.end());
}

// Returns the block, or an empty vector when Compress declines.
Bytes Compress(Bytes src) {
  Bytes dst(src.size());
  unsigned long len = 12345;
  if (!CPublicFun::Compress(src.data(), src.size(), dst.data(), &len)) {
    EXPECT_EQ(len, 12345u);
    return {};
  }
  EXPECT_LT(len, src.size());
  dst.resize(len);
  return dst;
}

Bytes Expand(Bytes block, std::size_t size) {
  Bytes out(size);
  EXPECT_EQ(CPublicFun::Expand(block.data(), block.size(), out.data()), 1);
  return out;
}

bool Checked(Bytes const& block, std::size_t size, Bytes* out = nullptr) {
  Bytes buf(size);
  bool ok = qel::block::ExpandChecked(block, buf);
  if (out) *out = buf;
  return ok;
}

// Each input compresses to the reference coder's block, which both decoders expand back.
void ExpectCodedByTheRules(std::vector<Bytes> const& inputs) {
  for (std::size_t k = 0; k < inputs.size(); ++k) {
    SCOPED_TRACE(k);
    Bytes const& src = inputs[k];
    Bytes block = Compress(src);
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(block, qel::testing::ReferenceCompress(src));
    EXPECT_EQ(Expand(block, src.size()), src);
    Bytes out;
    EXPECT_TRUE(Checked(block, src.size(), &out));
    EXPECT_EQ(out, src);
  }
}

TEST(CompressTest, FixedBlocks) {
  struct Case {
    std::string src;
    Bytes block;
  } const cases[] = {
      // Overlapping references from window offset 0: 18 bytes, then the 9 left.
      {std::string(30, 'x'), {'x', 'x', 'x', 0xC0, 0xF0, 0x00, 0x60, 0x00}},
      // abcd at 16 matches 0 and 8 equally long: the earlier wins; abcde at 21 takes the
      // strictly longer match at 8. The last group holds one item.
      {"abcdwxyzabcde123abcdQabcde9876",
       {'a',  'b', 'c', 0x04, 'd',  'w', 'x',  'y',  'z', 0x10, 0x00, 'e',  '1',
        0x28, '2', '3', 0x10, 0x00, 'Q', 0x20, 0x08, '9', '8',  '7',  0x00, '6'}},
      // Exactly eight items: no flag byte after the last one.
      {"abcdefghiabcdefghiabcdefghiabc",
       {'a', 'b', 'c', 0x03, 'd', 'e', 'f', 'g', 'h', 'i', 0xF0, 0x00, 0x00, 0x00}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.src);
    EXPECT_EQ(Compress(B(c.src)), c.block);
    EXPECT_EQ(Expand(c.block, c.src.size()), B(c.src));
    Bytes out;
    EXPECT_TRUE(Checked(c.block, c.src.size(), &out));
    EXPECT_EQ(out, B(c.src));
  }
}

TEST(CompressTest, DeclinesShortAndIncompressibleInput) {
  EXPECT_TRUE(Compress(Bytes(29, 'x')).empty());
  EXPECT_FALSE(Compress(Bytes(30, 'x')).empty());
  std::mt19937 rng(7);
  Bytes noise(100000);
  for (auto& b : noise) b = static_cast<unsigned char>(rng());
  EXPECT_TRUE(Compress(noise).empty());
  // 30 distinct bytes: no match anywhere, the output reaches 28 bytes first.
  Bytes distinct(30);
  for (int i = 0; i < 30; ++i) distinct[i] = static_cast<unsigned char>(i);
  EXPECT_TRUE(Compress(distinct).empty());
  unsigned long len = 0;
  EXPECT_EQ(CPublicFun::Compress(nullptr, 100, distinct.data(), &len), 0);
}

// Inputs past the window size, in several textures, against the literal coder above.
TEST(CompressTest, MatchesTheRulesAndRoundTripsPastTheWindow) {
  std::mt19937 rng(42);
  std::vector<Bytes> inputs;
  Bytes text;
  char const* words[] = {"the ",     "retrieval ", "\xC4\xEA", "\xD4\xC2", "library ",
                         "\xB5\xC4", "\r\n",       "field ",   "2005 ",    "\xCA\xB1"};
  while (text.size() < 20000) {
    std::string w = words[rng() % 10];
    text.insert(text.end(), w.begin(), w.end());
  }
  inputs.push_back(text);
  Bytes small_alphabet(9000);
  for (auto& b : small_alphabet) b = "ab"[rng() % 2];
  inputs.push_back(small_alphabet);
  Bytes runs;
  while (runs.size() < 12000)
    runs.insert(runs.end(), rng() % 40 + 1, static_cast<unsigned char>(rng() % 4));
  inputs.push_back(runs);
  // A far repeat: the second copy is more than one window behind the first.
  Bytes far(5000);
  for (auto& b : far) b = static_cast<unsigned char>(rng() % 16);
  Bytes farTwice = far;
  farTwice.insert(farTwice.end(), far.begin(), far.end());
  inputs.push_back(farTwice);
  inputs.push_back(Bytes(10000, 0));

  ExpectCodedByTheRules(inputs);
}

// Runs of one byte and of one two-byte unit, of every length up to past the cap, in
// both phases, followed by bytes that often repeat what follows other runs (so that runs
// of equal length compete on the bytes after them), near and across the window edge.
TEST(CompressTest, RunsOfOneByteAndOfTwoByteUnits) {
  std::mt19937 rng(11);
  std::vector<Bytes> inputs;
  for (int alphabet : {2, 3, 7}) {
    for (std::size_t size : {200, 5000, 30000}) {
      Bytes in;
      while (in.size() < size) {
        auto const a = static_cast<unsigned char>('a' + rng() % alphabet);
        auto const b = static_cast<unsigned char>('a' + rng() % alphabet);
        std::size_t const len = 1 + rng() % (rng() % 3 == 0 ? 60 : 9);
        switch (rng() % 3) {
          case 0:
            in.insert(in.end(), len, a);
            break;
          case 1:
            for (std::size_t k = 0; k < len; ++k) in.push_back(k % 2 ? b : a);
            break;
          default:
            for (std::size_t k = 0; k < len; ++k)
              in.push_back(static_cast<unsigned char>('a' + rng() % alphabet));
        }
      }
      inputs.push_back(in);
    }
  }
  // A run longer than the window ends just before a shorter one of the same byte.
  Bytes longRun(9000, ' ');
  longRun.push_back('x');
  longRun.insert(longRun.end(), 40, ' ');
  longRun.push_back('x');
  inputs.push_back(longRun);
  ExpectCodedByTheRules(inputs);
}

// A marker recurring at a fixed gap in text: its chain lives over 100 KB; gaps around
// the window size put the previous marker just inside or just outside it.
TEST(CompressTest, LongLivedChainsAndTheWindowEdge) {
  std::mt19937 rng(3);
  char const* words[] = {"\xC4\xEA", "\xD4\xC2", "\xB5\xC4", "\xCA\xB1", "\xA3\xAC",
                         "\xB7\xD6", "\xC3\xEB", "\xC8\xD5", "\r\n"};
  std::string const marker = "<marker 0123456789>";
  std::vector<Bytes> inputs;
  for (std::size_t gap : {1000, 4093, 4095, 4096, 4097, 4100}) {
    Bytes in;
    while (in.size() < 100000) {
      std::string w = words[std::min(rng() % 9, rng() % 9)];
      in.insert(in.end(), w.begin(), w.end());
    }
    for (std::size_t at = gap % 7; at + marker.size() < in.size(); at += gap) {
      std::copy(marker.begin(), marker.end(), in.begin() + static_cast<std::ptrdiff_t>(at));
    }
    inputs.push_back(in);
  }
  ExpectCodedByTheRules(inputs);
}

// Repeats of one pattern (periods of three bytes and more) between stretches of text:
// many positions of a chain match 18 bytes, which sends the search to the oldest position
// of the window; the text between repeats is sometimes short enough for the position
// found last time to lead on to the new window, sometimes so long that it does not.
TEST(CompressTest, RepeatedPatternsBetweenText) {
  std::mt19937 rng(21);
  char const* words[] = {"\xC4\xEA", "\xD4\xC2", "\xB5\xC4", "\xCA\xB1", "\xA3\xAC", "ab", "\r\n"};
  std::vector<Bytes> inputs;
  for (std::string const pattern : {"abc", "\xB5\xC4x", "line of text\r\n",
                                    "ab\xA3\xAC"
                                    "c",
                                    "a longer line that repeats, forty bytes\n"}) {
    Bytes in;
    while (in.size() < 80000) {
      for (std::size_t n = 50 + rng() % 5000; n > 0; --n) {
        in.push_back(static_cast<unsigned char>(pattern[in.size() % pattern.size()]));
      }
      std::size_t const gap = rng() % 3 == 0 ? 9000 + rng() % 4000 : rng() % 3000;
      for (std::size_t const end = in.size() + gap; in.size() < end;) {
        std::string const w = words[rng() % 7];
        in.insert(in.end(), w.begin(), w.end());
      }
    }
    inputs.push_back(in);
  }
  ExpectCodedByTheRules(inputs);
}

// A call leaves nothing behind for the next: inputs whose searches go oldest first (a
// repeated line) and inputs full of runs, each coded twice, in turns.
TEST(CompressTest, EachCallStartsAfresh) {
  std::mt19937 rng(5);
  Bytes lines, runs;
  while (lines.size() < 20000) {
    std::string const line = rng() % 4 == 0 ? "\xB5\xC4 record line\r\n" : "ab";
    lines.insert(lines.end(), line.begin(), line.end());
  }
  while (runs.size() < 20000) {
    runs.insert(runs.end(), 1 + rng() % 12, rng() % 2 ? ' ' : 'a');
    runs.push_back(static_cast<unsigned char>('a' + rng() % 3));
  }
  ExpectCodedByTheRules({lines, runs, lines, runs, lines});
}

// Inputs of about 1 MiB: text, a run and a period that last throughout, noise then text,
// and a repeat far behind.
TEST(CompressTest, LargeInputsMatchTheRules) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  std::mt19937 rng(15);
  auto text = [&](std::size_t size) {
    std::vector<std::string> words(400);
    for (auto& w : words) {
      for (int k = 1 + static_cast<int>(rng() % 3); k > 0; --k) {
        w += static_cast<char>(0xB0 + rng() % 40);
        w += static_cast<char>(0xA1 + rng() % 94);
      }
      if (rng() % 5 == 0) w += "\xA3\xAC";
    }
    Bytes out;
    while (out.size() < size) {
      std::string const& w = words[std::min(rng() % 400, rng() % 400)];
      out.insert(out.end(), w.begin(), w.end());
    }
    out.resize(size);
    return out;
  };
  auto noise = [&](std::size_t size) {
    Bytes out(size);
    for (auto& b : out) b = static_cast<unsigned char>(rng());
    return out;
  };
  std::vector<Bytes> inputs = {text(kMiB - 1), text(kMiB), text(kMiB + 1), text(kMiB + 4099)};
  // One long run, and a 17-byte period: every item is a reference of 18 bytes.
  for (std::size_t extra : {0, 1, 7}) inputs.push_back(Bytes(kMiB + extra, 'x'));
  for (std::size_t extra : {0, 5, 9}) {
    Bytes period(kMiB + extra);
    for (std::size_t i = 0; i < period.size(); ++i) period[i] = "abcdefghijklmnopq"[i % 17];
    inputs.push_back(period);
  }
  // Noise and text after it, and a repeat of the text far behind.
  Bytes mixed = noise(kMiB / 2 + 333);
  Bytes tail = text(kMiB);
  mixed.insert(mixed.end(), tail.begin(), tail.end());
  inputs.push_back(mixed);
  Bytes repeat = text(kMiB / 2 - 100);
  Bytes gap = noise(3000);
  Bytes again = repeat;
  repeat.insert(repeat.end(), gap.begin(), gap.end());
  repeat.insert(repeat.end(), again.begin(), again.end());
  inputs.push_back(repeat);

  ExpectCodedByTheRules(inputs);
  // Noise throughout: the block fills up near the end and the coder declines.
  EXPECT_TRUE(Compress(noise(2 * kMiB)).empty());
}

TEST(CompressTest, CheckedDecoderReportsDamagedBlocks) {
  Bytes const good = {'x', 'x', 'x', 0xC0, 0xF0, 0x00, 0x60, 0x00};
  EXPECT_TRUE(Checked(good, 30));
  struct Case {
    char const* what;
    Bytes block;
    std::size_t size;
  } const cases[] = {
      {"expects more output", good, 31},
      {"bytes left over", good, 29},
      {"trailing flag byte", {'x', 'x', 'x', 0xC0, 0xF0, 0x00, 0x60, 0x00, 0x00}, 30},
      {"flag byte alone", {'a', 'b', 'c', 0x00}, 3},
      {"reference cut short", {'x', 'x', 'x', 0x80, 0xF0}, 21},
      {"reference to bytes not produced", {'x', 'x', 'x', 0x80, 0x00, 0x03}, 6},
      {"reference past the output", {'x', 'x', 'x', 0x80, 0xF0, 0x00}, 20},
      {"block shorter than three bytes", {'x', 'x'}, 2},
      {"output shorter than three bytes", {'x', 'x', 'x'}, 2},
  };
  for (auto const& c : cases) {
    EXPECT_FALSE(Checked(c.block, c.size)) << c.what;
  }
  EXPECT_TRUE(Checked({'a', 'b', 'c'}, 3));
  EXPECT_TRUE(Checked({'x', 'x', 'x', 0x80, 0x00, 0x02}, 6));  // overlapping by one
}

TEST(CompressTest, ExpandStaysInsideItsBuffersOnDamagedBlocks) {
  // Each block would read past its end or from output not produced yet.
  std::vector<Bytes> const blocks = {
      {'a', 'b', 'c', 0x00}, {'a', 'b', 'c', 0x80, 0x00}, {'a', 'b', 'c', 0x80, 0x0F, 0xFF}};
  for (auto const& b : blocks) {
    Bytes out(64, 0xEE);
    EXPECT_EQ(CPublicFun::Expand(const_cast<unsigned char*>(b.data()), b.size(), out.data()), 1);
    EXPECT_EQ(out[0], 'a');
    EXPECT_EQ(out[3], 0xEE);
  }
}

TEST(SimpleCodeTest, SwapsNeighbouringBitsAndIsItsOwnInverse) {
  Bytes buf = {0x01, 0x80, 0x0F, 0x5A, 0x00, 0xFF};
  EXPECT_EQ(CPublicFun::SimpleCode(buf.data(), buf.size()), 1);
  EXPECT_EQ(buf, (Bytes{0x02, 0x40, 0x0F, 0xA5, 0x00, 0xFF}));
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<unsigned char>(i);
  Bytes copy = all;
  CPublicFun::SimpleCode(copy.data(), copy.size());
  CPublicFun::SimpleCode(copy.data(), copy.size());
  EXPECT_EQ(copy, all);
  EXPECT_EQ(CPublicFun::SimpleCode(buf.data(), 0), 1);
}

}  // namespace compress_test
