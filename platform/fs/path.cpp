#include "platform/fs/path.h"

#include <unistd.h>

#include <climits>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/text/mbcs.h"

namespace qel::fs {
namespace {

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::string CurrentDirectory() {
  std::string buf(PATH_MAX, '\0');
  while (getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE || buf.size() > (1u << 20)) return "/";
    buf.resize(buf.size() * 2);
  }
  buf.resize(std::char_traits<char>::length(buf.c_str()));
  return FromOs(buf);
}

}  // namespace

std::string Slashes(std::string_view path) {
  std::string out(path);
  for (std::size_t i = 0; i < out.size(); i += text::CharLength(out, i)) {
    if (out[i] == '\\') out[i] = '/';
  }
  return out;
}

std::size_t LastSeparator(std::string_view path) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); i += text::CharLength(path, i)) {
    if (IsSeparator(path[i])) last = i;
  }
  return last;
}

std::string ToOs(std::string_view path) {
  std::string slashed = Slashes(path);
  if (IsAscii(slashed)) return slashed;
  return text::GbkToUtf8Lossy(slashed);
}

std::string FromOs(std::string_view name) {
  if (IsAscii(name)) return std::string(name);
  std::string out;
  text::Utf8ToGbkReplacing(name, out, '?');
  return out;
}

std::string Absolute(std::string_view path) {
  std::string full = Slashes(path);
  if (full.empty() || full[0] != '/') full = Join(CurrentDirectory(), full);
  // Resolve the components by text.
  std::vector<std::string_view> parts;
  std::string_view rest(full);
  while (!rest.empty()) {
    std::size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (std::string_view part : parts) {
    out += '/';
    out += part;
  }
  return out.empty() ? "/" : out;
}

std::string Join(std::string_view dir, std::string_view name) {
  std::string out(dir);
  if (out.empty() || out.back() != '/') out += '/';
  out += name;
  return out;
}

}  // namespace qel::fs
