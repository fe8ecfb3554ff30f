#include "form.h"

#include "platform/fs/durable.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace qel::designer {

bool Form::Parse(std::string_view bytes, Checker const& check, std::vector<Skipped>& skipped,
                 std::string& error) {
  skipped.clear();
  if (bytes.find('\0') != std::string_view::npos) {
    error = "it holds binary data, not control description lines";
    return false;
  }
  std::vector<std::string> lines, raw;
  std::vector<std::size_t> numbers;
  std::vector<Kept> kept;
  std::size_t number = 0, crlf = 0, lf = 0;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
    std::string whole(bytes.substr(start, next - start));
    std::string line(
        bytes.substr(start, (end == std::string_view::npos ? bytes.size() : end) - start));
    start = next;
    ++number;
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      if (end != std::string_view::npos) ++crlf;
    } else if (end != std::string_view::npos) {
      ++lf;
    }
    std::string reason;
    if (!line.empty() && check(line, reason)) {
      lines.push_back(std::move(line));
      raw.push_back(std::move(whole));
      numbers.push_back(number);
      continue;
    }
    if (!line.empty()) skipped.push_back({number, std::move(line), std::move(reason)});
    kept.push_back({lines.size(), std::move(whole)});
  }
  if (lines.empty()) {
    error = skipped.empty()
                ? "it holds no control description line"
                : "none of its " + std::to_string(skipped.size()) +
                      " lines is a control description (line " +
                      std::to_string(skipped.front().number) + ": " + skipped.front().reason + ")";
    return false;
  }
  lines_ = std::move(lines);
  saved_ = lines_;
  read_as_ = lines_;
  ids_.resize(lines_.size());
  for (std::size_t i = 0; i < ids_.size(); ++i) ids_[i] = i;
  raw_ = std::move(raw);
  numbers_ = std::move(numbers);
  kept_ = std::move(kept);
  eol_ = lf > crlf ? "\n" : "\r\n";
  loaded_bytes_ = std::string(bytes);
  undo_.clear();
  redo_.clear();
  return true;
}

void Form::Reset() {
  *this = Form();
}

std::vector<Corrected> Form::Normalize(
    std::vector<std::string> described,
    std::function<bool(std::string const&, std::string const&)> const& same) {
  std::vector<Corrected> corrected;
  // Controls that failed to be made leave the lines unmatched: nothing is kept as read.
  if (described.size() != lines_.size()) return corrected;
  for (std::size_t i = 0; i < described.size(); ++i) {
    if (described[i] == lines_[i] || (same && same(lines_[i], described[i]))) continue;
    corrected.push_back({numbers_[i], lines_[i], described[i]});
  }
  read_as_ = described;
  lines_ = described;
  saved_ = std::move(described);
  return corrected;
}

std::vector<std::pair<std::string, std::size_t>> Form::Layout() const {
  constexpr std::size_t kNoControl = static_cast<std::size_t>(-1);
  std::vector<std::pair<std::string, std::size_t>> pieces;
  auto add = [&](std::string bytes, std::size_t control) {
    // A line that ended the file without a line end gets one when another follows it.
    if (!pieces.empty() && !pieces.back().first.empty() && pieces.back().first.back() != '\n') {
      // A bare CR ending the file is half a CR LF.
      pieces.back().first += pieces.back().first.back() == '\r' ? std::string("\n") : eol_;
    }
    pieces.emplace_back(std::move(bytes), control);
  };
  // A line that makes no control goes before the first control that was loaded at or
  // after its place. New controls stand after the last loaded one, so the lines that
  // ended the file still end it.
  std::size_t last = raw_.empty() ? 0 : raw_.size() - 1;
  std::vector<bool> placed(kept_.size(), false);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    std::size_t place = ids_[i] == kNew ? last : ids_[i];
    for (std::size_t k = 0; k < kept_.size(); ++k) {
      if (!placed[k] && kept_[k].before <= place) {
        add(kept_[k].bytes, kNoControl);
        placed[k] = true;
      }
    }
    bool as_loaded = ids_[i] != kNew && lines_[i] == read_as_[ids_[i]];
    // A reader drops one CR before a line feed: a line that ends with a CR of its own
    // keeps it only when written with CR LF.
    bool own_cr = !lines_[i].empty() && lines_[i].back() == '\r';
    add(as_loaded ? raw_[ids_[i]] : lines_[i] + (own_cr ? std::string("\r\n") : eol_), i);
  }
  for (std::size_t k = 0; k < kept_.size(); ++k) {
    if (!placed[k]) add(kept_[k].bytes, kNoControl);
  }
  return pieces;
}

