// Every result of Analyse is an external interface, so its texts must not drift when the
// code changes. This test generates expressions from a fixed seed (valid ones from a
// small grammar, then randomly damaged ones), analyses them in sequence on reused
// objects of four registries, and compares what each call leaves behind with
// tests/expression/data/analyse_golden.txt, one line per expression:
//
//   registry "expression" -> result "postfix" "highlight keys" "error"
//
// Texts are quoted with C escapes (\n, \r, \t, \", \\, \xHH for other control bytes and
// bytes that are no GBK character); GBK characters are shown as UTF-8, so that a reader
// sees the words. A change shows as the lines that differ.
//
// After a deliberate change of output, rewrite the file by running this test with
// QEL_WRITE_GOLDEN=1 in the environment, and review the change.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "qelshare/CAnalyseExpression.h"
#include "support/build_paths.h"

namespace analyse_golden_test {

constexpr int kExpressions = 480;
std::string const kGoldenFile =
    qel::testing::SourcePath("tests/expression/data/analyse_golden.txt");

// A small generator whose sequence does not depend on the standard library's version.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint32_t Next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(state_ >> 33);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }
  template <typename T, std::size_t N>
  T const& Pick(T const (&table)[N]) {
    return table[Below(static_cast<int>(N))];
  }

 private:
  std::uint64_t state_;
};

// Words include GBK characters whose trail byte is "[", "]" or "\" and quoted texts.
constexpr char const* kWords[] = {"a",
                                  "b",
                                  "computer",
                                  "network",
                                  "\xBC\xC6\xCB\xE3\xBB\xFA",
                                  "\x81\x5D",
                                  "x\x81\x5B",
                                  "\xC8\xAB\x5C",
                                  "w1",
                                  "\"quoted text\"",
                                  "\"a\tb\"",
                                  "\"\r\"",
                                  "#12",
                                  "#",
                                  "a+b",
                                  "-",
                                  "\"(x) OR y\"",
                                  "\xA1\xA1"};
constexpr char const* kValues[] = {">=2000", "<>5",   "[1,10]", "(3,4]",       "1990", "<=7",
                                   "=3",     "[1,2)", ">",      "(1,\x81\x5D", "[,]",  "x,y"};
constexpr char const* kBinary[] = {"AND", "OR", "SUB", "and", "Or", "sub", "NOT", "AND", "OR"};
constexpr char const* kProximity[] = {"NEAR", "ORDER", "PARA", "near", "Order"};
// Field names each registry knows (see Register), and a few that none knows.
std::vector<std::vector<char const*>> const kKnownFields = {
    {"all", "\xC8\xAB\xB2\xBF", "title", "\xCC\xE2\xC3\xFB", "text", "keyword", "author", "source",
     "year"},
    {"all", "title", "abstract", "year", "author", "source", "g", "odd"},
    {"title", "abstract", "year", "source"},
    {"all", "g", "title", "OR", "(", "year", "abstract", "text"},
};
constexpr char const* kUnknownFields[] = {"titel", "keyword", "s", "\xCC\xE2"};
constexpr char const* kJunk[] = {"(",   ")",   "[", "]",  "/",  ",",      "\"",
                                 "NOT", "AND", " ", "\t", "\n", "DEFAULT"};
constexpr char const* kBlanks[] = {" ", " ", " ", "  ", "\t", "\n", ""};

class Generator {
 public:
  Generator(std::uint64_t seed, int registry) : random_(seed), fields_(kKnownFields[registry]) {}

  std::string Expression() {
    std::string text = Or(0);
    // Damage a share of the expressions: insert, delete or swap pieces.
    int damage = random_.Below(6) == 0 ? 1 + random_.Below(3) : 0;
    for (int i = 0; i < damage && !text.empty(); ++i) {
      std::size_t at = static_cast<std::size_t>(random_.Below(static_cast<int>(text.size())));
      switch (random_.Below(3)) {
        case 0:
          text.insert(at, random_.Pick(kJunk));
          break;
        case 1:
          text.erase(at, 1 + random_.Below(3));
          break;
        default:
          text.insert(at, std::string(" ") + random_.Pick(kBinary) + " ");
          break;
      }
    }
    return text;
  }

 private:
  std::string Blank() { return random_.Pick(kBlanks); }

  std::string Or(int depth) {
    std::string text = Term(depth);
    int more = random_.Below(depth == 0 ? 4 : 2);
    for (int i = 0; i < more; ++i) {
      text += " " + std::string(random_.Pick(kBinary)) + " " + Term(depth);
    }
    return text;
  }

  std::string Words() {
    std::string text = random_.Pick(kWords);
    int more = random_.Below(3);
    bool proximity = random_.Below(4) == 0;
    char const* word = random_.Pick(kProximity);
    for (int i = 0; i < more; ++i) {
      text += proximity ? std::string(" ") + word + " " : Blank() + " ";
      text += random_.Pick(kWords);
    }
    return text;
  }

  std::string Field() {
    if (random_.Below(40) == 0) return random_.Pick(kUnknownFields);
    return fields_[random_.Below(static_cast<int>(fields_.size()))];
  }

  std::string FieldList() {
    std::string text = Field();
    while (random_.Below(6) == 0) text += "," + Blank() + Field();
    return text;
  }

