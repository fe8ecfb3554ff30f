// Compound files: our codec against gsf (libgsf) and 7z on the same content, same run.
//
//  - one 200 MiB stream: write (the Write calls alone, and with the durable commit that
//    syncs), read back; peers: gsf createole (plus a sync of its file) and gsf cat, 7z
//    extraction to /dev/null;
//  - 10,000 small streams in one storage: create (peer gsf createole of 10,000 files),
//    read all back (peer 7z extraction);
//  - the demo poems split into 2,000 files: ZipFile and UnzipFile (peers gsf createole
//    of the 2,000 files and 7z extraction of that file).
// Peers run as processes, so their figures include a process start (a few ms). Large
// files live in a temporary folder under /tmp, removed at exit.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "qelshare/CPublicFun.h"
#include "qelshare/storage.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBig = 200u << 20;
constexpr DWORD kRw = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Writes big as one stream of a new compound file at path. Returns the seconds the Write
// calls took, or with the commit that syncs when durable; a negative number on failure.
double WriteBigCfb(std::string const& path, std::vector<char> const& big, bool durable) {
  auto start = std::chrono::steady_clock::now();
  IStorage* root = nullptr;
  if (FAILED(StgCreateDocfile(path.c_str(), kRw | STGM_CREATE, &root))) return -1;
  IStream* s = nullptr;
  if (FAILED(root->CreateStream("big.bin", kRw, &s))) {
    root->Release();
    return -1;
  }
  for (std::size_t at = 0; at < big.size(); at += 1 << 20)
    s->Write(big.data() + at, 1 << 20, nullptr);
  s->Release();
  double data_time = Seconds(start);
  root->Release();
  return durable ? Seconds(start) : data_time;
}

// Writes 10,000 small streams into a new compound file at path; false on failure.
bool WriteSmallCfb(std::string const& path) {
  IStorage* root = nullptr;
  if (FAILED(StgCreateDocfile(path.c_str(), kRw | STGM_CREATE, &root))) return false;
  for (int i = 0; i < 10000; ++i) {
    std::string text = "small stream number " + std::to_string(i) + std::string(80, 'x');
    IStream* s = nullptr;
    if (FAILED(root->CreateStream(("s" + std::to_string(i)).c_str(), kRw, &s))) {
      root->Release();
      return false;
    }
    s->Write(text.data(), static_cast<ULONG>(text.size()), nullptr);
    s->Release();
  }
  root->Release();
  return true;
}

// Packs the files of list into a new compound file at path with ZipFile; false on failure.
bool PackPoems(std::string const& path, CStringArr* list) {
  IStorage* root = nullptr;
  if (FAILED(StgCreateDocfile(path.c_str(), kRw | STGM_CREATE, &root))) return false;
  bool ok = CPublicFun::ZipFile(list, root, "poems") == 1;
  root->Release();
  return ok;
}

bool Have(char const* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

struct Fixture {
  fs::path dir;
  std::vector<char> big;
  std::vector<std::string> poem_files;
  CStringArr poem_list;
  Fixture() {
    std::string pattern = "/tmp/qelbench-XXXXXX";
    dir = mkdtemp(pattern.data());
    big.resize(kBig);
    std::mt19937_64 rng(1);
    for (std::size_t i = 0; i + 8 <= kBig; i += 8) {
      std::uint64_t v = rng();
      std::memcpy(big.data() + i, &v, 8);
    }
    std::ofstream(dir / "big.bin", std::ios::binary).write(big.data(), kBig);
    fs::create_directory(dir / "small");
    for (int i = 0; i < 10000; ++i) {
      std::ofstream(dir / "small" / ("s" + std::to_string(i)), std::ios::binary)
          << "small stream number " << i << std::string(80, 'x');
    }
    // The demo poems, cut into 2,000 files of about equal size at line ends.
    std::string poems;
    for (auto const& e : fs::directory_iterator("/usr/share/games/fortunes")) {
      if (e.path().extension() == ".u8") {
        std::ifstream in(e.path(), std::ios::binary);
        poems.append(std::istreambuf_iterator<char>(in), {});
      }
    }
    fs::create_directory(dir / "poems");
    std::size_t per = poems.size() / 2000 + 1, at = 0;
    for (int i = 0; i < 2000 && at < poems.size(); ++i) {
      std::size_t end = std::min(poems.size(), at + per);
      std::size_t nl = poems.find('\n', end);
      end = i == 1999 || nl == std::string::npos ? poems.size() : nl + 1;
      std::string path = (dir / "poems" / ("p" + std::to_string(i) + ".txt")).string();
      std::ofstream(path, std::ios::binary) << poems.substr(at, end - at);
      poem_files.push_back(path);
      poem_list.Add(path.c_str(), -1);
      at = end;
    }
    // What the reading benchmarks read, so that they need not come after the writing ones
    // (repetitions run in random order).
    WriteBigCfb(Path("ours-big.cfb"), big, false);
    WriteSmallCfb(Path("ours-small.cfb"));
    PackPoems(Path("ours-poems.cfb"), &poem_list);
    if (Have("gsf")) {
      std::system(
          ("cd " + Path("poems") + " && gsf createole " + Path("gsf-poems.ole") + " * >/dev/null")
              .c_str());
    }
  }
  ~Fixture() { fs::remove_all(dir); }
  std::string Path(std::string const& name) const { return (dir / name).string(); }
};

Fixture& F() {
  static Fixture f;
  return f;
}

void Run(benchmark::State& state, std::string const& command) {
  if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
}

// --- One 200 MiB stream.

void WriteBig(benchmark::State& state, bool durable) {
  Fixture& f = F();
  std::string path = f.Path("ours-big.cfb");
  for (auto _ : state) {
    double const seconds = WriteBigCfb(path, f.big, durable);
    if (seconds < 0) return state.SkipWithError(("cannot write " + path).c_str());
    state.SetIterationTime(seconds);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBig));
}

