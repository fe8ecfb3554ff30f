// A folder of this process's own for fuzz targets that must hand their input to a reader
// by path. It lives in memory-backed /dev/shm where that can be written, and goes away
// with everything in it when the process exits (libFuzzer exits normally at the end of a
// timed run), so fuzz runs leave nothing behind.
#ifndef QEL_FUZZ_SCRATCH_FOLDER_H_
#define QEL_FUZZ_SCRATCH_FOLDER_H_

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace qel::fuzz {

// The scratch folder, created on the first call: /dev/shm/<name>.<pid> (or under /tmp).
inline std::filesystem::path const& ScratchFolder(char const* name) {
  struct Folder {
    std::filesystem::path path;
    explicit Folder(char const* name) {
      char const* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
      path = std::filesystem::path(base) / (std::string(name) + "." + std::to_string(getpid()));
      std::error_code ec;
      std::filesystem::create_directories(path, ec);
      if (ec) std::abort();
    }
    ~Folder() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  };
  static Folder const folder(name);
  return folder.path;
}

}  // namespace qel::fuzz

#endif  // QEL_FUZZ_SCRATCH_FOLDER_H_
