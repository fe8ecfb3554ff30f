#include "pg/pg_clusters.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/build_paths.h"

namespace qel::testing {
namespace {

std::string& Folder() {
  static std::string folder;
  return folder;
}

int Script(std::string const& args) {
  std::string command = "bash " + SourcePath("scripts/pg-clusters.sh") + " " + args;
  return std::system(command.c_str());
}

class Clusters : public ::testing::Environment {
 public:
  void SetUp() override {
    if (char const* given = std::getenv("QEL_PG_DIR")) {
      Folder() = given;
      return;
    }
    // Clusters in memory start three times faster than on disk.
    std::filesystem::path root = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
    Folder() = (root / ("qel-pg-" + std::to_string(getpid()))).string();
    owned_ = true;
    ASSERT_EQ(Script("start " + Folder() + " coord s1 s2 s3 >/dev/null"), 0)
        << "the test servers did not start";
    // A process that dies without tearing down (a sanitizer's report) leaves no servers.
    Script("watch " + Folder() + " " + std::to_string(getpid()));
  }
  void TearDown() override {
    if (owned_) Script("stop " + Folder());
  }

 private:
  bool owned_ = false;
};

::testing::Environment* const kClusters = ::testing::AddGlobalTestEnvironment(new Clusters);

}  // namespace

std::string Dsn(std::string_view name) {
  std::ifstream in(Folder() + "/" + std::string(name) + ".dsn");
  std::string line;
  std::getline(in, line);
  return line;
}

std::vector<std::string> ShardDsns() {
  return {Dsn("s1"), Dsn("s2"), Dsn("s3")};
}

void Halt(std::string_view name) {
  ASSERT_EQ(Script("halt " + Folder() + " " + std::string(name)), 0);
}

void Resume(std::string_view name) {
  ASSERT_EQ(Script("resume " + Folder() + " " + std::string(name)), 0);
}

}  // namespace qel::testing
