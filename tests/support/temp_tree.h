// A temporary folder for file-system tests, with helpers to lay out files in it.
// Removed with everything inside (read-only entries included) when the test ends.
#ifndef QEL_TESTS_SUPPORT_TEMP_TREE_H_
#define QEL_TESTS_SUPPORT_TEMP_TREE_H_

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace qel::testing {

class TempTree {
 public:
  TempTree() {
    std::string templ = (std::filesystem::temp_directory_path() / "qeltest.XXXXXX").string();
    char* made = mkdtemp(templ.data());
    root_ = made != nullptr ? made : "";
  }
  ~TempTree() {
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(root_, ec);
  }
  TempTree(TempTree const&) = delete;
  TempTree& operator=(TempTree const&) = delete;

  std::string const& root() const { return root_; }
  std::filesystem::path path() const { return root_; }
  // The full name of relative, which need not exist.
  std::string Path(std::string const& relative) const { return root_ + "/" + relative; }
  std::string operator/(std::string const& relative) const { return Path(relative); }

  // Creates relative (and its parents) holding content; returns its full name.
  std::string File(std::string const& relative, std::string_view content = "x") const {
    std::filesystem::path path = root_ + "/" + relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(content.data(), content.size());
    return path.string();
  }
  std::string Dir(std::string const& relative) const {
    std::filesystem::create_directories(root_ + "/" + relative);
    return root_ + "/" + relative;
  }
  void ReadOnly(std::string const& relative) const {
    chmod((root_ + "/" + relative).c_str(), 0444);
  }
  bool Exists(std::string const& relative) const {
    return std::filesystem::exists(root_ + "/" + relative);
  }
  std::string Read(std::string const& relative) const {
    std::ifstream in(root_ + "/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Every file and folder under the root, relative, sorted ("a/", "a/b.txt").
  std::vector<std::string> List() const {
    std::vector<std::string> out;
    for (auto const& e : std::filesystem::recursive_directory_iterator(root_)) {
      std::string rel = std::filesystem::relative(e.path(), root_).string();
      if (e.is_directory()) rel += '/';
      out.push_back(rel);
    }
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  std::string root_;
};

}  // namespace qel::testing

#endif  // QEL_TESTS_SUPPORT_TEMP_TREE_H_
