// Collections searched through their index and by scanning give the same hits; damaged,
// stale and changing files are refused; several threads search one collection at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "platform/text/codepage.h"
#include "qelshare/search.h"
#include "support/generated_library.h"
#include "support/temp_tree.h"
#include "support/write_faults.h"

namespace qel {
namespace collection_test {

using testing::CopyLibrary;
using testing::DemoFields;
using testing::Expression;
using testing::Gbk;
using testing::MakeLibrary;
using testing::Numbers;
using testing::Word;

TEST(Collection, IndexGivesTheHitsOfTheScanForEveryExpression) {
  testing::TempTree dir;
  std::mt19937 rng(20261206);
  MakeLibrary(dir / "scan", 600, rng);
  CopyLibrary(dir, "scan", "indexed");
  IndexStats stats;
  Status built = BuildIndex(dir / "indexed", &stats);
  ASSERT_TRUE(built.ok()) << built.message();
  EXPECT_EQ(stats.records, 600u);

  // Built in several segments under a small memory budget (or one per few records under a
  // tiny one) and merged, the index is the same file as built in one segment.
  for (std::size_t budget : {std::size_t{2000}, std::size_t{1} << 15}) {
    CopyLibrary(dir, "scan", "segmented");
    // The same record file to the index: same size, time and head.
    std::filesystem::last_write_time(dir / "segmented.mrf",
                                     std::filesystem::last_write_time(dir / "indexed.mrf"));
    bool segments = false;
    IndexOptions options;
    options.memory_budget = budget;
    options.progress = [&](std::uint64_t, std::uint64_t) {
      segments |= dir.Exists("segmented.qix.run3");
    };
    // Writing tells its progress through every segment, rising to the end.
    std::uint64_t written = 0, segment_bytes = 0;
    options.write_progress = [&](std::uint64_t done, std::uint64_t total) {
      EXPECT_GE(done, written);
      EXPECT_LE(done, total);
      written = done;
      segment_bytes = total;
    };
    ASSERT_TRUE(BuildIndex(dir / "segmented", &stats, options).ok());
    EXPECT_TRUE(segments) << budget;
    EXPECT_GT(segment_bytes, 0u);
    EXPECT_EQ(written, segment_bytes);
    EXPECT_FALSE(dir.Exists("segmented.qix.run0"));
    EXPECT_EQ(stats.records, 600u);
    EXPECT_EQ(dir.Read("segmented.qix"), dir.Read("indexed.qix")) << budget;
  }

  Collection scan, indexed;
  ASSERT_TRUE(scan.Open(dir / "scan").ok());
  ASSERT_TRUE(indexed.Open(dir / "indexed").ok());
  EXPECT_FALSE(scan.library(0).indexed);
  EXPECT_FALSE(scan.library(0).records.has_value());
  EXPECT_TRUE(indexed.library(0).indexed);
  EXPECT_EQ(indexed.library(0).records, 600u);

  Session a_session(scan), b_session(indexed);
  int evaluated = 0;
  for (int i = 0; i < 2000; ++i) {
    std::string expression = Expression(rng, a_session.history().size(), 3);
    SearchOptions options;
    options.keep = a_session.history().size() < 20;
    Result a = a_session.Search(expression, options);
    Result b = b_session.Search(expression, options);
    ASSERT_EQ(a.ok(), b.ok()) << expression << ": " << a.status().message() << " / "
                              << b.status().message();
    ASSERT_EQ(a.status().message(), b.status().message()) << expression;
    ASSERT_EQ(Numbers(a), Numbers(b)) << expression;
    ASSERT_EQ(a.Hits(), b.Hits()) << expression;  // offsets too
    if (!a.ok()) continue;
    ++evaluated;
    EXPECT_EQ(a.count(), Numbers(a).size());
    EXPECT_EQ(a.records(), 600u);
  }
  EXPECT_GT(evaluated, 1300);
  EXPECT_EQ(scan.library(0).records, 600u);

  // Records read back are the same either way, and pages of hits join up.
  Record x, y;
  for (std::uint32_t n : {0u, 300u, 599u}) {
    ASSERT_TRUE(scan.Read({0, n, 0}, x).ok());
    ASSERT_TRUE(indexed.Read({0, n, 0}, y).ok());
    EXPECT_EQ(x.offset, y.offset);
    ASSERT_EQ(x.fields.size(), y.fields.size());
    for (std::size_t f = 0; f < x.fields.size(); ++f)
      EXPECT_EQ(x.fields[f].value, y.fields[f].value);
  }
  Result all = b_session.Search("NOT zzz");
  ASSERT_EQ(all.count(), 600u);
  std::vector<Hit> paged;
  for (std::uint64_t first = 0; first < 600; first += 64) {
    for (Hit const& h : all.Hits(first, 64)) paged.push_back(h);
  }
  EXPECT_EQ(paged, all.Hits());
  EXPECT_TRUE(all.Hits(600, 10).empty());
  EXPECT_FALSE(scan.Read({0, 600, 0}, x).ok());
  EXPECT_FALSE(scan.Read({1, 0, 0}, x).ok());
}

// Copies the library "scan" to "indexed", indexes the copy and opens both.
void OpenScanAndIndexed(testing::TempTree const& dir, Collection& scan, Collection& indexed) {
  CopyLibrary(dir, "scan", "indexed");
  ASSERT_TRUE(BuildIndex(dir / "indexed").ok());
  ASSERT_TRUE(scan.Open(dir / "scan").ok());
  ASSERT_TRUE(indexed.Open(dir / "indexed").ok());
}

// Characters drawn from 400 with a skew, as in real text: sets of every density (lists
// of a few records, blocked lists of thinly spread ones, CRoaring's bitsets of frequent
// ones), so that words are narrowed by decoding, by looking candidates up, and by sets.
TEST(Collection, IndexOfSkewedTextGivesTheHitsOfTheScan) {
  testing::TempTree dir;
  std::mt19937 rng(20261208);
  auto skewed = [&] {
    double u = std::uniform_real_distribution<double>(0, 1)(rng);
    auto rank = static_cast<unsigned>(400 * u * u * u);
    std::string c(2, '\0');
    c[0] = static_cast<char>(0xB0 + rank / 90);
    c[1] = static_cast<char>(0xA1 + rank % 90);
    return c;
  };
  LibraryWriter writer(dir / "scan");
  std::vector<std::string> texts;
  for (int i = 0; i < 6000; ++i) {
    std::string text;
    int length = std::uniform_int_distribution<int>(4, 30)(rng);
    for (int c = 0; c < length; ++c) text += c > 0 && c % 10 == 0 ? "\n" : skewed();
    texts.push_back(text);
    ASSERT_TRUE(writer.Add({{"TI", skewed()}, {"TX", text}}, "record").ok());
  }
  ASSERT_TRUE(writer.Finish("test", testing::DemoFields()).ok());
  Collection scan, indexed, compact;
  OpenScanAndIndexed(dir, scan, indexed);
  // A compact index finds the pairs of frequent characters it keeps no set of from their
  // positions: the same hits from a smaller index.
  CopyLibrary(dir, "scan", "compact");
  IndexOptions options;
  options.compact = true;
  ASSERT_TRUE(BuildIndex(dir / "compact", nullptr, options).ok());
  ASSERT_TRUE(compact.Open(dir / "compact").ok());
  EXPECT_LT(std::filesystem::file_size(dir / "compact.qix"),
            std::filesystem::file_size(dir / "indexed.qix"));
  Session a_session(scan), b_session(indexed), c_session(compact);
  // Words of one to five characters cut from the texts, and two of them (from one text)
  // NEAR, ORDER or PARA each other.
  std::string const* text = nullptr;
  auto word = [&] {
    std::size_t chars = text->size() / 2, first = rng() % chars;
    std::size_t n = std::min<std::size_t>(1 + rng() % 5, chars - first);
    std::string w = text->substr(2 * first, 2 * n);
    return w.substr(0, w.find('\n'));
  };
  static char const* const kRules[] = {"", " NEAR ", " ORDER ", " PARA "};
  std::size_t found = 0;
  for (int i = 0; i < 400; ++i) {
    std::string rule = kRules[rng() % 4];
    text = &texts[rng() % texts.size()];
    std::string expression = word() + (rule.empty() ? "" : rule + word());
    if (expression.empty() || expression.starts_with(' ') || expression.ends_with(' ')) continue;
    Result a = a_session.Search(expression + "/text");
    Result b = b_session.Search(expression + "/text");
    Result c = c_session.Search(expression + "/text");
    ASSERT_TRUE(a.ok() && b.ok() && c.ok())
        << a.status().message() << " / " << b.status().message() << " / " << c.status().message();
    ASSERT_EQ(Numbers(a), Numbers(b)) << i;
    ASSERT_EQ(Numbers(a), Numbers(c)) << i;
    found += a.count() > 0;
  }
  EXPECT_GT(found, 180u);
}

TEST(Collection, IndexAnswersOddValuesAsTheScanDoes) {
  // Values whose characters and lines the positions must tell apart: a lead byte taking
  // an LF as its trail (one character, but a line break to PARA), a lead byte ending the
  // value, a NUL byte, a character whose trail is ASCII, long values (gaps of two-byte
  // varints), repeats and overlapping words.
  std::string const chun = Gbk("春"), yue = Gbk("月"), kao = "\x81\x40";
  std::vector<std::string> const texts = {
      "a\xB4\nb" + chun,
      "a\nb" + chun,
      "b\xB4",
      std::string("a\0b", 3) + chun + chun,
      kao + "@" + kao,
      std::string(300, 'x') + chun + std::string(150, 'x') + yue + "\n" + yue + chun,
      "aaaa\naab",
      chun + yue + chun + yue + chun,
      "\n\n" + yue + "\n",
  };
  testing::TempTree dir;
  {
    LibraryWriter writer(dir / "scan");
    for (std::size_t i = 0; i < texts.size(); ++i) {
      ASSERT_TRUE(writer.Add({{"TI", "t"}, {"TX", texts[i]}}, "record " + std::to_string(i)).ok());
    }
    ASSERT_TRUE(writer.Finish("odd", DemoFields()).ok());
  }
  Collection scan, indexed;
  OpenScanAndIndexed(dir, scan, indexed);
  Session a(scan), b(indexed);
  int found = 0;
  for (std::string const& expression : std::vector<std::string>{"a PARA b",
                                                                "a PARA " + chun,
                                                                "b PARA " + chun,
                                                                "a/text",
                                                                "aa/text",
                                                                "aaa/text",
                                                                "aab/text",
                                                                "a ORDER b",
                                                                "b ORDER a",
                                                                "a NEAR b",
                                                                "x NEAR " + yue,
                                                                chun + " NEAR " + yue,
                                                                chun + " ORDER x",
                                                                yue + " PARA " + chun,
                                                                chun + yue + chun,
                                                                yue + chun + yue,
                                                                chun + chun,
                                                                "@/text",
                                                                kao,
                                                                "@ NEAR " + kao,
                                                                "b\xB4/text",
                                                                "\xB4/text",
                                                                "x NEAR x",
                                                                yue + " PARA " + yue,
                                                                chun + " ORDER " + chun,
                                                                "aa ORDER aa",
                                                                "\"a a\" NEAR b"}) {
    Result x = a.Search(expression);
    Result y = b.Search(expression);
    ASSERT_TRUE(x.ok() && y.ok()) << expression << ": " << x.status().message();
    EXPECT_EQ(Numbers(x), Numbers(y)) << expression;
    found += x.count() > 0;
  }
  EXPECT_GE(found, 20);
}

TEST(Collection, RefusesIndexesThatAreDamagedCutShortStaleOrForeign) {
  testing::TempTree dir;
  std::mt19937 rng(7);
  MakeLibrary(dir / "lib", 200, rng);
  MakeLibrary(dir / "other", 200, rng);
  ASSERT_TRUE(BuildIndex(dir / "lib").ok());
  ASSERT_TRUE(BuildIndex(dir / "other").ok());
  std::string good = dir.Read("lib.qix");

  auto refused = [&](std::string const& bytes, std::string const& why) {
    dir.File("lib.qix", bytes);
    Collection library;
    Status status = library.Open(dir / "lib");
    std::string message = status.message();
    EXPECT_EQ(status.code(), Status::kCorrupt) << why;
    EXPECT_NE(message.find("lib.qix"), std::string::npos) << message;
    EXPECT_NE(message.find("run `qel index " + (dir / "lib") + "`"), std::string::npos) << message;
    return message;
  };
  EXPECT_NE(refused(good.substr(0, good.size() - 1), "cut").find("cut short"), std::string::npos);
  EXPECT_NE(refused(good.substr(0, 40), "header cut").find("not a search index"),
            std::string::npos);
  EXPECT_NE(refused("", "empty").find("not a search index"), std::string::npos);
  // Opening reads only the head: damage elsewhere is found by a full check, or by a search
  // when it reads the damaged part.
  dir.File("lib.qix", good);
  IndexStats stats;
  Status checked = CheckIndex(dir / "lib", &stats);
  ASSERT_TRUE(checked.ok()) << checked.message();
  EXPECT_EQ(stats.records, 200u);
  EXPECT_EQ(stats.index_bytes, good.size());
  auto check_finds = [&](std::string const& bytes, std::string const& fault) {
    dir.File("lib.qix", bytes);
    Collection library;
    EXPECT_TRUE(library.Open(dir / "lib").ok()) << fault;
    Status status = CheckIndex(dir / "lib");
    EXPECT_EQ(status.code(), Status::kCorrupt) << fault;
    EXPECT_NE(status.message().find(fault), std::string::npos) << status.message();
    EXPECT_NE(status.message().find("run `qel index " + (dir / "lib") + "`"), std::string::npos)
        << status.message();
  };
  std::string bytes = good;
  bytes[90] ^= 1;  // record 2's offset, now past the record file
  check_finds(bytes, "directory");
  {
    Collection library;
    ASSERT_TRUE(library.Open(dir / "lib").ok());
    Record record;
    EXPECT_EQ(library.Read({0, 2, 0}, record).code(), Status::kCorrupt);
    EXPECT_TRUE(library.Read({0, 3, 0}, record).ok());
  }
  bytes = good;
  bytes[bytes.size() - 30] ^= 1;  // in the last term table
  check_finds(bytes, "term tables");
  dir.File("lib.qix", good);
  EXPECT_EQ(CheckIndex(dir / "other").code(), Status::kOk);
  EXPECT_EQ(CheckIndex(dir / "nothing").code(), Status::kNotFound);
  bytes = good;
  bytes[8] = 9;
  EXPECT_NE(refused(bytes, "version").find("version 9"), std::string::npos);
  refused(dir.Read("other.qix"), "another library's index");

  // A damaged bitmap is met when a query reads it: the last one before the term tables
  // (whose offset is at 72) is the set of records holding LN, the last field met.
  std::size_t tables_at = 0;
  for (int i = 7; i >= 0; --i)
    tables_at = tables_at << 8 | static_cast<unsigned char>(good[72 + i]);
  ASSERT_LT(tables_at, good.size());
  bytes = good;
  bytes[tables_at - 3] ^= 0x55;
  dir.File("lib.qix", bytes);
  {
    Collection library;
    ASSERT_TRUE(library.Open(dir / "lib").ok());
    Session session(library);
    EXPECT_TRUE(session.Search("NOT zzz").ok());
    Result result = session.Search(">=0/lines");
    EXPECT_EQ(result.status().code(), Status::kCorrupt);
    EXPECT_NE(result.status().message().find("damaged"), std::string::npos)
        << result.status().message();
  }

  // Records changed after indexing make the index stale.
  dir.File("lib.qix", good);
  std::ofstream(dir / "lib.mrf", std::ios::app) << "TI=new\r\n\r\n";
  Collection stale;
  Status status = stale.Open(dir / "lib");
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("does not belong"), std::string::npos) << status.message();

