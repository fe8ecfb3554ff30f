// Libraries in PostgreSQL, on one server and over three shards, give the hits and records
// of the library's own files; loads are all or nothing; bad addresses, tables and servers
// fail in one line.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "pg/pg_clusters.h"
#include "platform/pg/connection.h"
#include "qelshare/pg_load.h"
#include "support/generated_library.h"

namespace qel {
namespace pg_search_test {

using testing::Dsn;
using testing::Expression;
using testing::Gbk;
using testing::Halt;
using testing::MakeLibrary;
using testing::Numbers;
using testing::Resume;

std::string Address(std::string_view table) {
  return Dsn("coord") + "?table=" + std::string(table);
}

Status Load(std::string const& base, std::string const& table, bool sharded,
            PgLoadOptions options = {}) {
  options.dsn = Dsn("coord");
  options.table = table;
  if (sharded) options.shards = testing::ShardDsns();
  return LoadPostgres(base, options);
}

void Sql(std::string const& dsn, std::string const& sql) {
  pg::Connection c;
  std::string error;
  ASSERT_TRUE(c.Open(dsn, 5, error)) << error;
  ASSERT_TRUE(c.Exec(sql, error)) << error;
}

void ExpectSameFields(Record const& x, Record const& y) {
  ASSERT_EQ(x.fields.size(), y.fields.size()) << x.number;
  for (std::size_t f = 0; f < x.fields.size(); ++f) {
    EXPECT_EQ(x.fields[f].code, y.fields[f].code);
    EXPECT_EQ(x.fields[f].name, y.fields[f].name);
    EXPECT_EQ(x.fields[f].value, y.fields[f].value);
    EXPECT_EQ(x.fields[f].hits, y.fields[f].hits);
  }
}

void ExpectSameRecords(Collection const& a, Collection const& b, std::uint32_t n) {
  Record x, y;
  ASSERT_TRUE(a.Read({0, n, 0}, x).ok());
  Status read = b.Read({0, n, 0}, y);
  ASSERT_TRUE(read.ok()) << read.message();
  ExpectSameFields(x, y);
}

// The hits of x and y read in order, as a listing does (in batches from PostgreSQL), then
// backwards and skipping, as a scrolled list does.
void ExpectSameListing(Result const& x, Result const& y) {
  std::vector<Hit> hits = x.Hits(0, x.count());
  ASSERT_EQ(hits.size(), y.count());
  std::vector<std::size_t> order(hits.size());
  for (std::size_t i = 0; i < hits.size(); ++i) order[i] = i;
  for (std::size_t i = hits.size(); i-- > 0;) order.push_back(i);
  for (std::size_t i = 0; i < hits.size(); i += 97) order.push_back(i);
  for (std::size_t i : order) {
    Record a, b;
    ASSERT_TRUE(x.Read(hits[i], a).ok());
    Hit hit = hits[i];
    hit.offset = 0;
    Status read = y.Read(hit, b);
    ASSERT_TRUE(read.ok()) << read.message();
    ExpectSameFields(a, b);
  }
}

TEST(PgSearch, SameHitsLocallyOnOneTableAndOnShards) {
  testing::TempTree dir;
  std::mt19937 rng(20261208);
  MakeLibrary(dir / "lib", 600, rng);
  // One record whose fields are in another order, and one with a code the table lacks:
  // read back from the record's own lines.
  {
    std::string mrf = dir.Read("lib.mrf");
    mrf += "LN=3\r\nTI=" + Gbk("倒序") + "\r\nXX=" + Gbk("表外") + "\r\nTX=" + Gbk("春水") +
           "\r\nTX=" + Gbk("第二行") + "\r\n\r\n";
    dir.File("lib.mrf", mrf);
  }
  testing::CopyLibrary(dir, "lib", "indexed");
  ASSERT_TRUE(BuildIndex(dir / "indexed").ok());
  Status loaded = Load(dir / "lib", "diff1", false);
  ASSERT_TRUE(loaded.ok()) << loaded.message();
  loaded = Load(dir / "lib", "diff3", true);
  ASSERT_TRUE(loaded.ok()) << loaded.message();

  Collection local, one, shards;
  ASSERT_TRUE(local.Open(dir / "indexed").ok());
  Status opened = one.Open(Address("diff1"));
  ASSERT_TRUE(opened.ok()) << opened.message();
  ASSERT_TRUE(shards.Open(Address("diff3")).ok());
  EXPECT_EQ(one.library(0).records, 601u);
  EXPECT_EQ(shards.library(0).records, 601u);
  EXPECT_EQ(one.library(0).title, local.library(0).title);
  ASSERT_EQ(one.library(0).fields.size(), local.library(0).fields.size());
  for (std::size_t i = 0; i < one.library(0).fields.size(); ++i) {
    EXPECT_EQ(one.library(0).fields[i].name, local.library(0).fields[i].name);
    EXPECT_EQ(one.library(0).fields[i].code, local.library(0).fields[i].code);
    EXPECT_EQ(one.library(0).fields[i].type, local.library(0).fields[i].type);
  }

  Session a(local), b(one), c(shards);
  std::vector<std::string> expressions = {
      Gbk("\"月 明\""),
      "'",
      "\\",
      "%",
      "_",
      "a%b",
      "a_",
      "%/title",
      Gbk("丂"),
      "@",
      "'b'",
      Gbk("春水/text"),
      Gbk("第二行"),
      Gbk("表外"),
      Gbk("NOT 春"),
      ">=3/lines",
      "x'); DROP TABLE diff1; --",
  };
  int evaluated = 0;
  for (int i = 0; i < 2000 + static_cast<int>(expressions.size()); ++i) {
    std::string expression = i < static_cast<int>(expressions.size())
                                 ? expressions[static_cast<std::size_t>(i)]
                                 : Expression(rng, a.history().size(), 3);
    SearchOptions options;
    options.keep = a.history().size() < 20;
    Result x = a.Search(expression, options);
    Result y = b.Search(expression, options);
    Result z = c.Search(expression, options);
    ASSERT_EQ(x.status().message(), y.status().message()) << expression;
    ASSERT_EQ(x.status().message(), z.status().message()) << expression;
    ASSERT_EQ(Numbers(x), Numbers(y)) << expression;
    ASSERT_EQ(Numbers(x), Numbers(z)) << expression;
    evaluated += x.ok();
  }
  EXPECT_GT(evaluated, 1300);
  for (std::string const& e : {Gbk("春 OR NOT 春"), Gbk("月 OR 花/title")}) {
    Result x = a.Search(e), y = b.Search(e), z = c.Search(e);
    ExpectSameListing(x, y);
    ExpectSameListing(x, z);
  }
  for (std::uint32_t n : {0u, 1u, 300u, 599u, 600u}) {
    ExpectSameRecords(local, one, n);
    ExpectSameRecords(local, shards, n);
  }
  Record r;
  EXPECT_EQ(shards.Read({0, 601, 0}, r).code(), Status::kInvalid);
}

// Sessions of several threads share a collection's connections (run under TSan too).
TEST(PgSearch, ThreadsShareTheConnections) {
  testing::TempTree dir;
  std::mt19937 rng(5);
  MakeLibrary(dir / "lib", 300, rng);
  ASSERT_TRUE(Load(dir / "lib", "threads1", false).ok());
  ASSERT_TRUE(Load(dir / "lib", "threads3", true).ok());
  Collection local, one, shards;
  ASSERT_TRUE(local.Open(dir / "lib").ok());
  ASSERT_TRUE(one.Open(Address("threads1")).ok());
  ASSERT_TRUE(shards.Open(Address("threads3")).ok());
  std::vector<std::string> some;
  for (int i = 0; i < 40; ++i) some.push_back(Expression(rng, 0, 2));
  std::vector<std::vector<std::uint32_t>> expected;
  Session local_session(local);
  for (std::string const& e : some) expected.push_back(Numbers(local_session.Search(e)));
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      Session s(t % 2 ? shards : one);
      for (std::size_t i = 0; i < some.size(); ++i) {
        if (Numbers(s.Search(some[i])) != expected[i]) ++wrong;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(PgSearch, ALoadThatFailsLeavesTheOldTableAnswering) {
  testing::TempTree dir;
  std::mt19937 rng(7);
  MakeLibrary(dir / "old", 120, rng);
  MakeLibrary(dir / "new", 300, rng);
  for (bool sharded : {false, true}) {
    std::string table = sharded ? "swap3" : "swap1";
    ASSERT_TRUE(Load(dir / "old", table, sharded).ok());
    auto count = [&] {
      Collection c;
      Status s = c.Open(Address(table));
      EXPECT_TRUE(s.ok()) << s.message();
      Session session(c);
      return session.Search(Gbk("春 OR NOT 春")).count();
    };
    EXPECT_EQ(count(), 120u);

    // Stopped half-way: the old library stays, and the next load takes the place.
    std::stop_source stop;
    PgLoadOptions options;
    options.stop = stop.get_token();
    options.progress = [&](std::uint64_t done, std::uint64_t total) {
      if (done > 0 && done < total) stop.request_stop();
    };
    MakeLibrary(dir / "big", 3000, rng);
    EXPECT_EQ(Load(dir / "big", table, sharded, options).code(), Status::kCancelled);
    EXPECT_EQ(count(), 120u);

    // A record that is not GBK text is named, and nothing changes.
    std::string mrf = dir.Read("new.mrf");
    dir.File("bad.qel", dir.Read("new.qel"));
    dir.File("bad.sor", dir.Read("new.sor"));
    dir.File("bad.mrf", mrf + "TI=ok\r\nTX=bad\x81\r\n\r\n");
    Status bad = Load(dir / "bad", table, sharded);
    EXPECT_EQ(bad.code(), Status::kInvalid);
    EXPECT_NE(bad.message().find("record 301"), std::string::npos) << bad.message();
    EXPECT_EQ(count(), 120u);

    ASSERT_TRUE(Load(dir / "new", table, sharded).ok());
    EXPECT_EQ(count(), 300u);
  }
  // Only the live generation's tables stay on the servers.
  pg::Connection shard;
  std::string error;
  ASSERT_TRUE(shard.Open(Dsn("s2"), 5, error)) << error;
  int tables = 0;
  shard.Run(
      "SELECT tablename FROM pg_tables WHERE tablename LIKE 'swap3%'", {},
      [&](pg::Row) { return ++tables, true; }, error);
  EXPECT_EQ(tables, 1);
}

TEST(PgSearch, BadAddressesTablesAndServersFailInOneLine) {
  auto open = [](std::string const& address) {
    Collection c;
    return c.Open(address);
  };
  auto one_line = [](Status const& s) {
    EXPECT_EQ(s.message().find('\n'), std::string::npos) << s.message();
  };
  std::string coord = Dsn("coord");
  std::string password = coord.substr(coord.find(':', 14) + 1);
  password.resize(password.find('@'));
  Status s = open(coord);
  EXPECT_EQ(s.code(), Status::kInvalid);
  EXPECT_EQ(s.message().find(password), std::string::npos) << s.message();
  EXPECT_EQ(open(coord + "?table=Poems").code(), Status::kInvalid);
  s = open(coord + "?table=never_loaded");
  EXPECT_EQ(s.code(), Status::kCorrupt);
  EXPECT_NE(s.message().find("qel pg load"), std::string::npos);
  one_line(s);

  std::string wrong = coord;
  wrong.replace(wrong.find(password), password.size(), "wrong");
  s = open(wrong + "?table=x");
  EXPECT_EQ(s.code(), Status::kIoError);
  EXPECT_NE(s.message().find("password authentication failed"), std::string::npos);
  one_line(s);
  auto start = std::chrono::steady_clock::now();
  s = open("postgresql://qel@127.0.0.1:1/qel?table=x&connect_timeout=2");
  EXPECT_EQ(s.code(), Status::kIoError);
  EXPECT_NE(s.message().find("127.0.0.1:1"), std::string::npos);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  one_line(s);

  // Tables that are not what a load writes.
  testing::TempTree dir;
  std::mt19937 rng(3);
  MakeLibrary(dir / "lib", 20, rng);
  ASSERT_TRUE(Load(dir / "lib", "damaged", false).ok());
  ASSERT_TRUE(open(Address("damaged")).ok());
  Sql(coord, "UPDATE damaged_meta SET version = 99");
  s = open(Address("damaged"));
  EXPECT_EQ(s.code(), Status::kCorrupt);
  EXPECT_NE(s.message().find("load it again"), std::string::npos) << s.message();
  ASSERT_TRUE(Load(dir / "lib", "damaged", false).ok());
  Sql(coord, "ALTER TABLE damaged DROP COLUMN f1");
  EXPECT_EQ(open(Address("damaged")).code(), Status::kCorrupt);
  Sql(coord, "DROP TABLE damaged_meta");
  EXPECT_EQ(open(Address("damaged")).code(), Status::kCorrupt);

  EXPECT_EQ(Load(dir / "lib", "Bad Name", false).code(), Status::kInvalid);
  EXPECT_EQ(Load(dir / "missing", "x", false).code(), Status::kNotFound);
  PgLoadOptions options;
  options.dsn = wrong;
  s = LoadPostgres(dir / "lib", options);
  EXPECT_EQ(s.code(), Status::kIoError);
  EXPECT_EQ(s.message().find("wrong"), std::string::npos) << s.message();
}

TEST(PgSearch, AStoppedShardFailsInOneLineAndTheSameAnswersComeBack) {
  testing::TempTree dir;
  std::mt19937 rng(11);
  MakeLibrary(dir / "lib", 200, rng);
  ASSERT_TRUE(Load(dir / "lib", "halting", true).ok());
  Collection c;
  ASSERT_TRUE(c.Open(Address("halting")).ok());
  Session session(c);
  std::string expression = Gbk("春 OR 月 NOT 花");
  std::vector<std::uint32_t> before = Numbers(session.Search(expression));
  ASSERT_FALSE(before.empty());

  std::string s2 = Dsn("s2");
  std::string port = s2.substr(s2.rfind(':') + 1);
  port.resize(port.find('/'));
  Halt("s2");
  auto start = std::chrono::steady_clock::now();
  Result failed = session.Search(expression);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(11));
  EXPECT_EQ(failed.status().code(), Status::kIoError);
  EXPECT_NE(failed.status().message().find(port), std::string::npos) << failed.status().message();
  EXPECT_EQ(failed.status().message().find('\n'), std::string::npos);
  Resume("s2");
  EXPECT_EQ(Numbers(session.Search(expression)), before);

  // The coordinator restarted: the kept connection is replaced, the answers are the same.
  Halt("coord");
  Resume("coord");
  Result again = session.Search(expression);
  EXPECT_TRUE(again.ok()) << again.status().message();
  EXPECT_EQ(Numbers(again), before);
  Record r;
  EXPECT_TRUE(c.Read({0, before.front(), 0}, r).ok());
}

// A search stopped while the server works is cancelled there too, and the collection
// answers again afterwards.
TEST(PgSearch, AStoppedSearchIsCancelledOnTheServer) {
  testing::TempTree dir;
  std::mt19937 rng(11);
  MakeLibrary(dir / "lib", 50, rng);
  for (bool sharded : {false, true}) {
    std::string table = sharded ? "cancel3" : "cancel1";
    ASSERT_TRUE(Load(dir / "lib", table, sharded).ok());
    Collection c;
    ASSERT_TRUE(c.Open(Address(table)).ok());
    // A transaction that holds the table keeps the search waiting on the server (at most
    // 10 s, should the cancel not reach it).
    pg::Connection locker;
    std::string error;
    ASSERT_TRUE(locker.Open(Dsn("coord"), 5, error)) << error;
    ASSERT_TRUE(
        locker.Exec("BEGIN; SET LOCAL idle_in_transaction_session_timeout = '10s'; "
                    "LOCK TABLE " +
                        table + " IN ACCESS EXCLUSIVE MODE",
                    error))
        << error;
    std::stop_source stop;
    SearchOptions options;
    options.stop = stop.get_token();
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      stop.request_stop();
    });
    auto start = std::chrono::steady_clock::now();
    Session session(c);
    Result stopped = session.Search(Gbk("春"), options);
    stopper.join();
    EXPECT_EQ(stopped.status().code(), Status::kCancelled) << stopped.status().message();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    int waiting = -1;
    ASSERT_EQ(locker.Run(
                  "SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock'", {},
                  [&](pg::Row row) {
                    waiting = row[0] ? std::stoi(std::string(*row[0])) : -1;
                    return true;
                  },
                  error),
              pg::Outcome::kOk)
        << error;
    EXPECT_EQ(waiting, 0) << "the stopped search still waits on the server";
    ASSERT_TRUE(locker.Exec("COMMIT", error)) << error;
    Result again = session.Search(Gbk("春"));
    EXPECT_TRUE(again.ok()) << again.status().message();
  }
}

}  // namespace pg_search_test
}  // namespace qel
