// qel search: the road of one query over a retrieval library, end to end.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>

#include "cli.h"
#include "platform/fs/mapped_file.h"
#include "platform/fs/path.h"
#include "qelshare/search.h"

namespace qel::cli::search_command {
namespace {

namespace fs = std::filesystem;
using qel::Collection;
using qel::FieldValue;
using qel::Hit;
using qel::LibraryInfo;
using qel::Record;
using qel::Result;
using qel::SearchOptions;
using qel::Session;
using qel::Span;
using qel::Status;

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

// A value with its hit words wrapped in open and close.
std::string Marked(FieldValue const& f, std::string_view open, std::string_view close) {
  std::string out;
  std::size_t at = 0;
  for (Span const& s : f.hits) {
    out.append(f.value, at, s.begin - at).append(open);
    out.append(f.value, s.begin, s.end - s.begin).append(close);
    at = s.end;
  }
  return out.append(f.value, at);
}

struct Printer {
  Context const& ctx;
  Collection const& collection;
  std::size_t limit;
  bool colour;
  bool several;

  std::string Label(std::size_t library) const {
    return several ? ToUser(ctx, collection.library(library).name) : std::string();
  }

  void Hits(Result const& result, std::size_t library) const {
    std::uint64_t first = 0;
    for (std::size_t k = 0; k < library; ++k) first += result.count(k);
    std::string label = Label(library);
    std::uint64_t n =
        limit == 0 ? result.count(library) : std::min<std::uint64_t>(limit, result.count(library));
    for (Hit const& hit : result.Hits(first, n)) {
      Record r;
      if (Status s = result.Read(hit, r); !s.ok()) throw Failure{kIo, ToUser(ctx, s.message())};
      if (ctx.json) {
        nlohmann::json fields = nlohmann::json::object();
        for (FieldValue const& f : r.fields) fields[f.code] = JsonText(ctx, f.value);
        nlohmann::json line = {{"record", hit.record + 1}};
        // A library in PostgreSQL has no record file, so its hits have no offset.
        if (!qel::IsPgAddress(collection.library(library).base))
          line["offset"] = hit.offset;
        line["fields"] = fields;
        if (!label.empty()) line["library"] = label;
        PrintJson(ctx, line);
        continue;
      }
      auto marked = [&](FieldValue const& f) {
        return colour ? Marked(f, "\033[1;31m", "\033[0m") : Marked(f, "[", "]");
      };
      std::string head;
      for (char const* code : {"TI", "AU", "SO"}) {
        if (FieldValue const* f = r.Find(code); f != nullptr && f->code == code) {
          head += (head.empty() ? "" : " \xA1\xA4 ") + marked(*f);  // " · "
        }
      }
      std::cout << (label.empty() ? "" : label + " ") << "[" << hit.record + 1 << "] "
                << ToUser(ctx, head) << "\n";
      for (FieldValue const& f : r.fields) {
        if (f.code == "TI" || f.code == "AU" || f.code == "SO") continue;
        std::string text = marked(f);
        std::size_t start = 0;
        for (;;) {
          std::size_t end = text.find('\n', start);
          std::cout << "    " << (f.code == "TX" ? "" : f.code + ": ")
                    << ToUser(ctx, text.substr(start, end - start)) << "\n";
          if (end == std::string::npos) break;
          start = end + 1;
        }
      }
    }
  }

  void Summary(Result const& result, std::size_t library, double ms) const {
    std::uint64_t hits = result.count(library);
    std::uint64_t records = result.records(library);
    std::string label = Label(library);
    if (ctx.json) {
      nlohmann::json summary = {{"hits", hits},
                                {"records", records},
                                {"ms", ms},
                                {"poland", JsonText(ctx, result.poland())},
                                {"redkey", JsonText(ctx, result.redkey())}};
      if (result.number() > 0) summary["result"] = result.number();
      if (!label.empty()) summary["library"] = label;
      PrintJson(ctx, summary);
      return;
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.1f", ms);
    std::cout << (label.empty() ? "" : label + ": ")
              << (result.number() > 0 ? "#" + std::to_string(result.number()) + ": "
                                      : std::string())
              << hits << " hits in " << records << " records (" << time << " ms)\n";
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
                  "Base path of a library (BASE.qel, .sor, .mrf), or the address of one in "
                  "PostgreSQL (postgresql://user@host/db?table=NAME, or 'host=... dbname=... "
                  "table=NAME'; see qel pg load); repeat it to search several libraries at once")
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
    Collection collection;
    if (Status s = collection.Open(bases); !s.ok()) throw Failure{kIo, ToUser(ctx, s.message())};
    bool several = collection.size() > 1;
    bool colour = !ctx.json && isatty(STDOUT_FILENO) == 1;
    Printer printer{ctx, collection, args->limit, colour, several};
    Session session(collection);
    std::uint64_t scanned_bytes = 0;
    for (std::size_t k = 0; k < collection.size(); ++k) {
      LibraryInfo info = collection.library(k);
      if (!info.indexed) {
        qel::fs::FileStamp stamp;
        if (qel::fs::Stamp(info.base + ".mrf", stamp)) scanned_bytes += stamp.size;
      }
    }
    // Runs one expression over every library; throws when it fails in one of them.
    auto run = [&](std::string const& expression, bool keep) {
      auto start = std::chrono::steady_clock::now();
      Result result;
      {
        Progress progress("searching", 100);
        SearchOptions options;
        options.keep = keep;
        // One expression stops on Ctrl-C (a statement on a server is cancelled there);
        // an interactive session ends on it as before.
        if (!args->interactive) options.stop = Interruption();
        if (scanned_bytes > (64u << 20)) {
          options.progress = [&](std::uint64_t done, std::uint64_t all) {
            progress.Update(done * 100 / std::max<std::uint64_t>(all, 1));
          };
        }
        result = session.Search(expression, options);
      }
      double ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count();
      if (!result.ok()) {
        throw Failure{result.status().code() == Status::kCancelled ? kInterrupted : kFailed,
                      ToUser(ctx, result.status().message())};
      }
      for (std::size_t k = 0; k < collection.size(); ++k) {
        std::uint64_t hits = result.count(k);
        if (args->count) {
          if (several || ctx.json) {
            if (ctx.json) {
              nlohmann::json line = {{"hits", hits}, {"records", result.records(k)}};
              if (several) line["library"] = printer.Label(k);
              PrintJson(ctx, line);
            } else {
              std::cout << printer.Label(k) << ": " << hits << "\n";
            }
          } else {
            std::cout << hits << "\n";
          }
          continue;
        }
        printer.Hits(result, k);
        printer.Summary(result, k, ms);
      }
      if (!several) return;
      if (ctx.json) {
        PrintJson(ctx, {{"total", result.count()}, {"records", result.records()}, {"ms", ms}});
      } else if (args->count) {
        std::cout << "total: " << result.count() << "\n";
      } else {
        char time[32];
        std::snprintf(time, sizeof time, "%.1f", ms);
        std::cout << "total: " << result.count() << " hits in " << result.records()
                  << " records of " << collection.size() << " libraries (" << time << " ms)\n";
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
