#include "readers/record_format.h"

#include <algorithm>

namespace qel::records {
namespace {

// Calls line(code, value) for each line CODE=value of text, the CR of a CR LF dropped.
template <typename Fn>
void ForEachLine(std::string_view text, Fn line) {
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view l = text.substr(start, end - start);
    start = end + 1;
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    std::size_t eq = l.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;
    line(l.substr(0, eq), l.substr(eq + 1));
  }
}

}  // namespace

void Parse(std::string_view text, Fields& fields) {
  fields.clear();
  ForEachLine(text, [&](std::string_view code, std::string_view value) {
    auto it =
        std::find_if(fields.begin(), fields.end(), [&](auto const& f) { return f.first == code; });
    if (it == fields.end()) {
      fields.emplace_back(std::string(code), std::string(value));
    } else {
      it->second.append("\n").append(value);
    }
  });
}

bool FieldOf(std::string_view text, std::string_view code, std::string& value) {
  bool found = false;
  value.clear();
  if (code.empty()) return false;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    // The code must be the line's whole key: no "=" inside it, one right after it.
    if (line.size() <= code.size() || line[code.size()] != '=' || !line.starts_with(code) ||
        code.find('=') != std::string_view::npos) {
      continue;
    }
    if (line.back() == '\r') line.remove_suffix(1);
    if (found) value += '\n';
    value.append(line.substr(code.size() + 1));
    found = true;
  }
  return found;
}

void Views(std::string_view text, std::vector<FieldView>& fields,
           std::deque<std::pair<std::size_t, std::string>>& joined) {
  fields.clear();
  std::size_t joins = 0;
  ForEachLine(text, [&](std::string_view code, std::string_view value) {
    auto it =
        std::find_if(fields.begin(), fields.end(), [&](auto const& f) { return f.code == code; });
    if (it == fields.end()) {
      fields.push_back({code, value});
      return;
    }
    // A second line of the code: the value is joined in a buffer of its own.
    auto k = static_cast<std::size_t>(it - fields.begin());
    std::size_t j = 0;
    while (j < joins && joined[j].first != k) ++j;
    if (j == joins) {
      if (joined.size() == joins) joined.emplace_back();
      joined[j].first = k;
      joined[j].second.assign(it->value);
      ++joins;
    }
    joined[j].second.append("\n").append(value);
    it->value = joined[j].second;
  });
}

void Append(Fields const& record, std::string& out) {
  std::size_t start_size = out.size();
  for (auto const& [code, value] : record) {
    if (value.empty()) continue;
    std::size_t start = 0;
    for (;;) {
      std::size_t end = value.find('\n', start);
      std::string_view line = std::string_view(value).substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      out.append(code).append("=").append(line).append("\r\n");
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  if (out.size() != start_size) out += "\r\n";
}

}  // namespace qel::records
