// Tree walks of CPublicFun against the system's tools, in the same run.
//
// A tree of 100,000 empty files in 1,000 folders (half of the names *.txt) is made in a
// temporary folder. ScanDir(tree, "*.txt") with a list is measured against
// `find TREE -name '*.txt' | wc -l`; DeleteDir(tree, 1) against `rm -rf TREE`, each on a
// freshly made tree (making it is not timed). Everything is deleted at the end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "qelshare/CPublicFun.h"

namespace {

constexpr int kFolders = 1000;
constexpr int kFilesPerFolder = 100;

std::string const& BenchRoot() {
  static std::string root = [] {
    std::string templ = "/tmp/qelbench.XXXXXX";
    char* made = mkdtemp(templ.data());
    if (made == nullptr) std::abort();
    return std::string(made);
  }();
  return root;
}

// Makes the tree at root/name unless it is there; returns its path.
std::string MakeTree(std::string const& name) {
  std::string tree = BenchRoot() + "/" + name;
  struct stat st;
  if (stat(tree.c_str(), &st) == 0) return tree;
  mkdir(tree.c_str(), 0777);
  char path[4096];
  for (int d = 0; d < kFolders; ++d) {
    std::snprintf(path, sizeof path, "%s/d%03d", tree.c_str(), d);
    mkdir(path, 0777);
    for (int f = 0; f < kFilesPerFolder; ++f) {
      std::snprintf(path, sizeof path, "%s/d%03d/file%02d.%s", tree.c_str(), d, f,
                    f % 2 == 0 ? "txt" : "dat");
      int fd = open(path, O_CREAT | O_WRONLY | O_CLOEXEC, 0666);
      if (fd >= 0) close(fd);
    }
  }
  return tree;
}

long RunCount(std::string const& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  long count = -1;
  if (std::fscanf(pipe, "%ld", &count) != 1) count = -1;
  pclose(pipe);
  return count;
}

void BM_ScanDir(benchmark::State& state) {
  std::string tree = MakeTree("scan");
  for (auto _ : state) {
    CStringArr list;
    int n = CPublicFun::ScanDir(tree.c_str(), "*.txt", &list);
    if (n != kFolders * kFilesPerFolder / 2) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(list.m_pData);
  }
}

void BM_ScanDir_CountOnly(benchmark::State& state) {
  std::string tree = MakeTree("scan");
  for (auto _ : state) {
    int n = CPublicFun::ScanDir(tree.c_str(), "*.txt", nullptr);
    if (n != kFolders * kFilesPerFolder / 2) state.SkipWithError("wrong count");
  }
}

void BM_Peer_FindWc(benchmark::State& state) {
  std::string tree = MakeTree("scan");
  std::string command = "find '" + tree + "' -name '*.txt' | wc -l";
  for (auto _ : state) {
    if (RunCount(command) != kFolders * kFilesPerFolder / 2) state.SkipWithError("wrong count");
  }
}

void BM_DeleteDir(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    std::string tree = MakeTree("delete");
    state.ResumeTiming();
    if (CPublicFun::DeleteDir(tree.c_str(), 1) == 0) state.SkipWithError("DeleteDir failed");
  }
}

void BM_Peer_RmRf(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    std::string tree = MakeTree("delete");
    std::string command = "rm -rf '" + tree + "'";
    state.ResumeTiming();
    if (std::system(command.c_str()) != 0) state.SkipWithError("rm -rf failed");
  }
}

BENCHMARK(BM_ScanDir)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ScanDir_CountOnly)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Peer_FindWc)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DeleteDir)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Peer_RmRf)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::system(("rm -rf '" + BenchRoot() + "'").c_str());
  return 0;
}
