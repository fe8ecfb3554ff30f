#include "platform/fs/find.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <algorithm>

#include "platform/fs/path.h"
#include "platform/fs/wildcard.h"

namespace qel::fs {

FileFind::~FileFind() {
  Close();
}

void FileFind::Close() {
  if (dir_ != nullptr) closedir(dir_);
  dir_ = nullptr;
}

std::string FileFind::path() const {
  return Join(root_, name_);
}

bool FileFind::IsReadOnly() const {
  if (mode_ < 0) {
    struct stat st;
    int flags = direct_ ? 0 : AT_SYMLINK_NOFOLLOW;
    bool listed = dir_ != nullptr && !direct_;
    std::string os_path = listed ? os_name_ : Join(os_root_, os_name_);
    if (fstatat(listed ? dirfd(dir_) : AT_FDCWD, os_path.c_str(), &st, flags) != 0) {
      return false;
    }
    mode_ = static_cast<int>(st.st_mode);
  }
  return (mode_ & S_IWUSR) == 0;
}

void FileFind::SetDirect(std::string_view name, bool directory, unsigned mode) {
  name_ = std::string(name);
  os_name_ = ToOs(name);
  directory_ = directory;
  direct_ = true;
  mode_ = static_cast<int>(mode);
}

bool FileFind::Find(std::string_view spec) {
  Close();
  name_.clear();
  std::string slashed = Slashes(spec);
  std::size_t slash = slashed.rfind('/');
  bool const here = slash == std::string::npos;
  pattern_ = here ? slashed : slashed.substr(slash + 1);
  // The folder: "." without a slash, "/" when the only slash leads, else what precedes it.
  std::string const dir_part =
      here ? std::string(".") : slashed.substr(0, std::max<std::size_t>(slash, 1));
  if (pattern_.empty()) return false;
  root_ = Absolute(dir_part);
  os_root_ = ToOs(root_);

  if (!HasWildcards(pattern_)) {
    struct stat st;
    if (stat(Join(os_root_, ToOs(pattern_)).c_str(), &st) == 0) {
      SetDirect(pattern_, S_ISDIR(st.st_mode), st.st_mode);
      return true;
    }
    if (errno != ENOENT || pattern_ == "." || pattern_ == "..") return false;
    // No exact name: look for one that differs in the case of ASCII letters.
  }
  dir_ = opendir(os_root_.c_str());
  if (dir_ == nullptr) return false;
  return Advance();
}

bool FileFind::Next() {
  if (dir_ == nullptr) return false;
  return Advance();
}

bool FileFind::Advance() {
  direct_ = false;
  while (dirent* e = readdir(dir_)) {
    std::string name = FromOs(e->d_name);
    if (!MatchName(pattern_, name)) continue;
    name_ = std::move(name);
    os_name_ = e->d_name;
    mode_ = -1;
    unsigned char type = e->d_type;
    if (type == DT_UNKNOWN) {
      struct stat st;
      if (fstatat(dirfd(dir_), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        mode_ = static_cast<int>(st.st_mode);
        type = S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
      }
    }
    directory_ = type == DT_DIR;
    return true;
  }
  Close();
  return false;
}

}  // namespace qel::fs
