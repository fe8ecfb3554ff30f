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

BENCHMARK(BM_Short_Analyse);
BENCHMARK(BM_Short_XapianQueryParser);
BENCHMARK(BM_Long_Analyse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Long_XapianQueryParser)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
