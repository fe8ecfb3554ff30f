// The designer's decisions, apart from its windows: which controls are selected, how a
// drag of one frame is mirrored on the other selected frames, the order view's numbering,
// the style words each kind honours and the line a palette button adds.
//
// Controls are named by their index in the form's order. The view applies the results to
// the CCtrlSizeWnd frames (OnFocus, Simulate, SetID) and the form.
#ifndef QEL_TOOLS_DESIGNER_DESIGN_H_
#define QEL_TOOLS_DESIGNER_DESIGN_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qel::designer {

inline constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Notification codes of a sizing frame (dwData of its WM_COPYDATA).
enum Notice : std::uintptr_t {
  kShiftDrop = 2,
  kShiftMove = 3,
  kMoveStep = 0x200,
  kButtonDown = 0x201,
  kButtonUp = 0x202,
};

// Selected controls; one of them, the active one, has the grey corner squares.
class Selection {
 public:
  // count controls, none selected.
  void Reset(std::size_t count);
  // A click on control i: without Ctrl it becomes the only selected control, with Ctrl it
  // joins the selection; either way it becomes the active one.
  void Click(std::size_t i, bool ctrl);
  void Clear();
  bool selected(std::size_t i) const { return i < selected_.size() && selected_[i]; }
  std::size_t active() const { return active_; }
  std::size_t count() const { return selected_.size(); }
  // The selected controls in index order.
  std::vector<std::size_t> Selected() const;

 private:
  std::vector<bool> selected_;
  std::size_t active_ = kNone;
};

// One Simulate call on the frame of control `frame`.
struct Mirror {
  std::size_t frame;
  unsigned int message;
  int x, y;
};

// What the designer does on a notification from the frame of a selected control.
struct Reaction {
  std::vector<Mirror> mirrors;  // Simulate on the other selected frames, in index order
  bool commit = false;          // a drag ended: the form changed
  bool drop = false;            // a Shift-drag ended: place the control at (x, y), screen
  int x = 0, y = 0;
};

// Mirrors a drag step of control i's frame on every other selected frame: button down,
// move steps and button up as Simulate with the same message and numbers; a Shift drop
// as a drop at the screen point. Shift move steps change nothing.
Reaction React(Selection const& selection, std::size_t i, std::uintptr_t notice, int a, int b);

// True when the system mark suits a control of kind (case ignored): _SYS_ED_ marks for
// edit boxes, _SYS_BT_ marks for buttons and icon buttons, _SYS_CK_ marks for check boxes,
// _SYS_STATIC for texts and group boxes. Marks of the form's own (not _SYS_) suit any kind.
bool MarkFitsKind(std::string_view mark, std::string_view kind);

// Where a move drag leaves its controls. The frame reports each step as the offset it
// applied, measured from the point pressed in its own client area; its first step shrinks
// it from the grip band around the control to the control itself, so that point shifts by
// the band and the steps fall short of the pointer by its width. The tracker compares the
// pointer's way with the controls' way and gives what is left, for the designer to apply
// to every dragged control when the button is released.
class DragTracker {
 public:
  // Button down in the frame: the pointer and the control's origin, screen coordinates.
  void Down(int pointer_x, int pointer_y, int control_x, int control_y);
  // A move step was applied.
  void Step() { moved_ = true; }
  // Button up: the pointer and the control's origin now. Returns the offset still to
  // apply; none when the drag did not move or did not start with Down.
  std::pair<int, int> Up(int pointer_x, int pointer_y, int control_x, int control_y);

 private:
  bool down_ = false, moved_ = false;
  int pointer_x_ = 0, pointer_y_ = 0, control_x_ = 0, control_y_ = 0;
};

// The order view: clicks give the controls their places in click order.
class OrderView {
 public:
  void Start(std::size_t count);
  // A click on control i: the next place when i has none yet; returns i's place (0-based),
  // which the frame shows plus one.
  int Click(std::size_t i);
  // Place of control i: its click place, else -1.
  int place(std::size_t i) const { return i < places_.size() ? places_[i] : -1; }
  // The new order of the form: the clicked controls in click order, then the others in
  // their old order.
  std::vector<std::size_t> Order() const;

 private:
  std::vector<int> places_;
  int next_ = 0;
};

// A control's window rectangle in the design area: origin and size in pixels.
struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(Rect const&) const = default;
};

// The spacing of the grid a moved control snaps to.
inline constexpr int kGrid = 8;

// r with its origin on the nearest grid point (never left of or above the area).
Rect Snap(Rect r, int grid = kGrid);

// The commands of the Format menu, applied to the selection with the active control as
// the measure.
enum class Arrangement {
  kAlignLeft,
  kAlignTop,
  kAlignRight,
  kAlignBottom,
  kSameWidth,
  kSameHeight,
  kSameSize,
};
// The rectangles after the arrangement: each selected control (index into rects) lines up
// with, or takes the size of, rects[active]; the others stay.
std::vector<Rect> Arrange(std::vector<Rect> rects, std::vector<std::size_t> const& selected,
                          std::size_t active, Arrangement arrangement);

// Where a new control of w x h goes: the first grid point, row by row from the top left,
// where it keeps a grid's width from every control in taken and fits in area_width (the
// first free row below them all when no such point is left).
std::pair<int, int> FreeSpot(std::vector<Rect> const& taken, int w, int h, int area_width);

// The controls of a search form in a window larger than the form (extra pixels across and
// down): control `grow` (the hit list) takes the extra size, and the controls wholly to
// its right or below it move along, so that the list grows with the window.
std::vector<Rect> Stretch(std::vector<Rect> rects, std::size_t grow, int extra_width,
                          int extra_height);

// The style words kind honours (any letter case of the kind; none for BUTTON and for a
// kind outside the table), in the order the property panel offers them.
std::vector<std::string_view> StyleWords(std::string_view kind);
// The eight kinds, in the order of the kind table.
std::vector<std::string_view> const& Kinds();
// A new control of kind at (x, y), in the size and style a palette button gives it.
std::string NewLine(std::string_view kind, int x, int y);
// The window size of that control (the line's W and H plus one).
std::pair<int, int> NewSize(std::string_view kind);

// Style words joined with "|"; Words splits them again at runs of "|".
std::string JoinWords(std::vector<std::string> const& words);
std::vector<std::string> SplitWords(std::string_view style);

}  // namespace qel::designer

#endif  // QEL_TOOLS_DESIGNER_DESIGN_H_
