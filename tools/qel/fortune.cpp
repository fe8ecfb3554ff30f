#include "fortune.h"

#include <cctype>
#include <filesystem>

namespace qel::cli {
namespace {

std::string StripColours(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\x1b' && i + 1 < s.size() && s[i + 1] == '[') {
      std::size_t j = i + 2;
      while (j < s.size() && std::isalpha(static_cast<unsigned char>(s[j])) == 0) ++j;
      i = j;
      continue;
    }
    out += s[i];
  }
  return out;
}

// Without ASCII blanks and the ideographic space U+3000 at either end.
std::string Trim(std::string s) {
  auto blank = [&](bool front) -> std::size_t {
    if (s.empty()) return 0;
    char c = front ? s.front() : s.back();
    if (c == ' ' || c == '\t' || c == '\r') return 1;
    if (s.size() >= 3 && s.compare(front ? 0 : s.size() - 3, 3, "\xE3\x80\x80") == 0) return 3;
    return 0;
  };
  while (std::size_t n = blank(true)) s.erase(0, n);
  while (std::size_t n = blank(false)) s.erase(s.size() - n);
  return s;
}

bool StartsWith(std::string const& s, std::string_view prefix) {
  return s.starts_with(prefix);
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

struct Entry {
  std::string title, author, source, keyword;
  std::vector<std::string> lines;
};

void AddTextLine(Entry& r, std::string const& line) {
  std::string t = Trim(line);
  if (!t.empty()) r.lines.push_back(t);
}

Entry ReadPoem(std::vector<std::string> const& lines, std::string const& source) {
  Entry r;
  r.source = source;
  for (std::string const& raw : lines) {
    std::string line = Trim(raw);
    std::string inside;
    if (r.title.empty() && r.lines.empty() && Bracketed(line, &inside, nullptr) &&
        (StartsWith(line, "《") || StartsWith(line, "题目"))) {
      r.title = inside;
      std::size_t dot = inside.find("・");
      r.keyword = dot == std::string::npos ? std::string() : inside.substr(0, dot);
    } else if (r.author.empty() && r.lines.empty() &&
               (StartsWith(line, "作者：") || StartsWith(line, "作者:"))) {
      r.author = WithoutDates(line.substr(StartsWith(line, "作者：") ? 9 : 7));
    } else {
      AddTextLine(r, line);
    }
  }
  return r;
}

Entry ReadSaying(std::vector<std::string> const& lines, std::string const& source) {
  Entry r;
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

}  // namespace

std::vector<SourceRecord> FortuneRecords(std::string_view text, std::string const& path) {
  std::string name = std::filesystem::path(path).filename().string();
  std::string source = StartsWith(name, "tang300")   ? "唐诗三百首"
                       : StartsWith(name, "song100") ? "宋词一百首"
                                                     : "格言";
  bool poems = source != "格言";
  std::vector<SourceRecord> records;
  std::vector<std::string> entry;
  std::size_t line_number = 0, entry_line = 1;
  auto flush = [&] {
    Entry r = poems ? ReadPoem(entry, source) : ReadSaying(entry, source);
    if (!r.lines.empty() || !r.title.empty()) {
      std::string joined;
      for (std::string const& l : r.lines) joined += (joined.empty() ? "" : "\n") + l;
      records.push_back({{{"title", r.title},
                          {"author", r.author},
                          {"source", r.source},
                          {"keyword", r.keyword},
                          {"lines", std::to_string(r.lines.size())},
                          {"text", std::move(joined)}},
                         path + " line " + std::to_string(entry_line)});
    }
    entry.clear();
  };
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line = StripColours(text.substr(start, end - start));
    start = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "%") {
      flush();
      entry_line = line_number + 1;
    } else {
      entry.push_back(std::move(line));
    }
  }
  flush();
  return records;
}

}  // namespace qel::cli
