#include "qelshare/CExpStack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "qelshare/memory.h"

namespace cexpstack_test {

using Bytes = std::vector<unsigned char>;

unsigned char* Block(Bytes const& bytes) {
  auto* p = static_cast<unsigned char*>(GlobalAlloc(GMEM_FIXED, bytes.size()));
  std::memcpy(p, bytes.data(), bytes.size());
  return p;
}

// Takes the stack's result and returns its bytes (freeing the block).
Bytes Result(CExpStack& stack) {
  unsigned char* p = nullptr;
  EXPECT_EQ(stack.GetResult(p), 1);
  if (p == nullptr) return {};
  Bytes out(p, p + stack.m_nBytes);
  GlobalFree(p);
  return out;
}

TEST(CExpStackTest, ByteLengthFollowsBitCount) {
  struct Case {
    unsigned long bits;
    long bytes;
  } const cases[] = {{0, 0}, {1, 1}, {7, 1}, {8, 1}, {9, 2}, {16, 2}, {17, 3}, {1000001, 125001}};
  for (auto const& c : cases) {
    CExpStack stack(c.bits);
    EXPECT_EQ(stack.m_nBytes, c.bytes) << c.bits;
    EXPECT_EQ(stack.m_nTop, 0);
    EXPECT_EQ(stack.m_pSlot[0], nullptr);
  }
}

TEST(CExpStackTest, NullPushIsZeroAndNotInvertsEveryByte) {
  CExpStack stack(12);
  ASSERT_EQ(stack.Push(nullptr), 1);
  ASSERT_EQ(stack.Not(), 1);
  EXPECT_EQ(Result(stack), (Bytes{0xFF, 0xFF}));  // bits past m_nBits are inverted too
  EXPECT_EQ(stack.m_nTop, 0);
  unsigned char* p = reinterpret_cast<unsigned char*>(1);
  EXPECT_EQ(stack.GetResult(p), 0);  // a second call finds nothing
  EXPECT_EQ(p, reinterpret_cast<unsigned char*>(1));
}

TEST(CExpStackTest, FailuresChangeNothing) {
  CExpStack stack(8);
  unsigned char* p = nullptr;
  EXPECT_EQ(stack.And(), 0);
  EXPECT_EQ(stack.Or(), 0);
  EXPECT_EQ(stack.Sub(), 0);
  EXPECT_EQ(stack.Not(), 0);
  EXPECT_EQ(stack.GetResult(p), 0);
  ASSERT_EQ(stack.Push(Block({0x5A})), 1);
  EXPECT_EQ(stack.And(), 0);
  EXPECT_EQ(stack.Or(), 0);
  EXPECT_EQ(stack.Sub(), 0);
  EXPECT_EQ(stack.m_nTop, 1);
  ASSERT_EQ(stack.Push(Block({0x0F})), 1);
  EXPECT_EQ(stack.GetResult(p), 0);  // two bitmaps: no result
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(stack.m_nTop, 2);
  EXPECT_EQ(stack.m_pSlot[0][0], 0x5A);
  EXPECT_EQ(stack.m_pSlot[1][0], 0x0F);
}

TEST(CExpStackTest, CapacityIsTwoHundredAndFailedPushLeavesBlockWithCaller) {
  CExpStack stack(64);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(stack.Push(nullptr), 1) << i;
  unsigned char* mine = Block(Bytes(8, 1));
  EXPECT_EQ(stack.Push(mine), 0);
  EXPECT_EQ(stack.Push(nullptr), 0);
  EXPECT_EQ(stack.m_nTop, 200);
  for (int i = 0; i < 200; ++i) EXPECT_NE(stack.m_pSlot[i], mine);
  GlobalFree(mine);  // still ours; the destructor frees the 200 on the stack
}

TEST(CExpStackTest, OperatorsPopLeftOperandFirst) {
  // a, b, c then Sub then Or leaves a OR (b AND NOT c).
  CExpStack stack(24);
  Bytes a{0x01, 0x80, 0x00}, b{0xF0, 0x0F, 0xFF}, c{0x30, 0x01, 0x0F};
  stack.Push(Block(a));
  stack.Push(Block(b));
  stack.Push(Block(c));
  ASSERT_EQ(stack.Sub(), 1);
  ASSERT_EQ(stack.Or(), 1);
  Bytes expected(3);
  for (int i = 0; i < 3; ++i) expected[i] = a[i] | (b[i] & ~c[i]);
  EXPECT_EQ(Result(stack), expected);
}

// Word-wide operations give the byte-wise results at every length, tail bytes included.
TEST(CExpStackTest, MatchesByteWiseDefinitionAtEveryLength) {
  std::mt19937 rng(7);
  struct Op {
    int (CExpStack::*member)();
    unsigned char (*byte)(unsigned char, unsigned char);
  } const ops[] = {
      {&CExpStack::And, [](unsigned char l, unsigned char r) -> unsigned char { return l & r; }},
      {&CExpStack::Or, [](unsigned char l, unsigned char r) -> unsigned char { return l | r; }},
      {&CExpStack::Sub, [](unsigned char l, unsigned char r) -> unsigned char { return l & ~r; }},
  };
  for (unsigned long bits : {1ul, 63ul, 64ul, 127ul, 129ul, 511ul, 512ul, 1023ul, 4100ul}) {
    for (auto const& op : ops) {
      CExpStack stack(bits);
      std::size_t n = stack.m_nBytes;
      Bytes x(n), y(n);
      for (auto& v : x) v = static_cast<unsigned char>(rng());
      for (auto& v : y) v = static_cast<unsigned char>(rng());
      stack.Push(Block(x));
      stack.Push(Block(y));
      ASSERT_EQ((stack.*op.member)(), 1);
      ASSERT_EQ(stack.m_nTop, 1);
      Bytes got(stack.m_pSlot[0], stack.m_pSlot[0] + n);
      stack.Not();
      Bytes inverted = Result(stack);
      for (std::size_t i = 0; i < n; ++i) {
        ASSERT_EQ(got[i], op.byte(x[i], y[i])) << bits << " bits, byte " << i;
        ASSERT_EQ(inverted[i], static_cast<unsigned char>(~got[i]));
      }
    }
  }
}

TEST(CExpStackTest, CopiesAreDeepAndTheStackIsReusable) {
  CExpStack stack(8);
  stack.Push(Block({0x0F}));
  CExpStack copy(stack);
  copy.Not();
  EXPECT_EQ(stack.m_pSlot[0][0], 0x0F);
  EXPECT_EQ(copy.m_pSlot[0][0], 0xF0);
  CExpStack assigned(64);
  assigned = copy;
  EXPECT_EQ(assigned.m_nBytes, 1);
  EXPECT_EQ(Result(assigned), Bytes{0xF0});
  EXPECT_EQ(Result(stack), Bytes{0x0F});
  // After GetResult the stack evaluates again.
  stack.Push(nullptr);
  stack.Push(Block({0x33}));
  stack.Or();
  EXPECT_EQ(Result(stack), Bytes{0x33});
}

}  // namespace cexpstack_test
