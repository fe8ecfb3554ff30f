// Copying and moving single files of CPublicFun, with the shell-style fall-back.
//
// The direct operation is tried first. When it fails, the transfer is done the way the
// desktop shell's file operation does it, without any dialog: the source may be a
// wildcard pattern (it then names the files it matches, never folders) or one file or
// folder (a folder is transferred with its whole tree); the destination may be an
// existing directory (each source goes into it under its own name) or, for a single
// source, the new name. An existing target file is replaced unless it is read-only.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/fs/find.h"
#include "platform/fs/ops.h"
#include "platform/fs/path.h"
#include "platform/fs/wildcard.h"
#include "qelshare/CPublicFun.h"

namespace {

using qel::fs::FileFind;

// The shell takes each path in a buffer of 500 bytes with two closing NULs.
constexpr std::size_t kShellPathLimit = 499;

bool CopyTree(std::string const& src, std::string const& dst) {
  if (!qel::fs::GetAttributes(dst) && !qel::fs::CreateDirectory(dst)) return false;
  bool ok = true;
  FileFind walk;
  for (bool more = walk.Find(src + "/*.*"); more; more = walk.Next()) {
    if (walk.IsDots()) continue;
    std::string target = qel::fs::Join(dst, walk.name());
    if (walk.IsDirectory()) {
      ok = CopyTree(walk.path(), target) && ok;
    } else {
      ok = qel::fs::CopyFile(walk.path(), target, false) && ok;
    }
  }
  return ok;
}

bool ReplaceableTarget(std::string const& target) {
  auto attributes = qel::fs::GetAttributes(target);
  if (!attributes) return true;
  if (attributes->directory || attributes->read_only) return false;
  return qel::fs::DeleteFile(target);
}

bool TransferOne(std::string const& source, bool directory, std::string const& target, bool move) {
  if (directory) {
    // A folder never goes into its own tree.
    if (target.size() > source.size() && target.compare(0, source.size(), source) == 0 &&
        target[source.size()] == '/') {
      return false;
    }
    if (move && qel::fs::MoveFile(source, target)) return true;
    if (!CopyTree(source, target)) return false;
    return !move || CPublicFun::DeleteDir(source.c_str(), 1) != 0;
  }
  if (!move) return qel::fs::CopyFile(source, target, false);
  if (qel::fs::MoveFile(source, target)) return true;
  return ReplaceableTarget(target) && qel::fs::MoveFile(source, target);
}

int ShellTransfer(char const* src, char const* dst, bool move) {
  if (src == nullptr || dst == nullptr || *src == '\0' || *dst == '\0') return 0;
  std::string_view from(src);
  std::string_view to(dst);
  if (from.size() > kShellPathLimit || to.size() > kShellPathLimit) return 0;

  // The sources: (full path, is a directory).
  std::vector<std::pair<std::string, bool>> sources;
  std::vector<std::string> names;
  std::size_t slash = qel::fs::LastSeparator(from);
  bool wildcard =
      qel::fs::HasWildcards(slash == std::string_view::npos ? from : from.substr(slash + 1));
  FileFind find;
  for (bool more = find.Find(from); more; more = find.Next()) {
    if (find.IsDots()) continue;
    if (wildcard && find.IsDirectory()) continue;  // files only
    sources.emplace_back(find.path(), find.IsDirectory());
    names.push_back(find.name());
    if (!wildcard) break;
  }
  if (sources.empty()) return 0;

  auto dst_attributes = qel::fs::GetAttributes(to);
  bool into = dst_attributes && dst_attributes->directory;
  if (!into && wildcard) return 0;
  std::string target_dir = qel::fs::Absolute(to);

  bool ok = true;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    std::string target = into ? qel::fs::Join(target_dir, names[i]) : target_dir;
    if (target == sources[i].first) {
      ok = false;
      continue;
    }
    ok = TransferOne(sources[i].first, sources[i].second, target, move) && ok;
  }
  return ok ? 1 : 0;
}

}  // namespace

int CPublicFun::CopyFileA(char const* src, char const* dst) {
  if (src != nullptr && dst != nullptr && qel::fs::CopyFile(src, dst, false)) return 1;
  return ShellTransfer(src, dst, false);
}

int CPublicFun::MoveFileA(char const* src, char const* dst) {
  if (src != nullptr && dst != nullptr && qel::fs::MoveFile(src, dst)) return 1;
  return ShellTransfer(src, dst, true);
}
