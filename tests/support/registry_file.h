// Points the library's registry at a file of the test's while the object lives.
#ifndef QEL_TESTS_SUPPORT_REGISTRY_FILE_H_
#define QEL_TESTS_SUPPORT_REGISTRY_FILE_H_

#include <stdlib.h>

#include <string>

namespace qel::testing {

class RegistryFile {
 public:
  explicit RegistryFile(std::string path) : path_(std::move(path)) {
    setenv("QEL_REGISTRY", path_.c_str(), 1);
  }
  ~RegistryFile() { unsetenv("QEL_REGISTRY"); }
  std::string const& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace qel::testing

#endif  // QEL_TESTS_SUPPORT_REGISTRY_FILE_H_
