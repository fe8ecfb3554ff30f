// The control description parser against peers in the same run: sscanf reading the same
// nine fields, and a plain scan for the line's commas (the least any parser must do).
// Each benchmark reads the same 100,000 form lines and reports lines per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "controls/ctrl_desc.h"

namespace {

std::vector<std::string> const& Lines() {
  static std::vector<std::string> const lines = [] {
    char const* kinds[] = {"EDIT", "TEXT", "COMBO", "GROUP", "CHECK", "BUTTON", "SMBUTTON", "LIST"};
    char const* styles[] = {"BORDER|3D", "", "CENTER|STATICEDGE", "RIGHT", "LEFT|CLIENTEDGE"};
    std::vector<std::string> v;
    v.reserve(100000);
    for (int i = 0; i < 100000; ++i) {
      char buf[200];
      std::snprintf(buf, sizeof buf, "%s,\"Caption %d\",%d,%d,%d,%d,\"_SYS_BT_OK\",\"help %d\",%s",
                    kinds[i % 8], i, i % 640, i % 480, 20 + i % 200, 19, i, styles[i % 5]);
      v.emplace_back(buf);
    }
    return v;
  }();
  return lines;
}

void BM_ParseAndPlan(benchmark::State& state) {
  auto const& lines = Lines();
  for (auto _ : state) {
    std::uint32_t bits = 0;
    for (std::string const& line : lines) {
      qel::controls::Description d = qel::controls::ParseDescription(line);
      bits ^= qel::controls::PlanControl(d).style;
    }
    benchmark::DoNotOptimize(bits);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines.size()));
}
BENCHMARK(BM_ParseAndPlan)->Unit(benchmark::kMillisecond);

void BM_ParsePlanAndWriteBack(benchmark::State& state) {
  auto const& lines = Lines();
  for (auto _ : state) {
    std::size_t total = 0;
    for (std::string const& line : lines) {
      qel::controls::Description d = qel::controls::ParseDescription(line);
      qel::controls::ControlPlan p = qel::controls::PlanControl(d);
      total += qel::controls::FormatDescription(d.type, d.caption, p.left, p.top, p.right, p.bottom,
                                                d.mark, d.help, d.style)
                   .size();
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines.size()));
}
BENCHMARK(BM_ParsePlanAndWriteBack)->Unit(benchmark::kMillisecond);

void BM_PeerSscanf(benchmark::State& state) {
  auto const& lines = Lines();
  for (auto _ : state) {
    int sum = 0;
    for (std::string const& line : lines) {
      char type[32], caption[64], mark[64], help[64], style[64];
      int x, y, w, h;
      style[0] = 0;
      std::sscanf(line.c_str(), "%31[^,],\"%63[^\"]\",%d,%d,%d,%d,\"%63[^\"]\",\"%63[^\"]\",%63s",
                  type, caption, &x, &y, &w, &h, mark, help, style);
      sum += x + y + w + h;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines.size()));
}
BENCHMARK(BM_PeerSscanf)->Unit(benchmark::kMillisecond);

void BM_PeerCommaScan(benchmark::State& state) {
  auto const& lines = Lines();
  for (auto _ : state) {
    std::size_t commas = 0;
    for (std::string const& line : lines) {
      char const* p = line.data();
      char const* end = p + line.size();
      while ((p = static_cast<char const*>(std::memchr(p, ',', end - p))) != nullptr) {
        ++commas;
        ++p;
      }
    }
    benchmark::DoNotOptimize(commas);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines.size()));
}
BENCHMARK(BM_PeerCommaScan)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
