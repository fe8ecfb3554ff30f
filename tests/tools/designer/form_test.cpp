// The designer's model: reading and saving forms, undo, selection, mirrored drags, the
// order view and the style words of each kind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "designer/description_check.h"
#include "designer/design.h"
#include "designer/form.h"
#include "support/build_paths.h"
#include "support/temp_tree.h"
#include "support/write_faults.h"

namespace qel::designer {
namespace designer_form_test {

// Takes lines that start with a known kind and a comma, as a stand-in for DoCreate.
bool Check(std::string const& line, std::string& reason) {
  for (std::string_view kind : Kinds()) {
    if (line.rfind(std::string(kind) + ",", 0) == 0) return true;
  }
  reason = "unknown kind";
  return false;
}

std::string ReadAll(std::filesystem::path const& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(DesignerForm, ReadsLinesSkipsRejectedOnesAndRefusesNonForms) {
  Form form;
  std::vector<Skipped> skipped;
  std::string error;
  ASSERT_TRUE(
      form.Parse("EDIT,\"\",1,2,3,4,\"\",\"\",\r\n\r\nWHAT,x\nBUTTON,\"ok\",0,0,9,9,\"\",\"\"",
                 Check, skipped, error));
  ASSERT_EQ(form.lines().size(), 2u);
  EXPECT_EQ(form.lines()[0], "EDIT,\"\",1,2,3,4,\"\",\"\",");  // CR dropped
  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0].number, 3u);  // the empty line still counts
  EXPECT_EQ(skipped[0].text, "WHAT,x");
  EXPECT_EQ(skipped[0].reason, "unknown kind");
  EXPECT_FALSE(form.modified());

