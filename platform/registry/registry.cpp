#include "platform/registry/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/fs/durable.h"
#include "platform/text/codepage.h"
#include "platform/text/mbcs.h"

namespace qel::registry {
namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";

struct RootName {
  std::string_view name;
  std::string_view alias;
};
constexpr RootName kRoots[] = {
    {"HKEY_LOCAL_MACHINE", "HKLM"}, {"HKEY_CURRENT_USER", "HKCU"},   {"HKEY_CLASSES_ROOT", "HKCR"},
    {"HKEY_USERS", "HKU"},          {"HKEY_CURRENT_CONFIG", "HKCC"},
};

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (text::AsciiLower(a[i]) != text::AsciiLower(b[i])) return false;
  }
  return true;
}

// A key path in the form the store files it under: the root's full name, single "\"
// separators, nothing at the end, ASCII letters of single-byte characters folded.
// Empty when the path does not start with a root key.
std::string Fold(std::string_view path, std::string* display = nullptr) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size();) {
    if (i == path.size() || path[i] == '\\') {
      if (i > start) parts.push_back(path.substr(start, i - start));
      start = ++i;
      continue;
    }
    i += text::CharLength(path, i);
  }
  if (parts.empty()) return {};
  std::string_view root;
  for (auto const& r : kRoots) {
    if (EqualNoCase(parts[0], r.name) || EqualNoCase(parts[0], r.alias)) root = r.name;
  }
  if (root.empty()) return {};
  std::string shown(root);
  for (std::size_t k = 1; k < parts.size(); ++k) {
    shown += '\\';
    shown += parts[k];
  }
  std::string folded = shown;
  for (std::size_t i = 0; i < folded.size(); i += text::CharLength(folded, i)) {
    folded[i] = text::AsciiLower(folded[i]);
  }
  if (display != nullptr) *display = std::move(shown);
  return folded;
}

// UTF-16LE bytes as GBK; characters without a GBK form become "?".
std::string Utf16ToGbk(std::string_view bytes) {
  std::string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8);
    char buf[2];
    std::size_t n = text::EncodeChar(unit, buf);
    if (n == 0) {
      out += '?';
    } else {
      out.append(buf, n);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = text::AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

// Reads a quoted string at s[*pos] (which is '"'); "\\" and "\"" are escapes. False when
// the closing quote is missing.
bool ReadQuoted(std::string_view s, std::size_t* pos, std::string* out) {
  out->clear();
  std::size_t i = *pos + 1;
  while (i < s.size()) {
    std::size_t n = text::CharLength(s, i);
    if (n == 1 && s[i] == '"') {
      *pos = i + 1;
      return true;
    }
    if (n == 1 && s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      *out += s[i + 1];
      i += 2;
      continue;
    }
    out->append(s.substr(i, n));
    i += n;
  }
  return false;
}

// True when the text ends in a lead byte without its trail: it cannot stand before a
// closing quote, which the reader would take for the trail.
bool EndsWithLoneLead(std::string_view s) {
  std::size_t i = 0;
  std::size_t last = 1;
  while (i < s.size()) {
    last = text::CharLength(s, i);
    i += last;
  }
  return !s.empty() && last == 1 && text::IsLeadByte(static_cast<unsigned char>(s.back()));
}

void WriteQuoted(std::string_view s, std::string& out) {
  out += '"';
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = text::CharLength(s, i);
    if (n == 1 && (s[i] == '\\' || s[i] == '"')) out += '\\';
    out.append(s.substr(i, n));
    i += n;
  }
  out += '"';
}

