// The sizing frame's pure logic: the hit zones of its 5-pixel band with their cursors and
// drag modes, the rules that resize or move the control, and the growth by 5 that puts
// the frame around the control.
#ifndef QELSHARE_CONTROLS_SIZE_FRAME_LOGIC_H_
#define QELSHARE_CONTROLS_SIZE_FRAME_LOGIC_H_

#include <cstdint>

namespace qel::controls {

// Frame modes (m_nMode).
enum FrameMode : int {
  kFrameOrder = -1,
  kFrameIdle = 0,
  kFrameLeft = 1,
  kFrameTop = 2,
  kFrameRight = 3,
  kFrameBottom = 4,
  kFrameMove = 5,
  kFrameMirrored = 6,
};

constexpr int kFrameBand = 5;

// What a point of the frame's client area grips: the mode a button down starts there and
// the stock cursor shown (0 and 0 for no zone).
struct FrameZone {
  int mode = kFrameIdle;
  std::uintptr_t cursor = 0;
};

// The zone of (x, y) in a client area of width x height: inside the area shrunk by 5
// (moves), then the left, top, right and bottom bands (resizes, strict edges); corners,
// the column x = width - 5, the row y = height - 5 and the outer line grip nothing.
FrameZone HitZone(int width, int height, int x, int y);

struct FrameRect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// The frame's rectangle around a control's: 5 more on every side.
FrameRect GrowByBand(FrameRect r);

// One drag step of mode 1 to 5 at client point (x, y) of the frame; `last` is the button
// down point. Left: left += x; top: top += y; right: width = x; bottom: height = y (the
// opposite edges stay, no minimum size); move: offset by (x - last.x, y - last.y).
FrameRect DragStep(int mode, FrameRect control, int x, int y, int lastX, int lastY);

// The rectangle offset by (dx, dy).
FrameRect Offset(FrameRect r, int dx, int dy);

}  // namespace qel::controls

#endif  // QELSHARE_CONTROLS_SIZE_FRAME_LOGIC_H_
