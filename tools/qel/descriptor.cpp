// qel fields: checks a library's descriptor and lists its field table with CQel2000 (or,
// for a library in PostgreSQL, as the search API opens it).
#include <iostream>

#include "cli.h"
#include "qelshare/CQel2000.h"
#include "qelshare/collection.h"
#include "qelshare/pg_load.h"

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

// One line of the listing.
struct Line {
  std::string name, code;
  char type;
  std::string description, members;
};

void Print(Context& ctx, std::string const& head, bool valid, bool read,
           std::vector<Line> const& lines) {
  if (ctx.json) {
    nlohmann::json fields = nlohmann::json::array();
    for (Line const& l : lines) {
      fields.push_back({{"name", JsonText(ctx, l.name)},
                        {"code", JsonText(ctx, l.code)},
                        {"type", std::string(1, l.type)},
                        {"description", JsonText(ctx, l.description)},
                        {"members", JsonText(ctx, l.members)}});
    }
    PrintJson(ctx, {{"descriptor", valid}, {"result", read ? 1 : 0}, {"fields", fields}});
    return;
  }
  std::cout << head << "\n";
  for (Line const& l : lines) {
    std::cout << Pad(ToUser(ctx, l.name), 10) << Pad(ToUser(ctx, OneLine(l.code)), 10)
              << (l.type == 0 ? '-' : l.type) << "  " << ToUser(ctx, l.description);
    if (!l.members.empty()) std::cout << "  [" << ToUser(ctx, OneLine(l.members)) << "]";
    std::cout << "\n";
  }
}

// The field table of a library in PostgreSQL, as the search API opens it.
void ListPostgres(Context& ctx, std::string const& address) {
  Collection library;
  if (Status s = library.Open(address); !s.ok()) {
    throw Failure{s.code() == Status::kIoError ? kIo : kFailed, ToUser(ctx, s.message())};
  }
  LibraryInfo const& info = library.library(0);
  std::vector<Line> lines;
  for (Field const& f : info.fields) {
    lines.push_back({f.name, f.code, static_cast<char>(f.type), f.description,
                     f.group() ? f.code : std::string()});
  }
  Print(ctx, ToUser(ctx, info.base) + ": library in PostgreSQL", true, true, lines);
}

Run SetupFields(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "fields",
      "Check a retrieval library's descriptor (BASE.qel) and list the fields of its field\n"
      "table (BASE.sor): name, code, type letter, description and group members.\n"
      "Example: qel fields build/release/demo/poems");
  cmd->footer(
      "BASE may end in .qel, or be the address of a library in PostgreSQL (see qel pg\n"
      "load). Exit status 1 when the descriptor is not valid (the fields are still listed)\n"
      "or the field table cannot be read.");
  auto base = std::make_shared<std::string>();
  cmd->add_option("BASE", *base, "Base path of the library, or its address in PostgreSQL")
      ->required();
  return [base, &ctx] {
    std::string path = ToLibrary(ctx, *base, "BASE");
    if (IsPgAddress(path)) return ListPostgres(ctx, path);
    CQel2000 lib;
    bool valid = lib.Open(path.c_str()) == 1;
    CStringArr names, codes, descriptions, strings;
    CByteArray types;
    bool read = lib.GetField(&names, &codes, &types, &descriptions, &strings) == 1;
    std::vector<Line> lines;
    for (int i = 0; i < names.GetSize(); ++i) {
      lines.push_back({Entry(names, i), Entry(codes, i), static_cast<char>(types[i]),
                       Entry(descriptions, i), Entry(strings, i)});
    }
    Print(ctx,
          ToUser(ctx, lib.m_strPath) +
              ".qel: " + (valid ? "valid library descriptor" : "not a library descriptor"),
          valid, read, lines);
    if (!read) {
      throw Failure{kFailed, "cannot read the field table " + ToUser(ctx, lib.m_strPath) + ".sor"};
    }
    if (!valid) ctx.exit_code = kFailed;
  };
}

RegisterCommand reg("fields", SetupFields);

}  // namespace
}  // namespace qel::cli::descriptor_command
