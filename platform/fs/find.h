// Directory search in the desktop platform's manner.
//
// A search takes a path whose last component is a name or a wildcard pattern (see
// wildcard.h) and yields the matching entries of that directory one by one, in the order
// the file system lists them; nothing is sorted. A pattern search lists "." and ".." like
// any other entry (IsDots tells them apart). A last component without wildcards names
// one entry directly; when no entry has exactly that name, one that differs only in the
// case of ASCII letters is found instead. An empty last component ("dir/") finds nothing.
//
// Each entry offers its name, its full path (the absolute path of the searched directory,
// "/", the name) and two attribute tests. An entry found by a pattern is taken as it is
// in the directory: a symbolic link is not a directory there, so walks built on FileFind
// never follow links; a name given directly is followed through links.
//
// One FileFind keeps one open directory while a search is under way.
#ifndef QELSHARE_PLATFORM_FS_FIND_H_
#define QELSHARE_PLATFORM_FS_FIND_H_

#include <dirent.h>

#include <string>
#include <string_view>

namespace qel::fs {

class FileFind {
 public:
  FileFind() = default;
  ~FileFind();
  FileFind(FileFind const&) = delete;
  FileFind& operator=(FileFind const&) = delete;

  // Starts a search for file_spec (GBK; "/" or "\" separators; relative to the current
  // directory unless absolute). True when at least one entry matches; it is then the
  // current entry. A new Find ends the previous search.
  bool Find(std::string_view file_spec);
  // Moves to the next matching entry; false (and the search is over) when there is none.
  bool Next();
  // Ends the search and frees the directory.
  void Close();

  // The current entry: its name (GBK), its full path with "/" separators, and whether it
  // is "." or "..".
  std::string const& name() const { return name_; }
  std::string path() const;
  bool IsDots() const { return name_ == "." || name_ == ".."; }
  // A directory (for a pattern search: a real one, not a link to one).
  bool IsDirectory() const { return directory_; }
  // The read-only attribute: the owner may not write the entry.
  bool IsReadOnly() const;

 private:
  bool Advance();
  void SetDirect(std::string_view name, bool directory, unsigned mode);

  DIR* dir_ = nullptr;   // open while a pattern search goes on
  std::string pattern_;  // GBK pattern of the last component
  std::string root_;     // absolute GBK directory of the search
  std::string os_root_;  // the same directory as the system names it
  std::string name_;
  std::string os_name_;  // the entry's name as the system spells it
  bool directory_ = false;
  bool direct_ = false;    // the entry was found by name, through links
  mutable int mode_ = -1;  // st_mode, read on demand
};

}  // namespace qel::fs

#endif  // QELSHARE_PLATFORM_FS_FIND_H_
