// Generated retrieval libraries and expressions for differential tests: records of a
// small alphabet (with characters whose trail byte is ASCII, and characters that mean
// something to SQL), and expressions with a leaf of every kind, half their words taken
// from the records so that long words and NEAR, ORDER and PARA find something.
#ifndef QEL_TESTS_SUPPORT_GENERATED_LIBRARY_H_
#define QEL_TESTS_SUPPORT_GENERATED_LIBRARY_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/text/codepage.h"
#include "qelshare/search.h"
#include "support/temp_tree.h"

namespace qel::testing {

inline std::string Gbk(std::string const& utf8) {
  std::string out, error;
  EXPECT_TRUE(text::Utf8ToGbk(utf8, out, error)) << utf8;
  return out;
}

inline std::vector<Field> DemoFields() {
  std::vector<Field> fields;
  auto add = [&](char const* name, char const* code, char type) {
    fields.push_back({Gbk(name), Gbk(code), static_cast<unsigned char>(type), ""});
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

// Characters of the generated texts: Chinese ones, ASCII letters, 丂 (0x81 0x40) whose
// trail byte is the ASCII '@', and characters that are special in SQL text and patterns.
inline std::vector<std::string> const& Alphabet() {
  static std::vector<std::string> const chars = [] {
    std::vector<std::string> out;
    for (char const* c :
         {"春", "秋", "月", "明", "山", "水", "风", "花", "丂", "a", "b", "%", "_", "'", "\\"}) {
      out.push_back(Gbk(c));
    }
    return out;
  }();
  return chars;
}

inline std::string Word(std::mt19937& rng, int min, int max) {
  std::string word;
  int n = std::uniform_int_distribution<int>(min, max)(rng);
  for (int i = 0; i < n; ++i) {
    word += Alphabet()[std::uniform_int_distribution<std::size_t>(0, Alphabet().size() - 1)(rng)];
  }
  return word;
}

inline char const* const kAuthors[] = {"Li", "Du", "Wang", "Su"};

// The texts of the records generated so far, for words that occur in them.
inline std::vector<std::string>& Texts() {
  static std::vector<std::string> texts;
  return texts;
}

// A piece of min to max characters of a generated record's text (or title), cut at
// characters and at line ends: a word the index must find, whatever its length.
inline std::string RecordWord(std::mt19937& rng, int min, int max) {
  if (Texts().empty()) return Word(rng, min, max);
  std::string const& text = Texts()[rng() % Texts().size()];
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size();
       i += static_cast<unsigned char>(text[i]) >= 0x81 ? 2 : 1) {
    starts.push_back(i);
  }
  starts.push_back(text.size());
  std::size_t first = rng() % (starts.size() - 1);
  int n = std::uniform_int_distribution<int>(min, max)(rng);
  std::size_t last = std::min(first + static_cast<std::size_t>(n), starts.size() - 1);
  std::string word = text.substr(starts[first], starts[last] - starts[first]);
  word = word.substr(0, word.find('\n'));
  return word.empty() ? Word(rng, min, max) : word;
}

inline void MakeLibrary(std::string const& base, int records, std::mt19937& rng) {
  LibraryWriter writer(base);
  for (int i = 0; i < records; ++i) {
    std::vector<std::pair<std::string, std::string>> record;
    record.emplace_back("TI", Word(rng, 1, 5));
    int lines = std::uniform_int_distribution<int>(1, 3)(rng);
    std::string text;
    for (int l = 0; l < lines; ++l) text += (l > 0 ? "\n" : "") + Word(rng, 2, 14);
    record.emplace_back("TX", text);
    Texts().push_back(record.front().second);
    Texts().push_back(text);
    if (rng() % 3 != 0) record.emplace_back("KW", Word(rng, 1, 2));
    record.emplace_back("AU", kAuthors[rng() % 4]);
    record.emplace_back("SO", rng() % 2 ? "A" : "B");
    record.emplace_back("LN", std::to_string(rng() % 12 + 1));
    ASSERT_TRUE(writer.Add(record, "record " + std::to_string(i)).ok());
  }
  ASSERT_TRUE(writer.Finish("test", DemoFields()).ok());
}

inline void CopyLibrary(TempTree const& dir, std::string const& from, std::string const& to) {
  for (char const* part : {".qel", ".sor", ".mrf"}) {
    std::filesystem::copy_file(dir / (from + part), dir / (to + part),
                               std::filesystem::copy_options::overwrite_existing);
  }
}

// Record numbers of every hit.
inline std::vector<std::uint32_t> Numbers(Result const& result) {
  std::vector<std::uint32_t> numbers;
  for (Hit const& hit : result.Hits()) numbers.push_back(hit.record);
  return numbers;
}

// A leaf of every kind: words of one to five characters (half of them taken from the
// records, so that long words and NEAR, ORDER and PARA of them find something), in a field,
// a group or every default field; comparisons and intervals; values; references.
inline std::string Leaf(std::mt19937& rng, std::size_t history) {
  static char const* const kFields[] = {"", "", "/title", "/text", "/keyword", "/title,text"};
  std::string field = kFields[rng() % 6];
  auto word = [&](int min, int max) {
    return rng() % 2 ? RecordWord(rng, min, max) : Word(rng, min, max);
  };
  switch (rng() % 10) {
    case 0:
      return word(1, 1) + field;
    case 1:
      return word(2, 2) + field;
    case 2:
      return word(3, 5) + field;
    case 3:
      return word(1, 3) + " NEAR " + word(1, 3) + field;
    case 4:
      return word(1, 2) + " ORDER " + word(1, 2) + field;
    case 5:
      return word(1, 2) + " PARA " + word(1, 2) + field;
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
    case 8:
      return std::string(rng() % 2 ? "A" : "B") + "/source";
    default:
      if (history == 0) return Word(rng, 1, 1);
      return "#" + std::to_string(rng() % history + 1);
  }
}

inline std::string Expression(std::mt19937& rng, std::size_t history, int depth) {
  if (depth == 0 || rng() % 3 == 0) return Leaf(rng, history);
  static char const* const kOps[] = {" AND ", " OR ", " SUB "};
  std::string e = "(" + Expression(rng, history, depth - 1) + kOps[rng() % 3] +
                  Expression(rng, history, depth - 1) + ")";
  return rng() % 5 == 0 ? "NOT " + e : e;
}

}  // namespace qel::testing

#endif  // QEL_TESTS_SUPPORT_GENERATED_LIBRARY_H_
