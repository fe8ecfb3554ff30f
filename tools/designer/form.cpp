#include "form.h"

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
  std::vector<std::string> lines;
  std::size_t number = 0;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    std::string line(bytes.substr(start, end - start));
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::string reason;
    if (check(line, reason)) {
      lines.push_back(std::move(line));
    } else {
      skipped.push_back({number, std::move(line), std::move(reason)});
    }
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
  undo_.clear();
  has_undo_ = false;
  return true;
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
  return true;
}

std::string FormBytes(std::vector<std::string> const& lines) {
  std::string out;
  for (std::string const& line : lines) out += line + "\r\n";
  return out;
}

bool Form::Save(std::string const& path, std::string& error) const {
  std::string temp = path + ".saving~";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    std::string bytes = FormBytes(lines_);
    if (!out || !out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) ||
        !out.flush()) {
      out.close();
      std::remove(temp.c_str());
      error = "cannot write the form file " + path;
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::remove(temp.c_str());
    error = "cannot replace the form file " + path + ": " + ec.message();
    return false;
  }
  return true;
}

void Form::Change(std::vector<std::string> lines) {
  if (lines == lines_) return;
  undo_ = std::move(lines_);
  lines_ = std::move(lines);
  has_undo_ = true;
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
  if (!has_undo_) return false;
  std::swap(lines_, undo_);
  return true;
}

}  // namespace qel::designer
