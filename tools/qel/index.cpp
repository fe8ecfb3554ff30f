// qel index: writes the search index BASE.qix beside a retrieval library.
#include <algorithm>
#include <chrono>
#include <iostream>

#include "cli.h"
#include "qelshare/CQel2000.h"
#include "readers/search_index.h"
#include "retrieval.h"

namespace qel::cli::index_command {
namespace {

Run SetupIndex(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "index",
      "Write the search index BASE.qix beside a retrieval library, so that `qel search\n"
      "--lib BASE` answers from it instead of reading every record.\n"
      "Example: qel index mylib/notes");
  cmd->footer(
      "For each field the index holds the records containing each character and each pair\n"
      "of adjacent characters, as compressed bitmaps, and where each record starts. Words of\n"
      "one or two characters are answered from it alone; longer words, NEAR, ORDER, PARA\n"
      "and comparisons read only the records it names. The index records the size, time and\n"
      "first bytes of BASE.mrf: after the records change, search refuses the index until it\n"
      "is rebuilt with this command. The record file may hold at most 4 GiB.");
  auto base = std::make_shared<std::string>();
  cmd->add_option("BASE", *base, "Base path of the library (BASE.qel, .sor, .mrf)")->required();
  return [base, &ctx] {
    std::string lib = ToLibrary(ctx, *base, "BASE");
    CQel2000 descriptor;
    if (!descriptor.Open(lib.c_str())) {
      throw Failure{
          kIo, ToUser(ctx, descriptor.m_strPath) + ".qel is not a retrieval library descriptor"};
    }
    std::string file = descriptor.m_strPath + ".mrf";
    std::string index_file = descriptor.m_strPath + ".qix";
    auto start = std::chrono::steady_clock::now();
    std::uint32_t records = 0;
    std::string error;
    {
      Progress progress("indexing " + ToUser(ctx, file), 100);
      if (!retrieval::BuildIndex(file, index_file, records, error,
                                 [&](std::uint64_t done, std::uint64_t total) {
                                   progress.Update(done * 100 / std::max<std::uint64_t>(total, 1));
                                 })) {
        throw Failure{kIo, ToUser(ctx, error)};
      }
    }
    search_index::Binding binding;
    search_index::BindingOf(file, binding, error);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fs::FileStamp stamp;
    fs::Stamp(index_file, stamp);
    if (ctx.json) {
      PrintJson(ctx, {{"index", JsonText(ctx, index_file)},
                      {"records", records},
                      {"bytes", stamp.size},
                      {"record_bytes", binding.size},
                      {"seconds", seconds}});
      return;
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.2f", seconds);
    std::cout << ToUser(ctx, index_file) << ": " << records << " records, " << stamp.size
              << " bytes for " << binding.size << " bytes of records (" << time << " s)\n";
  };
}

RegisterCommand reg("index", SetupIndex);

}  // namespace
}  // namespace qel::cli::index_command
