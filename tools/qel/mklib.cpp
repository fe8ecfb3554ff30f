// qel mklib: builds a retrieval library from a person's own files.
#include <cctype>
#include <filesystem>
#include <iostream>
#include <map>

#include "cli.h"
#include "fields.h"
#include "platform/text/codepage.h"
#include "qelshare/library_writer.h"
#include "sources.h"

namespace qel::cli::mklib_command {
namespace {

namespace fs = std::filesystem;

// Keys the folder and fortune sources give, with the Chinese names a registry may use.
constexpr std::pair<char const*, char const*> kAliases[] = {
    {"title", "题名"},  {"text", "正文"},      {"source", "出处"},
    {"author", "作者"}, {"keyword", "关键词"}, {"lines", "句数"}};

// Converts values to GBK, counting the characters that have no GBK form.
class ToGbk {
 public:
  std::string operator()(std::string utf8) {
    // Look-alikes that code page 936 spells differently: the no-break space, and the dots
    // that Japanese and Taiwanese typesetting put between names (GBK has U+00B7).
    static std::pair<std::string_view, std::string_view> const kLookAlikes[] = {
        {"\xC2\xA0", " "}, {"\xE2\x80\xA7", "\xC2\xB7"}, {"\xE3\x83\xBB", "\xC2\xB7"}};
    for (auto const& [from, to] : kLookAlikes) {
      for (std::size_t at = utf8.find(from); at != std::string::npos;
           at = utf8.find(from, at + to.size())) {
        utf8.replace(at, from.size(), to);
      }
    }
    std::string out;
    replaced_ += text::Utf8ToGbkReplacing(utf8, out, '?');
    return out;
  }
  std::size_t replaced() const { return replaced_; }

 private:
  std::size_t replaced_ = 0;
};

// Field codes of source keys: a key is a field's name or code (a group field is no
// place for a value), or a built-in key whose Chinese name the registry uses.
class Resolver {
 public:
  Resolver(std::vector<FieldDef> const& fields, std::string registry)
      : fields_(fields), registry_(std::move(registry)) {}

  std::string const& Code(std::string const& key, std::string const& where) {
    auto it = cache_.find(key);
    if (it != cache_.end()) return it->second;
    std::string gbk;
    text::Utf8ToGbkReplacing(key, gbk, '?');
    std::string const* code = Find(gbk);
    for (auto const& [english, chinese] : kAliases) {
      if (code == nullptr && key == english) {
        std::string alias;
        text::Utf8ToGbkReplacing(chinese, alias, '?');
        code = Find(alias);
      }
    }
    if (code == nullptr) {
      throw Failure{kIo, where + ": the field '" + key + "' is not in the registry " + registry_};
    }
    return cache_.emplace(key, *code).first->second;
  }

 private:
  std::string const* Find(std::string const& gbk) const {
    for (FieldDef const& f : fields_) {
      if (std::isupper(f.type) != 0 && (f.name == gbk || f.code == gbk)) return &f.code;
    }
    return nullptr;
  }

  std::vector<FieldDef> const& fields_;
  std::string registry_;
  std::map<std::string, std::string> cache_;
};

std::uint64_t SourceBytes(std::string const& path) {
  std::error_code ec;
  if (!fs::is_directory(path, ec)) {
    std::uint64_t size = fs::file_size(path, ec);
    return ec ? 0 : size;
  }
  std::uint64_t total = 0;
  for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec)) total += it->file_size(ec);
  }
  return total;
}