void BM_BigWrite_Ours(benchmark::State& state) {
  WriteBig(state, false);
}
void BM_BigWrite_OursCommitted(benchmark::State& state) {
  WriteBig(state, true);
}

void BM_BigWrite_Gsf(benchmark::State& state, bool sync) {
  Fixture& f = F();
  if (!Have("gsf")) return state.SkipWithError("gsf is not installed");
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    Run(state, "gsf createole " + f.Path("gsf-big.ole") + " " + f.Path("big.bin") + " >/dev/null");
    if (sync) Run(state, "sync " + f.Path("gsf-big.ole"));
    state.SetIterationTime(Seconds(start));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBig));
}
void BM_BigWrite_Gsf(benchmark::State& state) {
  BM_BigWrite_Gsf(state, false);
}
void BM_BigWrite_GsfSynced(benchmark::State& state) {
  BM_BigWrite_Gsf(state, true);
}

void BM_BigRead_Ours(benchmark::State& state) {
  Fixture& f = F();
  std::string path = f.Path("ours-big.cfb");
  std::vector<char> buf(1 << 20);
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    IStorage* root = nullptr;
    if (FAILED(StgOpenStorage(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, &root))) {
      return state.SkipWithError(("cannot open " + path).c_str());
    }
    IStream* s = nullptr;
    root->OpenStream("big.bin", STGM_READ | STGM_SHARE_EXCLUSIVE, &s);
    ULONG got = 0;
    std::size_t total = 0;
    while (SUCCEEDED(s->Read(buf.data(), 1 << 20, &got)) && got > 0) total += got;
    s->Release();
    root->Release();
    if (total != kBig) state.SkipWithError("short read");
    state.SetIterationTime(Seconds(start));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBig));
}

void BM_BigRead_GsfCat(benchmark::State& state) {
  Fixture& f = F();
  if (!Have("gsf")) return state.SkipWithError("gsf is not installed");
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    Run(state, "gsf cat " + f.Path("ours-big.cfb") + " big.bin >/dev/null");
    state.SetIterationTime(Seconds(start));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBig));
}

void BM_BigRead_7z(benchmark::State& state) {
  Fixture& f = F();
  if (!Have("7z")) return state.SkipWithError("7z is not installed");
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    Run(state, "7z x -so " + f.Path("ours-big.cfb") + " big.bin >/dev/null 2>&1");
    state.SetIterationTime(Seconds(start));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBig));
}

// --- 10,000 small streams.

void BM_SmallCreate_Ours(benchmark::State& state) {
  Fixture& f = F();
  std::string path = f.Path("ours-small.cfb");
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (!WriteSmallCfb(path)) return state.SkipWithError(("cannot write " + path).c_str());
    state.SetIterationTime(Seconds(start));
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}

void BM_SmallCreate_Gsf(benchmark::State& state) {
  Fixture& f = F();
  if (!Have("gsf")) return state.SkipWithError("gsf is not installed");
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    Run(state,
        "cd " + f.Path("small") + " && gsf createole " + f.Path("gsf-small.ole") + " * >/dev/null");
    state.SetIterationTime(Seconds(start));
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}

