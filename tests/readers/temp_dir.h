// A temporary folder for reader fixtures, removed with everything in it.
#ifndef QELSHARE_TESTS_READERS_TEMP_DIR_H_
#define QELSHARE_TESTS_READERS_TEMP_DIR_H_

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("qel-readers-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(TempDir const&) = delete;
  TempDir& operator=(TempDir const&) = delete;

  // Writes bytes to a file of the folder and returns its full name.
  std::string Write(std::string const& name, std::string_view bytes) const {
    std::string full = (path_ / name).string();
    std::ofstream(full, std::ios::binary).write(bytes.data(), bytes.size());
    return full;
  }
  std::string Path(std::string const& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

#endif  // QELSHARE_TESTS_READERS_TEMP_DIR_H_
