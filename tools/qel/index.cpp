// qel index: writes the search index BASE.qix beside a retrieval library.
#include <algorithm>
#include <chrono>
#include <iostream>
#include <optional>

#include "cli.h"
#include "qelshare/library_writer.h"

namespace qel::cli::index_command {
namespace {

Run SetupIndex(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "index",
      "Write the search index BASE.qix beside a retrieval library, so that `qel search\n"
      "--lib BASE` answers from it instead of reading every record.\n"
      "Example: qel index mylib/notes");
  cmd->footer(
      "For each field the index holds the records containing each character with where it\n"
      "stands in each, the records of each pair of adjacent characters common enough to\n"
      "need a set of its own, and, for a field of few short values, the records of each\n"
      "value; and where each record starts. Words of any length, NEAR, ORDER and PARA, and\n"
      "comparisons in a field of listed values, are answered from it alone; other\n"
      "comparisons read only the records it names. The index records the size, time and\n"
      "first bytes of BASE.mrf: after the records change, search refuses the index until it\n"
      "is rebuilt with this command. The record file may hold at most 4 GiB.\n"
      "Opening an index reads only its head; `qel index --check BASE` reads all of it.");
  auto base = std::make_shared<std::string>();
  cmd->add_option("BASE", *base, "Base path of the library (BASE.qel, .sor, .mrf)")->required();
  auto compact = std::make_shared<bool>(false);
  cmd->add_flag("--compact", *compact,
                "Keep sets only of pairs of adjacent characters held by many records (1,000, or\n"
                "a 512th of a large library's): an index about a quarter smaller (0.92 times\n"
                "the records of bench_index.py's 64 MiB library), in which a word holding a rare\n"
                "pair of frequent characters is found from positions (up to a few ms there,\n"
                "against 0.1)");
  auto check = std::make_shared<bool>(false);
  cmd->add_flag("--check", *check,
                "Read the whole index and check every part of it instead of writing it (a\n"
                "search checks only what it reads); exit 1 naming the fault when it is damaged");
  return [base, check, compact, &ctx] {
    std::string lib = ToLibrary(ctx, *base, "BASE");
    if (*check) {
      qel::IndexStats stats;
      qel::Status s = qel::CheckIndex(lib, &stats);
      if (!s.ok()) {
        throw Failure{s.code() == qel::Status::kCorrupt ? kFailed : kIo, ToUser(ctx, s.message())};
      }
      std::string index_file = *base;
      if (index_file.size() > 4 && index_file.ends_with(".qel"))
        index_file.resize(index_file.size() - 4);
      index_file += ".qix";
      if (ctx.json) {
        PrintJson(ctx, {{"index", index_file},
                        {"ok", true},
                        {"records", stats.records},
                        {"bytes", stats.index_bytes}});
      } else {
        std::cout << index_file << ": ok, " << stats.records << " records, " << stats.index_bytes
                  << " bytes\n";
      }
      return;
    }
    auto start = std::chrono::steady_clock::now();
    qel::IndexStats stats;
    {
      // Reading the records, then writing the index: a bar of its own each.
      std::optional<Progress> progress;
      progress.emplace("indexing " + *base, 100);
      bool writing = false;
      qel::IndexOptions options;
      options.compact = *compact;
      options.progress = [&](std::uint64_t done, std::uint64_t total) {
        progress->Update(done * 100 / std::max<std::uint64_t>(total, 1));
      };
      options.write_progress = [&](std::uint64_t done, std::uint64_t total) {
        if (!writing) progress.emplace("writing the index of " + *base, 100);
        writing = true;
        progress->Update(done * 100 / std::max<std::uint64_t>(total, 1));
      };
      if (qel::Status s = qel::BuildIndex(lib, &stats, options); !s.ok()) {
        throw Failure{kIo, ToUser(ctx, s.message())};
      }
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string base_name = *base;
    if (base_name.size() > 4 && base_name.ends_with(".qel")) base_name.resize(base_name.size() - 4);
    std::string index_file = base_name + ".qix";
    if (ctx.json) {
      PrintJson(ctx, {{"index", index_file},
                      {"records", stats.records},
                      {"bytes", stats.index_bytes},
                      {"record_bytes", stats.record_bytes},
                      {"seconds", seconds}});
      return;
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.2f", seconds);
    std::cout << index_file << ": " << stats.records << " records, " << stats.index_bytes
              << " bytes for " << stats.record_bytes << " bytes of records (" << time << " s)\n";
  };
}

RegisterCommand reg("index", SetupIndex);

}  // namespace
}  // namespace qel::cli::index_command
