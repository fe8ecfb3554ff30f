// The search form over the demo library, driven through a recorded surface.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "designer/search_form.h"
#include "support/build_paths.h"

namespace qel::designer {
namespace designer_search_test {

// Records what the form does to its controls.
class FakeSurface : public Surface {
 public:
  std::map<std::size_t, std::string> texts;
  std::map<std::size_t, bool> checks;
  std::map<std::size_t, std::vector<std::string>> rows;
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
  void SetRows(std::size_t i, std::vector<std::string> const& r) override { rows[i] = r; }
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
    std::string base = qel::testing::BinaryPath("demo/poems");
    if (!std::filesystem::exists(base + ".qel")) GTEST_SKIP() << "demo library not built";
    std::string error;
    ASSERT_TRUE(session.Open(base, error)) << error;
  }
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
  std::size_t all = surface.rows[8].size();
  ASSERT_GT(all, 10u);
  EXPECT_EQ(surface.status.rfind(std::to_string(all) + " hits in ", 0), 0u) << surface.status;

  // Within the previous result, by the button and by the check box.
  surface.texts[0] = std::string(kLiBai) + "/" + kAuthor;
  form.Clicked(4);
  ASSERT_FALSE(surface.error) << surface.status;
  std::size_t narrowed = surface.rows[8].size();
  EXPECT_GT(narrowed, 0u);
  EXPECT_LT(narrowed, all);
  EXPECT_NE(surface.status.find("#1 AND ("), std::string::npos);
  surface.checks[3] = true;
  surface.texts[0] = kMoon;
  form.Clicked(2);
  EXPECT_EQ(surface.rows[8].size(), narrowed);

  // The first hit opens with its highlighted words marked.
  form.Opened(8, 0);
  ASSERT_FALSE(surface.record.empty());
  bool marked = false;
  for (auto const& [code, value] : surface.record) {
    marked |= value.find(std::string(SearchForm::kOpen) + kMoon) != std::string::npos;
  }
  EXPECT_TRUE(marked);
  EXPECT_EQ(surface.record_title, surface.rows[8][0]);
  // Fields go by their registry names, in Chinese where the registry has them.
  bool named = false;
  for (auto const& [name, value] : surface.record) named |= name == "\xCC\xE2\xC3\xFB";  // 题名
  EXPECT_TRUE(named);
  session.SetChineseNames(false);
  EXPECT_EQ(session.DisplayName("TI"), "title");
  EXPECT_EQ(session.DisplayName("ZZ"), "ZZ");
  EXPECT_EQ(surface.record_number, 0u);
  EXPECT_EQ(surface.record_count, surface.rows[8].size());
  // The record view goes on to the next hit and back, and stops at either end.
  EXPECT_FALSE(form.OpenNext(-1));
  ASSERT_TRUE(form.OpenNext(1));
  EXPECT_EQ(surface.record_title, surface.rows[8][1]);
  EXPECT_EQ(surface.record_number, 1u);
  ASSERT_TRUE(form.OpenNext(-1));
  EXPECT_EQ(surface.record_title, surface.rows[8][0]);
  form.Opened(8, static_cast<int>(surface.rows[8].size()) - 1);
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
  EXPECT_FALSE(surface.rows[8].empty());

  form.Clicked(5);
  EXPECT_EQ(surface.texts[0], "");
  EXPECT_EQ(surface.texts[1], "");
  EXPECT_EQ(surface.texts[10], "not a field");  // the form's own box is left alone
  EXPECT_TRUE(surface.rows[8].empty());

  surface.texts[0] = "AND AND (";
  form.Clicked(2);
  EXPECT_TRUE(surface.error);
  EXPECT_FALSE(surface.status.empty());
  surface.texts[0] = "   ";
  form.Clicked(2);
  EXPECT_TRUE(surface.error);
  EXPECT_EQ(surface.status, "the expression is empty");

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

}  // namespace designer_search_test
}  // namespace qel::designer
