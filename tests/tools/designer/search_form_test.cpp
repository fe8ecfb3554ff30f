// The search form over the demo library, driven through a recorded surface.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "designer/search_form.h"
#include "platform/text/codepage.h"
#include "support/build_paths.h"

namespace qel::designer {
namespace designer_search_test {

// Records what the form does to its controls.
class FakeSurface : public Surface {
 public:
  std::map<std::size_t, std::string> texts;
  std::map<std::size_t, bool> checks;
  std::map<std::size_t, std::uint64_t> hits;
  std::map<std::size_t, std::string> listed;
  std::string status;
  bool error = false;
  int pick = -1;
  std::vector<std::string> offered;
  std::string record_title;
  Fields record;
  std::size_t record_number = 0, record_count = 0;
  bool closed = false;

  std::string Text(std::size_t i) override { return texts[i]; }
  void SetText(std::size_t i, std::string const& text) override { texts[i] = text; }
  bool Checked(std::size_t i) override { return checks[i]; }
  void SetHits(std::size_t i, std::uint64_t count, std::string const& expression) override {
    hits[i] = count;
    listed[i] = expression;
  }
  void Status(std::string const& text, bool e) override {
    status = text;
    error = e;
  }
  int Choose(std::string const&, std::vector<std::string> const& items) override {
    offered = items;
    return pick;
  }
  void ShowRecord(std::string const& title, Fields const& fields, std::size_t number,
                  std::size_t count) override {
    record_title = title;
    record = fields;
    record_number = number;
    record_count = count;
  }
  void Close() override { closed = true; }
};

constexpr char kAuthor[] = "\xD7\xF7\xD5\xDF";  // 作者
constexpr char kLiBai[] = "\xC0\xEE\xB0\xD7";   // 李白
constexpr char kMoon[] = "\xD4\xC2";            // 月

class DesignerSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(base + ".qel")) GTEST_SKIP() << "demo library not built";
    std::string error;
    ASSERT_TRUE(session.Open(base, error)) << error;
  }
  std::string base = qel::testing::BinaryPath("demo/poems");
  // The record view's title of hit list line n.
  std::string Label(std::uint64_t n) const { return session.Rows(n, 1).at(0).Label(); }
  SearchSession session;
  FakeSurface surface;
  // 0 expression, 1 author box, 2 search, 3 again check, 4 again, 5 clear, 6 history,
  // 7 build, 8 hit list, 9 cancel, 10 a box of the form's own
  std::vector<Binding> controls = {{"EDIT", "_SYS_ED_EXP"},
                                   {"EDIT", kAuthor},
                                   {"BUTTON", "_SYS_BT_OK"},
                                   {"CHECK", "_SYS_CK_AGAIN"},
                                   {"BUTTON", "_SYS_BT_AGAIN"},
                                   {"BUTTON", "_SYS_BT_CLEAR"},
                                   {"SMBUTTON", "_SYS_BT_HISTORY"},
                                   {"BUTTON", "_SYS_BT_BUILDEXP"},
                                   {"list", "hits"},
                                   {"BUTTON", "_SYS_BT_CANCEL"},
                                   {"EDIT", "note"}};
};

