// CAnalyseExpression::Analyse against Xapian's QueryParser in the same run.
//
// Short: the worked example computer network/title AND >=2000/year, and Xapian parsing
// title:computer title:network AND year:2000.. (field prefixes, a number range, AND as
// the default operator). Long: an expression of 20,000 tokens (words joined by AND and
// OR, bracketed groups, qualifiers for a text field, a keyword field and a comparison
// field) and its Xapian equivalent. Both sides build their whole result (postfix stream
// and highlight keys; a Xapian::Query). Mix: 20,000 queries of the shapes people type,
// by shape and all together, each written in both syntaxes.
#include <benchmark/benchmark.h>
#include <xapian.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "expression/analyse_state.h"
#include "qelshare/CAnalyseExpression.h"

namespace {

void Register(CAnalyseExpression& e) {
  e.AddField("all", "TI\nKW", 's');
  e.AddField("title", "TI", 'S');
  e.AddField("keyword", "KW", 'F');
  e.AddField("year", "PY", 'N');
}

Xapian::QueryParser MakeParser(Xapian::NumberRangeProcessor& years) {
  Xapian::QueryParser qp;
  qp.add_prefix("title", "S");
  qp.add_prefix("keyword", "K");
  qp.add_rangeprocessor(&years);
  qp.set_default_op(Xapian::Query::OP_AND);
  return qp;
}

constexpr unsigned kFlags = Xapian::QueryParser::FLAG_BOOLEAN | Xapian::QueryParser::FLAG_PHRASE |
                            Xapian::QueryParser::FLAG_LOVEHATE;

// The long expression and its Xapian form: repeated units of 18 tokens (DEFAULT and the
// joining operator included), such as
// (w1 OR w2)/title AND k3/keyword OR >=1990/year AND
std::pair<std::string, std::string> LongQueries(int tokens) {
  std::string ours, theirs;
  for (int i = 0; tokens > 0; ++i, tokens -= 18) {
    std::string n = std::to_string(i);
    if (i > 0) {
      ours += i % 2 ? " AND " : " OR ";
      theirs += i % 2 ? " AND " : " OR ";
    }
    ours += "(w" + n + "a OR w" + n + "b)/title AND k" + n +
            "/keyword OR >=" + std::to_string(1900 + i % 100) + "/year AND c" + n;
    theirs += "(title:w" + n + "a OR title:w" + n + "b) AND keyword:k" + n +
              " OR year:" + std::to_string(1900 + i % 100) + ".. AND c" + n;
  }
  return {ours, theirs};
}

void BM_Short_Analyse(benchmark::State& state) {
  CAnalyseExpression e;
  Register(e);
  for (auto _ : state) {
    int r = e.Analyse("computer network/title AND >=2000/year");
    benchmark::DoNotOptimize(r);
    benchmark::DoNotOptimize(e.m_strPoland.data());
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Short_XapianQueryParser(benchmark::State& state) {
  Xapian::NumberRangeProcessor years(0, "year:");
  Xapian::QueryParser qp = MakeParser(years);
  for (auto _ : state) {
    Xapian::Query q = qp.parse_query("title:computer title:network AND year:2000..", kFlags);
    benchmark::DoNotOptimize(q.get_length());
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Long_Analyse(benchmark::State& state) {
  CAnalyseExpression e;
  Register(e);
  std::string expression = LongQueries(20000).first;
  e.Analyse(expression.c_str());
  state.counters["tokens"] = e.m_arrKeyStream.GetSize();
  for (auto _ : state) {
    int r = e.Analyse(expression.c_str());
    if (r != 1) state.SkipWithError(e.GetError().c_str());
    benchmark::DoNotOptimize(e.m_strPoland.data());
  }
}

void BM_Long_XapianQueryParser(benchmark::State& state) {
  Xapian::NumberRangeProcessor years(0, "year:");
  Xapian::QueryParser qp = MakeParser(years);
  std::string query = LongQueries(20000).second;
  for (auto _ : state) {
    Xapian::Query q = qp.parse_query(query, kFlags);
    benchmark::DoNotOptimize(q.get_length());
  }
}

// The mix: queries of eight shapes, each with its Xapian form. Words are drawn from a
// vocabulary of 2,000, comparison values from a century of years.
enum Shape {
  kWords,
  kChains,
  kQualified,
  kFieldLists,
  kProximity,
  kNotSub,
  kRanges,
  kNested,
  kShapes
};
constexpr std::array<char const*, kShapes> kShapeNames = {
    "words", "chains", "qualified", "field_lists", "near_order", "not_sub", "ranges", "nested"};

struct Query {
  std::string ours;
  std::string theirs;
};

std::vector<Query> MakeMix(Shape shape, int count, unsigned seed) {
  std::mt19937 rng(seed);
  auto word = [&] { return "w" + std::to_string(rng() % 2000); };
  auto year = [&] { return std::to_string(1900 + rng() % 100); };
  std::vector<Query> out;
  for (int i = 0; i < count; ++i) {
    Query q;
    std::string a = word(), b = word(), c = word(), d = word();
    switch (shape) {
      case kWords:
        q = {a, a};
        break;
      case kChains:
        q = {a + " " + b + " " + c, a + " " + b + " " + c};
        break;
      case kQualified:
        q = i % 2 ? Query{a + "/title", "title:" + a}
                  : Query{"(" + a + " OR " + b + ")/title AND " + c + "/keyword",
                          "(title:" + a + " OR title:" + b + ") AND keyword:" + c};
        break;
      case kFieldLists:
        q = {a + " " + b + "/title,keyword",
             "(title:" + a + " OR keyword:" + a + ") AND (title:" + b + " OR keyword:" + b + ")"};
        break;
      case kProximity:
        q = i % 2 ? Query{a + " NEAR " + b + " NEAR " + c + "/title",
                          "title:" + a + " NEAR title:" + b + " NEAR title:" + c}
                  : Query{a + " ORDER " + b + "/title", "title:" + a + " ADJ title:" + b};
        break;
      case kNotSub:
        q = i % 2 ? Query{a + " NOT " + b, a + " AND NOT " + b}
                  : Query{a + " AND NOT " + b + "/title SUB " + c,
                          a + " AND NOT title:" + b + " AND NOT " + c};
        break;
      case kRanges: {
        std::string y1 = year(), y2 = year();
        q = i % 2 ? Query{">=" + y1 + "/year AND " + a, "year:" + y1 + ".. AND " + a}
                  : Query{"[" + y1 + "," + y2 + "]/year", "year:" + y1 + ".." + y2};
        break;
      }
      case kNested:
        q = {"((" + a + " OR " + b + ") AND (" + c + " OR (" + d + " AND " + a + ")))/title",
             "((title:" + a + " OR title:" + b + ") AND (title:" + c + " OR (title:" + d +
                 " AND title:" + a + ")))"};
        break;
      case kShapes:
        break;
    }
    out.push_back(std::move(q));
  }
  return out;
}

// 2,500 queries of one shape, or all eight shapes interleaved (20,000).
std::vector<Query> const& Mix(int shape) {
  static std::array<std::vector<Query>, kShapes + 1> mixes;
  auto& mix = mixes[shape];
  if (!mix.empty()) return mix;
  if (shape < kShapes) {
    mix = MakeMix(static_cast<Shape>(shape), 2500, 15 + shape);
  } else {
    for (int i = 0; i < 2500; ++i) {
      for (int k = 0; k < kShapes; ++k) mix.push_back(Mix(k)[i]);
    }
  }
  return mix;
}

void MixLabel(benchmark::State& state, std::size_t queries) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * queries));
  state.SetLabel(state.range(0) < kShapes ? kShapeNames[state.range(0)] : "all");
}

void BM_Mix_Analyse(benchmark::State& state) {
  CAnalyseExpression e;
  Register(e);
  auto const& mix = Mix(static_cast<int>(state.range(0)));
  for (auto const& q : mix) {
    if (e.Analyse(q.ours.c_str()) != 1) {
      state.SkipWithError(("rejected: " + q.ours).c_str());
      return;
    }
  }
  for (auto _ : state) {
    for (auto const& q : mix) {
      benchmark::DoNotOptimize(e.Analyse(q.ours.c_str()));
      benchmark::DoNotOptimize(e.m_strPoland.data());
    }
  }
  MixLabel(state, mix.size());
}

void BM_Mix_XapianQueryParser(benchmark::State& state) {
  Xapian::NumberRangeProcessor years(0, "year:");
  Xapian::QueryParser qp = MakeParser(years);
  auto const& mix = Mix(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    for (auto const& q : mix) {
      Xapian::Query parsed = qp.parse_query(q.theirs, kFlags);
      benchmark::DoNotOptimize(parsed.get_length());
    }
  }
  MixLabel(state, mix.size());
}

// Each shortcut of the analysis turned off in turn, on the whole mix, the long expression
// and the qualified-groups hostile input (each ends where the general route does): the
// gain that keeps a shortcut. 0: all on; 1: no default-field shortcut (plain words and
// operands without a qualifier take the general route); 2: no qualified-operand
// shortcut; 3: every token range through the token index (no direct scan).
qel::expr::Routes RoutesOf(int which) {
  qel::expr::Routes routes;
  if (which == 1) routes.default_shortcuts = false;
  if (which == 2) routes.operand_shortcuts = false;
  if (which == 3) routes.direct_scan_limit = 0;
  return routes;
}
constexpr char const* kRouteNames[] = {"all shortcuts", "no default-field shortcut",
                                       "no qualified-operand shortcut", "no direct scan"};

void BM_Routes_Mix(benchmark::State& state) {
  CAnalyseExpression e;
  Register(e);
  qel::expr::Seams::SetRoutes(e, RoutesOf(static_cast<int>(state.range(0))));
  auto const& mix = Mix(kShapes);
  for (auto _ : state) {
    for (auto const& q : mix) {
      benchmark::DoNotOptimize(e.Analyse(q.ours.c_str()));
      benchmark::DoNotOptimize(e.m_strPoland.data());
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * mix.size()));
  state.SetLabel(kRouteNames[state.range(0)]);
}

void BM_Routes_Long(benchmark::State& state) {
  CAnalyseExpression e;
  Register(e);
  qel::expr::Seams::SetRoutes(e, RoutesOf(static_cast<int>(state.range(0))));
  std::string expression = LongQueries(20000).first;
  for (auto _ : state) benchmark::DoNotOptimize(e.Analyse(expression.c_str()));
  state.SetLabel(kRouteNames[state.range(0)]);
}

void BM_Routes_QualifiedGroups(benchmark::State& state) {
  std::string text;
  while (text.size() < (std::size_t{1} << 20)) text += "(a OR b)/title ";
  for (auto _ : state) {
    CAnalyseExpression e;
    Register(e);
    qel::expr::Seams::SetRoutes(e, RoutesOf(static_cast<int>(state.range(0))));
    benchmark::DoNotOptimize(e.Analyse(text.c_str()));
  }
  state.SetLabel(kRouteNames[state.range(0)]);
}

// Hostile inputs: one unit repeated to a mebibyte, analysed from scratch by a fresh
// object each time (result 0 or 1). Goal: well under a second each.
void BM_Hostile_Analyse(benchmark::State& state, std::string unit) {
  std::string text;
  while (text.size() < (std::size_t{1} << 20)) text += unit;
  for (auto _ : state) {
    CAnalyseExpression e;
    Register(e);
    int r = e.Analyse(text.c_str());
    benchmark::DoNotOptimize(r);
  }
}

BENCHMARK(BM_Short_Analyse);
BENCHMARK(BM_Short_XapianQueryParser);
BENCHMARK(BM_Long_Analyse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Long_XapianQueryParser)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mix_Analyse)->DenseRange(0, kShapes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mix_XapianQueryParser)->DenseRange(0, kShapes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile_Analyse, words, std::string("a "))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile_Analyse, quotes, std::string("\""))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile_Analyse, and_chain, std::string("a AND "))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile_Analyse, open_brackets, std::string("("))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile_Analyse, qualified_groups, std::string("(a OR b)/title "))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile_Analyse, proximity, std::string("x NEAR "))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Hostile_Analyse, slashes, std::string("a/"))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Routes_Mix)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Routes_Long)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Routes_QualifiedGroups)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
