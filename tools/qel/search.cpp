// qel search: the road of one query over a retrieval library, end to end.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>

#include "cli.h"
#include "platform/fs/path.h"
#include "retrieval.h"

namespace qel::cli::search_command {
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
  std::string label;  // the library's name before each hit when several are searched

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
      retrieval::Record r;
      if (!library.ReadRecord(i, r)) {
        throw Failure{kIo, "cannot read record " + std::to_string(i + 1) + " of " +
                               ToUser(ctx, library.file())};
      }
      if (ctx.json) {
        nlohmann::json fields = nlohmann::json::object();
        for (auto const& [code, value] : r.fields) fields[code] = JsonText(ctx, value);
        nlohmann::json hit = {{"record", i + 1}, {"offset", r.offset}, {"fields", fields}};
        if (!label.empty()) hit["library"] = label;
        PrintJson(ctx, hit);
        continue;
      }
      std::string head;
      for (char const* code : {"TI", "AU", "SO"}) {
        if (std::string const* v = r.Find(code)) {
          head += (head.empty() ? "" : " \xA1\xA4 ") + marked(code, *v);  // " · "
        }
      }
      std::cout << (label.empty() ? "" : label + " ") << "[" << i + 1 << "] " << ToUser(ctx, head)
                << "\n";
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
      if (!label.empty()) summary["library"] = label;
      PrintJson(ctx, summary);
      return;
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.1f", ms);
    std::cout << (label.empty() ? "" : label + ": ")
              << (number > 0 ? "#" + std::to_string(number) + ": " : std::string()) << hits
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
    std::vector<std::string> libs;
    std::size_t limit = 10;
    bool interactive = false;
    bool count = false;
    std::string expression;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("--lib", args->libs,
                  "Base path of a library (BASE.qel, .sor, .mrf); repeat it to search several "
                  "libraries at once")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  cmd->add_option("--limit", args->limit, "Print at most N hits per library (0: all)")
      ->capture_default_str();
  cmd->add_flag("--count", args->count, "Print only the number of hits");
  cmd->add_flag("--interactive", args->interactive,
                "Read one expression per line from standard input, numbering the results");
  cmd->add_option("EXPR", args->expression, "Retrieval expression");
  return [args, &ctx] {
    if (!args->interactive && args->expression.empty()) {
      throw Failure{kUsage, "EXPR is required unless --interactive is given"};
    }
    std::vector<std::string> bases;
    for (std::string const& lib : args->libs) bases.push_back(ToLibrary(ctx, lib, "--lib"));
    if (bases.empty()) bases.push_back(DefaultLibrary());
    bool several = bases.size() > 1;
    std::vector<std::unique_ptr<Library>> libraries;
    std::vector<Printer> printers;
    std::vector<retrieval::History> histories(bases.size());
    bool colour = !ctx.json && isatty(STDOUT_FILENO) == 1;
    for (std::string const& base : bases) {
      auto library = std::make_unique<Library>();
      std::string error;
      if (!library->Open(base, error)) throw Failure{kIo, ToUser(ctx, error)};
      std::string label =
          several ? ToUser(ctx, base.substr(base.find_last_of("/\\") + 1)) : std::string();
      printers.push_back({ctx, *library, args->limit, colour, label});
      libraries.push_back(std::move(library));
    }
    // Runs one expression over every library; false when it fails in one of them.
    auto run = [&](std::string const& expression, bool keep) {
      std::size_t total_hits = 0, total_records = 0;
      double total_ms = 0;
      for (std::size_t k = 0; k < libraries.size(); ++k) {
        Library& library = *libraries[k];
        retrieval::History* history = keep ? &histories[k] : nullptr;
        auto start = std::chrono::steady_clock::now();
        Outcome outcome;
        {
          Progress progress("searching " + ToUser(ctx, library.file()), 100);
          outcome = library.Search(expression, history, [&](std::uint64_t done, std::uint64_t all) {
            if (all > (64u << 20)) progress.Update(done * 100 / all);
          });
        }
        double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (!outcome.ok) {
          std::string error = ToUser(ctx, outcome.error);
          if (several) error = printers[k].label + ": " + error;
          throw Failure{kFailed, error};
        }
        if (history != nullptr) history->push_back(outcome.hits);
        std::size_t hits = Count(outcome.hits);
        total_hits += hits;
        total_records += library.size();
        total_ms += ms;
        if (args->count) {
          if (several || ctx.json) {
            if (ctx.json) {
              nlohmann::json line = {{"hits", hits}, {"records", library.size()}};
              if (several) line["library"] = printers[k].label;
              PrintJson(ctx, line);
            } else {
              std::cout << printers[k].label << ": " << hits << "\n";
            }
          } else {
            std::cout << hits << "\n";
          }
          continue;
        }
        printers[k].Hits(outcome);
        printers[k].Summary(outcome, ms, history == nullptr ? 0 : history->size());
      }
      if (!several) return;
      if (ctx.json) {
        PrintJson(ctx, {{"total", total_hits}, {"records", total_records}, {"ms", total_ms}});
      } else if (args->count) {
        std::cout << "total: " << total_hits << "\n";
      } else {
        char time[32];
        std::snprintf(time, sizeof time, "%.1f", total_ms);
        std::cout << "total: " << total_hits << " hits in " << total_records << " records of "
                  << libraries.size() << " libraries (" << time << " ms)\n";
      }
    };
    if (!args->interactive) {
      run(ToLibrary(ctx, args->expression, "EXPR"), false);
      return;
    }
    bool prompt = isatty(STDIN_FILENO) == 1;
    std::string line;
    for (;;) {
      if (prompt) std::cerr << "qel> " << std::flush;
      if (!std::getline(std::cin, line)) break;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      if (line == "quit" || line == "exit") break;
      try {
        run(ToLibrary(ctx, line, "the expression", kFailed), true);
      } catch (Failure const& f) {
        std::cerr << f.message << "\n";
      }
      std::cout.flush();
    }
  };
}

RegisterCommand reg("search", SetupSearch);

}  // namespace
}  // namespace qel::cli::search_command
