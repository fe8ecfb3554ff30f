#include "search/pg_query.h"

#include <cstdio>
#include <utility>

#include "platform/text/codepage.h"
#include "platform/text/mbcs.h"
#include "search/pg_schema.h"

namespace qel::search {
namespace {

constexpr std::string_view kTrue = "TRUE", kFalse = "FALSE";

// A value the comparison rules read as a number, written without an exponent and short
// enough that PostgreSQL's float8 reads it without overflow; other values are left to
// the leaf rules.
constexpr std::string_view kPlainNumber =
    "~ '^ *-?([0-9]+\\.?[0-9]*|\\.[0-9]+) *$' AND length({f}) <= 300";

std::string And(std::string const& a, std::string const& b) {
  if (a == kFalse || b == kFalse) return std::string(kFalse);
  if (a == kTrue) return b;
  if (b == kTrue) return a;
  return "(" + a + " AND " + b + ")";
}

std::string Or(std::string const& a, std::string const& b) {
  if (a == kTrue || b == kTrue) return std::string(kTrue);
  if (a == kFalse) return b;
  if (b == kFalse) return a;
  return "(" + a + " OR " + b + ")";
}

// A missing field leaves a leaf's condition NULL: under NOT it must count as false.
std::string Not(std::string const& a) {
  if (a == kTrue) return std::string(kFalse);
  if (a == kFalse) return std::string(kTrue);
  return "NOT coalesce(" + a + ", false)";
}

struct Bounds {
  std::string upper, lower;
  bool checked = false;
  int column = -1;
};

class Compiler {
 public:
  Compiler(PgColumns const& columns, PgQuery& query) : columns_(columns), query_(query) {}

  Bounds Leaf(search::Leaf const& leaf, std::string const& history) {
    using Kind = expr::LeafItem::Kind;
    Bounds b{std::string(kFalse), std::string(kFalse)};
    if (leaf.item.kind == Kind::kHistory) {
      b.upper = b.lower = "n = ANY(" + Param(history, "int4[]") + ")";
      return b;
    }
    int k = Column(leaf.item.code);
    if (k < 0) return b;  // a field no record holds
    std::string f = pg_schema::ValueColumn(static_cast<std::size_t>(k));
    b.column = k;
    switch (leaf.item.kind) {
      case Kind::kValue: {
        std::string value;
        // Every stored value is valid text: an operand that is not equals none.
        if (Utf8(leaf.item.operand, value)) b.upper = b.lower = f + " = " + Param(value, "text");
        return b;
      }
      case Kind::kComparison:
        return Comparison(leaf, f, b);
      case Kind::kText:
        return Text(leaf, k, f, b);
      default:
        return b;
    }
  }

  std::string Param(std::string value, std::string_view type) {
    query_.params.push_back(std::move(value));
    return (std::string(1, '$') += std::to_string(query_.params.size())) + "::" + std::string(type);
  }

 private:
  int Column(std::string_view code) const {
    for (std::size_t k = 0; k < columns_.codes.size(); ++k) {
      if (columns_.codes[k] == code) return static_cast<int>(k);
    }
    return -1;
  }

  static bool Utf8(std::string_view gbk, std::string& out) {
    std::string error;
    return text::GbkToUtf8(gbk, out, error);
  }

  // One side of a comparison as SQL decides it: NULL where the value is not a plain
  // number (the leaf rules then decide), nothing for a bound that is no number.
  std::string Side(Bound const& bound, std::string const& f, std::string_view op) {
    if (!bound.numeric) return {};
    char number[40];
    std::snprintf(number, sizeof number, "%.17g", bound.number);
    std::string plain(kPlainNumber);
    plain.replace(plain.find("{f}"), 3, f);
    return "CASE WHEN " + f + " " + plain + " THEN " + f + "::float8 " + std::string(op) + " " +
           Param(number, "float8") + " END";
  }

  Bounds Comparison(search::Leaf const& leaf, std::string const& f, Bounds b) {
    search::Comparison const& c = leaf.comparison;
    if (!c.valid) return b;
    b.checked = true;
    std::vector<std::string> sides;
    if (c.op <= 5) {
      static constexpr std::string_view kOps[] = {"=", ">", ">=", "<", "<=", "<>"};
      sides.push_back(Side(c.low, f, kOps[c.op]));
    } else {
      sides.push_back(Side(c.low, f, c.op == 8 || c.op == 9 ? ">=" : ">"));
      sides.push_back(Side(c.high, f, c.op == 7 || c.op == 9 ? "<=" : "<"));
    }
    b.upper = f + " IS NOT NULL";
    b.lower = std::string(kTrue);
    for (std::string const& side : sides) {
      if (side.empty()) {
        b.lower = std::string(kFalse);
        continue;
      }
      b.upper = And(b.upper, "coalesce(" + side + ", true)");
      b.lower = And(b.lower, "coalesce(" + side + ", false)");
    }
    return b;
  }

