#include "description_check.h"

#include "controls/ctrl_desc.h"

namespace qel::designer {

bool CheckDescription(std::string const& line, std::string& reason) {
  controls::Description d = controls::ParseDescription(line);
  if (!d.ok()) {
    reason = std::string(controls::DescErrorText(d.error));
    return false;
  }
  if (controls::PlanControl(d).kind < 0) {
    std::string kind(d.type.substr(0, 40));
    reason = "unknown control kind \"" + kind + "\"";
    return false;
  }
  return true;
}

bool ReadAsWritten(std::string const& written, std::string const& read) {
  if (written == read) return true;
  controls::Description w = controls::ParseDescription(written);
  controls::Description r = controls::ParseDescription(read);
  if (!w.ok() || !r.ok() || std::string_view(controls::PlanControl(w).windowClass) != "COMBOBOX") {
    return false;
  }
  // The combo box's own height with the written one in its place.
  std::string with_height = controls::FormatDescription(r.type, r.caption, r.x, r.y, r.x + r.w + 1,
                                                        r.y + w.h + 1, r.mark, r.help, r.style);
  return with_height == written;
}

}  // namespace qel::designer
