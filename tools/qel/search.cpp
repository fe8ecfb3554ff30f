// qel search: the road of one query over a retrieval library, end to end.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>

#include "cli.h"
#include "platform/fs/path.h"
#include "retrieval.h"

namespace qel::cli {
namespace {

namespace fs = std::filesystem;
using retrieval::Bits;
using retrieval::Library;
using retrieval::Outcome;

// The demo library, as a library (GBK) path: beside the qel binary in the build tree
// (demo/poems), or in the install prefix's share folder.
std::string DefaultLibrary() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return "demo/poems";
  fs::path dir = exe.parent_path();
  for (fs::path candidate :
       {dir / "demo" / "poems", dir.parent_path() / "share" / "qelshare" / "demo" / "poems"}) {
    if (fs::exists(candidate.string() + ".qel")) return qel::fs::FromOs(candidate.string());
  }
  return qel::fs::FromOs((dir / "demo" / "poems").string());
}

std::size_t Count(Bits const& bits) {
  std::size_t n = 0;
  for (unsigned char b : bits) n += static_cast<std::size_t>(__builtin_popcount(b));
  return n;
}

struct Printer {
  Context const& ctx;
  Library const& library;
  std::size_t limit;
  bool colour;

  void Hits(Outcome const& outcome) const {
    auto terms = retrieval::HighlightTerms(outcome.redkey, library.codes());
    auto marked = [&](std::string const& code, std::string const& value) {
      std::vector<std::string> mine;
      for (auto const& [c, w] : terms) {
        if (c == code) mine.push_back(w);
      }
      return colour ? retrieval::Mark(value, mine, "\033[1;31m", "\033[0m")
                    : retrieval::Mark(value, mine, "[", "]");
    };
    std::size_t shown = 0;
    for (std::size_t i = 0; i < library.size() && (limit == 0 || shown < limit); ++i) {
      if ((outcome.hits[i / 8] >> (i % 8) & 1) == 0) continue;
      ++shown;
      retrieval::Record const& r = library.records()[i];
      if (ctx.json) {
        nlohmann::json fields = nlohmann::json::object();
        for (auto const& [code, value] : r.fields) fields[code] = JsonText(ctx, value);
        PrintJson(ctx, {{"record", i + 1}, {"offset", r.offset}, {"fields", fields}});
        continue;
      }
      std::string head;
      for (char const* code : {"TI", "AU", "SO"}) {
        if (std::string const* v = r.Find(code)) {
          head += (head.empty() ? "" : " \xA1\xA4 ") + marked(code, *v);  // " · "
        }
      }
      std::cout << "[" << i + 1 << "] " << ToUser(ctx, head) << "\n";
      for (auto const& [code, value] : r.fields) {
        if (code == "TI" || code == "AU" || code == "SO") continue;
        std::string text = marked(code, value);
        std::size_t start = 0;
        for (;;) {
          std::size_t end = text.find('\n', start);
          std::cout << "    " << (code == "TX" ? "" : code + ": ")
                    << ToUser(ctx, text.substr(start, end - start)) << "\n";
          if (end == std::string::npos) break;
          start = end + 1;
        }
      }
    }
  }

