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

}  // namespace qel::designer