Run SetupMklib(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "mklib",
      "Build a retrieval library (BASE.qel, BASE.sor, BASE.mrf) from your own files, ready\n"
      "for `qel search --lib BASE` and `qel index BASE`.\n"
      "Example: qel mklib --fields fields.json --out mylib/notes notes.csv");
  cmd->footer(
      "Sources (the kind is told by the name unless --kind is given):\n"
      "  FOLDER          one record per file below it: the file name without extension is\n"
      "                  the title field, the content the text field, the folder's name the\n"
      "                  source field\n"
      "  FILE.csv        a header row naming fields, then one record per row (fields with\n"
      "                  commas, quotes or line ends in double quotes, \"\" for a quote)\n"
      "  FILE.jsonl      one JSON object per line: {\"title\": \"...\", \"text\": [\"line\", "
      "...]}\n"
      "  FILE.u8, FILE   fortune files (entries separated by lines \"%\"), as fortunes-zh\n"
      "Column and key names are the registry's field names or codes; a name the registry\n"
      "does not know is an error. The registry is a JSON list of {\"name\", \"code\",\n"
      "\"type\"} objects (without --fields: the demo's, see `qel fields`). Sources are UTF-8\n"
      "unless --input-encoding gbk; characters without a GBK form become '?' and are counted\n"
      "in the summary. A record may take at most 1 MiB and the record file 4 GiB. Nothing\n"
      "is left behind when a source is at fault: the files appear only when complete.\n\n"
      "Examples:\n"
      "  qel mklib --out lib/notes ~/notes\n"
      "  qel mklib --fields fields.json --out lib/books books.csv more.jsonl\n"
      "  qel mklib --input-encoding gbk --kind csv --out lib/old old.txt");
  struct Args {
    std::string fields, out, title, encoding = "utf-8", kind = "auto";
    std::vector<std::string> sources;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("--fields", args->fields, "Field registry (JSON list of name/code/type)");
  cmd->add_option("--out", args->out, "Base path of the library to write")->required();
  cmd->add_option("--title", args->title, "Title of the library (default: the base name)");
  cmd->add_option("--input-encoding", args->encoding, "Encoding of the sources")
      ->check(CLI::IsMember({"utf-8", "gbk"}))
      ->capture_default_str();
  cmd->add_option("--kind", args->kind, "Kind of every source")
      ->check(CLI::IsMember({"auto", "folder", "csv", "jsonl", "fortune"}))
      ->capture_default_str();
  cmd->add_option("SOURCE", args->sources, "Folders and files to read")->required();
  return [args, &ctx] {
    static std::map<std::string, SourceKind> const kKinds = {{"auto", SourceKind::kAuto},
                                                             {"folder", SourceKind::kFolder},
                                                             {"csv", SourceKind::kCsv},
                                                             {"jsonl", SourceKind::kJsonLines},
                                                             {"fortune", SourceKind::kFortune}};
    SourceKind kind = kKinds.at(args->kind);
    std::vector<FieldDef> fields = LoadFields(args->fields);
    std::string title =
        ToLibrary(ctx, args->title.empty() ? fs::path(args->out).filename().string() : args->title,
                  "--title");
    std::uint64_t total = 0;
    for (std::string const& source : args->sources) {
      KindOf(source, kind);
      total += SourceBytes(source);
    }
    Resolver resolver(fields, args->fields.empty() ? "of the demo" : args->fields);
    ToGbk gbk;
    qel::LibraryWriter writer(ToLibrary(ctx, args->out, "--out"));
    if (!writer.status().ok()) throw Failure{kIo, ToUser(ctx, writer.status().message())};
    Progress progress("building " + args->out, total);
    std::uint64_t read = 0;
    std::vector<std::pair<std::string, std::string>> record;
    for (std::string const& source : args->sources) {
      ReadSource(
          source, kind, args->encoding == "gbk",
          [&](SourceRecord const& r) {
            record.clear();
            for (auto const& [key, value] : r.fields) {
              std::string const& code = resolver.Code(key, r.where);
              if (!value.empty()) record.emplace_back(code, gbk(value));
            }
            if (qel::Status s = writer.Add(record, r.where); !s.ok()) {
              throw Failure{kIo, ToUser(ctx, s.message())};
            }
          },
          [&](std::uint64_t bytes) { progress.Update(read += bytes); });
    }
    if (qel::Status s = writer.Finish(title, fields); !s.ok()) {
      throw Failure{kIo, ToUser(ctx, s.message())};
    }
    if (ctx.json) {
      PrintJson(ctx, {{"library", args->out},
                      {"records", writer.records()},
                      {"fields", fields.size()},
                      {"bytes", writer.bytes()},
                      {"replaced", gbk.replaced()}});
      return;
    }
    std::cout << args->out << ": " << writer.records() << " records, " << fields.size()
              << " fields, " << writer.bytes() << " bytes; " << gbk.replaced()
              << " characters without a GBK form replaced by '?'\n";
  };
}

RegisterCommand reg("mklib", SetupMklib);

}  // namespace
}  // namespace qel::cli::mklib_command
