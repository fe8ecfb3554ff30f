// qel-mklib: builds the demo retrieval library from the Chinese fortune files.
//
//   qel-mklib --fields sample/fields.json --out DIR/poems tang300.u8 song100.u8 chinese.u8
//
// The registry is a JSON list of {"name", "code", "type"} objects (an optional
// "description" goes to the field table; without one, the field's first name is used).
//
// Writes three files of the product's library family:
//   BASE.qel  the descriptor: "QEL LIB MARKER", NUL, NUL, then (little-endian) the record
//             count at 16, the field count at 20 and the library's title (GBK, NUL-ended)
//             at 24; 328 bytes in all.
//   BASE.sor  the field table CQel2000 reads: a 512-byte header holding at 52 the offset
//             of the field block and at 116 that of the field-string block; the field
//             block (16-byte head with the data length, then one 112-byte record per field:
//             code at 0, name at 16, description at 32, type letter at 96); the string
//             block (16-byte head, then one NUL-ended string per field: a group field's
//             member codes separated by LF, empty for the others).
//   BASE.mrf  the records in GBK: lines CODE=value ending in CR LF, a blank line after each
//             record (cut them with the separator "^l^l"). A text of several lines gives one
//             TX= line per line of text.
//
// The inputs are UTF-8 with terminal colour codes, records separated by lines "%". The
// source file's name picks its reading: tang300 (Tang poems), song100 (Song poems) and
// anything else (sayings). The no-break space becomes a space and the name dots U+2027 and
// U+30FB become U+00B7; other characters without a GBK form become '?' and are counted.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/text/codepage.h"

namespace {

struct Field {
  std::string name, code, type, description;  // UTF-8, as in the registry
};

struct Record {
  std::string title, author, source, keyword;
  std::vector<std::string> lines;
};

std::string StripColours(std::string const& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\x1b' && i + 1 < s.size() && s[i + 1] == '[') {
      std::size_t j = i + 2;
      while (j < s.size() && !std::isalpha(static_cast<unsigned char>(s[j]))) ++j;
      i = j;
      continue;
    }
    out += s[i];
  }
  return out;
}

std::string Trim(std::string s) {
  // ASCII blanks and the ideographic space U+3000.
  auto blank_at_end = [&](bool front) -> std::size_t {
    if (s.empty()) return 0;
    if (front) {
      if (s[0] == ' ' || s[0] == '\t' || s[0] == '\r') return 1;
      if (s.compare(0, 3, "\xE3\x80\x80") == 0) return 3;
    } else {
      char c = s.back();
      if (c == ' ' || c == '\t' || c == '\r') return 1;
      if (s.size() >= 3 && s.compare(s.size() - 3, 3, "\xE3\x80\x80") == 0) return 3;
    }
    return 0;
  };
  while (std::size_t n = blank_at_end(true)) s.erase(0, n);
  while (std::size_t n = blank_at_end(false)) s.erase(s.size() - n);
  return s;
}

bool StartsWith(std::string const& s, std::string_view prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// The text between the first 《 and the next 》, and what follows the 》.
bool Bracketed(std::string const& s, std::string* inside, std::string* after) {
  std::size_t open = s.find("《");
  if (open == std::string::npos) return false;
  std::size_t close = s.find("》", open);
  if (close == std::string::npos) return false;
  *inside = s.substr(open + 3, close - open - 3);
  if (after != nullptr) *after = Trim(s.substr(close + 3));
  return true;
}

// Drops a parenthesised part (life dates of an author): "柳开（９４６－９９９）" -> "柳开".
std::string WithoutDates(std::string s) {
  std::size_t open = s.find("（");
  if (open == std::string::npos) open = s.find('(');
  return Trim(open == std::string::npos ? s : s.substr(0, open));
}

// The series or tune name of a poem: the part of its title before "・".
std::string SeriesOf(std::string const& title) {
  std::size_t dot = title.find("・");
  return dot == std::string::npos ? std::string() : title.substr(0, dot);
}

std::vector<std::vector<std::string>> Entries(std::string const& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::vector<std::vector<std::string>> entries(1);
  std::string line;
  while (std::getline(in, line)) {
    line = StripColours(line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "%") {
      entries.emplace_back();
    } else {
      entries.back().push_back(line);
    }
  }
  return entries;
}

void AddTextLine(Record& r, std::string const& line) {
  std::string t = Trim(line);
  if (!t.empty()) r.lines.push_back(t);
}

Record ReadPoem(std::vector<std::string> const& lines, std::string const& source) {
  Record r;
  r.source = source;
  for (std::string const& raw : lines) {
    std::string line = Trim(raw);
    std::string inside;
    if (r.title.empty() && r.lines.empty() && Bracketed(line, &inside, nullptr) &&
        (StartsWith(line, "《") || StartsWith(line, "题目"))) {
      r.title = inside;
      r.keyword = SeriesOf(inside);
    } else if (r.author.empty() && r.lines.empty() &&
               (StartsWith(line, "作者：") || StartsWith(line, "作者:"))) {
      r.author = WithoutDates(line.substr(StartsWith(line, "作者：") ? 9 : 7));
    } else {
      AddTextLine(r, line);
    }
  }
  return r;
}

Record ReadSaying(std::vector<std::string> const& lines, std::string const& source) {
  Record r;
  r.source = source;
  std::size_t first = 0;
  while (first < lines.size() && Trim(lines[first]).empty()) ++first;
  // A short first line followed by a blank line is the saying's title.
  if (first + 1 < lines.size() && Trim(lines[first + 1]).empty() &&
      Trim(lines[first]).size() <= 60 && !StartsWith(Trim(lines[first]), "--")) {
    r.title = Trim(lines[first]);
    ++first;
  }
  for (std::size_t i = first; i < lines.size(); ++i) {
    std::string line = Trim(lines[i]);
    if (StartsWith(line, "--") || StartsWith(line, "——")) {
      std::string who = Trim(line.substr(StartsWith(line, "--") ? 2 : 6));
      std::string inside, after;
      if (Bracketed(who, &inside, &after)) {
        r.keyword = inside;
        r.author = Trim(who.substr(0, who.find("《")));
      } else {
        std::size_t comma = who.find(", ");
        if (comma == std::string::npos) comma = who.find("，");
        r.author = Trim(who.substr(0, comma));
      }
      continue;
    }
    AddTextLine(r, line);
  }
  return r;
}

class Gbk {
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
    replaced_ += qel::text::Utf8ToGbkReplacing(utf8, out, '?');
    return out;
  }
  std::size_t replaced() const { return replaced_; }

 private:
  std::size_t replaced_ = 0;
};

