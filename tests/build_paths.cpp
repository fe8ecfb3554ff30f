#include "support/build_paths.h"

namespace qel::testing {

std::string SourcePath(std::string_view relative) {
  return std::string(QEL_SOURCE_DIR "/").append(relative);
}

std::string BinaryPath(std::string_view relative) {
  return std::string(QEL_BINARY_DIR "/").append(relative);
}

}  // namespace qel::testing