  std::string Term(int depth) {
    std::string text;
    switch (random_.Below(depth < 2 ? 7 : 4)) {
      case 0:
        text = random_.Pick(kValues) + Blank() + "/" + Blank() + FieldList();
        break;
      case 1:
      case 2:
        text = Words() + Blank() + "/" + Blank() + FieldList();
        break;
      case 3:
        text = Words();
        break;
      case 4:
        text = "(" + Blank() + Or(depth + 1) + Blank() + ")";
        break;
      case 5:
        text = "(" + Or(depth + 1) + ")/" + FieldList();
        break;
      default:
        text = "[" + (random_.Below(2) ? Words() : Or(depth + 1)) + "]" +
               (random_.Below(4) ? "/" + FieldList() : "");
        break;
    }
    if (random_.Below(12) == 0) text = "NOT " + text;
    return text;
  }

  Random random_;
  std::vector<char const*> const& fields_;
};

// The registries the expressions meet: demo-like, one with a default group and odd
// types, one without default field, and a hostile one (operator and bracket names,
// groups that lead back to themselves).
void Register(CAnalyseExpression& e, int which) {
  switch (which) {
    case 0:
      e.AddField("all", "TI\nTX", 's');
      e.AddField("\xC8\xAB\xB2\xBF", "TI\nTX", 's');
      e.AddField("title", "TI", 'S');
      e.AddField("\xCC\xE2\xC3\xFB", "TI", 'S');
      e.AddField("text", "TX", 'S');
      e.AddField("keyword", "KW", 'F');
      e.AddField("author", "AU", 'D');
      e.AddField("source", "SO", 'E');
      e.AddField("year", "LN", 'N');
      break;
    case 1:
      e.AddField("all", "TI\nAB", 's');
      e.AddField("title", "TI", 'S');
      e.AddField("abstract", "AB", 'F');
      e.AddField("year", "PY", 'N');
      e.AddField("author", "AU", 'D');
      e.AddField("source", "SO", 'E');
      e.AddField("odd", "OD", 'Q');
      e.AddField("g", "TI\nAB\nPY", 'f');
      break;
    case 2:
      e.AddField("title", "TI", 'S');
      e.AddField("abstract", "AB", 'F');
      e.AddField("year", "PY", 'Y');
      e.AddField("source", "SO", '#');
      break;
    default:
      e.AddField("all", "G", 's');
      e.AddField("g", "G\nTI", 'f');
      e.AddField("title", "TI", 'S');
      e.AddField("OR", "TI", 'S');
      e.AddField("(", "AB", 'F');
      e.AddField("year", "PY", 'n');
      e.AddField("abstract", "AB", 'F');
      e.AddField("text", "TI\nAB\nXX", 's');
      break;
  }
}

// text quoted for the golden file (see the top of this file).
std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      std::size_t length = 1;
      char16_t u = qel::text::DecodeChar(text, i, &length);
      if (length == 2 && u != qel::text::kReplacement) {
        // UTF-8 of a character of the basic plane.
        if (u < 0x800) {
          out += static_cast<char>(0xC0 | u >> 6);
        } else {
          out += static_cast<char>(0xE0 | u >> 12);
          out += static_cast<char>(0x80 | (u >> 6 & 0x3F));
        }
        out += static_cast<char>(0x80 | (u & 0x3F));
        i += 2;
        continue;
      }
    }
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out + "\"";
}

// The golden line of one call.
std::string Outcome(CAnalyseExpression& e, int registry, std::string const& text, int result) {
  return std::to_string(registry) + " " + Quote(text) + " -> " + std::to_string(result) + " " +
         Quote(e.m_strPoland) + " " + Quote(e.m_strRedKey) + " " + Quote(e.GetError());
}

std::vector<std::string> Outcomes(int* successes) {
  std::vector<std::string> out;
  CAnalyseExpression objects[4];
  for (int r = 0; r < 4; ++r) Register(objects[r], r);
  std::vector<Generator> generators;
  for (int r = 0; r < 4; ++r) generators.emplace_back(20261205 + r, r);
  *successes = 0;
  for (int i = 0; i < kExpressions; ++i) {
    Generator& generator = generators[i % 4];
    std::string text = generator.Expression();
    // Long expressions now and then, so that the builder's long-range scans take part.
    if (i % 50 == 49) {
      for (int k = 0; k < 12; ++k) text += std::string(" OR ") + generator.Expression();
    } else if (i % 50 == 48) {
      // A long chain of simple qualified operands.
      for (int k = 0; k < 40; ++k)
        text += (k % 3 ? " AND w" : " OR w") + std::to_string(k) + "/title";
    }
    CAnalyseExpression& e = objects[i % 4];
    int result = e.Analyse(text.c_str());
    *successes += result == 1;
    out.push_back(Outcome(e, i % 4, text, result));
  }
  return out;
}

TEST(AnalyseGoldenTest, OutputsMatchTheGoldenFile) {
  int successes = 0;
  std::vector<std::string> outcomes = Outcomes(&successes);
  // The set must exercise both outcomes broadly to mean anything.
  EXPECT_GT(successes, kExpressions / 10);
  EXPECT_LT(successes, kExpressions * 9 / 10);

  if (std::getenv("QEL_WRITE_GOLDEN") != nullptr) {
    std::ofstream out(kGoldenFile, std::ios::binary);
    for (std::string const& line : outcomes) out << line << '\n';
    ASSERT_TRUE(out.good()) << kGoldenFile;
    return;
  }
  std::ifstream in(kGoldenFile, std::ios::binary);
  ASSERT_TRUE(in.good()) << kGoldenFile;
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);) expected.push_back(line);
  ASSERT_EQ(expected.size(), outcomes.size());
  int mismatches = 0;
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    if (outcomes[i] != expected[i] && ++mismatches <= 10) {
      ADD_FAILURE() << "line " << i + 1 << " differs:\n  golden: " << expected[i]
                    << "\n  now:    " << outcomes[i];
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace analyse_golden_test
