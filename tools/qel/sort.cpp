// qel sort: orders lines the way the library orders lists (pinyin for Chinese).
#include <iostream>

#include "cli.h"
#include "qelshare/CStringArr.h"

namespace qel::cli::sort_command {
namespace {

Run SetupSort(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand("sort", "Sort lines in the library's order (pinyin for Chinese)");
  cmd->footer(
      "Lines are ordered as CStringArr orders them: the zh collation (pinyin order for\n"
      "Chinese characters), texts that collate alike ordered by their bytes, so only\n"
      "identical lines are equal. Empty lines sort first. --unique builds a sorted set\n"
      "with FindInsert; otherwise all lines are kept and sorted with Sort.\n\n"
      "Example:\n  printf '张三\\n李四\\n王五\\n' | qel sort     -> 李四 王五 张三");
  struct Args {
    bool unique = false;
    bool reverse = false;
    std::string file = "-";
  };
  auto args = std::make_shared<Args>();
  cmd->add_flag("-u,--unique", args->unique, "Keep one line of each text (a sorted set)");
  cmd->add_flag("-r,--reverse", args->reverse, "Descending order");
  cmd->add_option("FILE", args->file, "File of lines, or - for standard input")
      ->capture_default_str();
  return [args, &ctx] {
    std::vector<std::string> lines = ReadLines(args->file);
    CStringArr list;
    int line_no = 0;
    for (std::string const& line : lines) {
      ++line_no;
      std::string text = ToLibrary(ctx, line, args->file + " line " + std::to_string(line_no), kIo);
      if (args->unique) {
        int inserted = 0;
        list.FindInsert(text.c_str(), &inserted);
      } else {
        list.Add(text.c_str(), -1);
      }
    }
    if (!args->unique) list.Sort(args->reverse ? 0 : 1);
    int n = list.GetSize();
    nlohmann::json out = nlohmann::json::array();
    for (int k = 0; k < n; ++k) {
      int i = args->unique && args->reverse ? n - 1 - k : k;
      char const* s = list.Get(i);
      std::string_view text = s == nullptr ? std::string_view() : s;
      if (ctx.json) {
        out.push_back(JsonText(ctx, text));
      } else {
        std::cout << ToUser(ctx, text) << '\n';
      }
    }
    if (ctx.json) PrintJson(ctx, out);
  };
}

RegisterCommand reg("sort", SetupSort);

}  // namespace
}  // namespace qel::cli::sort_command
