// qel split: cuts texts at a separator byte with CPublicFun::SplitString.
#include <iostream>

#include "cli.h"
#include "qelshare/CPublicFun.h"

namespace qel::cli::split_command {
namespace {

Run SetupSplit(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand("split", "Cut text into pieces at a separator byte");
  cmd->footer(
      "Prints the pieces of TEXT (or of each line of standard input) between runs of the\n"
      "separator byte SEP, one per line (--json: one list per text). Runs of separators\n"
      "count as one and separators at either end give nothing, so no piece is empty;\n"
      "blanks are kept. Bytes are scanned one by one, as CPublicFun::SplitString does.\n\n"
      "Example:\n  qel split , ',a,,b,'      -> a, b");
  struct Args {
    std::string sep;
    std::optional<std::string> text;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("SEP", args->sep, "Separator: one byte (one ASCII character)")->required();
  cmd->add_option("TEXT", args->text, "Text to split; standard input lines when absent");
  return [args, &ctx] {
    if (args->sep.size() != 1) {
      throw Failure{kUsage, "SEP must be a single byte, got '" + args->sep + "'"};
    }
    auto split = [&](std::string const& text) {
      CStringArr parts;
      int n = CPublicFun::SplitString(text.c_str(), parts, args->sep[0]);
      if (ctx.json) {
        nlohmann::json out = nlohmann::json::array();
        for (int i = 0; i < n; ++i) out.push_back(JsonText(ctx, parts.Get(i)));
        PrintJson(ctx, out);
      } else {
        for (int i = 0; i < n; ++i) std::cout << ToUser(ctx, parts.Get(i)) << '\n';
      }
    };
    if (args->text) {
      split(ToLibrary(ctx, *args->text, "TEXT"));
      return;
    }
    int line_no = 0;
    for (std::string const& line : ReadLines("-")) {
      ++line_no;
      split(ToLibrary(ctx, line, "input line " + std::to_string(line_no), kIo));
    }
  };
}

RegisterCommand reg("split", SetupSplit);

}  // namespace
}  // namespace qel::cli::split_command
