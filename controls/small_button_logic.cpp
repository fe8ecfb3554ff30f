#include "controls/small_button_logic.h"

#include <cstddef>

#include "resources/icon_ids.h"

namespace qel::controls {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

struct Row {
  std::string_view name;
  ButtonIcons icons;
};

constexpr Row kTable[] = {
    {"new", {icons::kNew, icons::kNewDisabled, 16}},
    {"edit", {icons::kEdit, icons::kEditDisabled, 16}},
    {"del", {icons::kDelete, icons::kDeleteDisabled, 16}},
    {"up", {icons::kUp, icons::kUpDisabled, 16}},
    {"down", {icons::kDown, icons::kDownDisabled, 16}},
    {"right", {icons::kRight, icons::kRightDisabled, 16}},
    {"left", {icons::kLeft, icons::kLeftDisabled, 16}},
    {"tool", {icons::kTool, icons::kToolDisabled, 16}},
    {"check", {icons::kCheck, icons::kCheckDisabled, 16}},
    {"color", {0, 0, 16}},
    {"record", {icons::kRecord, icons::kRecordDisabled, 16}},
    {"save", {icons::kSave, icons::kSaveDisabled, 16}},
    {"scan", {icons::kScan, icons::kScanDisabled, 32}},
};
}  // namespace

ButtonIcons IconsForText(std::string_view text) {
  std::size_t slash = text.find('/');
  if (slash != std::string_view::npos) {
    std::string_view name = text.substr(0, slash);
    for (Row const& row : kTable) {
      if (SameName(name, row.name)) return row.icons;
    }
  }
  return {icons::kNew, icons::kNewDisabled, 16};
}

ButtonStep ButtonMouseMove(int& look, int& capture, bool inside) {
  ButtonStep step;
  if (capture == 0) {
    step.capture = true;
    capture = 1;
    look = 1;
    step.redraw = true;
  } else if (capture == 1) {
    if (!inside) {
      step.release = true;
      capture = 0;
      look = 0;
      step.redraw = true;
    }
  } else if (!inside) {
    look = 0;
    step.redraw = true;
  } else if (look == 0) {
    look = 1;
    step.redraw = true;
  }
  return step;
}

ButtonStep ButtonDown(int& look, int& capture) {
  ButtonStep step;
  if (capture == 0) {
    step.capture = true;
    capture = -1;
  }
  step.focus = true;
  look = -1;
  step.redraw = true;
  return step;
}

ButtonStep ButtonUp(int& look, int& capture) {
  ButtonStep step;
  if (capture != 0) {
    step.release = true;
    capture = 0;
  }
  step.notify = look == -1;
  look = 0;
  step.redraw = true;
  return step;
}

}  // namespace qel::controls
