// The postfix stream of a search compiled to one SQL statement over a library kept in
// PostgreSQL (pg_schema.h).
//
// Each leaf has an upper bound U (a condition every record it hits meets) and a lower bound
// L (one that only records it hits meet); a leaf SQL decides exactly has U = L: words (a
// GIN look-up of their codes, then strpos), values, earlier results, numeric comparisons
// of numeric values. The stream's own bound U_all follows from them (AND and OR keep their
// operands' bounds, NOT swaps them). The statement is a UNION ALL of branches, each
// answering (n, tag, value) rows, so that PostgreSQL (and postgres_fdw, shard by shard)
// returns only record numbers and the few values to check:
//
//   tag 0      the records meeting U_all (only when the stream has NOT or SUB: a record
//              outside them is no hit even where NOT turns a leaf's absence into one)
//   tag i + 1  leaf i: the records it hits among U_all (exact leaves), or its candidates
//              among U_all with the field value for the leaf rules (checked leaves)
//
// Every word, value and operand is a bound parameter; the statement's text holds only the
// table's and columns' names, numbers and constant patterns.
#ifndef QELSHARE_SEARCH_PG_QUERY_H_
#define QELSHARE_SEARCH_PG_QUERY_H_

#include <string>
#include <string_view>
#include <vector>

#include "search/leaf_rules.h"

namespace qel::search {

// The field columns of a library: column k (f(k+1)) holds code codes[k] and has a codes
// column when coded[k].
struct PgColumns {
  std::vector<std::string> codes;  // GBK
  std::vector<bool> coded;
};

struct PgQuery {
  std::string sql;                  // empty when no record can hit
  std::vector<std::string> params;  // $1, $2 ...
  bool masked = false;              // tag 0 rows bound the hits
  std::vector<bool> checked;        // per leaf: its rows carry a value to match
};

// Compiles items (the stream without CRs) with their decoded leaves in stream order.
// history[i] is the int4[] text of the records of leaf i when it refers to an earlier
// result. False with error for a stream that does not evaluate.
bool CompileQuery(std::string_view table, std::vector<std::string_view> const& items,
                  std::vector<Leaf> const& leaves, std::vector<std::string> const& history,
                  PgColumns const& columns, PgQuery& query, std::string& error);

}  // namespace qel::search

#endif  // QELSHARE_SEARCH_PG_QUERY_H_