TEST_F(DesignerSearch, SearchesNarrowsOpensAndRemembers) {
  SearchForm form(session, controls, surface);
  surface.texts[0] = kMoon;
  form.Clicked(2);
  ASSERT_FALSE(surface.error) << surface.status;
  std::uint64_t all = surface.hits[8];
  ASSERT_GT(all, 10u);
  EXPECT_EQ(surface.status.rfind(std::to_string(all) + " hits in ", 0), 0u) << surface.status;

  // Within the previous result, by the button and by the check box.
  surface.texts[0] = std::string(kLiBai) + "/" + kAuthor;
  form.Clicked(4);
  ASSERT_FALSE(surface.error) << surface.status;
  std::uint64_t narrowed = surface.hits[8];
  EXPECT_GT(narrowed, 0u);
  EXPECT_LT(narrowed, all);
  EXPECT_NE(surface.status.find("#1 AND ("), std::string::npos);
  surface.checks[3] = true;
  surface.texts[0] = kMoon;
  form.Clicked(2);
  EXPECT_EQ(surface.hits[8], narrowed);

  // The first hit opens with its highlighted words marked.
  form.Opened(8, 0);
  ASSERT_FALSE(surface.record.empty());
  bool marked = false;
  for (auto const& [code, value] : surface.record) {
    marked |= value.find(std::string(kHitOpen) + kMoon) != std::string::npos;
  }
  EXPECT_TRUE(marked);
  EXPECT_EQ(surface.record_title, Label(0));
  // Fields go by their registry names, in Chinese where the registry has them.
  bool named = false;
  for (auto const& [name, value] : surface.record) named |= name == "\xCC\xE2\xC3\xFB";  // 题名
  EXPECT_TRUE(named);
  session.SetChineseNames(false);
  EXPECT_EQ(session.DisplayName(0, "TI"), "title");
  EXPECT_EQ(session.DisplayName(0, "ZZ"), "ZZ");
  EXPECT_EQ(surface.record_number, 0u);
  EXPECT_EQ(surface.record_count, surface.hits[8]);
  // The record view goes on to the next hit and back, and stops at either end.
  EXPECT_FALSE(form.OpenNext(-1));
  ASSERT_TRUE(form.OpenNext(1));
  EXPECT_EQ(surface.record_title, Label(1));
  EXPECT_EQ(surface.record_number, 1u);
  ASSERT_TRUE(form.OpenNext(-1));
  EXPECT_EQ(surface.record_title, Label(0));
  form.Opened(8, static_cast<int>(surface.hits[8]) - 1);
  EXPECT_FALSE(form.OpenNext(1));
  form.Opened(8, 100000);  // no such row: nothing
  form.Opened(0, 0);       // not a list: nothing

  // History offers each typed expression once; the pick goes back into the box.
  surface.pick = 0;
  form.Clicked(6);
  ASSERT_EQ(surface.offered.size(), 2u);
  EXPECT_EQ(surface.offered[0], std::string(kLiBai) + "/" + kAuthor);
  EXPECT_EQ(surface.texts[0], surface.offered[0]);

  form.Clicked(9);
  EXPECT_TRUE(surface.closed);
}

TEST_F(DesignerSearch, BuildsFromFieldBoxesClearsAndShowsRejections) {
  SearchForm form(session, controls, surface);
  form.Clicked(7);
  EXPECT_TRUE(surface.error);  // nothing filled in
  surface.texts[1] = std::string(" ") + kLiBai + " ";
  surface.texts[10] = "not a field";
  form.Clicked(7);
  EXPECT_EQ(surface.texts[0], std::string(kLiBai) + "/" + kAuthor);
  form.Clicked(2);
  EXPECT_FALSE(surface.error) << surface.status;
  EXPECT_GT(surface.hits[8], 0u);

  form.Clicked(5);
  EXPECT_EQ(surface.texts[0], "");
  EXPECT_EQ(surface.texts[1], "");
  EXPECT_EQ(surface.texts[10], "not a field");  // the form's own box is left alone
  EXPECT_EQ(surface.hits[8], 0u);
  EXPECT_EQ(surface.listed[8], "");

  surface.texts[0] = "AND AND (";
  form.Clicked(2);
  EXPECT_TRUE(surface.error);
  EXPECT_FALSE(surface.status.empty());
  surface.texts[0] = "   ";
  form.Clicked(2);
  EXPECT_TRUE(surface.error);
  EXPECT_EQ(surface.status, "the expression is empty");

  // A translation may put what is filled in anywhere.
  form.SetTranslator([](char const* english) {
    return std::string(english) == "%1 hits in %2 records: %3" ? "%3 | %1/%2%" : english;
  });
  surface.texts[0] = kMoon;
  form.Clicked(2);
  EXPECT_EQ(surface.status, std::string(kMoon) + " | " + std::to_string(surface.hits[8]) + "/" +
                                std::to_string(session.records()) + "%");

  SearchForm bare(session, {{"BUTTON", "_SYS_BT_OK"}}, surface);
  bare.Clicked(0);
  EXPECT_NE(surface.status.find("_SYS_ED_EXP"), std::string::npos);
}

