#include "controls/size_frame_logic.h"

#include <gtest/gtest.h>

namespace size_frame_logic_test {

using namespace qel::controls;

TEST(SizeFrameLogic, ZonesOfTheBandWithStrictEdges) {
  // A frame around a 100 x 20 control: client 108 x 28, inner (5, 5, 103, 23).
  struct Case {
    int x, y, mode;
    std::uintptr_t cursor;
  };
  Case const cases[] = {
      {2, 10, kFrameLeft, 32644},    {5, 10, kFrameMove, 32646},    {102, 22, kFrameMove, 32646},
      {103, 10, kFrameIdle, 0},      {105, 10, kFrameRight, 32644}, {107, 10, kFrameRight, 32644},
      {108, 10, kFrameIdle, 0},      {2, 2, kFrameIdle, 0},         {50, 2, kFrameTop, 32645},
      {50, 0, kFrameIdle, 0},        {0, 10, kFrameIdle, 0},        {50, 23, kFrameIdle, 0},
      {50, 24, kFrameBottom, 32645}, {50, 28, kFrameIdle, 0},       {5, 2, kFrameIdle, 0},
      {2, 5, kFrameIdle, 0},         {105, 25, kFrameIdle, 0},      {-1, 10, kFrameIdle, 0},
  };
  for (Case const& c : cases) {
    FrameZone z = HitZone(108, 28, c.x, c.y);
    EXPECT_EQ(z.mode, c.mode) << c.x << "," << c.y;
    EXPECT_EQ(z.cursor, c.cursor) << c.x << "," << c.y;
  }
  // A frame too small for an inner area grips nothing but bands that still fit.
  EXPECT_EQ(HitZone(8, 8, 4, 4).mode, kFrameIdle);
  EXPECT_EQ(HitZone(0, 0, 0, 0).mode, kFrameIdle);
}

TEST(SizeFrameLogic, ResizeMoveAndGrowRules) {
  FrameRect f{10, 20, 110, 40};
  FrameRect g = GrowByBand(f);
  EXPECT_EQ(g.left, 5);
  EXPECT_EQ(g.top, 15);
  EXPECT_EQ(g.right, 115);
  EXPECT_EQ(g.bottom, 45);

  FrameRect r = DragStep(kFrameRight, f, 40, 7, 0, 0);
  EXPECT_EQ(r.right - r.left, 40);
  EXPECT_EQ(r.left, 10);
  r = DragStep(kFrameRight, f, -10, 7, 0, 0);
  EXPECT_EQ(r.right - r.left, -10);  // no minimum size
  r = DragStep(kFrameLeft, f, 3, 99, 0, 0);
  EXPECT_EQ(r.left, 13);
  EXPECT_EQ(r.right, 110);
  r = DragStep(kFrameTop, f, 99, -4, 0, 0);
  EXPECT_EQ(r.top, 16);
  EXPECT_EQ(r.bottom, 40);
  r = DragStep(kFrameBottom, f, 99, 5, 0, 0);
  EXPECT_EQ(r.bottom, 25);
  r = DragStep(kFrameMove, f, 12, 3, 10, 10);
  EXPECT_EQ(r.left, 12);
  EXPECT_EQ(r.top, 13);
  EXPECT_EQ(r.right, 112);
  EXPECT_EQ(r.bottom, 33);
  r = DragStep(kFrameMirrored, f, 12, 3, 10, 10);
  EXPECT_EQ(r.left, 10);
  r = Offset(f, 3, -2);
  EXPECT_EQ(r.left, 13);
  EXPECT_EQ(r.top, 18);
  // Wrapping at the 32-bit edge instead of overflowing.
  r = Offset(FrameRect{2147483647, 0, 2147483647, 0}, 1, 0);
  EXPECT_EQ(r.left, -2147483647 - 1);
}

}  // namespace size_frame_logic_test