void BM_SmallReadAll_Ours(benchmark::State& state) {
  Fixture& f = F();
  std::string path = f.Path("ours-small.cfb");
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    IStorage* root = nullptr;
    if (FAILED(StgOpenStorage(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, &root))) {
      return state.SkipWithError(("cannot open " + path).c_str());
    }
    std::vector<tagSTATSTG> items;
    root->EnumElements(&items);
    char buf[256];
    for (auto const& st : items) {
      IStream* s = nullptr;
      root->OpenStream(st.name.c_str(), STGM_READ | STGM_SHARE_EXCLUSIVE, &s);
      ULONG got = 0;
      s->Read(buf, sizeof buf, &got);
      s->Release();
    }
    root->Release();
    state.SetIterationTime(Seconds(start));
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}

void BM_SmallReadAll_7z(benchmark::State& state) {
  Fixture& f = F();
  if (!Have("7z")) return state.SkipWithError("7z is not installed");
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    Run(state,
        "7z x -y -o" + f.Path("7z-small") + " " + f.Path("ours-small.cfb") + " >/dev/null 2>&1");
    state.SetIterationTime(Seconds(start));
    fs::remove_all(f.Path("7z-small"));
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}

// --- The poems in 2,000 files.

void BM_PoemsPack_Ours(benchmark::State& state) {
  Fixture& f = F();
  std::string path = f.Path("ours-poems.cfb");
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (!PackPoems(path, &f.poem_list)) return state.SkipWithError("ZipFile");
    state.SetIterationTime(Seconds(start));
  }
  state.SetItemsProcessed(state.iterations() * 2000);
}

void BM_PoemsPack_Gsf(benchmark::State& state) {
  Fixture& f = F();
  if (!Have("gsf")) return state.SkipWithError("gsf is not installed");
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    Run(state,
        "cd " + f.Path("poems") + " && gsf createole " + f.Path("gsf-poems.ole") + " * >/dev/null");
    state.SetIterationTime(Seconds(start));
  }
  state.SetItemsProcessed(state.iterations() * 2000);
}

void BM_PoemsUnpack_Ours(benchmark::State& state) {
  Fixture& f = F();
  std::string path = f.Path("ours-poems.cfb");
  std::string out = f.Path("ours-out");
  for (auto _ : state) {
    fs::create_directory(out);
    auto start = std::chrono::steady_clock::now();
    IStorage* root = nullptr;
    if (FAILED(StgOpenStorage(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, &root))) {
      return state.SkipWithError(("cannot open " + path).c_str());
    }
    if (CPublicFun::UnzipFile(out.c_str(), root, "poems") != 1) state.SkipWithError("UnzipFile");
    root->Release();
    state.SetIterationTime(Seconds(start));
    fs::remove_all(out);
  }
  state.SetItemsProcessed(state.iterations() * 2000);
}

void BM_PoemsUnpack_7z(benchmark::State& state) {
  Fixture& f = F();
  if (!Have("7z")) return state.SkipWithError("7z is not installed");
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    Run(state,
        "7z x -y -o" + f.Path("7z-poems") + " " + f.Path("gsf-poems.ole") + " >/dev/null 2>&1");
    state.SetIterationTime(Seconds(start));
    fs::remove_all(f.Path("7z-poems"));
  }
  state.SetItemsProcessed(state.iterations() * 2000);
}

#define QEL_BENCH(fn) BENCHMARK(fn)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond)
QEL_BENCH(BM_BigWrite_Ours);
QEL_BENCH(BM_BigWrite_OursCommitted);
QEL_BENCH(BM_BigWrite_Gsf);
QEL_BENCH(BM_BigWrite_GsfSynced);
QEL_BENCH(BM_BigRead_Ours);
QEL_BENCH(BM_BigRead_GsfCat);
QEL_BENCH(BM_BigRead_7z);
QEL_BENCH(BM_SmallCreate_Ours);
QEL_BENCH(BM_SmallCreate_Gsf);
QEL_BENCH(BM_SmallReadAll_Ours);
QEL_BENCH(BM_SmallReadAll_7z);
QEL_BENCH(BM_PoemsPack_Ours);
QEL_BENCH(BM_PoemsPack_Gsf);
QEL_BENCH(BM_PoemsUnpack_Ours);
QEL_BENCH(BM_PoemsUnpack_7z);

}  // namespace

BENCHMARK_MAIN();