TEST_F(DesignerSearch, ClearForgetsTheResultsAndRecordsAreCountedBeforeASearch) {
  // The demo library has no index: its records are counted when it opens.
  std::size_t records = session.records();
  EXPECT_GT(records, 5000u);
  SearchForm form(session, controls, surface);
  surface.texts[0] = kMoon;
  form.Clicked(2);
  std::string plain = surface.status.substr(0, surface.status.find(':'));
  EXPECT_EQ(plain.find(" hits in " + std::to_string(records) + " records"),
            plain.size() - (" hits in " + std::to_string(records) + " records").size())
      << surface.status;

  surface.texts[0] = std::string(kLiBai) + "/" + kAuthor;
  form.Clicked(2);
  form.Clicked(5);
  // Within the last result, after Clear: there is none, so the search is a plain one.
  surface.checks[3] = true;
  surface.texts[0] = kMoon;
  form.Clicked(2);
  ASSERT_FALSE(surface.error) << surface.status;
  EXPECT_EQ(surface.status.substr(0, surface.status.find(':')), plain);
  EXPECT_EQ(surface.status.find("#"), std::string::npos) << surface.status;
}

TEST_F(DesignerSearch, ListsEveryHitWithTitleAndContextAcrossLibraries) {
  SearchForm form(session, controls, surface);
  std::string const common = "\xD2\xBB OR \xC8\xCB";  // 一 OR 人: thousands of hits, all listed
  surface.texts[0] = common;
  form.Clicked(2);
  std::uint64_t all = surface.hits[8];
  ASSERT_GT(all, 2000u) << surface.status;
  EXPECT_EQ(surface.listed[8], common);
  std::vector<HitRow> tail = session.Rows(all - 2, 10);
  ASSERT_EQ(tail.size(), 2u);  // fewer at the end
  EXPECT_LT(tail[0].record, tail[1].record);
  EXPECT_TRUE(session.Rows(all, 1).empty());
  for (HitRow const& row : session.Rows(0, 50)) {
    EXPECT_EQ(row.number, std::to_string(row.record + 1));
    EXPECT_FALSE(row.title.empty());
    // The context holds the hit word marked, and whole characters only.
    std::size_t open = row.context.find(kHitOpen);
    ASSERT_NE(open, std::string::npos) << row.context;
    EXPECT_EQ(row.context.find(kHitClose, open), open + 3) << row.context;
    std::string text;
    std::string error;
    EXPECT_TRUE(qel::text::GbkToUtf8(row.context, text, error)) << row.context;
  }
  form.Opened(8, static_cast<int>(all - 1));  // the last hit opens too
  EXPECT_EQ(surface.record_number, all - 1);

  // Two libraries searched together: every hit of each, named by its library.
  std::string error;
  ASSERT_TRUE(session.Open({base, base}, error)) << error;
  EXPECT_EQ(session.bases().size(), 2u);
  form.Clicked(2);
  EXPECT_EQ(surface.hits[8], 2 * all);
  std::vector<HitRow> second = session.Rows(all, 1);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].library, 1u);
  EXPECT_EQ(second[0].number, "poems " + std::to_string(second[0].record + 1));

  // A library that cannot be opened is named, and the ones open stay open.
  EXPECT_FALSE(session.Open({base, base + "-missing"}, error));
  EXPECT_NE(error.find("-missing"), std::string::npos) << error;
  EXPECT_EQ(session.bases().size(), 2u);
  form.Clicked(2);
  EXPECT_EQ(surface.hits[8], 2 * all);
}

}  // namespace designer_search_test
}  // namespace qel::designer
