// Directory chains and safe file names of CPublicFun.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/file.h"
#include "platform/fs/ops.h"
#include "platform/fs/path.h"
#include "platform/text/mbcs.h"
#include "qelshare/CPublicFun.h"

namespace {

// Whether files can be made in dir: a probe file is created there and deleted again.
// The probe is named "~test.tmp"; it is only ever created new, so a file of that name
// that someone keeps there is never opened, truncated or deleted: another name is
// probed instead.
bool CanWriteIn(std::string const& dir) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = attempt == 0 ? "~test.tmp" : "~test" + std::to_string(attempt) + ".tmp";
    std::string probe = dir + '/' + name;
    qel::fs::File file;
    if (file.Open(probe, qel::fs::kAccessWrite, 0, qel::fs::Disposition::kCreateNew)) {
      file.Close();
      qel::fs::DeleteFile(probe);
      return true;
    }
    if (file.error() != EEXIST) return false;
  }
  return false;
}

// Index of the last single-byte character of s equal to c, or npos.
std::size_t FindLast(std::string_view s, char c) {
  std::size_t last = qel::text::npos;
  for (std::size_t i = qel::text::FindChar(s, c); i != qel::text::npos;
       i = qel::text::FindChar(s, c, i + 1)) {
    last = i;
  }
  return last;
}

// Index of the last single-byte character of s that is one of set, or npos.
std::size_t FindLastOf(std::string_view s, std::string_view set) {
  std::size_t last = qel::text::npos;
  for (std::size_t i = qel::text::FindAnyOf(s, set); i != qel::text::npos;
       i = qel::text::FindAnyOf(s, set, i + 1)) {
    last = i;
  }
  return last;
}

}  // namespace

int CPublicFun::CreateDir(char const* path) {
  if (path == nullptr || *path == '\0') return 0;
  std::string slashed = qel::fs::Slashes(path);
  bool network = slashed.size() >= 2 && slashed[0] == '/' && slashed[1] == '/';
  std::string built = network ? "//" : "";

  CStringArr parts;
  SplitString(slashed.c_str(), parts, '/');
  int n = parts.GetSize();
  if (n == 0) return 0;
  std::vector<std::string> pieces;
  // A path from the root: its first piece is the root itself (empty), which exists as a
  // drive does, so that the first named directory is checked and created like the rest.
  if (!network && slashed[0] == '/') pieces.emplace_back();
  for (int i = 0; i < n; ++i) pieces.emplace_back(parts.Get(i));
  n = static_cast<int>(pieces.size());

  if (n == 1) {
    built += pieces[0];
    if (qel::fs::CreateDirectory(built)) return 1;
    return CanWriteIn(built) ? 1 : 0;
  }
  for (int i = 0; i < n - 1; ++i) {
    built += pieces[i];
    built += '/';
    std::string next = built + pieces[i + 1];
    if (auto attributes = qel::fs::GetAttributes(next)) {
      if (!attributes->directory) return 0;
      continue;
    }
    if (qel::fs::CreateDirectory(next)) continue;
    // The first level under a server is a share, which cannot be created.
    if (i == 0 && network) continue;
    return 0;
  }
  return 1;
}

CString CPublicFun::CreateShotName(char const* path, int number) {
  std::string_view text = path == nullptr ? std::string_view() : path;
  std::size_t cut = FindLast(text, '/');
  if (cut == qel::text::npos) cut = FindLast(text, '\\');
  std::string_view name = cut == qel::text::npos ? text : text.substr(cut + 1);

  std::string_view extension;
  std::size_t dot = FindLast(name, '.');
  if (dot != qel::text::npos) {
    extension = name.substr(dot + 1);
    name = name.substr(0, dot);
  }
  constexpr std::string_view kUnsafe = " @&|;:'\"?*%\\/=+";
  std::size_t unsafe = FindLastOf(name, kUnsafe);
  if (unsafe != qel::text::npos) name = name.substr(unsafe + 1);
  if (FindLastOf(extension, kUnsafe) != qel::text::npos) extension = {};
  if (extension.empty()) extension = "xxx";

  std::string result;
  if (name.empty() || number != 0) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08d", number);
    result = digits;
  } else {
    result = name;
  }
  result += '.';
  result += extension;
  return result;
}