std::string Form::Bytes() const {
  std::string out;
  for (auto const& [bytes, control] : Layout()) out += bytes;
  return out;
}

void Form::MarkSaved(std::string const& path) {
  std::vector<std::pair<std::string, std::size_t>> pieces = Layout();
  raw_.assign(lines_.size(), std::string());
  for (std::size_t i = 0; i < ids_.size(); ++i) ids_[i] = i;
  // Undo steps name lines by the places they had in the file before this save.
  undo_.clear();
  redo_.clear();
  kept_.clear();
  std::size_t controls = 0;
  loaded_bytes_.clear();
  for (auto& [bytes, control] : pieces) {
    loaded_bytes_ += bytes;
    if (control < lines_.size()) {
      raw_[control] = std::move(bytes);
      ++controls;
    } else {
      kept_.push_back({controls, std::move(bytes)});
    }
  }
  read_as_ = lines_;
  saved_ = lines_;
  loaded_path_ = path;
}

bool Form::Load(std::string const& path, Checker const& check, std::vector<Skipped>& skipped,
                std::string& error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    error = path + " is a directory, not a form file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open the form file " + path;
    return false;
  }
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = "cannot read the form file " + path;
    return false;
  }
  std::string reason;
  if (!Parse(bytes, check, skipped, reason)) {
    error = path + " is not a form: " + reason;
    return false;
  }
  loaded_path_ = path;
  return true;
}

std::string FormBytes(std::vector<std::string> const& lines) {
  std::string out;
  for (std::string const& line : lines) out += line + "\r\n";
  return out;
}

bool Form::Save(std::string const& path, std::string& error) const {
  std::string bytes = Bytes();
  if (path == loaded_path_ && bytes == loaded_bytes_) return true;
  if (!fs::WriteFileDurably(path, bytes, error, fs::PathKind::kSystem)) {
    error = "cannot save the form: " + error;
    return false;
  }
  return true;
}

void Form::Change(std::vector<std::string> lines, bool amend) {
  if (lines == lines_) return;
  // Each new line stands for the old line of the same text if there is one left, else for
  // the next old line left in order (a control moved or edited where it stood).
  std::vector<std::size_t> ids(lines.size(), kNew);
  std::vector<bool> taken(lines_.size(), false);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    for (std::size_t j = 0; j < lines_.size(); ++j) {
      if (!taken[j] && lines_[j] == lines[i]) {
        ids[i] = ids_[j];
        taken[j] = true;
        break;
      }
    }
  }
  std::size_t next = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (ids[i] != kNew || lines.size() != lines_.size()) continue;
    while (next < lines_.size() && taken[next]) ++next;
    if (next == lines_.size()) break;
    ids[i] = ids_[next];
    taken[next] = true;
  }
  if (!amend || undo_.empty()) {
    undo_.push_back({std::move(lines_), std::move(ids_)});
    if (undo_.size() > kUndoSteps) undo_.erase(undo_.begin());
  }
  redo_.clear();
  lines_ = std::move(lines);
  ids_ = std::move(ids);
  SettleIdentities();
}

void Form::SettleIdentities() {
  if (lines_ != saved_) return;
  for (std::size_t i = 0; i < ids_.size(); ++i) ids_[i] = i;
}

void Form::ChangeLine(std::size_t i, std::string line) {
  if (i >= lines_.size()) return;
  std::vector<std::string> lines = lines_;
  lines[i] = std::move(line);
  Change(std::move(lines));
}

void Form::Add(std::string line) {
  std::vector<std::string> lines = lines_;
  lines.push_back(std::move(line));
  Change(std::move(lines));
}

void Form::Remove(std::size_t i) {
  if (i >= lines_.size()) return;
  std::vector<std::string> lines = lines_;
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
  Change(std::move(lines));
}

bool Form::Undo() {
  if (undo_.empty()) return false;
  redo_.push_back({std::move(lines_), std::move(ids_)});
  lines_ = std::move(undo_.back().lines);
  ids_ = std::move(undo_.back().ids);
  undo_.pop_back();
  SettleIdentities();
  return true;
}

bool Form::Redo() {
  if (redo_.empty()) return false;
  undo_.push_back({std::move(lines_), std::move(ids_)});
  lines_ = std::move(redo_.back().lines);
  ids_ = std::move(redo_.back().ids);
  redo_.pop_back();
  SettleIdentities();
  return true;
}

}  // namespace qel::designer
