// qel fields: checks a library's descriptor and lists its field table with CQel2000.
#include <iostream>

#include "cli.h"
#include "qelshare/CQel2000.h"

namespace qel::cli::descriptor_command {
namespace {

std::string Entry(CStringArr& list, int i) {
  char const* s = list.Get(i);
  return s == nullptr ? std::string() : std::string(s);
}

// A field string for one line of text: line feeds shown as " | ".
std::string OneLine(std::string s) {
  for (std::size_t at = s.find('\n'); at != std::string::npos; at = s.find('\n', at + 3)) {
    s.replace(at, 1, " | ");
  }
  return s;
}

// UTF-8 text padded with spaces to a width in terminal columns (CJK characters take two).
std::string Pad(std::string const& utf8, std::size_t width) {
  std::size_t columns = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    auto b = static_cast<unsigned char>(utf8[i]);
    std::size_t length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    columns += length >= 3 ? 2 : 1;
    i += length;
  }
  return utf8 + std::string(columns < width ? width - columns : 1, ' ');
}

Run SetupFields(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "fields",
      "Check a retrieval library's descriptor (BASE.qel) and list the fields of its field\n"
      "table (BASE.sor): name, code, type letter, description and group members.\n"
      "Example: qel fields build/release/demo/poems");
  cmd->footer(
      "BASE may end in .qel. Exit status 1 when the descriptor is not valid (the fields\n"
      "are still listed) or the field table cannot be read.");
  auto base = std::make_shared<std::string>();
  cmd->add_option("BASE", *base, "Base path of the library")->required();
  return [base, &ctx] {
    CQel2000 lib;
    bool valid = lib.Open(ToLibrary(ctx, *base, "BASE").c_str()) == 1;
    CStringArr names, codes, descriptions, strings;
    CByteArray types;
    bool read = lib.GetField(&names, &codes, &types, &descriptions, &strings) == 1;
    int n = names.GetSize();
    if (ctx.json) {
      nlohmann::json fields = nlohmann::json::array();
      for (int i = 0; i < n; ++i) {
        fields.push_back({{"name", JsonText(ctx, Entry(names, i))},
                          {"code", JsonText(ctx, Entry(codes, i))},
                          {"type", std::string(1, static_cast<char>(types[i]))},
                          {"description", JsonText(ctx, Entry(descriptions, i))},
                          {"members", JsonText(ctx, Entry(strings, i))}});
      }
      PrintJson(ctx, {{"descriptor", valid}, {"result", read ? 1 : 0}, {"fields", fields}});
    } else {
      std::cout << ToUser(ctx, lib.m_strPath)
                << ".qel: " << (valid ? "valid library descriptor" : "not a library descriptor")
                << "\n";
      for (int i = 0; i < n; ++i) {
        char type = types[i] == 0 ? '-' : static_cast<char>(types[i]);
        std::cout << Pad(ToUser(ctx, Entry(names, i)), 10)
                  << Pad(ToUser(ctx, OneLine(Entry(codes, i))), 10) << type << "  "
                  << ToUser(ctx, Entry(descriptions, i));
        std::string members = Entry(strings, i);
        if (!members.empty()) std::cout << "  [" << ToUser(ctx, OneLine(members)) << "]";
        std::cout << "\n";
      }
    }
    if (!read) {
      throw Failure{kFailed, "cannot read the field table " + ToUser(ctx, lib.m_strPath) + ".sor"};
    }
    if (!valid) ctx.exit_code = kFailed;
  };
}

RegisterCommand reg("fields", SetupFields);

}  // namespace
}  // namespace qel::cli::descriptor_command