void Put32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

void PutSlot(std::string& s, std::size_t at, std::size_t size, std::string const& text,
             std::string const& what) {
  if (text.size() >= size) throw std::runtime_error(what + " is longer than its slot");
  std::memcpy(&s[at], text.data(), text.size());
}

std::string BlockHead(std::size_t length) {
  std::string head(16, '\0');
  Put32(head, 0, static_cast<std::uint32_t>(length));
  return head;
}

void WriteFile(std::string const& path, std::string const& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app(
      "Builds the demo retrieval library (BASE.qel, BASE.sor, BASE.mrf, GBK) from "
      "the Chinese fortune files.",
      "qel-mklib");
  std::string fields_path, base;
  std::vector<std::string> inputs;
  app.add_option("--fields", fields_path, "Field registry (JSON list of name/code/type)")
      ->required();
  app.add_option("--out", base, "Base path of the library to write")->required();
  app.add_option("SOURCES", inputs, "Fortune files: tang300, song100, chinese")->required();
  CLI11_PARSE(app, argc, argv);

  try {
    std::ifstream fin(fields_path);
    if (!fin) throw std::runtime_error("cannot read " + fields_path);
    nlohmann::json registry = nlohmann::json::parse(fin);
    std::vector<Field> fields;
    for (auto const& f : registry) {
      fields.push_back({f.at("name").get<std::string>(), f.at("code").get<std::string>(),
                        f.at("type").get<std::string>(), f.value("description", "")});
    }
    // Without a description of its own a field is described by the first name registered
    // for its code (the English one in the demo registry).
    for (Field& f : fields) {
      if (!f.description.empty()) continue;
      for (Field const& first : fields) {
        if (first.code == f.code) {
          f.description = first.name;
          break;
        }
      }
    }

    std::vector<Record> records;
    for (std::string const& input : inputs) {
      std::string name = std::filesystem::path(input).filename().string();
      std::string source = StartsWith(name, "tang300")   ? "唐诗三百首"
                           : StartsWith(name, "song100") ? "宋词一百首"
                                                         : "格言";
      bool poems = source != "格言";
      for (auto const& entry : Entries(input)) {
        Record r = poems ? ReadPoem(entry, source) : ReadSaying(entry, source);
        if (!r.lines.empty() || !r.title.empty()) records.push_back(std::move(r));
      }
    }

    Gbk gbk;
    std::string mrf;
    for (Record const& r : records) {
      auto line = [&](char const* code, std::string const& value) {
        if (!value.empty()) mrf += std::string(code) + "=" + gbk(value) + "\r\n";
      };
      line("TI", r.title);
      line("AU", r.author);
      line("SO", r.source);
      line("KW", r.keyword);
      line("LN", std::to_string(r.lines.size()));
      for (std::string const& text : r.lines) line("TX", text);
      mrf += "\r\n";
    }

    std::string qel(328, '\0');
    std::memcpy(&qel[0], "QEL LIB MARKER", 14);
    Put32(qel, 16, static_cast<std::uint32_t>(records.size()));
    Put32(qel, 20, static_cast<std::uint32_t>(fields.size()));
    PutSlot(qel, 24, 64, gbk("诗词格言 (fortunes-zh)"), "the title");

    std::string records_block, strings_block;
    for (Field const& f : fields) {
      std::string r(112, '\0');
      bool group = !f.type.empty() && std::islower(static_cast<unsigned char>(f.type[0]));
      PutSlot(r, 0, 16, gbk(f.code), "code of " + f.name);
      PutSlot(r, 16, 16, gbk(f.name), "name " + f.name);
      PutSlot(r, 32, 64, gbk(f.description), "description of " + f.name);
      r[96] = f.type.empty() ? '\0' : f.type[0];
      records_block += r;
      strings_block += (group ? gbk(f.code) : std::string()) + '\0';
    }
    std::string sor(512, '\0');
    Put32(sor, 52, static_cast<std::uint32_t>(sor.size()));
    sor += BlockHead(records_block.size()) + records_block;
    Put32(sor, 116, static_cast<std::uint32_t>(sor.size()));
    sor += BlockHead(strings_block.size()) + strings_block;

    std::filesystem::path out_dir = std::filesystem::path(base).parent_path();
    if (!out_dir.empty()) std::filesystem::create_directories(out_dir);
    WriteFile(base + ".qel", qel);
    WriteFile(base + ".sor", sor);
    WriteFile(base + ".mrf", mrf);
    std::cout << "qel-mklib: " << base << ": " << records.size() << " records, " << fields.size()
              << " fields, " << mrf.size() << " bytes; " << gbk.replaced()
              << " characters without a GBK form replaced by '?'\n";
  } catch (std::exception const& e) {
    std::cerr << "qel-mklib: " << e.what() << "\n";
    return 3;
  }
  return 0;
}
