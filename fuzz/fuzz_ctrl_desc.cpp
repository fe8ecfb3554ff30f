// Fuzz target: the control description parser and the kind tables on any bytes. Fields
// stay inside the line and match the point where parsing stopped; a line that creates a
// control is written back (as GetString does) into a line that parses to the same fields
// and rectangle.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "controls/ctrl_desc.h"

namespace {

namespace qc = qel::controls;

void Inside(std::string_view part, std::string_view line) {
  if (part.empty()) return;
  if (part.data() < line.data() || part.data() + part.size() > line.data() + line.size()) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
  std::string_view line(reinterpret_cast<char const*>(data), size);
  qc::Description d = qc::ParseDescription(line);
  if (d.stored < 0 || d.stored > 5 || (d.ok() != (d.stored == 5))) std::abort();
  if (!d.ok() && qc::DescErrorText(d.error).empty()) std::abort();
  for (std::string_view f : {d.type, d.caption, d.mark, d.help, d.style}) Inside(f, line);
  if (!d.ok()) return 0;
  qc::ControlPlan p = qc::PlanControl(d);
  if (p.kind < 0) return 0;
  if ((p.style & 0x50010000u) != 0x50010000u) std::abort();
  std::string back = qc::FormatDescription(d.type, d.caption, p.left, p.top, p.right, p.bottom,
                                           d.mark, d.help, d.style);
  qc::Description again = qc::ParseDescription(back);
  if (!again.ok() || again.type != d.type || again.caption != d.caption || again.mark != d.mark ||
      again.help != d.help || again.style != d.style) {
    std::abort();
  }
  qc::ControlPlan q = qc::PlanControl(again);
  if (q.kind != p.kind || q.left != p.left || q.top != p.top || q.right != p.right ||
      q.bottom != p.bottom || q.style != p.style || q.exStyle != p.exStyle) {
    std::abort();
  }
  return 0;
}