// Parses "hex:..." / "hex(N):..." / "dword:..." / a quoted string into value.
bool ParseData(std::string_view s, bool utf16, Value* value, std::string* why) {
  if (!s.empty() && s[0] == '"') {
    std::size_t pos = 0;
    std::string text;
    if (!ReadQuoted(s, &pos, &text)) {
      *why = "the string has no closing quote";
      return false;
    }
    if (!TrimBlanks(s.substr(pos)).empty()) {
      *why = "text follows the closing quote";
      return false;
    }
    value->type = kTypeString;
    value->data = StringData(text);
    return true;
  }
  if (s.size() > 6 && EqualNoCase(s.substr(0, 6), "dword:")) {
    std::string_view digits = s.substr(6);
    if (digits.empty() || digits.size() > 8) {
      *why = "a dword needs one to eight hexadecimal digits";
      return false;
    }
    std::uint32_t v = 0;
    for (char c : digits) {
      int d = HexDigit(c);
      if (d < 0) {
        *why = "a dword needs one to eight hexadecimal digits";
        return false;
      }
      v = v << 4 | static_cast<std::uint32_t>(d);
    }
    value->type = kTypeDword;
    value->data.assign(
        {char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF)});
    return true;
  }
  if (s.size() >= 4 && EqualNoCase(s.substr(0, 3), "hex")) {
    std::size_t pos = 3;
    std::uint32_t type = kTypeBinary;
    if (s[pos] == '(') {
      std::size_t close = s.find(')', pos);
      if (close == std::string_view::npos || close == pos + 1 || close - pos > 9) {
        *why = "the hex type has no closing parenthesis";
        return false;
      }
      type = 0;
      for (std::size_t i = pos + 1; i < close; ++i) {
        int d = HexDigit(s[i]);
        if (d < 0) {
          *why = "the hex type is not a hexadecimal number";
          return false;
        }
        type = type << 4 | static_cast<std::uint32_t>(d);
      }
      pos = close + 1;
    }
    if (pos >= s.size() || s[pos] != ':') {
      *why = "hex data must follow a colon";
      return false;
    }
    std::string bytes;
    std::string_view list = s.substr(pos + 1);
    std::size_t i = 0;
    while (i < list.size()) {
      while (i < list.size() && (list[i] == ' ' || list[i] == '\t')) ++i;
      if (i == list.size()) break;
      int hi = HexDigit(list[i]);
      int lo = i + 1 < list.size() ? HexDigit(list[i + 1]) : -1;
      if (hi < 0 || lo < 0) {
        *why = "hex bytes are pairs of hexadecimal digits separated by commas";
        return false;
      }
      bytes += static_cast<char>(hi << 4 | lo);
      i += 2;
      while (i < list.size() && (list[i] == ' ' || list[i] == '\t')) ++i;
      if (i < list.size()) {
        if (list[i] != ',') {
          *why = "hex bytes are pairs of hexadecimal digits separated by commas";
          return false;
        }
        ++i;
      }
    }
    // Version 5 files keep texts in UTF-16; the 8-bit calls hand them out as GBK.
    if (utf16 && (type == kTypeString || type == kTypeExpandString || type == kTypeMultiString)) {
      bytes = Utf16ToGbk(bytes);
    }
    value->type = type;
    value->data = std::move(bytes);
    return true;
  }
  *why = "the data is neither a string, dword: nor hex:";
  return false;
}

void WriteHex(std::string_view prefix, std::string_view data, std::string& out,
              std::size_t line_start) {
  out += prefix;
  std::size_t column = out.size() - line_start;
  static constexpr char kDigits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < data.size(); ++i) {
    auto b = static_cast<unsigned char>(data[i]);
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
    column += 2;
    if (i + 1 < data.size()) {
      out += ',';
      ++column;
      if (column > 76) {
        out += "\\\r\n  ";
        column = 2;
      }
    }
  }
}

}  // namespace

std::string StringData(std::string_view text) {
  std::string data(text);
  data += '\0';
  return data;
}

