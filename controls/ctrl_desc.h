// The described control's pure logic: the grammar of one control description line, the
// kind and style tables that turn it into a window class with style bits and a rectangle,
// the icon table of icon buttons, the table of system marks and the line GetString writes.
// CCtrlWnd::DoCreate and `qel controls parse` both go through ParseDescription and
// PlanControl, so the command shows exactly what the control would do.
#ifndef QELSHARE_CONTROLS_CTRL_DESC_H_
#define QELSHARE_CONTROLS_CTRL_DESC_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace qel::controls {

// Where a description line broke off. kNone: the line is well formed.
enum class DescError {
  kNone,
  kNoTypeComma,      // no "," after the kind
  kNoCaptionQuote,   // the caption does not start with a quote
  kCaptionUnclosed,  // no quote followed by "," ends the caption
  kNoComma,          // no "," before Y, W, H or the mark
  kNoMarkQuote,      // the mark does not start with a quote
  kMarkUnclosed,     // no quote followed by "," ends the mark
  kNoHelpQuote,      // the help text does not start with a quote
  kHelpUnclosed,     // no quote followed by "," or the end ends the help text
};

// A readable sentence for an error ("" for kNone).
std::string_view DescErrorText(DescError error);

// One parsed line. The five text fields are read strictly left to right; `stored` counts
// how many of them (in the order type, caption, mark, help, style) were read before the
// line ended or broke off, which is how many a control stores.
struct Description {
  DescError error = DescError::kNone;
  int stored = 0;
  std::string_view type, caption, mark, help, style;  // views into the parsed line
  std::int32_t x = 0, y = 0, w = 0, h = 0;
  bool ok() const { return error == DescError::kNone; }
};

// Parses a line byte by byte (a lead byte never hides the "," or quote after it). The
// views point into `line`, which must outlive the result.
Description ParseDescription(std::string_view line);

// The decimal integer at the start of s as the runtime's atoi reads it (leading blanks, an
// optional sign, digits up to the first other byte; no digits give 0), saturated to the
// 32-bit range.
std::int32_t ReadNumber(std::string_view s);

// What the kind and style words make of a parsed line.
struct ControlPlan {
  int kind = -1;                 // row of the kind table, -1 when none matches
  char const* windowClass = "";  // "EDIT", "RICHEDIT", "STATIC", ...
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool iconButton = false;  // "SMBUTTON": created without extended style, shows an icon
  bool list = false;        // kind word is exactly "LIST": a double click posts WM_COMMAND
  unsigned icon = 0;        // icon resource of an icon button, 0 for none
  int iconSize = 0;         // its width and height
};

// Looks the kind up (case-insensitively, in table order) and adds the bits of the base
// style, of each style word the kind honours (compared exactly) and of the kind itself.
// Only meaningful for a line that parsed; kind is -1 for a kind not in the table.
ControlPlan PlanControl(Description const& d);

// The icon resource and size for an icon button's caption, {0, 0} for none.
struct IconChoice {
  unsigned id = 0;
  int size = 0;
};
IconChoice IconForCaption(std::string_view caption);

// The description line of a control: "%s,\"%s\",%d,%d,%d,%d,\"%s\",\"%s\",%s" with the
// rectangle's left, top, width - 1 and height - 1.
std::string FormatDescription(std::string_view type, std::string_view caption, std::int32_t left,
                              std::int32_t top, std::int32_t right, std::int32_t bottom,
                              std::string_view mark, std::string_view help, std::string_view style);

// The system marks: 14 rows of mark and description (GBK).
constexpr int kSysMarkCount = 14;
char const* SysMark(int i);             // "" out of range
char const* SysMarkDescription(int i);  // "" out of range

}  // namespace qel::controls

#endif  // QELSHARE_CONTROLS_CTRL_DESC_H_
