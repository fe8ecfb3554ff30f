// A folder of this process's own for fuzz targets that must hand their input to a reader
// by path. It lives in memory-backed /dev/shm where that can be written, and goes away
// with everything in it when the process exits (libFuzzer exits normally at the end of a
// timed run), so fuzz runs leave nothing behind. A run that ends in a crash skips that
// (the sanitizer exits at once), so the next run of the target removes the folders of its
// runs that are gone.
#ifndef QEL_FUZZ_SCRATCH_FOLDER_H_
#define QEL_FUZZ_SCRATCH_FOLDER_H_

#include <signal.h>
#include <unistd.h>

#include <cerrno>
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
      std::string const prefix = std::string(name) + ".";
      path = std::filesystem::path(base) / (prefix + std::to_string(getpid()));
      std::error_code ec;
      for (std::filesystem::directory_iterator it(base, ec), end; !ec && it != end;
           it.increment(ec)) {
        std::string entry = it->path().filename().string();
        if (!entry.starts_with(prefix)) continue;
        char* rest = nullptr;
        long pid = std::strtol(entry.c_str() + prefix.size(), &rest, 10);
        if (pid <= 0 || *rest != '\0' || pid == getpid()) continue;
        if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
          std::error_code ignored;
          std::filesystem::remove_all(it->path(), ignored);
        }
      }
      ec.clear();
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