  Form other;
  EXPECT_FALSE(other.Parse(std::string("EDIT,\"\",1\0\x01", 11), Check, skipped, error));
  EXPECT_NE(error.find("binary"), std::string::npos);
  EXPECT_FALSE(other.Parse("hello\nworld\n", Check, skipped, error));
  EXPECT_NE(error.find("line 1: unknown kind"), std::string::npos);
  EXPECT_EQ(skipped.size(), 2u);
  EXPECT_FALSE(other.Parse("\n\r\n", Check, skipped, error));
  EXPECT_TRUE(other.lines().empty());
}

TEST(DesignerForm, ChecksLinesWithTheControlsGrammar) {
  std::string reason;
  EXPECT_TRUE(CheckDescription("list,\"\",0,0,9,9,\"\",\"\"", reason));
  EXPECT_TRUE(CheckDescription("EDIT,\"a\"b\",1,2,3,4,\"m\",\"h\",3D|RICH", reason));
  EXPECT_FALSE(CheckDescription("EDIT", reason));
  EXPECT_EQ(reason, "no \",\" after the control kind");
  EXPECT_FALSE(CheckDescription("EDIT,\"never closed", reason));
  EXPECT_FALSE(CheckDescription("SLIDER,\"\",0,0,9,9,\"\",\"\"", reason));
  EXPECT_EQ(reason, "unknown control kind \"SLIDER\"");
  EXPECT_FALSE(CheckDescription(",\"\",0,0,9,9,\"\",\"\"", reason));
  EXPECT_FALSE(CheckDescription(std::string(1 << 20, '\xB0'), reason));

  // The demo form: every line makes a control, and every kind is used.
  Form form;
  std::vector<Skipped> skipped;
  std::string error;
  ASSERT_TRUE(
      form.Load(qel::testing::SourcePath("sample/search.frm"), CheckDescription, skipped, error))
      << error;
  EXPECT_TRUE(skipped.empty());
  for (std::string_view kind : Kinds()) {
    bool used = false;
    for (std::string const& line : form.lines())
      used |= line.rfind(std::string(kind) + ",", 0) == 0;
    EXPECT_TRUE(used) << kind;
  }
}

// The geometry of the Format menu, the grid and new controls' places.
TEST(DesignerDesign, ArrangesSnapsAndFindsFreeSpace) {
  std::vector<Rect> rects = {{10, 10, 100, 20}, {50, 60, 80, 24}, {5, 120, 200, 100}};
  EXPECT_EQ(Arrange(rects, {0, 1}, 1, Arrangement::kAlignRight)[0], (Rect{30, 10, 100, 20}));
  EXPECT_EQ(Arrange(rects, {0, 1}, 1, Arrangement::kAlignBottom)[0], (Rect{10, 64, 100, 20}));
  EXPECT_EQ(Arrange(rects, {0, 1, 2}, 0, Arrangement::kSameSize)[2], (Rect{5, 120, 100, 20}));
  EXPECT_EQ(Arrange(rects, {0, 2}, 0, Arrangement::kSameHeight)[1], rects[1]);  // unselected
  // Aligned past the left edge, a control stays where it can be grabbed.
  EXPECT_EQ(Arrange(rects, {0, 2}, 0, Arrangement::kAlignRight)[2].x, 0);
  EXPECT_EQ(Arrange(rects, {0}, 7, Arrangement::kAlignLeft), rects);  // no active control

  EXPECT_EQ(Snap({13, 11, 5, 5}), (Rect{16, 8, 5, 5}));
  EXPECT_EQ(Snap({-3, 3, 5, 5}), (Rect{0, 0, 5, 5}));

  EXPECT_EQ(FreeSpot({}, 50, 20, 300), (std::pair<int, int>{8, 8}));
  // Beside the first control when it leaves room, else below everything.
  EXPECT_EQ(FreeSpot({{8, 8, 100, 20}}, 50, 20, 300), (std::pair<int, int>{120, 8}));
  EXPECT_EQ(FreeSpot({{8, 8, 280, 20}}, 50, 20, 300), (std::pair<int, int>{8, 40}));
  EXPECT_EQ(FreeSpot({{0, 0, 1000, 1000}}, 50, 20, 300), (std::pair<int, int>{8, 1008}));
  // The list takes the room beyond the form; what lies right of or below it moves along.
  std::vector<Rect> form = {
      {10, 10, 100, 20}, {10, 40, 300, 200}, {320, 40, 80, 24}, {200, 250, 80, 24}};
  std::vector<Rect> wide = Stretch(form, 1, 100, 50);
  EXPECT_EQ(wide[1], (Rect{10, 40, 400, 250}));
  EXPECT_EQ(wide[0], form[0]);
  EXPECT_EQ(wide[2], (Rect{420, 40, 80, 24}));
  EXPECT_EQ(wide[3], (Rect{200, 300, 80, 24}));
  EXPECT_EQ(Stretch(form, 1, -5, -5), form);  // a smaller window: the form as it is
  EXPECT_EQ(Stretch(form, kNone, 100, 50), form);
  auto [w, h] = NewSize("edit");
  EXPECT_EQ(NewLine("edit", 8, 8), "EDIT,\"\",8,8," + std::to_string(w - 1) + "," +
                                       std::to_string(h - 1) + ",\"\",\"\",3D");
}

TEST(DesignerDesign, SystemMarksSuitTheirKinds) {
  EXPECT_TRUE(MarkFitsKind("_SYS_ED_EXP", "edit"));
  EXPECT_FALSE(MarkFitsKind("_SYS_ED_EXP", "BUTTON"));
  EXPECT_TRUE(MarkFitsKind("_SYS_BT_OK", "BUTTON"));
  EXPECT_TRUE(MarkFitsKind("_SYS_BT_HISTORY", "SMBUTTON"));
  EXPECT_FALSE(MarkFitsKind("_SYS_BT_OK", "CHECK"));
  EXPECT_TRUE(MarkFitsKind("_SYS_CK_AGAIN", "CHECK"));
  EXPECT_TRUE(MarkFitsKind("_SYS_STATIC", "GROUP"));
  EXPECT_FALSE(MarkFitsKind("_SYS_STATIC", "LIST"));
  EXPECT_TRUE(MarkFitsKind("hits", "LIST"));  // a mark of the form's own
}

TEST(DesignerForm, TellsTheControlsRulesFromCorrections) {
  // A combo box's height is its dropped list's, whatever the line says.
  EXPECT_TRUE(ReadAsWritten("COMBO,\"\",6,8,250,21,\"m\",\"h\",3D",
                            "COMBO,\"\",6,8,250,119,\"m\",\"h\",3D"));
  EXPECT_FALSE(ReadAsWritten("COMBO,\"\",6,8,250,21,\"m\",\"h\",3D",
                             "COMBO,\"\",7,8,250,119,\"m\",\"h\",3D"));
  // Values the controls had to correct.
  EXPECT_FALSE(
      ReadAsWritten("EDIT,\"\",10,10,-50,19,\"\",\"\",", "EDIT,\"\",10,10,0,19,\"\",\"\","));
  EXPECT_FALSE(
      ReadAsWritten("EDIT,\"\",abc,10,50,19,\"\",\"\",", "EDIT,\"\",0,10,50,19,\"\",\"\","));
  EXPECT_TRUE(ReadAsWritten("EDIT,\"\",1,2,3,4,\"\",\"\",", "EDIT,\"\",1,2,3,4,\"\",\"\","));
}

TEST(DesignerForm, SavesThroughATemporaryFileAndKeepsTheOldOneOnFailure) {
  qel::testing::TempTree tree;
  std::filesystem::path const dir = tree.path();
  auto path = dir / "a.frm";
  { std::ofstream(path, std::ios::binary) << "TEXT,\"\xCE\xC4\",0,0,9,9,\"\",\"\",\n"; }
  Form form;
  std::vector<Skipped> skipped;
  std::string error;
  ASSERT_TRUE(form.Load(path.string(), Check, skipped, error)) << error;
  form.Add("LIST,\"\",0,20,99,99,\"\",\"\",3D");
  EXPECT_TRUE(form.modified());
  ASSERT_TRUE(form.Save(path.string(), error)) << error;
  // The file's LF line ends are kept for the new line.
  EXPECT_EQ(ReadAll(path),
            "TEXT,\"\xCE\xC4\",0,0,9,9,\"\",\"\",\nLIST,\"\",0,20,99,99,\"\",\"\",3D\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);

  // A file that cannot be written in its place: the target is a directory.
  EXPECT_FALSE(form.Save(dir.string(), error));
  EXPECT_NE(error.find(dir.string()), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_directory(dir));
  EXPECT_FALSE(form.Load((dir / "missing.frm").string(), Check, skipped, error));
  EXPECT_NE(error.find("missing.frm"), std::string::npos);
}

TEST(DesignerForm, SavesOnlyWhatChangedWhereItStands) {
  Form form;
  std::vector<Skipped> skipped;
  std::string error;
  std::string file =
      "\r\nEDIT,\"\",1,2,3,4,\"\",\"\",\r\nWHAT,x\r\nBUTTON,\"ok\",0,0,9,9,\"\",\"\"\r\n"
      "LIST,\"\",5,5,9,9,\"\",\"\",\r\n\r\nend of form";
  ASSERT_TRUE(form.Parse(file, Check, skipped, error)) << error;
  // The controls read the button with its empty style written out.
  std::vector<Corrected> corrected =
      form.Normalize({"EDIT,\"\",1,2,3,4,\"\",\"\",", "BUTTON,\"ok\",0,0,9,9,\"\",\"\",",
                      "LIST,\"\",5,5,9,9,\"\",\"\","});
  ASSERT_EQ(corrected.size(), 1u);
  EXPECT_EQ(corrected[0].number, 4u);
  EXPECT_EQ(corrected[0].text, "BUTTON,\"ok\",0,0,9,9,\"\",\"\"");
  EXPECT_FALSE(form.modified());
  EXPECT_EQ(form.Bytes(), file);  // unchanged: byte for byte

  // A changed control is written as the controls describe it, in the file's line end; the
  // lines that make no control stay before the control they preceded.
  form.ChangeLine(2, "LIST,\"\",6,6,9,9,\"\",\"\",");
  EXPECT_EQ(form.Bytes(),
            "\r\nEDIT,\"\",1,2,3,4,\"\",\"\",\r\nWHAT,x\r\nBUTTON,\"ok\",0,0,9,9,\"\",\"\"\r\n"
            "LIST,\"\",6,6,9,9,\"\",\"\",\r\n\r\nend of form");
  // A removed control takes only its own line; a new one follows the last control, and
  // the lines that ended the file still end it.
  form.Remove(0);
  form.Add("TEXT,\"t\",0,0,9,9,\"\",\"\",");
  std::string expected =
      "\r\nWHAT,x\r\nBUTTON,\"ok\",0,0,9,9,\"\",\"\"\r\nLIST,\"\",6,6,9,9,\"\",\"\",\r\n"
      "TEXT,\"t\",0,0,9,9,\"\",\"\",\r\n\r\nend of form";
  EXPECT_EQ(form.Bytes(), expected);
  // Undo of the addition and of the removal, and Redo of both, bring back the bytes of
  // each step: the removed control with its own bytes at its own place.
  ASSERT_TRUE(form.Undo());
  EXPECT_EQ(form.Bytes(),
            "\r\nWHAT,x\r\nBUTTON,\"ok\",0,0,9,9,\"\",\"\"\r\nLIST,\"\",6,6,9,9,\"\",\"\",\r\n"
            "\r\nend of form");
  ASSERT_TRUE(form.Undo());
  EXPECT_EQ(form.Bytes(),
            "\r\nEDIT,\"\",1,2,3,4,\"\",\"\",\r\nWHAT,x\r\nBUTTON,\"ok\",0,0,9,9,\"\",\"\"\r\n"
            "LIST,\"\",6,6,9,9,\"\",\"\",\r\n\r\nend of form");
  ASSERT_TRUE(form.Redo());
  ASSERT_TRUE(form.Redo());
  EXPECT_EQ(form.Bytes(), expected);
  form.MarkSaved("x.frm");
  EXPECT_FALSE(form.modified());
  EXPECT_EQ(form.Bytes(), expected);
  // A file ending in a bare CR: a line added after the last one keeps that line whole.
  Form cr;
  ASSERT_TRUE(cr.Parse("EDIT,\"\",1,2,3,4,\"\",\"\",\r", Check, skipped, error)) << error;
  cr.Add("TEXT,\"t\",0,0,9,9,\"\",\"\",");
  EXPECT_EQ(cr.Bytes(), "EDIT,\"\",1,2,3,4,\"\",\"\",\r\nTEXT,\"t\",0,0,9,9,\"\",\"\",\r\n");
  // Moving a control (its text changes) keeps it where it stands among the other lines.
  std::vector<std::string> moved = form.lines();
  ASSERT_EQ(moved.size(), 3u);
  moved[0] = "BUTTON,\"ok\",1,1,9,9,\"\",\"\",";
  form.Change(moved);
  std::string bytes = form.Bytes();
  EXPECT_NE(bytes.find("WHAT,x\r\nBUTTON,\"ok\",1,1,9,9,\"\",\"\",\r\nLIST"), std::string::npos)
      << bytes;
}

TEST(DesignerForm, SaveLeavesTheOldFormAfterAFailureAtAnyWrite) {
  testing::TempTree dir;
  std::string path = dir.File("a.frm", "TEXT,\"t\",0,0,9,9,\"\",\"\",\n");
  Form form;
  std::vector<Skipped> skipped;
  std::string error;
  ASSERT_TRUE(form.Load(path, Check, skipped, error)) << error;
  form.Add("LIST,\"\",0,20,99,99,\"\",\"\",3D");
  std::string old = dir.Read("a.frm");
  int failed =
      testing::FailEveryCall([&] { return form.Save(path, error); },
                             [&](bool failed, std::string const& label) {
                               EXPECT_EQ(dir.List(), std::vector<std::string>{"a.frm"}) << label;
                               if (failed && !label.starts_with("sync")) {
                                 EXPECT_EQ(dir.Read("a.frm"), old) << label;
                               }
                               if (failed) {
                                 EXPECT_NE(error.find("a.frm"), std::string::npos) << error;
                               }
                               if (!failed) {
                                 EXPECT_EQ(dir.Read("a.frm"), form.Bytes()) << label;
                               }
                               dir.File("a.frm", old);
                             });
  EXPECT_GE(failed, 4);
}

TEST(DesignerForm, UndoesAndRedoesManySteps) {
  Form form;
  std::vector<Skipped> skipped;
  std::string error;
  ASSERT_TRUE(form.Parse("EDIT,a\nTEXT,b\n", Check, skipped, error));
  EXPECT_FALSE(form.Undo());
  form.ChangeLine(1, "TEXT,c");
  form.ChangeLine(1, "TEXT,c");  // no change: the undo step stays
  form.Remove(0);
  EXPECT_EQ(form.lines(), std::vector<std::string>{"TEXT,c"});
  ASSERT_TRUE(form.Undo());
  EXPECT_EQ(form.lines(), (std::vector<std::string>{"EDIT,a", "TEXT,c"}));
  // Many steps back, then forward again.
  ASSERT_TRUE(form.Undo());
  EXPECT_EQ(form.lines(), (std::vector<std::string>{"EDIT,a", "TEXT,b"}));
  EXPECT_FALSE(form.Undo());
  ASSERT_TRUE(form.Redo());
  ASSERT_TRUE(form.Redo());
  EXPECT_EQ(form.lines(), std::vector<std::string>{"TEXT,c"});
  EXPECT_FALSE(form.Redo());
  // A change after an undo ends the way forward.
  ASSERT_TRUE(form.Undo());
  form.Add("LIST,x");
  EXPECT_FALSE(form.CanRedo());
  // A change that completes the last one (a paste, then its move) is undone with it.
  std::vector<std::string> before = form.lines();
  form.Add("EDIT,pasted");
  std::vector<std::string> moved = form.lines();
  moved.back() = "EDIT,moved";
  form.Change(moved, true);
  ASSERT_TRUE(form.Undo());
  EXPECT_EQ(form.lines(), before);
  ASSERT_TRUE(form.Redo());
  EXPECT_EQ(form.lines(), moved);
  for (int i = 0; i < 150; ++i) form.ChangeLine(0, "EDIT," + std::to_string(i));
  int steps = 0;
  while (form.Undo()) ++steps;
  EXPECT_EQ(steps, static_cast<int>(Form::kUndoSteps));
}

// Copies of one control line: whatever edits and undos bring the form back to its saved
// lines, it gives the saved bytes (a fuzz finding: a removed copy added again took the
// place of a new line, and the form gained a line end it never had).
TEST(DesignerForm, BackToTheSavedLinesGivesTheSavedBytes) {
  std::string const file = "EDIT,a\n; note\nEDIT,a";
  Form form;
  std::vector<Skipped> skipped;
  std::string error;
  ASSERT_TRUE(form.Parse(file, Check, skipped, error)) << error;
  form.Remove(1);
  form.Add("EDIT,a");
  EXPECT_FALSE(form.modified());
  EXPECT_EQ(form.Bytes(), file);
  form.Change({"TEXT,b", "EDIT,a", "EDIT,a"});
  form.Remove(0);
  EXPECT_EQ(form.Bytes(), file);
  ASSERT_TRUE(form.Undo());
  ASSERT_TRUE(form.Undo());
  EXPECT_EQ(form.Bytes(), file);

  // A copy of a line that ends with a CR of its own, in a file of LF line ends, reads back
  // with that CR (another fuzz finding).
  std::string const cr_line = "GROUP,\"\",,,,,\"\",\"\",\r\r\n\n\n";
  Form cr;
  ASSERT_TRUE(cr.Parse(cr_line, Check, skipped, error)) << error;
  cr.Add(cr.lines()[0]);
  Form again;
  ASSERT_TRUE(again.Parse(cr.Bytes(), Check, skipped, error)) << error;
  EXPECT_EQ(again.lines(), cr.lines());
}

TEST(DesignerDesign, SelectionAndMirroredDrags) {
  Selection s;
  s.Reset(5);
  s.Click(1, false);
  s.Click(3, true);
  s.Click(4, true);
  EXPECT_EQ(s.Selected(), (std::vector<std::size_t>{1, 3, 4}));
  EXPECT_EQ(s.active(), 4u);

  Reaction down = React(s, 3, kButtonDown, 7, 8);
  ASSERT_EQ(down.mirrors.size(), 2u);
  EXPECT_EQ(down.mirrors[0].frame, 1u);
  EXPECT_EQ(down.mirrors[1].frame, 4u);
  EXPECT_EQ(down.mirrors[1].message, 0x201u);
  EXPECT_FALSE(down.commit);
  Reaction step = React(s, 3, kMoveStep, 3, -2);
  ASSERT_EQ(step.mirrors.size(), 2u);
  EXPECT_EQ(step.mirrors[0].x, 3);
  EXPECT_EQ(step.mirrors[0].y, -2);
  Reaction up = React(s, 3, kButtonUp, 0, 0);
  EXPECT_TRUE(up.commit);
  EXPECT_EQ(up.mirrors.size(), 2u);
  EXPECT_TRUE(React(s, 3, kShiftMove, 100, 100).mirrors.empty());
  Reaction drop = React(s, 3, kShiftDrop, 300, 200);
  EXPECT_TRUE(drop.drop && drop.commit);
  EXPECT_TRUE(drop.mirrors.empty());
  EXPECT_EQ(drop.x, 300);

  s.Click(0, false);
  EXPECT_EQ(s.Selected(), std::vector<std::size_t>{0});
  EXPECT_TRUE(React(s, 0, kMoveStep, 1, 1).mirrors.empty());
  s.Click(9, true);  // out of range: ignored
  EXPECT_EQ(s.active(), 0u);
}

TEST(DesignerDesign, OrderViewNumbersInClickOrder) {
  OrderView order;
  order.Start(4);
  EXPECT_EQ(order.Click(2), 0);
  EXPECT_EQ(order.Click(0), 1);
  EXPECT_EQ(order.Click(2), 0);  // a second click keeps the place
  EXPECT_EQ(order.place(3), -1);
  EXPECT_EQ(order.Order(), (std::vector<std::size_t>{2, 0, 1, 3}));
  EXPECT_EQ(order.Click(7), -1);
}

TEST(DesignerDesign, StyleWordsAndPaletteLines) {
  EXPECT_TRUE(StyleWords("button").empty());
  EXPECT_TRUE(StyleWords("SLIDER").empty());
  auto edit = StyleWords("Edit");
  EXPECT_NE(std::find(edit.begin(), edit.end(), "MULTLINE"), edit.end());
  auto text = StyleWords("TEXT");
  EXPECT_NE(std::find(text.begin(), text.end(), "SS_ETCHEDFRAME"), text.end());
  EXPECT_EQ(StyleWords("SMBUTTON"),
            (std::vector<std::string_view>{"BORDER", "LEFT", "CENTER", "RIGHT"}));
  EXPECT_EQ(StyleWords("COMBO").size(), 5u);
  EXPECT_EQ(Kinds().size(), 8u);
  EXPECT_EQ(NewLine("list", 10, 20), "LIST,\"\",10,20,239,119,\"\",\"\",3D");
  EXPECT_EQ(NewLine("SMBUTTON", 0, 0), "SMBUTTON,\"tool\",0,0,21,21,\"\",\"\",BORDER");
  EXPECT_EQ(SplitWords("||3D||BORDER|"), (std::vector<std::string>{"3D", "BORDER"}));
  EXPECT_EQ(JoinWords({"3D", "", "RIGHT"}), "3D|RIGHT");
}

}  // namespace designer_form_test
}  // namespace qel::designer
