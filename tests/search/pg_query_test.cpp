// The statement a search over a PostgreSQL library becomes: words only as parameters,
// exact leaves answered by the server, the bound of NOT and SUB.
#include "search/pg_query.h"

#include <gtest/gtest.h>

#include "expression/leaf_item.h"
#include "qelshare/CAnalyseExpression.h"
#include "search/pg_schema.h"
#include "support/generated_library.h"

namespace qel::search {
namespace pg_query_test {

using testing::Gbk;

struct Compiled {
  bool ok = false;
  PgQuery query;
  std::string error;
};

Compiled Compile(std::string const& expression) {
  CAnalyseExpression analyser;
  for (Field const& f : testing::DemoFields())
    analyser.AddField(f.name.c_str(), f.code.c_str(), f.type);
  Compiled out;
  if (!analyser.Analyse(expression.c_str())) {
    out.error = analyser.GetError();
    return out;
  }
  std::string poland = analyser.GetPoland();
  std::vector<std::string_view> items = expr::StreamItems(poland);
  std::vector<Leaf> leaves;
  for (std::string_view item : items) {
    expr::LeafItem leaf;
    if (!expr::IsOperator(item) && expr::DecodeLeaf(item, leaf)) leaves.push_back(MakeLeaf(leaf));
  }
  PgColumns columns{{"TI", "TX", "KW", "AU", "SO", "LN"}, {true, true, true, false, false, false}};
  out.ok = CompileQuery("lib", items, leaves, {}, columns, out.query, out.error);
  return out;
}

TEST(PgQuery, WordsAndValuesReachTheServerOnlyAsParameters) {
  std::string hostile = "x';DROP--";
  Compiled c = Compile(hostile + "/title OR " + Gbk("李白") + "/author");
  ASSERT_TRUE(c.ok) << c.error;
  EXPECT_EQ(c.query.sql.find("DROP"), std::string::npos) << c.query.sql;
  EXPECT_EQ(c.query.sql.find(Gbk("李白")), std::string::npos);
  std::vector<std::string> const& p = c.query.params;
  EXPECT_NE(std::find(p.begin(), p.end(), hostile), p.end());
  EXPECT_NE(std::find(p.begin(), p.end(), "李白"), p.end());  // as UTF-8
  // Exact leaves: nothing to check on the rows.
  EXPECT_FALSE(c.query.masked);
  for (bool checked : c.query.checked) EXPECT_FALSE(checked);
}

TEST(PgQuery, LeavesSqlCannotDecideAreCheckedAndNotIsBounded) {
  Compiled near = Compile(Gbk("明月 NEAR 故乡/text"));
  ASSERT_TRUE(near.ok);
  ASSERT_EQ(near.query.checked.size(), 1u);
  EXPECT_TRUE(near.query.checked[0]);
  // Both words' pairs are looked up in the codes, and the value comes back to be checked.
  EXPECT_NE(near.query.sql.find("c2 @> "), std::string::npos) << near.query.sql;
  EXPECT_NE(near.query.sql.find(", f2 FROM"), std::string::npos) << near.query.sql;
  // Words of one or two characters are their codes; longer ones are also looked for.
  Compiled two = Compile(Gbk("明月/text")), three = Compile(Gbk("明月光/text"));
  ASSERT_TRUE(two.ok && three.ok);
  EXPECT_EQ(two.query.sql.find("strpos"), std::string::npos) << two.query.sql;
  EXPECT_NE(three.query.sql.find("strpos"), std::string::npos) << three.query.sql;
  std::vector<std::int32_t> codes;
  ASSERT_TRUE(pg_schema::WordCodes(Gbk("明月"), codes));
  EXPECT_EQ(codes.size(), 1u);  // the pair, not its characters

  Compiled sub = Compile(Gbk("春 SUB 秋 NEAR 月"));
  ASSERT_TRUE(sub.ok);
  EXPECT_TRUE(sub.query.masked);
  EXPECT_EQ(sub.query.sql.rfind("SELECT n, 0,", 0), 0u) << sub.query.sql;
  // The checked leaf under SUB cannot narrow the bound: it is that of 春 alone.
  EXPECT_EQ(sub.query.sql.find("NOT coalesce"), std::string::npos) << sub.query.sql;

  // A numeric comparison is decided for plain numbers, the rest left to the rules.
  Compiled lines = Compile(">=4/lines");
  ASSERT_TRUE(lines.ok);
  EXPECT_TRUE(lines.query.checked[0]);
  EXPECT_NE(lines.query.sql.find("f6::float8 >= $1::float8"), std::string::npos) << lines.query.sql;

  // NOT of an exact leaf is exact: the bound is the records without the word.
  Compiled all = Compile(Gbk("NOT 春/title"));
  ASSERT_TRUE(all.ok);
  EXPECT_TRUE(all.query.masked);
  EXPECT_NE(all.query.sql.find("WHERE NOT coalesce(c1 @> "), std::string::npos) << all.query.sql;

  // A field no column holds matches nothing, and a leaf that cannot hit asks nothing.
  PgQuery q;
  std::string error;
  Leaf leaf = MakeLeaf({expr::LeafItem::kValue, "ZZ", "", "", 0, "x", 0});
  std::vector<std::string_view> items = {"ZZ\nx"};
  ASSERT_TRUE(CompileQuery("lib", items, {leaf}, {}, {{"TI"}, {true}}, q, error));
  EXPECT_TRUE(q.sql.empty());
  std::vector<std::string_view> dangling = {"ZZ\nx", "AND"};
  EXPECT_FALSE(CompileQuery("lib", dangling, {leaf}, {}, {{"TI"}, {true}}, q, error));
}

TEST(PgQuery, CodesOfValuesHoldTheCodesOfEveryWordInThem) {
  std::string value = Gbk("床前明月光，疑是地上霜。a丂b");
  std::vector<std::int32_t> all, word;
  pg_schema::ValueCodes(value, all);
  for (char const* w : {"床", "明月", "地上霜", "a丂b", "丂", "，疑"}) {
    ASSERT_TRUE(pg_schema::WordCodes(Gbk(w), word)) << w;
    for (std::int32_t code : word) {
      EXPECT_TRUE(std::binary_search(all.begin(), all.end(), code)) << w;
    }
  }
  EXPECT_FALSE(pg_schema::WordCodes("a\x81", word));
  EXPECT_TRUE(pg_schema::ValidTableName("poems_2"));
  for (char const* bad :
       {"", "Poems", "2poems", "po-ems", "poems;", "a234567890123456789012345678901234"})
    EXPECT_FALSE(pg_schema::ValidTableName(bad)) << bad;
}

}  // namespace pg_query_test
}  // namespace qel::search
