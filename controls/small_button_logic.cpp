#include "controls/small_button_logic.h"

#include <cstddef>

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
    {"new", {22000, 22009, 16}},  {"edit", {22005, 22008, 16}},   {"del", {22001, 22006, 16}},
    {"up", {22002, 22010, 16}},   {"down", {22003, 22007, 16}},   {"right", {22011, 22012, 16}},
    {"left", {22013, 22014, 16}}, {"tool", {22015, 22016, 16}},   {"check", {22017, 22018, 16}},
    {"color", {0, 0, 16}},        {"record", {22019, 22020, 16}}, {"save", {22023, 22024, 16}},
    {"scan", {22021, 22022, 32}},
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
  return {22000, 22009, 16};
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
