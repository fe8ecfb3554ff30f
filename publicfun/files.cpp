// File and directory tests, listings and tree walks of CPublicFun.
//
// Every walk is a directory search of the file floor (platform/fs/find.h): entries come
// in the order the file system lists them, "." and ".." are skipped by the dots test
// wherever a walk descends, and a walk keeps one open search per level. Walks never
// follow symbolic links, and their depth is bounded by the system's path length limit
// (a search under a longer path finds nothing).
#include <string>
#include <string_view>

#include "platform/fs/find.h"
#include "platform/fs/ops.h"
#include "platform/fs/path.h"
#include "qelshare/CPublicFun.h"

namespace {

using qel::fs::FileFind;

std::string_view View(char const* s) {
  return s == nullptr ? std::string_view() : s;
}

// dir, a separator and name, as the members join them.
std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string out(dir);
  out += '/';
  out += name;
  return out;
}

// Trims ASCII white space from both ends.
std::string_view Trim(std::string_view s) {
  auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
  };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

int CPublicFun::IsExistOneFile(CStringArr& files) {
  int n = files.GetSize();
  FileFind find;
  for (int i = 0; i < n; ++i) {
    // An absent entry names no file.
    char const* file_spec = files.Get(i);
    if (file_spec != nullptr && find.Find(file_spec)) return 1;
  }
  return 0;
}

int CPublicFun::IsExistFile(char const* path) {
  FileFind find;
  return path != nullptr && find.Find(path) && !find.IsDirectory() ? 1 : 0;
}

int CPublicFun::IsExistDir(char const* path) {
  FileFind find;
  return path != nullptr && find.Find(path) && find.IsDirectory() ? 1 : 0;
}

void CPublicFun::GetFileName(char const* file_spec, int recurse, CStringArr* out) {
  if (out == nullptr) return;
  out->RemoveAll();
  if (file_spec == nullptr || *file_spec == '\0') return;

  if (file_spec[0] == '"') {
    // A multiple-selection list: "a.txt" "b.txt" ... Names only; the disk is not asked.
    CStringArr parts;
    SplitString(file_spec, parts, '"');
    for (int i = 0; i < parts.GetSize(); ++i) {
      std::string_view name = Trim(View(parts.Get(i)));
      if (!name.empty()) out->Add(std::string(name).c_str(), -1);
    }
    return;
  }

  try {
    FileFind find;
    for (bool more = find.Find(file_spec); more; more = find.Next()) {
      if (!find.IsDirectory()) out->Add(find.path().c_str(), -1);
    }
    if (recurse == 0) return;
    std::string_view text(file_spec);
    std::size_t slash = qel::fs::LastSeparator(text);
    if (slash == std::string_view::npos) {
      out->RemoveAll();  // a recursive search needs a directory part
      return;
    }
    std::string dir(text.substr(0, slash));
    std::string pattern(text.substr(slash + 1));
    FileFind walk;
    for (bool more = walk.Find(JoinPath(dir, "*.*")); more; more = walk.Next()) {
      if (walk.IsDirectory() && !walk.IsDots()) {
        ScanDir(walk.path().c_str(), pattern.c_str(), out);
      }
    }
  } catch (...) {
    out->RemoveAll();
  }
}

int CPublicFun::ScanDir(char const* dir, char const* pattern, CStringArr* out) {
  std::string_view base = View(dir);
  int count = 0;
  {
    FileFind find;
    for (bool more = find.Find(JoinPath(base, View(pattern))); more; more = find.Next()) {
      if (find.IsDirectory()) continue;
      ++count;
      if (out != nullptr) out->Add(find.path().c_str(), -1);
    }
  }
  FileFind walk;
  for (bool more = walk.Find(JoinPath(base, "*.*")); more; more = walk.Next()) {
    if (walk.IsDirectory() && !walk.IsDots()) {
      count += ScanDir(walk.path().c_str(), pattern, out);
    }
  }
  return count;
}

int CPublicFun::DeleteDir(char const* dir, int removeSelf) {
  if (dir == nullptr || *dir == '\0') return 0;
  int ok = 1;
  {
    FileFind walk;
    for (bool more = walk.Find(JoinPath(dir, "*.*")); more; more = walk.Next()) {
      if (walk.IsDots()) continue;
      std::string path = walk.path();
      if (walk.IsDirectory()) {
        if (DeleteDir(path.c_str(), 1) == 0) ok = 0;
        continue;
      }
      // Deleting does not depend on the read-only attribute here, so the attribute is
      // only cleared (and the delete tried again) when the delete fails: the files left
      // behind end up exactly as clearing it first would leave them.
      if (qel::fs::DeleteFile(path)) continue;
      if (walk.IsReadOnly() && qel::fs::SetNormalAttributes(path) && qel::fs::DeleteFile(path)) {
        continue;
      }
      ok = 0;
    }
  }
  if (removeSelf != 0) return qel::fs::RemoveDirectory(dir) ? 1 : 0;
  return ok;
}

int CPublicFun::IsReadOnly(char const* path) {
  FileFind find;
  if (path == nullptr || !find.Find(path)) return 1;
  if (find.IsReadOnly() || find.IsDots()) return 1;
  if (!find.IsDirectory()) return 0;
  find.Close();
  FileFind walk;
  bool more = walk.Find(JoinPath(path, "*.*"));
  if (!more) return 1;
  for (; more; more = walk.Next()) {
    if (walk.IsDots()) continue;
    if (walk.IsDirectory()) {
      if (IsReadOnly(walk.path().c_str()) != 0) return 1;
    } else if (walk.IsReadOnly()) {
      return 1;
    }
  }
  return 0;
}

int CPublicFun::CopyDir(char const* src, char const* dst) {
  std::string_view target_dir = View(dst);
  FileFind walk;
  for (bool more = walk.Find(JoinPath(View(src), "*.*")); more; more = walk.Next()) {
    if (walk.IsDots()) continue;
    std::string target = JoinPath(target_dir, walk.name());
    std::string source = walk.path();
    if (walk.IsDirectory()) {
      qel::fs::CreateDirectory(target);
      CopyDir(source.c_str(), target.c_str());
      continue;
    }
    qel::fs::CopyFile(source, target, false);
    if (walk.IsReadOnly()) qel::fs::SetNormalAttributes(target);
  }
  return 1;
}

int CPublicFun::CopyAccFile(char const* srcDir, char const* dstDir, int /*ignored*/) {
  if (srcDir == nullptr || *srcDir == '\0' || dstDir == nullptr || *dstDir == '\0') return 0;
  if (CreateDir(dstDir) == 0) return 0;
  FileFind walk;
  for (bool more = walk.Find(JoinPath(srcDir, "*.*")); more; more = walk.Next()) {
    if (walk.IsDirectory()) continue;
    qel::fs::CopyFile(walk.path(), JoinPath(dstDir, walk.name()), false);
  }
  return 1;
}