bool Store::Import(std::string_view input, std::string& error) {
  std::string converted;
  bool utf16 = false;
  if (input.size() >= 2 && static_cast<unsigned char>(input[0]) == 0xFF &&
      static_cast<unsigned char>(input[1]) == 0xFE) {
    converted = Utf16ToGbk(input.substr(2));
    input = converted;
    utf16 = true;
  } else if (input.size() >= 3 && input.substr(0, 3) == "\xEF\xBB\xBF") {
    text::Utf8ToGbkReplacing(input.substr(3), converted, '?');
    input = converted;
  }

  bool header = false;
  std::string key;  // folded path of the current key; empty: none (or deleted)
  bool in_deleted = false;
  std::size_t line_no = 0;
  std::size_t pos = 0;
  auto fail = [&](std::size_t line, std::string const& why) {
    error = "line " + std::to_string(line) + ": " + why;
    return false;
  };
  while (pos < input.size()) {
    std::size_t end = input.find('\n', pos);
    if (end == std::string_view::npos) end = input.size();
    std::string line(TrimBlanks(input.substr(pos, end - pos)));
    pos = end + 1;
    std::size_t first_line = ++line_no;
    // Long hex data continues on the next lines after a closing backslash.
    while (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos &&
           pos < input.size()) {
      line.pop_back();
      end = input.find('\n', pos);
      if (end == std::string_view::npos) end = input.size();
      line += TrimBlanks(input.substr(pos, end - pos));
      pos = end + 1;
      ++line_no;
    }
    if (line.empty() || line[0] == ';') continue;
    if (!header) {
      if (line == kHeader4) {
        header = true;
        continue;
      }
      if (line == kHeader5) {
        header = true;
        utf16 = true;
        continue;
      }
      return fail(first_line, "not a registry file (the first line must be REGEDIT4)");
    }
    if (line[0] == '[') {
      if (line.back() != ']') return fail(first_line, "a key line must end with ]");
      std::string_view path(line);
      path = path.substr(1, path.size() - 2);
      bool remove = !path.empty() && path[0] == '-';
      if (remove) path.remove_prefix(1);
      if (Fold(path).empty()) {
        return fail(first_line,
                    "the key does not start with a root key such as "
                    "HKEY_LOCAL_MACHINE");
      }
      if (remove) {
        DeleteKey(path);
        key.clear();
        in_deleted = true;
        continue;
      }
      key = Fold(path);
      Create(path);
      in_deleted = false;
      continue;
    }
    if (line[0] != '"' && line[0] != '@') {
      return fail(first_line, "a line must be a [key], a \"name\"=value or a comment");
    }
    Value value;
    std::size_t at = 0;
    if (line[0] == '@') {
      at = 1;
    } else if (!ReadQuoted(line, &at, &value.name)) {
      return fail(first_line, "the value name has no closing quote");
    }
    std::string_view rest = TrimBlanks(std::string_view(line).substr(at));
    if (rest.empty() || rest[0] != '=') return fail(first_line, "= must follow the value name");
    rest = TrimBlanks(rest.substr(1));
    if (key.empty()) {
      if (in_deleted) continue;
      return fail(first_line, "a value comes before any [key]");
    }
    Key& target = keys_[key];
    auto found = std::find_if(target.values.begin(), target.values.end(), [&](Value const& v) {
      return text::MbsICmp(v.name.c_str(), value.name.c_str()) == 0;
    });
    if (rest == "-") {
      if (found != target.values.end()) target.values.erase(found);
      continue;
    }
    std::string why;
    if (!ParseData(rest, utf16, &value, &why)) return fail(first_line, why);
    if (found != target.values.end()) {
      found->type = value.type;
      found->data = std::move(value.data);
    } else {
      target.values.push_back(std::move(value));
    }
  }
  if (!header) return fail(1, "not a registry file (the first line must be REGEDIT4)");
  return true;
}

std::string Store::Export() const {
  std::string out(kHeader4);
  out += "\r\n";
  for (auto const& [folded, key] : keys_) {
    out += "\r\n[";
    out += key.path;
    out += "]\r\n";
    for (Value const& v : key.values) {
      std::size_t line_start = out.size();
      if (v.name.empty()) {
        out += '@';
      } else {
        WriteQuoted(v.name, out);
      }
      out += '=';
      bool plain_string = v.type == kTypeString && !v.data.empty() && v.data.back() == '\0' &&
                          v.data.find('\0') == v.data.size() - 1 &&
                          !EndsWithLoneLead(std::string_view(v.data).substr(0, v.data.size() - 1));
      if (plain_string) {
        WriteQuoted(std::string_view(v.data).substr(0, v.data.size() - 1), out);
      } else if (v.type == kTypeDword && v.data.size() == 4) {
        char buf[16];
        auto b = [&](int i) {
          return static_cast<std::uint32_t>(static_cast<unsigned char>(v.data[i]));
        };
        std::snprintf(buf, sizeof buf, "dword:%08x", b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24);
        out += buf;
      } else if (v.type == kTypeBinary) {
        WriteHex("hex:", v.data, out, line_start);
      } else {
        char prefix[24];
        std::snprintf(prefix, sizeof prefix, "hex(%x):", v.type);
        WriteHex(prefix, v.data, out, line_start);
      }
      out += "\r\n";
    }
  }
  out += "\r\n";
  return out;
}

