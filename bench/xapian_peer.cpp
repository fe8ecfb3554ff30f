// The peer of bench_index.sh: the same records indexed by Xapian with its CJK n-gram
// option, and the same queries in Xapian's syntax.
//
//   xapian_peer build DB SOURCE.jsonl      index the records; prints the seconds taken
//   xapian_peer query DB RUNS QUERY...     prints, per query, its hits and median ms
//
// Fields: title (prefix XT), text (XX), both also unprefixed for words without a field,
// author as a boolean term (A), lines as value 0 for ranges "lines:4..8".
#include <xapian.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::string Text(nlohmann::json const& record, char const* key) {
  auto it = record.find(key);
  if (it == record.end() || it->is_null()) return {};
  if (it->is_string()) return it->get<std::string>();
  if (it->is_array()) {
    std::string out;
    for (auto const& line : *it) out += line.get<std::string>() + "\n";
    return out;
  }
  return it->dump();
}

int Build(std::string const& db_path, std::string const& source) {
  auto start = std::chrono::steady_clock::now();
  Xapian::WritableDatabase db(db_path, Xapian::DB_CREATE_OR_OVERWRITE);
  Xapian::TermGenerator terms;
  terms.set_flags(Xapian::TermGenerator::FLAG_CJK_NGRAM);
  std::ifstream in(source);
  std::string line;
  while (std::getline(in, line)) {
    nlohmann::json record = nlohmann::json::parse(line);
    Xapian::Document doc;
    terms.set_document(doc);
    std::string title = Text(record, "title"), text = Text(record, "text");
    terms.index_text(title, 1, "XT");
    terms.index_text(text, 1, "XX");
    terms.increase_termpos();
    terms.index_text(title);
    terms.increase_termpos();
    terms.index_text(text);
    std::string author = Text(record, "author");
    if (!author.empty()) doc.add_boolean_term("A" + author);
    std::string lines = Text(record, "lines");
    if (!lines.empty()) doc.add_value(0, Xapian::sortable_serialise(std::stod(lines)));
    db.add_document(doc);
  }
  db.commit();
  db.close();
  std::printf("%.3f\n", Seconds(start));
  return 0;
}

int Query(std::string const& db_path, int runs, std::vector<std::string> const& queries) {
  Xapian::Database db(db_path);
  Xapian::QueryParser parser;
  parser.set_database(db);
  parser.add_prefix("title", "XT");
  parser.add_prefix("text", "XX");
  parser.add_boolean_prefix("author", "A");
  Xapian::NumberRangeProcessor lines(0, "lines:");
  parser.add_rangeprocessor(&lines);
  unsigned flags = Xapian::QueryParser::FLAG_DEFAULT | Xapian::QueryParser::FLAG_CJK_NGRAM;
  for (std::string const& q : queries) {
    std::vector<double> ms;
    Xapian::doccount hits = 0;
    for (int r = 0; r < runs; ++r) {
      auto start = std::chrono::steady_clock::now();
      Xapian::Enquire enquire(db);
      enquire.set_query(parser.parse_query(q, flags));
      enquire.set_weighting_scheme(Xapian::BoolWeight());
      // All matches counted exactly, as qel search counts them.
      Xapian::MSet set = enquire.get_mset(0, 10, db.get_doccount());
      hits = set.get_matches_estimated();
      ms.push_back(Seconds(start) * 1000);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%u %.3f\n", hits, ms[ms.size() / 2]);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 3 && args[0] == "build") return Build(args[1], args[2]);
    if (args.size() >= 4 && args[0] == "query") {
      return Query(args[1], std::stoi(args[2]), {args.begin() + 3, args.end()});
    }
  } catch (Xapian::Error const& e) {
    std::cerr << "xapian_peer: " << e.get_description() << "\n";
    return 3;
  }
  std::cerr << "usage: xapian_peer build DB SOURCE.jsonl | query DB RUNS QUERY...\n";
  return 2;
}
