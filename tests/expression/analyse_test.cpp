#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "expression/analyse_state.h"
#include "expression/token_index.h"
#include "qelshare/CAnalyseExpression.h"

namespace analyse_test {

// Size of the hostile inputs (their speed is measured in bench/bench_expression.cpp).
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kHugeInput = 1 << 18;  // sanitizers: a quarter megabyte is enough
#else
constexpr std::size_t kHugeInput = 1 << 20;
#endif

using Strings = std::vector<std::string>;

Strings Tokens(CAnalyseExpression& e) {
  Strings out;
  for (int i = 0; i < e.m_arrKeyStream.GetSize(); ++i) {
    char const* t = e.m_arrKeyStream.Get(i);
    out.emplace_back(t == nullptr ? "" : t);
  }
  return out;
}

// The registry of the examples: title (S), abstract (F), year (N), with a default group
// field over title and abstract when `with_default`.
void Register(CAnalyseExpression& e, bool with_default) {
  if (with_default) e.AddField("all", "TI\nAB", 's');
  e.AddField("title", "TI", 'S');
  e.AddField("abstract", "AB", 'F');
  e.AddField("year", "PY", 'N');
  e.AddField("author", "AU", 'D');
  e.AddField("source", "SO", 'E');
  e.AddField("odd", "OD", 'Q');
}

TEST(AnalyseLexerTest, TokenStreams) {
  struct Case {
    char const* expression;
    Strings tokens;
  };
  Case const cases[] = {
      {"computer network", {"computer", "DEFAULT", "network"}},
      {"a and b", {"a", "AND", "b"}},
      {"a default b", {"a", "DEFAULT", "default", "DEFAULT", "b"}},
      {"a DEFAULT b", {"a", "DEFAULT", "b"}},
      {"a Or b oR c", {"a", "OR", "b", "OR", "c"}},
      {"(a)b", {"(", "a", ")", "b"}},
      {"\"a AND b\"", {"\"a AND b\""}},
      {"a NOT b", {"a", "SUB", "b"}},
      {"NOT a", {"NOT", "a"}},
      {"a AND NOT b", {"a", "AND", "NOT", "b"}},
      {"(NOT b) OR NOT c", {"(", "NOT", "b", ")", "OR", "NOT", "c"}},
      {"[NOT a]", {"[", "SUB", "a", "]"}},
      {"#12 a", {"#12", "a"}},
      {"#1a b", {"#1a", "DEFAULT", "b"}},
      {"a\tb\n", {"a\tb"}},
      {" >=100/year ", {">=100", "/", "year"}},
      {"a,b [c]", {"a", ",", "b", "[", "c", "]"}},
      {"x\"p q\"y", {"x", "DEFAULT", "\"p q\"", "DEFAULT", "y"}},
      {"\"tab\there\"", {"\"tab\there\""}},
      {"- a # b", {"-", "a", "#", "b"}},
      // Trail bytes that look like delimiters stay inside their characters.
      {"\x81]\x81[ \x81(x", {"\x81]\x81[", "DEFAULT", "\x81(x"}},
      {"\xCE\xC4\xD5\xC2 AND \xB5\xE7\xC4\xD4", {"\xCE\xC4\xD5\xC2", "AND", "\xB5\xE7\xC4\xD4"}},
      // A lead byte takes the next byte as its trail, even a blank.
      {"a\x81 b", {"a\x81 b"}},
  };
  for (Case const& c : cases) {
    CAnalyseExpression e;
    Register(e, true);
    e.Analyse(c.expression);
    EXPECT_EQ(Tokens(e), c.tokens) << c.expression;
  }
}

TEST(AnalyseLexerTest, NoWordsOrUnclosedQuoteReject) {
  for (char const* expression : {"", "   ", "\t\r\n", "a \"b", "\"", "\"a\" \"b"}) {
    CAnalyseExpression e;
    Register(e, true);
    EXPECT_EQ(e.Analyse(expression), 0) << expression;
    EXPECT_FALSE(e.GetError().empty()) << expression;
  }
  CAnalyseExpression e;
  EXPECT_EQ(e.Analyse(nullptr), 0);
  e.AddField("title", "", 'S');
  e.AddField("", "TI", 'S');
  e.AddField(nullptr, "TI", 'S');
  EXPECT_EQ(e.m_arrFieldName.GetSize(), 0);
  EXPECT_TRUE(e.m_arrFieldType.empty());
}

struct BuildCase {
  char const* expression;
  int result;
  char const* poland;  // expected on success
  char const* redkey;  // expected on success
};

void CheckCases(std::vector<BuildCase> const& cases, bool with_default) {
  for (BuildCase const& c : cases) {
    CAnalyseExpression e;
    Register(e, with_default);
    ASSERT_EQ(e.Analyse(c.expression), c.result) << c.expression << ": " << e.GetError();
    if (c.result == 1) {
      EXPECT_EQ(e.GetPoland(), c.poland) << c.expression;
      EXPECT_EQ(e.GetRedKey(), c.redkey) << c.expression;
      EXPECT_EQ(e.GetError(), "") << c.expression;
    } else {
      EXPECT_NE(e.GetError(), "") << c.expression;
    }
  }
}

TEST(AnalyseBuilderTest, PrecedenceAndBrackets) {
  CheckCases(
      {
          {"computer network/title AND >=2000/year", 1,
           "TI\nNEAR\ncomputer\rTI\nNEAR\nnetwork\rAND\rPY\n2\n2000\rAND\r",
           "computer[TI]network[TI]"},
          {"a/title AND and AND b/title", 1, "TI\nNEAR\na\rAND\rAND\rTI\nNEAR\nb\rAND\r",
           "a[TI]b[TI]"},
          {"()", 0, "", ""},
          {"((a/title))", 1, "TI\nNEAR\na\r", "a[TI]"},
          {"(a/title) AND (b/title)", 1, "TI\nNEAR\na\rTI\nNEAR\nb\rAND\r", "a[TI]b[TI]"},
          {"a/title OR b/title AND c/title", 1, "TI\nNEAR\na\rTI\nNEAR\nb\rTI\nNEAR\nc\rAND\rOR\r",
           "a[TI]b[TI]c[TI]"},
          {"a/title SUB b/title OR c/title", 1, "TI\nNEAR\na\rTI\nNEAR\nb\rSUB\rTI\nNEAR\nc\rOR\r",
           "a[TI]b[TI]c[TI]"},
          {"a/title SUB b/title SUB c/title", 1,
           "TI\nNEAR\na\rTI\nNEAR\nb\rSUB\rTI\nNEAR\nc\rSUB\r", "a[TI]b[TI]c[TI]"},
          {"NOT a/title", 1, "TI\nNEAR\na\rNOT\r", "a[TI]"},
          {"b/title AND NOT a/title", 1, "TI\nNEAR\nb\rTI\nNEAR\na\rNOT\rAND\r", "b[TI]a[TI]"},
          {"b/title NOT a/title", 1, "TI\nNEAR\nb\rTI\nNEAR\na\rSUB\r", "b[TI]a[TI]"},
          {"a/title NOT", 1, "TI\nNEAR\na\rSUB\r", "a[TI]"},
          // Qualified brackets: operators associate to the right.
          {"(a SUB b SUB c)/title", 1, "TI\nNEAR\na\rTI\nNEAR\nb\rTI\nNEAR\nc\rSUB\rSUB\r",
           "a[TI]b[TI]c[TI]"},
          {"(a OR b SUB c)/title", 1, "TI\nNEAR\na\rTI\nNEAR\nb\rTI\nNEAR\nc\rSUB\rOR\r",
           "a[TI]b[TI]c[TI]"},
          {"(NOT a)/title", 1, "TI\nNEAR\na\rNOT\r", "a[TI]"},
          {"(a NOT b)/title", 1, "TI\nNEAR\na\rTI\nNEAR\nb\rSUB\r", "a[TI]b[TI]"},
          {"(a OR b) c/title", 0, "", ""},  // no DEFAULT beside a bracket
          {"(a OR b)/title c", 0, "", ""},
          {"(a/title)/abstract", 0, "", ""},
          {"a/title b", 0, "", ""},
          {"(a/title", 0, "", ""},
          {"(a) b)/title", 0, "", ""},
      },
      false);
}

TEST(AnalyseBuilderTest, FieldsAndLeaves) {
  CheckCases(
      {
          {"a/title, abstract", 1, "TI\nNEAR\na\rAB\nNEAR\na\rOR\r", "a[TI]a[AB]"},
          {"a/title, title", 1, "TI\nNEAR\na\r", "a[TI]"},
          {"a/title, abstract, source", 1, "TI\nNEAR\na\rAB\nNEAR\na\rSO\na\rOR\rOR\r",
           "a[TI]a[AB]a[SO]"},
          {"a/title, nosuch", 0, "", ""},
          {"a/", 0, "", ""},
          {"a/,", 0, "", ""},
          {"a b/abstract", 1, "AB\nNEAR\na\rAB\nNEAR\nb\rOR\r", "a[AB]b[AB]"},
          {"a b/title", 1, "TI\nNEAR\na\rTI\nNEAR\nb\rAND\r", "a[TI]b[TI]"},
          {"a NEAR b NEAR c/title", 1, "TI\nNEAR\na b c\r", "a b c[TI]"},
          {"a ORDER b/title", 1, "TI\nORDER\na b\r", "a b[TI]"},
          {"a PARA [b]/abstract", 1, "AB\nPARA\na [ b ]\r", "a [ b ][AB]"},
          {"a NEAR b ORDER c/title", 0, "", ""},
          {"a NEAR b c/title", 1, "TI\nNEAR\na b\rTI\nNEAR\nc\rAND\r", "a b[TI]c[TI]"},
          {"\"x y\"/title", 1, "TI\nNEAR\nx y\r", "x y[TI]"},
          {"\"x y\" NEAR z/title", 1, "TI\nNEAR\n\"x y\" z\r", "\"x y\" z[TI]"},
          {"a NEAR/title", 1, "TI\nNEAR\na\r", "a[TI]"},
          {"NEAR a/title", 0, "", ""},
          {"(a)b/title", 0, "", ""},
          {"[1,2]/title", 0, "", ""},
          {"a+b/title", 1, "TI\nNEAR\na+b\r", "a b[TI]"},
          {">=100/year", 1, "PY\n2\n100\r", ""},
          {"<>3/year", 1, "PY\n5\n3\r", ""},
          {"<=3/year", 1, "PY\n4\n3\r", ""},
          {">3/year", 1, "PY\n1\n3\r", ""},
          {"<3/year", 1, "PY\n3\n3\r", ""},
          {"=3/year", 1, "PY\n0\n3\r", ""},
          {"100/year", 1, "PY\n0\n100\r", ""},
          {"[1,10]/year", 1, "PY\n9\n1,10\r", ""},
          {"(1,10]/year", 1, "PY\n7\n1,10\r", ""},
          {"[1,10)/year", 1, "PY\n8\n1,10\r", ""},
          {"(1,10)/year", 1, "PY\n6\n1,10\r", ""},
          {"1,10/year", 1, "PY\n6\n1,10\r", ""},
          {"[[1,10]]/year", 1, "PY\n9\n1,10\r", ""},
          {">= 100/year", 1, "PY\n2\nDEFAULT100\r", ""},
          {"(a OR b)/year", 1, "PY\n0\na\rPY\n0\nb\rOR\r", ""},
          {"Smith/author", 1, "AU\nSmith\r", ""},
          {"Nature/source", 1, "SO\nNature\r", "Nature[SO]"},
          {"x/odd", 0, "", ""},
          {"#12/title", 1, "TI\nNEAR\n#12\r", "#12[TI]"},
      },
      false);
}

TEST(AnalyseBuilderTest, DefaultField) {
  CheckCases(
      {
          {"a", 1, "TI\nNEAR\na\rAB\nNEAR\na\rOR\r", "a[TI]a[AB]"},
          {"#12", 1, "#\n12\r", ""},
          {"#12 AND a/title", 1, "#\n12\rTI\nNEAR\na\rAND\r", "a[TI]"},
          {"a b", 1, "TI\nNEAR\na\rTI\nNEAR\nb\rAND\rAB\nNEAR\na\rAB\nNEAR\nb\rOR\rOR\r",
           "a[TI]b[TI]a[AB]b[AB]"},
          {"a (b OR c)", 0, "", ""},
          {"a/all", 1, "TI\nNEAR\na\rAB\nNEAR\na\rOR\r", "a[TI]a[AB]"},
      },
      true);
  // Without a field of type s, unqualified words are rejected; #12 needs no field.
  CheckCases({{"a", 0, "", ""}, {"a b", 0, "", ""}, {"#12", 1, "#\n12\r", ""}}, false);
  // A group field with one member stands for that member.
  CAnalyseExpression e;
  e.AddField("title", "TI", 'S');
  e.AddField("all", "TI", 's');
  ASSERT_EQ(e.Analyse("a"), 1);
  EXPECT_EQ(e.GetPoland(), "TI\nNEAR\na\r");
}

TEST(AnalyseBuilderTest, GroupFieldsAndCycles) {
  struct Field {
    char const* name;
    char const* code;
    unsigned char type;
  };
  struct Case {
    std::vector<Field> fields;
    char const* expression;
    int result;
    char const* poland;
    char const* error_part;
  };
  Case const cases[] = {
      {{{"g", "TI\nAB", 's'}, {"t", "TI", 'S'}, {"a", "AB", 'F'}},
       "x/g",
       1,
       "TI\nNEAR\nx\rAB\nNEAR\nx\rOR\r",
       ""},
      {{{"g", "TI\nZZ", 's'}, {"t", "TI", 'S'}}, "x/g", 0, "", "'ZZ'"},
      {{{"g", "\n\n", 's'}, {"t", "TI", 'S'}}, "x/g", 0, "", "names no field"},
      // A group registered before the field of its one code stands for itself.
      {{{"g", "G", 's'}, {"t", "TI", 'S'}}, "x/g", 0, "", "field cycle"},
      {{{"h", "HH", 'f'}, {"g", "HH\nTI", 's'}, {"t", "TI", 'S'}},
       "x/g",
       0,
       "",
       "field cycle through 'h'"},
      {{{"h", "HH", 'f'}, {"g", "HH\nTI", 's'}, {"t", "TI", 'S'}}, "x", 0, "", "field cycle"},
      // "," separates field names even when a field bears that name.
      {{{",", "TI", 'S'}}, "x/,", 0, "", "names no field"},
      // A group of one member is that member.
      {{{"t", "TI", 'S'}, {"h", "TI", 'f'}}, "x/h", 1, "TI\nNEAR\nx\r", ""},
  };
  for (Case const& c : cases) {
    CAnalyseExpression e;
    for (Field const& f : c.fields) e.AddField(f.name, f.code, f.type);
    ASSERT_EQ(e.Analyse(c.expression), c.result) << c.expression << ": " << e.GetError();
    if (c.result == 1) {
      EXPECT_EQ(e.GetPoland(), c.poland);
    }
    EXPECT_NE(e.GetError().find(c.error_part), std::string::npos)
        << c.expression << ": " << e.GetError();
  }
}

TEST(AnalyseBuilderTest, ErrorsNameTokenAndOffset) {
  struct Case {
    char const* expression;
    char const* error;
  };
  Case const cases[] = {
      {"abc/title AND \"x", "unclosed quote at byte 14"},
      {"abc/title AND def/titel", "unknown field 'titel' at byte 18"},
      {"a ( NOT b", "NOT must begin its group (byte 4)"},
      {"a NEAR b ORDER c/title", "several proximity words in one group (byte 0)"},
      {"x/odd", "field 'odd' has the type 'Q', which cannot be searched (byte 0)"},
      {"x", "no default field (type s) for 'x' at byte 0"},
      {"a/", "no field name after '/' at byte 1"},
  };
  for (Case const& c : cases) {
    CAnalyseExpression e;
    Register(e, false);
    EXPECT_EQ(e.Analyse(c.expression), 0) << c.expression;
    EXPECT_EQ(e.GetError(), c.error) << c.expression;
  }
}

TEST(AnalyseResultsTest, MembersAfterRejectionAndHighlightEdits) {
  CAnalyseExpression e;
  Register(e, false);
  ASSERT_EQ(e.Analyse("a/title"), 1);
  // A lexer failure keeps both texts of the last success.
  EXPECT_EQ(e.Analyse("b/title \"x"), 0);
  EXPECT_EQ(e.m_strPoland, "TI\nNEAR\na\r");
  EXPECT_EQ(e.m_strRedKey, "a[TI]");
  // A builder failure keeps the postfix stream and the highlight entries built so far.
  EXPECT_EQ(e.Analyse("b/title AND c/nosuch"), 0);
  EXPECT_EQ(e.m_strPoland, "TI\nNEAR\na\r");
  EXPECT_EQ(e.m_strRedKey, "b[TI]");
  // An empty stream result empties the postfix stream.
  EXPECT_EQ(e.Analyse("()"), 0);
  EXPECT_EQ(e.m_strPoland, "");

  ASSERT_EQ(e.Analyse("a+b/title"), 1);
  EXPECT_EQ(e.GetRedKey(), "a b[TI]");
  EXPECT_EQ(e.m_strRedKey, "a b[TI]");
  e.AddRedKey("extra");
  e.AddRedKey("");
  e.AddRedKey(nullptr);
  EXPECT_EQ(e.GetRedKey(), "a b[TI] extra");
  ASSERT_EQ(e.Analyse("1/year"), 1);
  EXPECT_EQ(e.GetRedKey(), "");
  e.AddRedKey("first");
  EXPECT_EQ(e.GetRedKey(), "first");
}

TEST(AnalyseResultsTest, CarriageReturnInsideAQuotedWordEndsItsItem) {
  CAnalyseExpression e;
  Register(e, false);
  ASSERT_EQ(e.Analyse("\"a\r\"/title AND b/title"), 1);
  EXPECT_EQ(e.GetPoland(), "TI\nNEAR\na\rTI\nNEAR\nb\rAND\r");
}

TEST(AnalyseLimitsTest, NestingLimit) {
  auto nested = [](int levels, char open, char close) {
    return std::string(levels, open) + "a/title" + std::string(levels, close);
  };
  CAnalyseExpression e;
  Register(e, false);
  int limit = CAnalyseExpression::kMaxNesting;
  EXPECT_EQ(e.Analyse(nested(limit, '(', ')').c_str()), 1);
  EXPECT_EQ(e.GetPoland(), "TI\nNEAR\na\r");
  EXPECT_EQ(e.Analyse(nested(limit + 1, '(', ')').c_str()), 0);
  EXPECT_NE(e.GetError().find("nested deeper than"), std::string::npos);
  EXPECT_EQ(e.Analyse(nested(limit + 1, '[', ']').c_str()), 0);
}

// Items of a postfix stream.
int CountItems(std::string const& poland) {
  int count = 0;
  for (char c : poland) count += c == '\r';
  return count;
}

TEST(AnalyseLimitsTest, LongFlatChainsAreAnalysed) {
  constexpr int kOperands = 100000;
  for (char const* op : {" AND ", " OR ", " "}) {
    std::string expression = "w0";
    for (int i = 1; i < kOperands; ++i) expression += op + ("w" + std::to_string(i));
    CAnalyseExpression e;
    Register(e, true);
    ASSERT_EQ(e.Analyse(expression.c_str()), 1) << op << e.GetError();
    // Each operand is searched in the two fields of the default group.
    EXPECT_EQ(CountItems(e.GetPoland()), 4 * kOperands - 1) << op;
  }
}

// The index answers the builder's scans exactly as a direct scan does.
TEST(AnalyseLimitsTest, IndexedScansMatchDirectScans) {
  char const* expressions[] = {
      "computer network/title AND >=2000/year",
      "(a OR b SUB c)/title AND NOT (d e f)/abstract OR (g) AND h",
      "a b c d e f g h i j k l m n o p q r s t u v w x y z a1 b1 c1 d1 e1 f1 g1 h1 i1 j1",
      "((a AND b) OR (c SUB (d AND e))) AND [x y] OR ((p)) NOT q/title, abstract",
      "(a OR b) c d e (f AND g) h/title AND ([1,2] OR (3,4])/year OR a NEAR b c/abstract",
      "a ) OR b ( AND c ] [ d OR ) e/title",
      "(((a b) (c d)) OR e) f g h i j k l m n o p q r s t u v w x y z/title",
  };
  for (char const* expression : expressions) {
    // Repeat the expression so the ranges are long enough for the index.
    std::string longer = expression;
    for (int i = 0; i < 6; ++i) longer = "(" + longer + ") OR " + longer;
    for (std::string const& text : {std::string(expression), longer}) {
      CAnalyseExpression direct, indexed;
      Register(direct, true);
      Register(indexed, true);
      qel::expr::Seams::SetRoutes(direct, {.direct_scan_limit = 1 << 30});
      qel::expr::Seams::SetRoutes(indexed, {.direct_scan_limit = 0});
      int r1 = direct.Analyse(text.c_str());
      int r2 = indexed.Analyse(text.c_str());
      EXPECT_EQ(r1, r2) << text;
      EXPECT_EQ(direct.m_strPoland, indexed.m_strPoland) << text;
      EXPECT_EQ(direct.m_strRedKey, indexed.m_strRedKey) << text;
      EXPECT_EQ(direct.GetError(), indexed.GetError()) << text;
    }
  }
}

TEST(AnalyseLimitsTest, MegabyteInputsReturnZeroOrOne) {
  std::string const patterns[] = {
      "(",
      ")",
      "\"",
      "a ",
      "a/",
      "NOT ",
      "/",
      "((a) ",
      "a AND ",
      "[",
      ",",
      "x NEAR ",
      "(a OR b)/title ",
      "#1 ",
      "\x81",
  };
  for (std::string const& unit : patterns) {
    std::string text;
    while (text.size() < kHugeInput) text += unit;
    CAnalyseExpression e;
    Register(e, true);
    int result = e.Analyse(text.c_str());
    EXPECT_TRUE(result == 0 || result == 1) << "'" << unit << "'";
  }
}

// Words joined by the implicit DEFAULT in one text field make a left-leaning tree: AND
// in a field of type S, OR in one of type F, words highlighted in text order.
TEST(AnalyseChainTest, WordChainsLeanLeft) {
  CAnalyseExpression e;
  Register(e, true);
  ASSERT_EQ(e.Analyse("a \"b c\" d/title"), 1);
  EXPECT_EQ(e.GetPoland(), "TI\nNEAR\na\rTI\nNEAR\nb c\rAND\rTI\nNEAR\nd\rAND\r");
  EXPECT_EQ(e.GetRedKey(), "a[TI]b c[TI]d[TI]");
  ASSERT_EQ(e.Analyse("a b c/abstract"), 1);
  EXPECT_EQ(e.GetPoland(), "AB\nNEAR\na\rAB\nNEAR\nb\rOR\rAB\nNEAR\nc\rOR\r");

  // A group member whose name is registered twice resolves to the first field of that
  // name: the chain is built for that field (type S, so AND).
  CAnalyseExpression twice;
  twice.AddField("t", "T1", 'S');
  twice.AddField("t", "T2", 'F');
  twice.AddField("g", "T2", 's');
  ASSERT_EQ(twice.Analyse("a b"), 1);
  EXPECT_EQ(twice.GetPoland(), "T1\nNEAR\na\rT1\nNEAR\nb\rAND\r");

  // A long chain, through the index: n leaves, n - 1 operators, every word highlighted.
  constexpr int kWords = 5000;
  std::string text, redkey;
  for (int i = 0; i < kWords; ++i) {
    text += "w" + std::to_string(i) + " ";
    redkey += "w" + std::to_string(i) + "[TI]";
  }
  ASSERT_EQ(e.Analyse((text + "/title").c_str()), 1);
  std::string poland = e.GetPoland();
  EXPECT_EQ(CountItems(poland), 2 * kWords - 1);
  EXPECT_EQ(poland.rfind("TI\nNEAR\nw0\rTI\nNEAR\nw1\rAND\r", 0), 0u);
  EXPECT_EQ(e.GetRedKey(), redkey);
}

using Registry = std::vector<std::tuple<char const*, char const*, unsigned char>>;

// Analyses text with registry in two fresh objects, the second with *shortcut turned
// off, and expects the same results.
void ExpectSameWithout(bool qel::expr::Routes::*shortcut, Registry const& registry,
                       std::string const& text) {
  CAnalyseExpression fast, general;
  for (auto const& [name, code, type] : registry) {
    fast.AddField(name, code, type);
    general.AddField(name, code, type);
  }
  qel::expr::Routes without;
  without.*shortcut = false;
  qel::expr::Seams::SetRoutes(general, without);
  int r1 = fast.Analyse(text.c_str());
  int r2 = general.Analyse(text.c_str());
  ASSERT_EQ(r1, r2) << text;
  EXPECT_EQ(Tokens(fast), Tokens(general)) << text;
  EXPECT_EQ(fast.m_strPoland, general.m_strPoland) << text;
  EXPECT_EQ(fast.m_strRedKey, general.m_strRedKey) << text;
  EXPECT_EQ(fast.GetError(), general.GetError()) << text;
}

// Operands without a qualifier and expressions of plain words take shortcuts to the
// default field's text fields; every result must be what the general way gives, on
// registries where the shortcuts apply (groups of S and F fields, repeated codes and
// names) and where they must not (groups of other types, nested groups, cycles, odd
// names), for words with GBK bytes, blanks inside, operator and reserved words.
TEST(AnalyseShortcutTest, ShortcutsMatchTheGeneralWay) {
  Registry const registries[] = {
      {{"all", "TI\nAB", 's'}, {"title", "TI", 'S'}, {"abstract", "AB", 'F'}},
      {{"all", "AB\nTI\nAB\nKW", 's'},
       {"title", "TI", 'S'},
       {"abstract", "AB", 'F'},
       {"keyword", "KW", 'F'},
       {"title", "T2", 'S'}},
      {{"all", "TI", 's'}, {"title", "TI", 'S'}, {"year", "PY", 'N'}},
      {{"all", "TI\nPY", 's'}, {"title", "TI", 'S'}, {"year", "PY", 'N'}},
      {{"all", "TI\nG", 's'}, {"g", "G", 'f'}, {"title", "TI", 'S'}},
      {{"all", "AL", 's'}, {"title", "TI", 'S'}},
      {{"all", "TI\nXX", 's'}, {"title", "TI", 'S'}},
      {{"all", "TI\nAB", 's'}, {"title", "TI", 'S'}, {"OR", "AB", 'F'}},
      {{"title", "TI", 'S'}, {"all", "TI", 's'}, {"title", "AB", 's'}, {"title", "XY", 'S'}},
      {{"title", "TI", 'S'}, {"abstract", "AB", 'F'}},
  };
  char const* const pieces[] = {
      "a",         "b",        "w12",   " ",          "  ",      "\t",  "x\ty",  "\x81",   "\x81 ",
      "\x81\t",    "\xB0\xA1", "\r",    "DEFAULT",    "and",     "Or",  "NEAR",  "not",    "sub",
      "#12",       "#",        "-",     "a-b",        "\"q t\"", "(",   ")",     "/title", "/all",
      "/abstract", ",",        "[1,2]", "/all,title", "\x81]",   "a+b", "ORDER", "para"};
  std::mt19937 rng(20261206);
  for (Registry const& registry : registries) {
    for (int i = 0; i < 1500; ++i) {
      std::string text;
      int count = 1 + static_cast<int>(rng() % 7);
      for (int k = 0; k < count; ++k) {
        // Mostly plain words and blanks, so that the plain-word shortcut is often taken.
        std::size_t limit = i % 2 ? std::size(pieces) : 12;
        text += pieces[rng() % limit];
        if (rng() % 3) text += ' ';
      }
      ExpectSameWithout(&qel::expr::Routes::default_shortcuts, registry, text);
    }
  }
}

// Bracketed groups under qualifiers, nested, with operators, stray brackets and field
// lists, in registries whose names include operators and brackets: the operands' direct
// way to their field must give what the general way gives, errors included.
TEST(AnalyseShortcutTest, QualifiedOperandsMatchTheGeneralWay) {
  Registry const registries[] = {
      {{"all", "TI\nAB", 's'},
       {"title", "TI", 'S'},
       {"abstract", "AB", 'F'},
       {"year", "PY", 'N'},
       {"author", "AU", 'D'},
       {"odd", "OD", 'Q'}},
      {{"title", "TI", 'S'}, {"OR", "AB", 'F'}, {"g", "TI\nAB", 's'}, {"abstract", "AB", 'y'}},
      {{"(", "TI", 'S'}, {"title", "TI", 'S'}, {"abstract", "AB", 'F'}, {"g", "TI\nXX", 's'}},
      // "all" stands for the first field named "author", a group.
      {{"author", "XX", 'y'}, {"author", "AU", 'D'}, {"all", "AU", 's'}, {"title", "TI", 'S'}},
      {{"abstract", "AB", 's'},
       {"title", "TI", 'S'},
       {"NEAR", "NE", 'S'},
       {"title", "T2", 'F'},
       {",", "TI", 'S'},
       {"g", "G\nTI", 's'}},
  };
  char const* const words[] = {"a", "b", "\"q t\"", ">=2000", "[1990,2000]", "#12", "and"};
  char const* const operators[] = {"AND", "OR", "NOT", "SUB", "NEAR", "ORDER", ""};
  char const* const qualifiers[] = {"/title", "/abstract", "/all", "/title,abstract", "/g",   "/OR",
                                    "/(",     "/year",     "/odd", "/author",         "/NEAR"};
  std::mt19937 rng(20261207);
  auto pick = [&](auto const& table) { return std::string(table[rng() % std::size(table)]); };
  auto expression = [&](auto& self, int depth) -> std::string {
    int r = static_cast<int>(rng() % 10);
    if (depth > 4 || r < 3) return pick(words) + (rng() % 4 == 0 ? pick(qualifiers) : "");
    if (r < 5) return "(" + self(self, depth + 1) + ")" + (rng() % 2 ? pick(qualifiers) : "");
    if (r == 5) return "NOT " + self(self, depth + 1);
    std::string joined =
        self(self, depth + 1) + " " + pick(operators) + " " + self(self, depth + 1);
    return rng() % 2 ? "(" + joined + ")" + pick(qualifiers) : joined;
  };
  char const* const damage[] = {"(", ")", "[", "]", "/", ",", "NOT "};
  for (Registry const& registry : registries) {
    for (int i = 0; i < 3000; ++i) {
      std::string text = expression(expression, 0);
      if (i % 3 == 0) text.insert(rng() % (text.size() + 1), pick(damage));
      ExpectSameWithout(&qel::expr::Routes::operand_shortcuts, registry, text);
    }
  }
}

}  // namespace analyse_test
