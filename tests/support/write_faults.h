// Runs a writer with a write fault injected at each of its calls in turn (every write,
// full disk, sync and rename), for the tests of writers that must leave the old file
// whole after any failure.
#ifndef QEL_TESTS_SUPPORT_WRITE_FAULTS_H_
#define QEL_TESTS_SUPPORT_WRITE_FAULTS_H_

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/fs/durable.h"

namespace qel::testing {

// For each fault kind, n = 1, 2, ...: injects the fault at call n and runs write, until a
// run succeeds (the fault came after its last call) or 1000 runs. after(failed, label) is
// called after each run to check what the run left; failed tells whether write failed.
// Returns the number of runs that failed.
inline int FailEveryCall(std::function<bool()> const& write,
                         std::function<void(bool failed, std::string const& label)> const& after) {
  struct Kind {
    fs::WriteFault fault;
    char const* name;
  };
  int failures = 0;
  for (Kind kind :
       {Kind{fs::WriteFault::kWrite, "write"}, Kind{fs::WriteFault::kDiskFull, "full disk"},
        Kind{fs::WriteFault::kSync, "sync"}, Kind{fs::WriteFault::kRename, "rename"}}) {
    for (int n = 1; n <= 1000; ++n) {
      fs::InjectWriteFault(kind.fault, n);
      bool ok = write();
      fs::ClearWriteFaults();
      after(!ok, std::string(kind.name) + " #" + std::to_string(n));
      if (ok) break;
      ++failures;
    }
  }
  return failures;
}

}  // namespace qel::testing

#endif  // QEL_TESTS_SUPPORT_WRITE_FAULTS_H_
