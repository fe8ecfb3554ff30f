// qel lines: reads a small line file with CLineBuf.
#include <iostream>

#include "cli.h"
#include "qelshare/CLineBuf.h"

namespace qel::cli::lines_command {
namespace {

Run SetupLines(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "lines",
      "Print the lines of a small text file (at most 131072 bytes) as CLineBuf reads them,\n"
      "one per line, numbered with --json.\n"
      "Example: qel lines notes.txt");
  cmd->footer(
      "A line ends at CR, and the byte after the CR is skipped (LF in CR LF files); a lone\n"
      "LF stays inside its line, and the text ends at the first NUL byte. Errors are the\n"
      "reader's own texts, e.g. \"CLineBuf::Open(big.txt) Too large\".");
  auto file = std::make_shared<std::string>();
  cmd->add_option("FILE", *file, "Text file")->required();
  return [file, &ctx] {
    CLineBuf buf;
    if (!buf.Open(ToLibrary(ctx, *file, "FILE").c_str())) {
      throw Failure{kIo, ToUser(ctx, buf.GetError())};
    }
    CString line;
    int number = 0;
    while (buf.ReadLine(line)) {
      ++number;
      if (ctx.json) {
        PrintJson(ctx, {{"line", number}, {"text", JsonText(ctx, line)}});
      } else {
        std::cout << ToUser(ctx, line) << "\n";
      }
    }
  };
}

RegisterCommand reg("lines", SetupLines);

}  // namespace
}  // namespace qel::cli::lines_command
