// Paths into the source tree and the build tree the tests were built from. They are
// compiled into one small source of their own, so that no test source depends on where
// the tree lives.
#ifndef QEL_TESTS_SUPPORT_BUILD_PATHS_H_
#define QEL_TESTS_SUPPORT_BUILD_PATHS_H_

#include <string>
#include <string_view>

namespace qel::testing {

// The absolute path of `relative` (no leading slash) in the source tree.
std::string SourcePath(std::string_view relative);

// The absolute path of `relative` (no leading slash) in the build tree.
std::string BinaryPath(std::string_view relative);

}  // namespace qel::testing

#endif  // QEL_TESTS_SUPPORT_BUILD_PATHS_H_