  // A collection with one library missing or damaged names it and opens none.
  Collection two;
  status = two.Open({dir / "other", dir / "missing"});
  EXPECT_EQ(status.code(), Status::kNotFound);
  EXPECT_NE(status.message().find("missing"), std::string::npos) << status.message();
  EXPECT_EQ(two.size(), 0u);
  status = two.Open({dir / "other", dir.root()});
  EXPECT_EQ(status.code(), Status::kNotFound);
  EXPECT_NE(status.message().find("folder"), std::string::npos) << status.message();
  dir.File("bad.qel", "not a descriptor");
  status = two.Open({dir / "other", dir / "bad"});
  EXPECT_EQ(status.code(), Status::kCorrupt);
  EXPECT_EQ(two.size(), 0u);
}

}  // namespace collection_test
}  // namespace qel

namespace qel {
namespace collection_test {

// A small library of known records: TI and TX, with TX on two lines in the second record.
void KnownLibrary(std::string const& base) {
  LibraryWriter writer(base);
  ASSERT_TRUE(writer
                  .Add({{"TI", Gbk("静夜思")},
                        {"TX", Gbk("床前明月光，疑是地上霜。举头望明月，低头思故乡。")},
                        {"AU", Gbk("李白")}})
                  .ok());
  ASSERT_TRUE(
      writer
          .Add({{"TI", Gbk("春晓")}, {"TX", Gbk("春眠不觉晓\n处处闻啼鸟")}, {"AU", Gbk("孟浩然")}})
          .ok());
  ASSERT_TRUE(
      writer.Add({{"TI", Gbk("月下独酌")}, {"TX", Gbk("花间一壶酒")}, {"AU", Gbk("李白")}}).ok());
  ASSERT_TRUE(writer.Finish("known", DemoFields()).ok());
}

TEST(Collection, ReadsHitsWithSpansSnippetsAndPlacesOfRejection) {
  testing::TempTree dir;
  KnownLibrary(dir / "poems");
  Collection poems;
  ASSERT_TRUE(poems.Open(dir / "poems.qel").ok());
  EXPECT_EQ(poems.library(0).title, "known");
  EXPECT_EQ(poems.library(0).name, "poems");
  Session session(poems);

  Result moon = session.SearchUtf8("明月");
  ASSERT_TRUE(moon.ok()) << moon.status().message();
  EXPECT_EQ(moon.number(), 1u);
  ASSERT_EQ(moon.count(), 1u);
  Record r;
  ASSERT_TRUE(moon.Read(moon.Hits()[0], r).ok());
  FieldValue const* tx = r.Find("text");  // by registry name
  ASSERT_NE(tx, nullptr);
  EXPECT_EQ(tx->code, "TX");
  EXPECT_EQ(tx->name, "all" == tx->name ? "" : "text");
  ASSERT_EQ(tx->hits.size(), 2u);
  EXPECT_EQ(tx->value.substr(tx->hits[0].begin, tx->hits[0].end - tx->hits[0].begin), Gbk("明月"));
  EXPECT_EQ(r.Find("TI")->hits.size(), 0u);

  // The snippet keeps 3 characters on each side of the first hit.
  Snippet s = r.Kwic("TX", 3);
  EXPECT_EQ(s.text, Gbk("床前明月光，疑"));
  EXPECT_FALSE(s.cut_before);
  EXPECT_TRUE(s.cut_after);
  ASSERT_EQ(s.hits.size(), 1u);
  EXPECT_EQ(s.hits[0], (Span{4, 8}));
  Record u = r.ToUtf8();
  FieldValue const* utx = u.Find("text");
  ASSERT_NE(utx, nullptr);
  EXPECT_EQ(utx->value.substr(utx->hits[1].begin, utx->hits[1].end - utx->hits[1].begin), "明月");

  // Refining #1 marks the words of both steps.
  Result refined = session.SearchUtf8("#1 AND 故乡");
  ASSERT_TRUE(refined.ok()) << refined.status().message();
  ASSERT_TRUE(refined.Read(refined.Hits()[0], r).ok());
  EXPECT_EQ(r.Find("TX")->hits.size(), 3u);
  // A field on two lines is one value; the snippet stays on the line of its hit.
  Result spring = session.SearchUtf8("啼鸟");
  ASSERT_EQ(spring.count(), 1u);
  ASSERT_TRUE(spring.Read(spring.Hits()[0], r).ok());
  EXPECT_EQ(r.Kwic("TX", 10).text, Gbk("处处闻啼鸟"));
  EXPECT_TRUE(r.Kwic("TX", 10).cut_before);
  EXPECT_TRUE(session.SearchUtf8("春眠 PARA 啼鸟").count() == 0);
  Result poet = session.SearchUtf8("李白/author");
  EXPECT_EQ(poet.count(), 2u);
  // A value item marks its field whole; the author is no highlight word otherwise.
  ASSERT_TRUE(poet.Read(poet.Hits()[0], r).ok());
  ASSERT_NE(r.Find("author"), nullptr);
  EXPECT_EQ(r.Find("author")->hits, (std::vector<Span>{{0, 4}}));

  // Rejections: where, in bytes of GBK and in characters.
  Result bad = session.SearchUtf8("明月 AND 乡/nofield");
  EXPECT_EQ(bad.status().code(), Status::kRejected);
  EXPECT_NE(bad.status().message().find("nofield"), std::string::npos);
  EXPECT_EQ(bad.status().byte_offset(), 12u) << bad.status().message();
  EXPECT_EQ(bad.status().char_offset(), 9u);
  Result emoji = session.SearchUtf8("明月 AND \xF0\x9F\x98\x80");
  EXPECT_EQ(emoji.status().code(), Status::kRejected);
  EXPECT_EQ(emoji.status().char_offset(), 7u);
  EXPECT_NE(emoji.status().Utf8Message().find("U+1F600"), std::string::npos);
  Result unknown = session.Search("#9");
  EXPECT_EQ(unknown.status().code(), Status::kRejected);
  EXPECT_EQ(unknown.status().message(), "no result #9");
  EXPECT_EQ(session.history().size(), 5u);
  session.Clear();
  EXPECT_EQ(session.Search("#1").status().code(), Status::kRejected);
}

TEST(Collection, SearchesFromEightThreadsAsFromOne) {
  testing::TempTree dir;
  std::mt19937 rng(88);
  MakeLibrary(dir / "scan", 400, rng);
  CopyLibrary(dir, "scan", "indexed");
  ASSERT_TRUE(BuildIndex(dir / "indexed").ok());
  Collection both;
  ASSERT_TRUE(both.Open({dir / "scan", dir / "indexed"}).ok());
  std::vector<std::string> expressions;
  for (int i = 0; i < 150; ++i) expressions.push_back(Expression(rng, 0, 3));
  // Each thread refines its results with "#N" too, so that histories are exercised.
  auto answers = [&](int thread) {
    Session session(both);
    std::vector<std::vector<Hit>> out;
    for (std::size_t i = 0; i < expressions.size(); ++i) {
      std::size_t k = (i + static_cast<std::size_t>(thread) * 7) % expressions.size();
      Result r = session.Search(expressions[k]);
      out.push_back(r.ok() ? r.Hits() : std::vector<Hit>{{99, 0, 0}});
      if (r.ok() && session.history().size() > 1) {
        out.push_back(session
                          .Search("#" + std::to_string(session.history().size() - 1) + " OR " +
                                  expressions[k])
                          .Hits());
      }
    }
    return out;
  };
  std::vector<std::vector<std::vector<Hit>>> expected(8), got(8);
  for (int t = 0; t < 8; ++t) expected[t] = answers(t);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) threads.emplace_back([&, t] { got[t] = answers(t); });
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(got[t], expected[t]) << "thread " << t;
}

TEST(Collection, FilesChangedUnderAnOpenCollectionFailClearly) {
  testing::TempTree dir;
  std::mt19937 rng(5);
  MakeLibrary(dir / "lib", 300, rng);
  ASSERT_TRUE(BuildIndex(dir / "lib").ok());
  CopyLibrary(dir, "lib", "scan");
  std::string records = dir.Read("lib.mrf");
  std::string index = dir.Read("lib.qix");
  auto expect_corrupt = [](Result const& r, std::string const& file) {
    EXPECT_EQ(r.status().code(), Status::kCorrupt) << file << ": " << r.status().message();
    EXPECT_NE(r.status().message().find(file), std::string::npos) << r.status().message();
  };

  // The record file cut short in place: the mapped pages past the new end are never read.
  {
    Collection c;
    ASSERT_TRUE(c.Open(dir / "lib").ok());
    Session session(c);
    Result before = session.Search("NOT zzz");
    ASSERT_TRUE(before.ok());
    std::filesystem::resize_file(dir / "lib.mrf", records.size() / 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    expect_corrupt(session.Search(Gbk("春秋 NEAR 月")), "lib.mrf");
    Record r;
    EXPECT_EQ(before.Read(before.Hits().back(), r).code(), Status::kCorrupt);
  }
  dir.File("lib.mrf", records);
  ASSERT_TRUE(BuildIndex(dir / "lib").ok());
  // The index cut short in place, then replaced by another file.
  {
    Collection c;
    ASSERT_TRUE(c.Open(dir / "lib").ok());
    Session session(c);
    std::filesystem::resize_file(dir / "lib.qix", 100);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    expect_corrupt(session.Search(Gbk("春")), "lib.qix");
  }
  ASSERT_TRUE(BuildIndex(dir / "lib").ok());
  {
    Collection c;
    ASSERT_TRUE(c.Open(dir / "lib").ok());
    Session session(c);
    dir.File("lib.new", dir.Read("lib.qix"));
    std::filesystem::rename(dir / "lib.new", dir / "lib.qix");
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    expect_corrupt(session.Search(Gbk("春")), "lib.qix");
  }
  // A scanned library cut short between searches.
  {
    Collection c;
    ASSERT_TRUE(c.Open(dir / "scan").ok());
    Session session(c);
    ASSERT_TRUE(session.Search(Gbk("春")).ok());
    std::filesystem::resize_file(dir / "scan.mrf", 10);
    expect_corrupt(session.Search(Gbk("春")), "scan.mrf");
  }
}

TEST(Collection, ALibraryIsTheOldOrTheNewAfterAFailureAtAnyWrite) {
  testing::TempTree dir;
  std::mt19937 rng(11);
  MakeLibrary(dir / "lib", 50, rng);
  ASSERT_TRUE(BuildIndex(dir / "lib").ok());
  std::vector<std::string> files = dir.List();
  auto count = [&](std::string const& base) {
    Collection c;
    if (!c.Open(base).ok()) return std::int64_t{-1};
    Session session(c);
    return static_cast<std::int64_t>(session.Search("NOT zzz").count());
  };
  ASSERT_EQ(count(dir / "lib"), 50);
  // The new library has 80 records; every failure leaves the old one, whole and indexed.
  int failed = testing::FailEveryCall(
      [&] {
        std::mt19937 again(12);
        LibraryWriter writer(dir / "lib");
        for (int i = 0; i < 80 && writer.status().ok(); ++i) {
          writer.Add({{"TI", Word(again, 1, 4)}, {"TX", Word(again, 200, 400)}});
        }
        return writer.Finish("new", DemoFields()).ok();
      },
      [&](bool failed, std::string const& label) {
        std::int64_t n = count(dir / "lib");
        if (failed) {
          // Failing while the files are put in place leaves them refused until rebuilt.
          EXPECT_TRUE(n == 50 || n == -1 || n == 80) << label << ": " << n;
          if (n == -1) {
            Collection c;
            Status s = c.Open(dir / "lib");
            EXPECT_TRUE(s.message().find("build it again with `qel mklib`") != std::string::npos ||
                        s.message().find("run `qel index") != std::string::npos)
                << s.message();
          }
        } else {
          EXPECT_EQ(n, 80) << label;
        }
        // Nothing is left beside the library but the journal of a refused one.
        for (std::string const& f : dir.List()) {
          bool journal = f == "lib.~building" && n == -1;
          EXPECT_TRUE(f.find(".~") == std::string::npos || journal) << label << ": " << f;
        }
        // Back to the old library for the next run.
        std::mt19937 rebuild(11);
        MakeLibrary(dir / "lib", 50, rebuild);
        ASSERT_TRUE(BuildIndex(dir / "lib").ok());
      });
  EXPECT_GE(failed, 8);
}

TEST(Collection, AnIndexIsTheOldOrTheNewAfterAFailureAtAnyWrite) {
  testing::TempTree dir;
  std::mt19937 rng(13);
  MakeLibrary(dir / "lib", 300, rng);
  ASSERT_TRUE(BuildIndex(dir / "lib").ok());
  std::string old_index = dir.Read("lib.qix");
  std::ofstream(dir / "lib.mrf", std::ios::app) << "TI=new\r\n\r\n";
  std::vector<std::string> files = dir.List();
  std::string new_index;
  int failed = testing::FailEveryCall(
      [&] {
        IndexOptions options;
        options.memory_budget = 1 << 15;  // segment files too
        return BuildIndex(dir / "lib", nullptr, options).ok();
      },
      [&](bool failed, std::string const& label) {
        EXPECT_EQ(dir.List(), files) << label;
        std::string now = dir.Read("lib.qix");
        if (failed) {
          // The old index, or the new one when only the folder's sync failed.
          EXPECT_TRUE(now == old_index || (now.size() > 8 && now.substr(0, 8) == "QELINDEX" &&
                                           now != old_index && label.starts_with("sync")))
              << label;
        } else {
          new_index = now;
          EXPECT_TRUE(new_index != old_index);
        }
        dir.File("lib.qix", old_index);
      });
  EXPECT_GE(failed, 4);
  EXPECT_FALSE(new_index.empty());
}

TEST(Collection, CancelledScanGivesNoResultAndKeepsNothing) {
  testing::TempTree dir;
  std::mt19937 rng(9);
  MakeLibrary(dir / "lib", 3000, rng);
  Collection c;
  ASSERT_TRUE(c.Open(dir / "lib").ok());
  // A library of no records (a CSV of a header alone) searches to no hits.
  {
    LibraryWriter writer(dir / "empty");
    ASSERT_TRUE(writer.Finish("empty", DemoFields()).ok());
    Collection none;
    ASSERT_TRUE(none.Open(dir / "empty").ok());
    Session s(none);
    Result r = s.Search(Gbk("月 OR NOT 春"));
    ASSERT_TRUE(r.ok()) << r.status().message();
    EXPECT_EQ(r.count(), 0u);
    EXPECT_EQ(r.records(), 0u);
  }
  // Counting the records of a library without an index: stopped, then whole.
  std::stop_source counting;
  counting.request_stop();
  EXPECT_EQ(c.CountRecords(0, {}, counting.get_token()).code(), Status::kCancelled);
  EXPECT_FALSE(c.library(0).records.has_value());
  ASSERT_TRUE(c.CountRecords(0).ok());
  EXPECT_EQ(c.library(0).records, 3000u);
  Session session(c);
  std::stop_source stop;
  std::uint64_t last = 0, total = 0;
  SearchOptions options;
  options.stop = stop.get_token();
  options.progress = [&](std::uint64_t done, std::uint64_t all) {
    EXPECT_GE(done, last);
    last = done;
    total = all;
    if (done > all / 3) stop.request_stop();
  };
  Result r = session.Search(Gbk("春"), options);
  EXPECT_EQ(r.status().code(), Status::kCancelled);
  EXPECT_EQ(r.count(), 0u);
  EXPECT_TRUE(session.history().empty());
  EXPECT_LT(last, total);
  // Without the stop the same session goes on, and progress reaches the end.
  options.stop = {};
  last = 0;
  r = session.Search(Gbk("春"), options);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(last, total);
  EXPECT_EQ(r.number(), 1u);
}

}  // namespace collection_test
}  // namespace qel
