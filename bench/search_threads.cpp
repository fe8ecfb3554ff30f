// Queries per second of one collection searched from 1, 2, 4 and 8 threads, each thread
// with its own session running the query mix in turn for a fixed time. bench_index.py runs
// it on its generated library:
//
//   search_threads [--threads 1,2,4,8] BASE SECONDS ROUNDS QUERY...   (queries in UTF-8)
//
// prints "threads qps" per line, the median of ROUNDS rounds per thread count, the counts
// interleaved so that the machine's load falls on all alike. BASE may be the address of a
// library in PostgreSQL (bench_pg.py), whose clients are the threads.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "qelshare/search.h"

namespace {

double QueriesPerSecond(qel::Collection const& collection, std::vector<std::string> const& queries,
                        int threads, double seconds) {
  std::atomic<bool> go{false}, stop{false};
  std::vector<long> done(static_cast<std::size_t>(threads), 0);
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      qel::Session session(collection);
      qel::SearchOptions options;
      options.keep = false;
      std::size_t next = static_cast<std::size_t>(t);
      while (!go.load()) std::this_thread::yield();
      long n = 0;
      while (!stop.load(std::memory_order_relaxed)) {
        qel::Result r = session.SearchUtf8(queries[next++ % queries.size()], options);
        if (!r.ok()) {
          std::fprintf(stderr, "search_threads: %s\n", r.status().Utf8Message().c_str());
          std::exit(1);
        }
        ++n;
      }
      done[static_cast<std::size_t>(t)] = n;
    });
  }
  auto start = std::chrono::steady_clock::now();
  go = true;
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  for (std::thread& w : workers) w.join();
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  long total = 0;
  for (long n : done) total += n;
  return static_cast<double>(total) / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> counts = {1, 2, 4, 8};
  if (argc > 2 && std::string(argv[1]) == "--threads") {
    counts.clear();
    std::string list = argv[2];
    for (std::size_t at = 0; at < list.size(); at = list.find(',', at) + 1) {
      counts.push_back(std::max(1, std::atoi(list.c_str() + at)));
      if (list.find(',', at) == std::string::npos) break;
    }
    argv += 2;
    argc -= 2;
  }
  if (argc < 5) {
    std::fprintf(stderr,
                 "usage: search_threads [--threads 1,2,4,8] BASE SECONDS ROUNDS QUERY...\n");
    return 2;
  }
  qel::Collection collection;
  if (qel::Status s = collection.Open(argv[1]); !s.ok()) {
    std::fprintf(stderr, "search_threads: %s\n", s.Utf8Message().c_str());
    return 1;
  }
  double seconds = std::atof(argv[2]);
  int rounds = std::max(1, std::atoi(argv[3]));
  std::vector<std::string> queries(argv + 4, argv + argc);
  std::vector<std::vector<double>> qps(counts.size());
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t k = 0; k < counts.size(); ++k)
      qps[k].push_back(QueriesPerSecond(collection, queries, counts[k], seconds));
  }
  for (std::size_t k = 0; k < counts.size(); ++k) {
    std::sort(qps[k].begin(), qps[k].end());
    std::printf("%d %.1f\n", counts[k], qps[k][qps[k].size() / 2]);
  }
  return 0;
}
