// qel cut: cuts a record file at a separator with CMrfCut.
#include <iostream>

#include "cli.h"
#include "qelshare/CMrfCut.h"

namespace qel::cli::cut_command {
namespace {

Run SetupCut(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "cut",
      "Cut a record file into records at a separator, as CMrfCut does, and print each\n"
      "record with the file offset where it starts (or only their number with --count).\n"
      "Files of any size are read through a 1 MiB window.\n"
      "Example: qel cut build/release/demo/poems.mrf --sep '^l^l' --count");
  cmd->footer(
      "The separator is text (UTF-8 unless --encoding gbk); ^l or ^L in it stands for a\n"
      "line end (CR LF), so ^l^l is a blank line. Without --leading the separator ends\n"
      "each record and belongs to none; with --leading it begins each record and stays at\n"
      "its head. Records of blanks and control bytes only are skipped. An empty separator\n"
      "cuts the file into 1 MiB pieces, and a record longer than 1 MiB comes in 1 MiB\n"
      "pieces.");
  struct Args {
    std::string file;
    std::string sep = "^l^l";
    bool leading = false;
    bool count = false;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("FILE", args->file, "Record file")->required();
  cmd->add_option("--sep", args->sep, "Separator (^l = CR LF)")->capture_default_str();
  cmd->add_flag("--leading", args->leading, "The separator begins records instead of ending them");
  cmd->add_flag("--count", args->count, "Print only the number of records");
  return [args, &ctx] {
    std::string sep = ToLibrary(ctx, args->sep, "--sep");
    std::string file = ToLibrary(ctx, args->file, "FILE");
    CMrfCut cut;
    if (!cut.Open(file.c_str(), sep.c_str(), args->leading ? 1 : 0)) {
      throw Failure{kIo, "cannot open " + args->file + " for reading"};
    }
    Progress progress("cutting " + args->file, cut.GetSize());
    std::uint64_t records = 0;
    for (;;) {
      unsigned long offset = cut.GetPos();
      CString record = cut.GetRecord();
      if (record.empty()) break;
      ++records;
      progress.Update(cut.GetPos());
      if (args->count) continue;
      if (ctx.json) {
        PrintJson(ctx, {{"record", records}, {"offset", offset}, {"text", JsonText(ctx, record)}});
      } else {
        std::cout << "--- record " << records << " at byte " << offset << "\n"
                  << ToUser(ctx, record) << "\n";
      }
    }
    if (args->count) {
      if (ctx.json) {
        PrintJson(ctx, {{"records", records}, {"bytes", cut.GetSize()}});
      } else {
        std::cout << records << "\n";
      }
    }
  };
}

RegisterCommand reg("cut", SetupCut);

}  // namespace
}  // namespace qel::cli::cut_command
