#include "platform/mci/output.h"

#include <sys/stat.h>

#include <mutex>

namespace qel::mci {
namespace {

std::mutex g_mutex;
Output g_output;

bool Exists(std::string const& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

void SetOutput(Output output) {
  std::lock_guard lock(g_mutex);
  g_output = std::move(output);
}

Output CurrentOutput() {
  std::lock_guard lock(g_mutex);
  return g_output;
}

bool SystemHasSound() {
  return Exists("/dev/snd") || Exists("/etc/asound.conf");
}

}  // namespace qel::mci