  Bounds Text(search::Leaf const& leaf, int k, std::string const& f, Bounds b) {
    if (leaf.words.empty()) return b;
    bool coded = columns_.coded[static_cast<std::size_t>(k)];
    std::string codes_column = pg_schema::CodesColumn(static_cast<std::size_t>(k));
    bool exact = leaf.words.size() == 1 &&
                 (leaf.item.text_kind != "PARA" || leaf.words[0].find('\n') == std::string::npos);
    std::vector<std::int32_t> codes;
    std::string all_codes = "{";
    std::string found;
    for (std::string const& word : leaf.words) {
      std::string utf8;
      if (!Utf8(word, utf8)) {
        // A word that is not whole text can still match bytes of a value: the rules decide.
        exact = false;
        continue;
      }
      bool has_codes = coded && pg_schema::WordCodes(word, codes) && !codes.empty();
      if (has_codes) {
        std::string text = pg_schema::ArrayText(codes);
        if (all_codes.size() > 1) all_codes += ',';
        all_codes.append(text, 1, text.size() - 2);
      }
      // A value holds the code of a character or of a pair of them exactly where it holds
      // the character or the pair: its text need not be read.
      std::size_t chars = 0;
      for (std::size_t i = 0; i < word.size(); i += text::CharLength(word, i)) ++chars;
      if (has_codes && chars <= 2) continue;
      found = And(found.empty() ? std::string(kTrue) : found,
                  "strpos(" + f + ", " + Param(utf8, "text") + ") > 0");
    }
    all_codes += '}';
    // The codes first, so that PostgreSQL looks them up in the GIN index.
    b.upper = f + " IS NOT NULL";
    if (all_codes.size() > 2) b.upper = codes_column + " @> " + Param(all_codes, "int4[]");
    if (!found.empty()) b.upper = And(b.upper, found);
    b.checked = !exact;
    b.lower = exact ? b.upper : std::string(kFalse);
    return b;
  }

  PgColumns const& columns_;
  PgQuery& query_;
};

}  // namespace

bool CompileQuery(std::string_view table, std::vector<std::string_view> const& items,
                  std::vector<Leaf> const& leaves, std::vector<std::string> const& history,
                  PgColumns const& columns, PgQuery& query, std::string& error) {
  query = PgQuery();
  Compiler compiler(columns, query);
  std::vector<Bounds> leaf_bounds;
  std::vector<std::pair<std::string, std::string>> stack;  // (upper, lower)
  bool negated = false;
  std::size_t next = 0;
  auto fail = [&](std::string_view item) {
    error = "the expression does not evaluate: '" + std::string(item) +
            "' lacks an operand or too many operands are pending";
    return false;
  };
  for (std::string_view item : items) {
    if (item == "NOT") {
      if (stack.empty()) return fail(item);
      auto& [u, l] = stack.back();
      std::string upper = Not(l);
      l = Not(u);
      u = std::move(upper);
      negated = true;
    } else if (expr::IsOperator(item)) {
      if (stack.size() < 2) return fail(item);
      auto [u2, l2] = std::move(stack.back());
      stack.pop_back();
      auto& [u1, l1] = stack.back();
      if (item == "AND") {
        u1 = And(u1, u2), l1 = And(l1, l2);
      } else if (item == "OR") {
        u1 = Or(u1, u2), l1 = Or(l1, l2);
      } else {  // SUB
        u1 = And(u1, Not(l2)), l1 = And(l1, Not(u2));
        negated = true;
      }
    } else {
      if (next >= leaves.size()) return fail(item);
      Bounds b = compiler.Leaf(leaves[next], next < history.size() ? history[next] : "{}");
      ++next;
      stack.emplace_back(b.upper, b.lower);
      leaf_bounds.push_back(std::move(b));
    }
  }
  if (stack.size() != 1) {
    error = "the expression does not evaluate: operands are left without an operator";
    return false;
  }
  std::string const& all = stack.back().first;
  query.checked.assign(leaf_bounds.size(), false);
  if (all == kFalse) return true;
  std::string from = " FROM " + std::string(table) + " WHERE ";
  auto within = [&](std::string const& condition) {
    return all == kTrue ? condition : And(condition, all);
  };
  std::vector<std::string> branches;
  query.masked = negated && all != kTrue;
  if (query.masked) branches.push_back("SELECT n, 0, NULL::text" + from + all);
  for (std::size_t i = 0; i < leaf_bounds.size(); ++i) {
    Bounds const& b = leaf_bounds[i];
    if (b.upper == kFalse) continue;
    std::string tag = std::to_string(i + 1);
    std::string where = within(b.upper);
    if (where == kFalse) continue;
    query.checked[i] = b.checked;
    std::string value = b.checked ? pg_schema::ValueColumn(static_cast<std::size_t>(b.column))
                                  : std::string("NULL::text");
    branches.push_back("SELECT n, " + tag + ", " + value + from + where);
  }
  for (std::size_t i = 0; i < branches.size(); ++i) {
    if (i > 0) query.sql += " UNION ALL ";
    query.sql += branches[i];
  }
  return true;
}

}  // namespace qel::search