  void Summary(Outcome const& outcome, double ms, std::size_t number) const {
    std::size_t hits = Count(outcome.hits);
    if (ctx.json) {
      nlohmann::json summary = {{"hits", hits},
                                {"records", library.size()},
                                {"ms", ms},
                                {"poland", JsonText(ctx, outcome.poland)},
                                {"redkey", JsonText(ctx, outcome.redkey)}};
      if (number > 0) summary["result"] = number;
      PrintJson(ctx, summary);
      return;
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.1f", ms);
    std::cout << (number > 0 ? "#" + std::to_string(number) + ": " : std::string()) << hits
              << " hits in " << library.size() << " records (" << time << " ms)\n";
  }
};

Run SetupSearch(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "search",
      "Search a retrieval library with a retrieval expression and print the hits with\n"
      "the highlighted words marked, then \"N hits in M records (T ms)\". Without --lib it\n"
      "searches the demo library (Tang and Song poems and sayings from fortunes-zh).\n"
      "Example: qel search '月 AND 李白/作者'");
  cmd->footer(
      "Expressions: words; AND, OR, SUB (left without right), NOT; brackets; a field\n"
      "qualifier /field (or /f1,f2) for everything on its left up to the nearest operator;\n"
      "comparisons >=4/lines and intervals [4,8]/lines; #N for the N-th result of an\n"
      "interactive session. Unqualified words search the default field (title and text).\n"
      "`qel fields` lists a library's fields; the demo's are all/全部, title/题名,\n"
      "text/正文, keyword/关键词, author/作者, source/出处, lines/句数.\n\n"
      "How a leaf matches a record (this host's rules):\n"
      "  word             the word occurs in the field\n"
      "  a NEAR b         all words occur within 10 characters of each other\n"
      "  a ORDER b        the same, in the order given\n"
      "  a PARA b         all words occur on one line of the field\n"
      "  >=4 [1,8) ...    the field compared as numbers (as text when either side is not\n"
      "                   a number): = > >= < <= <> and the intervals () (] [) []\n"
      "  value (author, source)  the whole field value equals the value\n"
      "  #N               the N-th result of this session (--interactive only)\n\n"
      "Examples:\n"
      "  qel search '月 AND 李白/作者'\n"
      "  qel search '明月 NEAR 故乡' --limit 3\n"
      "  qel search '(春 OR 秋) AND >=8/句数 AND 宋词一百首/出处' --json\n"
      "  qel search --interactive      then type an expression per line; #1 is the first\n"
      "                                result, so '#1 SUB 杜甫/作者' refines it");
  struct Args {
    std::string lib;
    std::size_t limit = 10;
    bool interactive = false;
    std::string expression;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("--lib", args->lib, "Base path of the library (BASE.qel, .sor, .mrf)");
  cmd->add_option("--limit", args->limit, "Print at most N hits (0: all)")->capture_default_str();
  cmd->add_flag("--interactive", args->interactive,
                "Read one expression per line from standard input, numbering the results");
  cmd->add_option("EXPR", args->expression, "Retrieval expression");
  return [args, &ctx] {
    if (!args->interactive && args->expression.empty()) {
      throw Failure{kUsage, "EXPR is required unless --interactive is given"};
    }
    std::string base = args->lib.empty() ? DefaultLibrary() : ToLibrary(ctx, args->lib, "--lib");
    Library library;
    std::string error;
    {
      Progress progress("loading " + ToUser(ctx, base), 0);
      if (!library.Load(base, error, [&](std::uint64_t done, std::uint64_t total) {
            if (total > (64u << 20)) progress.Update(done * 100 / total);
          })) {
        throw Failure{kIo, ToUser(ctx, error)};
      }
    }
    Printer printer{ctx, library, args->limit, !ctx.json && isatty(STDOUT_FILENO) == 1};
    auto run = [&](std::string const& expression, retrieval::History* history) {
      auto start = std::chrono::steady_clock::now();
      Outcome outcome = library.Search(expression, history);
      double ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count();
      if (!outcome.ok) return outcome;
      if (history != nullptr) history->push_back(outcome.hits);
      printer.Hits(outcome);
      printer.Summary(outcome, ms, history == nullptr ? 0 : history->size());
      return outcome;
    };
    if (!args->interactive) {
      Outcome outcome = run(ToLibrary(ctx, args->expression, "EXPR"), nullptr);
      if (!outcome.ok) throw Failure{kFailed, ToUser(ctx, outcome.error)};
      return;
    }
    retrieval::History history;
    bool prompt = isatty(STDIN_FILENO) == 1;
    std::string line;
    for (;;) {
      if (prompt) std::cerr << "qel> " << std::flush;
      if (!std::getline(std::cin, line)) break;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      if (line == "quit" || line == "exit") break;
      std::string expression;
      try {
        expression = ToLibrary(ctx, line, "the expression", kFailed);
      } catch (Failure const& f) {
        std::cerr << f.message << "\n";
        continue;
      }
      Outcome outcome = run(expression, &history);
      if (!outcome.ok) std::cerr << ToUser(ctx, outcome.error) << "\n";
      std::cout.flush();
    }
  };
}

RegisterCommand reg("search", SetupSearch);

}  // namespace
}  // namespace qel::cli
