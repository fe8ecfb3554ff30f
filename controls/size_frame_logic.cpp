#include "controls/size_frame_logic.h"

namespace qel::controls {
namespace {

constexpr std::uintptr_t kSizeWE = 32644;   // IDC_SIZEWE
constexpr std::uintptr_t kSizeNS = 32645;   // IDC_SIZENS
constexpr std::uintptr_t kSizeAll = 32646;  // IDC_SIZEALL

std::int32_t Add(std::int32_t a, std::int64_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(a + b)));
}

}  // namespace

FrameZone HitZone(int width, int height, int x, int y) {
  int const l = kFrameBand, t = kFrameBand, r = width - kFrameBand, b = height - kFrameBand;
  if (x >= l && x < r && y >= t && y < b) return {kFrameMove, kSizeAll};
  if (l - kFrameBand < x && x < l && t < y && y < b) return {kFrameLeft, kSizeWE};
  if (l < x && x < r && t - kFrameBand < y && y < t) return {kFrameTop, kSizeNS};
  if (r < x && x < r + kFrameBand && t < y && y < b) return {kFrameRight, kSizeWE};
  if (l < x && x < r && b < y && y < b + kFrameBand) return {kFrameBottom, kSizeNS};
  return {};
}

FrameRect GrowByBand(FrameRect r) {
  return {Add(r.left, -kFrameBand), Add(r.top, -kFrameBand), Add(r.right, kFrameBand),
          Add(r.bottom, kFrameBand)};
}

FrameRect Offset(FrameRect r, int dx, int dy) {
  return {Add(r.left, dx), Add(r.top, dy), Add(r.right, dx), Add(r.bottom, dy)};
}

FrameRect DragStep(int mode, FrameRect f, int x, int y, int lastX, int lastY) {
  switch (mode) {
    case kFrameLeft:
      f.left = Add(f.left, x);
      break;
    case kFrameTop:
      f.top = Add(f.top, y);
      break;
    case kFrameRight:
      f.right = Add(f.left, x);
      break;
    case kFrameBottom:
      f.bottom = Add(f.top, y);
      break;
    case kFrameMove:
      f = Offset(f, static_cast<int>(Add(x, -std::int64_t{lastX})),
                 static_cast<int>(Add(y, -std::int64_t{lastY})));
      break;
    default:
      break;
  }
  return f;
}

}  // namespace qel::controls
