// CAnalyseExpression::Analyse against Xapian's QueryParser in the same run.
//
// Short: the worked example computer network/title AND >=2000/year, and Xapian parsing
// title:computer title:network AND year:2000.. (field prefixes, a number range, AND as
// the default operator). Long: an expression of 20,000 tokens (words joined by AND and
// OR, bracketed groups, qualifiers for a text field, a keyword field and a comparison
// field) and its Xapian equivalent. Both sides build their whole result (postfix stream
// and highlight keys; a Xapian::Query).
#include <benchmark/benchmark.h>
#include <xapian.h>

#include <string>

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

}  // namespace

BENCHMARK_MAIN();