Key const* Store::Find(std::string_view path) const {
  std::string folded = Fold(path);
  auto it = keys_.find(folded);
  return it == keys_.end() ? nullptr : &it->second;
}

Key* Store::Create(std::string_view path) {
  std::string display;
  std::string folded = Fold(path, &display);
  if (folded.empty()) return nullptr;
  // Parents exist as keys of their own, as they do in the platform's registry.
  for (std::size_t cut = display.find('\\'); cut != std::string::npos;
       cut = display.find('\\', cut + 1)) {
    if (!text::IsCharBoundary(display, cut)) continue;
    std::string parent = folded.substr(0, cut);
    if (parent.find('\\') == std::string::npos) continue;  // the root itself
    auto [it, inserted] = keys_.try_emplace(parent);
    if (inserted) it->second.path = display.substr(0, cut);
  }
  auto [it, inserted] = keys_.try_emplace(folded);
  if (inserted) it->second.path = display;
  return &it->second;
}

bool Store::SetValue(std::string_view path, std::string_view name, std::uint32_t type,
                     std::string_view data) {
  if (EndsWithLoneLead(name)) return false;
  Key* key = Create(path);
  if (key == nullptr) return false;
  for (Value& v : key->values) {
    if (text::MbsICmp(v.name.c_str(), std::string(name).c_str()) == 0) {
      v.type = type;
      v.data = std::string(data);
      return true;
    }
  }
  key->values.push_back(Value{std::string(name), type, std::string(data)});
  return true;
}

void Store::DeleteKey(std::string_view path) {
  std::string folded = Fold(path);
  if (folded.empty()) return;
  auto it = keys_.lower_bound(folded);
  while (it != keys_.end() && it->first.compare(0, folded.size(), folded) == 0 &&
         (it->first.size() == folded.size() || it->first[folded.size()] == '\\')) {
    it = keys_.erase(it);
  }
}

std::string DefaultPath() {
  if (char const* env = std::getenv("QEL_REGISTRY"); env != nullptr && *env != '\0') return env;
  std::string base;
  if (char const* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else if (char const* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    base = std::string(home) + "/.config";
  } else {
    base = ".config";
  }
  return base + "/qelshare/registry.reg";
}

bool Load(std::string const& path, Store& store, std::string& error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::string data;
  char buffer[1 << 15];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      error = "cannot read " + path + ": " + std::strerror(errno);
      close(fd);
      return false;
    }
    data.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  if (data.empty()) return true;
  if (!store.Import(data, error)) {
    error = path + " " + error;
    return false;
  }
  return true;
}

bool Save(std::string const& path, Store const& store, std::string& error) {
  auto fail = [&](char const* what) {
    error = std::string("cannot ") + what + " " + path + ": " + std::strerror(errno);
    return false;
  };
  // Make the folders on the way.
  for (std::size_t cut = path.find('/', 1); cut != std::string::npos;
       cut = path.find('/', cut + 1)) {
    std::string dir = path.substr(0, cut);
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return fail("create the folder of");
  }
  return fs::WriteFileDurably(path, store.Export(), error, fs::PathKind::kSystem);
}

Status KeyReader::Open(std::string_view root, std::string_view subkey) {
  Close();
  Store store;
  std::string error;
  if (!Load(DefaultPath(), store, error)) return Status::kNotFound;
  std::string path(root);
  path += '\\';
  path += subkey;
  Key const* key = store.Find(path);
  if (key == nullptr) return Status::kNotFound;
  key_ = *key;
  open_ = true;
  return Status::kOk;
}

Status KeyReader::EnumValue(std::uint32_t index, std::size_t name_capacity,
                            std::size_t data_capacity, Value* value) const {
  if (!open_ || index >= key_.values.size()) return Status::kNoMoreItems;
  Value const& v = key_.values[index];
  if (v.name.size() + 1 > name_capacity || v.data.size() > data_capacity) {
    return Status::kMoreData;
  }
  *value = v;
  return Status::kOk;
}

void KeyReader::Close() {
  open_ = false;
  key_ = Key();
}

}  // namespace qel::registry
