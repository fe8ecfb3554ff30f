// qel controls: shared pieces of its subcommands (parse, and render where the window
// classes are built).
#ifndef QEL_TOOLS_CONTROLS_H_
#define QEL_TOOLS_CONTROLS_H_

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"

namespace qel::cli {

// The description lines of a form: the input cut at line feeds, one trailing CR dropped
// from each, converted to GBK unless in GBK mode. A line that does not convert is kept
// as it stands and flagged in `unconverted`.
struct FormLines {
  std::string data;                     // the input as read
  std::deque<std::string> converted;    // lines that needed a conversion
  std::vector<std::string_view> lines;  // into data or converted
  std::vector<bool> unconverted;
};
FormLines ReadFormLines(Context const& ctx, std::string const& path);

// Adds `qel controls render` under the controls command; absent from a build without the
// window classes (then it returns an empty Run and adds nothing).
Run SetupControlsRender(CLI::App& controls, Context& ctx);

}  // namespace qel::cli

#endif  // QEL_TOOLS_CONTROLS_H_
