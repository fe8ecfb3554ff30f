// The small button's pure logic: the icon table chosen by the text's name, and the
// machine of look (0 flat, 1 raised, -1 sunken) and capture (0 none, 1 hover, -1 press)
// that mouse messages drive.
#ifndef QELSHARE_CONTROLS_SMALL_BUTTON_LOGIC_H_
#define QELSHARE_CONTROLS_SMALL_BUTTON_LOGIC_H_

#include <string_view>

namespace qel::controls {

struct ButtonIcons {
  unsigned enabled = 0;  // icon resource identifiers; 0 for the colour swatch
  unsigned disabled = 0;
  int size = 16;
};

// The row of the icon table for a button text: its name is the part before the first
// "/" (compared without case); a text without "/" names nothing (the default row).
ButtonIcons IconsForText(std::string_view text);

// What the window must do after a mouse message.
struct ButtonStep {
  bool capture = false;  // take the mouse capture
  bool release = false;  // release it
  bool focus = false;    // take the keyboard focus
  bool notify = false;   // post the click to the parent
  bool redraw = false;
};

ButtonStep ButtonMouseMove(int& look, int& capture, bool inside);
ButtonStep ButtonDown(int& look, int& capture);
ButtonStep ButtonUp(int& look, int& capture);

}  // namespace qel::controls

#endif  // QELSHARE_CONTROLS_SMALL_BUTTON_LOGIC_H_
