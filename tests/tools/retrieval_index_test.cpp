// The index path of qel search against the scanning path, and index files refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "library_writer.h"
#include "platform/text/codepage.h"
#include "retrieval.h"
#include "support/temp_tree.h"

namespace qel::retrieval {
namespace retrieval_index_test {

std::string Gbk(std::string const& utf8) {
  std::string out, error;
  EXPECT_TRUE(text::Utf8ToGbk(utf8, out, error)) << utf8;
  return out;
}

std::vector<cli::FieldDef> DemoFields() {
  std::vector<cli::FieldDef> fields;
  auto add = [&](char const* name, char const* code, char type) {
    fields.push_back({Gbk(name), Gbk(code), static_cast<unsigned char>(type)});
  };
  add("all", "TI\nTX", 's');
  add("title", "TI", 'S');
  add("text", "TX", 'S');
  add("keyword", "KW", 'F');
  add("author", "AU", 'D');
  add("source", "SO", 'E');
  add("lines", "LN", 'N');
  return fields;
}

// Characters of the generated texts: Chinese ones, ASCII letters, and 丂 (0x81 0x40)
// whose trail byte is the ASCII '@'.
std::vector<std::string> const& Alphabet() {
  static std::vector<std::string> const chars = [] {
    std::vector<std::string> out;
    for (char const* c : {"春", "秋", "月", "明", "山", "水", "风", "花", "丂", "a", "b"}) {
      out.push_back(Gbk(c));
    }
    return out;
  }();
  return chars;
}

std::string Word(std::mt19937& rng, int min, int max) {
  std::string word;
  int n = std::uniform_int_distribution<int>(min, max)(rng);
  for (int i = 0; i < n; ++i) {
    word += Alphabet()[std::uniform_int_distribution<std::size_t>(0, Alphabet().size() - 1)(rng)];
  }
  return word;
}

char const* const kAuthors[] = {"Li", "Du", "Wang", "Su"};

void MakeLibrary(std::string const& base, int records, std::mt19937& rng) {
  cli::LibraryWriter writer(base);
  for (int i = 0; i < records; ++i) {
    std::vector<std::pair<std::string, std::string>> record;
    record.emplace_back("TI", Word(rng, 1, 5));
    int lines = std::uniform_int_distribution<int>(1, 3)(rng);
    std::string text;
    for (int l = 0; l < lines; ++l) text += (l > 0 ? "\n" : "") + Word(rng, 2, 14);
    record.emplace_back("TX", text);
    if (rng() % 3 != 0) record.emplace_back("KW", Word(rng, 1, 2));
    record.emplace_back("AU", kAuthors[rng() % 4]);
    record.emplace_back("SO", rng() % 2 ? "A" : "B");
    record.emplace_back("LN", std::to_string(rng() % 12 + 1));
    writer.Add(record, "record " + std::to_string(i));
  }
  writer.Finish("test", DemoFields());
}

std::string Leaf(std::mt19937& rng, std::size_t history) {
  static char const* const kFields[] = {"", "", "/title", "/text", "/keyword", "/title,text"};
  std::string field = kFields[rng() % 6];
  switch (rng() % 9) {
    case 0:
      return Word(rng, 1, 1) + field;
    case 1:
      return Word(rng, 2, 2) + field;
    case 2:
      return Word(rng, 3, 5) + field;
    case 3:
      return Word(rng, 1, 3) + " NEAR " + Word(rng, 1, 3) + field;
    case 4:
      return Word(rng, 1, 2) + " ORDER " + Word(rng, 1, 2) + field;
    case 5:
      return Word(rng, 1, 2) + " PARA " + Word(rng, 1, 2) + field;
    case 6: {
      static char const* const kOps[] = {">=", "<", "=", "<>", "[", "("};
      std::string op = kOps[rng() % 6];
      int a = static_cast<int>(rng() % 12), b = a + static_cast<int>(rng() % 6);
      if (op == "[" || op == "(") {
        return op + std::to_string(a) + "," + std::to_string(b) + (rng() % 2 ? "]" : ")") +
               "/lines";
      }
      return op + std::to_string(a) + "/lines";
    }
    case 7:
      return std::string(kAuthors[rng() % 4]) + "/author";
    default:
      if (history == 0) return Word(rng, 1, 1);
      return "#" + std::to_string(rng() % history + 1);
  }
}

std::string Expression(std::mt19937& rng, std::size_t history, int depth) {
  if (depth == 0 || rng() % 3 == 0) return Leaf(rng, history);
  static char const* const kOps[] = {" AND ", " OR ", " SUB "};
  std::string e = "(" + Expression(rng, history, depth - 1) + kOps[rng() % 3] +
                  Expression(rng, history, depth - 1) + ")";
  return rng() % 5 == 0 ? "NOT " + e : e;
}

TEST(RetrievalIndex, GivesTheHitsOfTheScanForEveryExpression) {
  testing::TempTree dir;
  std::mt19937 rng(20261206);
  MakeLibrary(dir / "scan", 600, rng);
  for (char const* part : {".qel", ".sor", ".mrf"}) {
    std::filesystem::copy_file(dir / (std::string("scan") + part),
                               dir / (std::string("indexed") + part));
  }
  std::uint32_t records = 0;
  std::string error;
  ASSERT_TRUE(BuildIndex(dir / "indexed.mrf", dir / "indexed.qix", records, error)) << error;
  EXPECT_EQ(records, 600u);

  // Built in several segments under a small memory budget (or one per few records under a
  // tiny one) and merged, the index is the same file as built in one segment.
  for (std::size_t budget : {std::size_t{2000}, std::size_t{1} << 15}) {
    bool segments = false;
    std::uint32_t segmented_records = 0;
    ASSERT_TRUE(BuildIndex(
        dir / "indexed.mrf", dir / "segmented.qix", segmented_records, error,
        [&](std::uint64_t, std::uint64_t) { segments |= dir.Exists("segmented.qix.run3"); },
        budget))
        << error;
    EXPECT_TRUE(segments) << budget;
    EXPECT_FALSE(dir.Exists("segmented.qix.run0"));
    EXPECT_EQ(segmented_records, 600u);
    EXPECT_EQ(dir.Read("segmented.qix"), dir.Read("indexed.qix")) << budget;
  }

  Library scan, indexed;
  ASSERT_TRUE(scan.Open(dir / "scan", error)) << error;
  ASSERT_TRUE(indexed.Open(dir / "indexed", error)) << error;
  EXPECT_FALSE(scan.indexed());
  EXPECT_TRUE(indexed.indexed());

  History scan_history, index_history;
  int evaluated = 0;
  for (int i = 0; i < 2000; ++i) {
    std::string expression = Expression(rng, scan_history.size(), 3);
    Outcome a = scan.Search(expression, &scan_history);
    Outcome b = indexed.Search(expression, &index_history);
    ASSERT_EQ(a.ok, b.ok) << expression << ": " << a.error << " / " << b.error;
    ASSERT_EQ(a.error, b.error) << expression;
    ASSERT_EQ(a.hits, b.hits) << expression;
    if (!a.ok) continue;
    ++evaluated;
    if (scan_history.size() < 20) {
      scan_history.push_back(a.hits);
      index_history.push_back(b.hits);
    }
  }
  EXPECT_GT(evaluated, 1300);

  // Records read back at their offsets are the same either way.
  Record x, y;
  for (std::size_t n : {std::size_t{0}, std::size_t{300}, std::size_t{599}}) {
    ASSERT_TRUE(scan.ReadRecord(n, x));
    ASSERT_TRUE(indexed.ReadRecord(n, y));
    EXPECT_EQ(x.offset, y.offset);
    EXPECT_EQ(x.fields, y.fields);
  }
}

TEST(RetrievalIndex, RefusesIndexesThatAreDamagedCutShortStaleOrForeign) {
  testing::TempTree dir;
  std::mt19937 rng(7);
  MakeLibrary(dir / "lib", 200, rng);
  MakeLibrary(dir / "other", 200, rng);
  std::uint32_t records = 0;
  std::string error;
  ASSERT_TRUE(BuildIndex(dir / "lib.mrf", dir / "lib.qix", records, error)) << error;
  ASSERT_TRUE(BuildIndex(dir / "other.mrf", dir / "other.qix", records, error)) << error;
  std::string good = dir.Read("lib.qix");

  auto refused = [&](std::string const& bytes, std::string const& why) {
    dir.File("lib.qix", bytes);
    Library library;
    std::string message;
    EXPECT_FALSE(library.Open(dir / "lib", message)) << why;
    EXPECT_NE(message.find("lib.qix"), std::string::npos) << message;
    EXPECT_NE(message.find("run `qel index " + (dir / "lib") + "`"), std::string::npos) << message;
    return message;
  };
  EXPECT_NE(refused(good.substr(0, good.size() - 1), "cut").find("cut short"), std::string::npos);
  EXPECT_NE(refused(good.substr(0, 40), "header cut").find("not a search index"),
            std::string::npos);
  EXPECT_NE(refused("", "empty").find("not a search index"), std::string::npos);
  std::string bytes = good;
  bytes[90] ^= 1;  // a record offset
  EXPECT_NE(refused(bytes, "directory").find("damaged"), std::string::npos);
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
  Library library;
  ASSERT_TRUE(library.Open(dir / "lib", error)) << error;
  EXPECT_TRUE(library.Search("NOT zzz", nullptr).ok);
  Outcome outcome = library.Search(">=0/lines", nullptr);
  EXPECT_FALSE(outcome.ok);
  EXPECT_NE(outcome.error.find("damaged"), std::string::npos) << outcome.error;

  // Records changed after indexing make the index stale.
  dir.File("lib.qix", good);
  ASSERT_TRUE(library.Open(dir / "lib", error)) << error;
  std::ofstream(dir / "lib.mrf", std::ios::app) << "TI=new\r\n\r\n";
  Library stale;
  EXPECT_FALSE(stale.Open(dir / "lib", error));
  EXPECT_NE(error.find("does not belong"), std::string::npos) << error;
}

}  // namespace retrieval_index_test
}  // namespace qel::retrieval
