// qel: the command-line host of libqelshare.
#include <iostream>
#include <map>

#include "cli.h"
#include "qelshare/version.h"

namespace {

constexpr char kAbout[] =
    "qel: retrieval expressions, record files, compound files and text utilities for\n"
    "simplified-Chinese collections (libqelshare's command-line host).\n\n"
    "Text arguments and printed text are UTF-8 unless --encoding gbk is given; files are\n"
    "read and written as bytes. Exit status: 0 success, 1 the operation failed or found\n"
    "nothing, 2 usage error, 3 input/output error, 130 a search or load stopped by Ctrl-C.";

}  // namespace

int main(int argc, char** argv) {
  using namespace qel::cli;
  CLI::App app(kAbout, "qel");
  app.require_subcommand(1, 1);
  app.fallthrough();
  app.set_help_all_flag("--help-all", "Show the help of every command");
  app.set_version_flag("--version", std::string("qel ") + QELSHARE_VERSION_STRING +
                                        " (libqelshare " + QelShareVersion() + ")");
  Context ctx;
  std::string encoding = "utf8";
  app.add_flag("--json", ctx.json, "Print one JSON object per result, for scripts");
  app.add_option("--encoding", encoding, "Encoding of text arguments and output")
      ->check(CLI::IsMember({"utf8", "gbk"}))
      ->capture_default_str();

  std::map<CLI::App*, Run> runs;
  for (auto const& [name, setup] : Commands()) {
    Run run = setup(app, ctx);
    runs.emplace(app.get_subcommand(name), std::move(run));
  }

  try {
    app.parse(argc, argv);
  } catch (CLI::CallForHelp const& e) {
    return app.exit(e);
  } catch (CLI::CallForAllHelp const& e) {
    return app.exit(e);
  } catch (CLI::CallForVersion const& e) {
    return app.exit(e);
  } catch (CLI::ParseError const& e) {
    std::string where = "qel";
    for (CLI::App* sub : app.get_subcommands()) where += " " + sub->get_name();
    std::cerr << where << ": " << e.what() << " (see '" << where << " --help')\n";
    return kUsage;
  }

  ctx.gbk = encoding == "gbk";
  CLI::App* chosen = app.get_subcommands().front();
  std::string where = "qel " + chosen->get_name();
  try {
    runs.at(chosen)();
  } catch (Failure const& f) {
    std::cout.flush();
    std::cerr << where << ": " << f.message << "\n";
    return f.code;
  } catch (std::exception const& e) {
    std::cout.flush();
    std::cerr << where << ": " << e.what() << "\n";
    return kFailed;
  }
  std::cout.flush();
  if (!std::cout) {
    std::cerr << where << ": cannot write the output\n";
    return kIo;
  }
  return ctx.exit_code;
}
