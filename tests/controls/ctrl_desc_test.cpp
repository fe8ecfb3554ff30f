#include "controls/ctrl_desc.h"

#include <gtest/gtest.h>

#include <string>

namespace ctrl_desc_test {

using qel::controls::DescError;
using qel::controls::Description;
using qel::controls::ParseDescription;
using qel::controls::PlanControl;

TEST(CtrlDesc, FieldsAreReadLeftToRightAndStoredAsFarAsTheLineGoes) {
  Description d = ParseDescription("EDIT,\"Name\",10,20,99,19,\"m\",\"h\",BORDER|3D");
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(d.stored, 5);
  EXPECT_EQ(d.type, "EDIT");
  EXPECT_EQ(d.caption, "Name");
  EXPECT_EQ(d.x, 10);
  EXPECT_EQ(d.y, 20);
  EXPECT_EQ(d.w, 99);
  EXPECT_EQ(d.h, 19);
  EXPECT_EQ(d.mark, "m");
  EXPECT_EQ(d.help, "h");
  EXPECT_EQ(d.style, "BORDER|3D");

  // No STYLE field; a caption quote not followed by a comma stays; help may end the line.
  d = ParseDescription("TEXT,\"say \"hi\" now\",1,2,3,4,\"\",\"a\"b\"");
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(d.caption, "say \"hi\" now");
  EXPECT_EQ(d.help, "a\"b");
  EXPECT_EQ(d.style, "");
  // Numbers as atoi reads them: blanks, sign, digits up to another byte, none is 0.
  d = ParseDescription("X,\"\", -7x,+8 ,,12345678901234,\"\",\"\",");
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(d.x, -7);
  EXPECT_EQ(d.y, 8);
  EXPECT_EQ(d.w, 0);
  EXPECT_EQ(d.h, 2147483647);  // saturates
  EXPECT_EQ(qel::controls::ReadNumber("-99999999999"), -2147483647 - 1);
  EXPECT_EQ(qel::controls::ReadNumber("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(qel::controls::ReadNumber("\t\n 2147483647"), 2147483647);

  struct Case {
    char const* line;
    DescError error;
    int stored;
  };
  Case const cases[] = {
      {"EDIT", DescError::kNoTypeComma, 0},
      {"", DescError::kNoTypeComma, 0},
      {"EDIT,Name\",1,2,3,4,\"m\",\"h\",", DescError::kNoCaptionQuote, 1},
      {"EDIT,", DescError::kNoCaptionQuote, 1},
      {"EDIT,\",", DescError::kCaptionUnclosed, 1},  // the closing quote comes after the opening
      {"EDIT,\"a\",1,2,3", DescError::kNoComma, 2},
      {"EDIT,\"a\",1,2,3,4", DescError::kNoComma, 2},
      {"EDIT,\"a\",1,2,3,4,m,\"h\",", DescError::kNoMarkQuote, 2},
      {"EDIT,\"a\",1,2,3,4,\"m", DescError::kMarkUnclosed, 2},
      {"EDIT,\"a\",1,2,3,4,\"m\",h", DescError::kNoHelpQuote, 3},
      {"EDIT,\"a\",1,2,3,4,\"m\",", DescError::kNoHelpQuote, 3},
      {"EDIT,\"a\",1,2,3,4,\"m\",\"h", DescError::kHelpUnclosed, 3},
      {"EDIT,\"a\",1,2,3,4,\"m\",\"", DescError::kHelpUnclosed, 3},
      {"EDIT,\"a\",1,2,3,4,\"m\",\"h\"x", DescError::kHelpUnclosed, 3},
  };
  for (Case const& c : cases) {
    d = ParseDescription(c.line);
    EXPECT_EQ(d.error, c.error) << c.line;
    EXPECT_EQ(d.stored, c.stored) << c.line;
    EXPECT_FALSE(qel::controls::DescErrorText(d.error).empty()) << c.line;
  }

  // Byte-wise: a GBK lead byte right before a quote or comma hides nothing.
  d = ParseDescription("\x81,\"\xB0\",1,2,3,4,\"\xC4\",\"\xD5\",\xE6");
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(d.type, "\x81");
  EXPECT_EQ(d.caption, "\xB0");
  EXPECT_EQ(d.style, "\xE6");
  d = ParseDescription("EDIT,\"a\",1,2,3,4,\"m\",\"h\xB0\"");
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(d.help, "h\xB0");

  // A line of megabytes is one linear scan.
  std::string huge = "EDIT,\"" + std::string(4 << 20, '"') + "\",1,2,3,4,\"m\",\"h\",S";
  d = ParseDescription(huge);
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(d.caption.size(), std::size_t{4 << 20});
  EXPECT_EQ(d.style, "S");
}

qel::controls::ControlPlan Plan(char const* line) {
  return PlanControl(ParseDescription(line));
}

TEST(CtrlDesc, KindsAndStyleWordsGiveClassBitsAndRectangle) {
  auto p = Plan("edit,\"Name\",10,20,99,19,\"m\",\"h\",BORDER|3D");
  EXPECT_STREQ(p.windowClass, "EDIT");
  EXPECT_EQ(p.style, 0x50810000u);
  EXPECT_EQ(p.exStyle, 0x200u);
  EXPECT_EQ(p.left, 10);
  EXPECT_EQ(p.top, 20);
  EXPECT_EQ(p.right, 110);
  EXPECT_EQ(p.bottom, 40);
  EXPECT_FALSE(p.list);

  struct Case {
    char const* line;
    char const* cls;
    unsigned style, ex;
  };
  Case const cases[] = {
      {"EDIT,\"\",0,0,9,9,\"\",\"\",||RICH||CENTER|border|PASSWORD", "RICHEDIT", 0x50010021, 0},
      {"EDIT,\"\",0,0,9,9,\"\",\"\",MULTLINE|UPPER|LOWER|RIGHT|LEFT", "EDIT", 0x5001005E, 0},
      {"EDIT,\"\",0,0,9,9,\"\",\"\", 3D ", "EDIT", 0x50010000, 0},  // blanks are kept
      {"Text,\"\",0,0,9,9,\"\",\"\",SS_ETCHEDFRAME|STATICEDGE", "STATIC", 0x50010312, 0x20000},
      {"TEXT,\"\",0,0,9,9,\"\",\"\",CENTER|DLGMODALFRAME|PASSWORD", "STATIC", 0x50010301, 1},
      {"COMBO,\"\",0,0,9,9,\"\",\"\",CLIENTEDGE|CENTER", "COMBOBOX", 0x50210003, 0x200},
      {"GROUP,\"\",0,0,9,9,\"\",\"\",LEFT|RIGHT", "BUTTON", 0x50014307, 0},
      {"CHECK,\"\",0,0,9,9,\"\",\"\",CENTER|BORDER", "BUTTON", 0x50810303, 0},
      {"BUTTON,\"\",0,0,9,9,\"\",\"\",BORDER|3D|CENTER", "BUTTON", 0x50010000, 0},
      {"SMBUTTON,\"\",0,0,9,9,\"\",\"\",BORDER|3D|RIGHT|LEFT", "STATIC", 0x50810303, 0},
      {"LIST,\"\",0,0,9,9,\"\",\"\",3D|CENTER", "SysListView32", 0x5001000F, 0x200},
  };
  for (Case const& c : cases) {
    p = Plan(c.line);
    EXPECT_STREQ(p.windowClass, c.cls) << c.line;
    EXPECT_EQ(p.style, c.style) << c.line;
    EXPECT_EQ(p.exStyle, c.ex) << c.line;
  }

  // COMBO runs from Y to Y + 120 whatever H says; the line written back says 119.
  p = Plan("COMBO,\"\",5,7,50,5,\"\",\"\",");
  EXPECT_EQ(p.bottom, 127);
  EXPECT_EQ(
      qel::controls::FormatDescription("COMBO", "", p.left, p.top, p.right, p.bottom, "", "", ""),
      "COMBO,\"\",5,7,50,119,\"\",\"\",");
  // Unknown kinds, a case-sensitive "LIST" for the double click, icons by caption.
  EXPECT_EQ(Plan("EDITX,\"\",0,0,0,0,\"\",\"\",").kind, -1);
  EXPECT_EQ(Plan(",\"\",0,0,0,0,\"\",\"\",").kind, -1);
  EXPECT_TRUE(Plan("LIST,\"\",0,0,0,0,\"\",\"\",").list);
  EXPECT_FALSE(Plan("list,\"\",0,0,0,0,\"\",\"\",").list);
  p = Plan("SMBUTTON,\"SCAN\",0,0,0,0,\"\",\"\",");
  EXPECT_EQ(p.icon, 22021u);
  EXPECT_EQ(p.iconSize, 32);
  EXPECT_EQ(Plan("smbutton,\"Del\",0,0,0,0,\"\",\"\",").icon, 22001u);
  EXPECT_EQ(Plan("SMBUTTON,\"save\",0,0,0,0,\"\",\"\",").icon, 0u);
  EXPECT_EQ(Plan("EDIT,\"new\",0,0,0,0,\"\",\"\",").icon, 0u);
  // Wrapping 32-bit arithmetic at the extremes.
  p = Plan("EDIT,\"\",2147483647,0,2147483647,-1,\"\",\"\",");
  EXPECT_EQ(p.right, -1);
  EXPECT_EQ(p.bottom, 0);
}

TEST(CtrlDesc, LineWrittenBackParsesToTheSameRectangle) {
  char const* line = "EDIT,\"Name\",10,20,99,19,\"m\",\"h\",BORDER|3D";
  auto p = Plan(line);
  EXPECT_EQ(qel::controls::FormatDescription("EDIT", "Name", p.left, p.top, p.right, p.bottom, "m",
                                             "h", "BORDER|3D"),
            line);
  EXPECT_STREQ(qel::controls::SysMark(0), "_SYS_STATIC");
  EXPECT_STREQ(qel::controls::SysMark(13), "_SYS_BT_AGAIN");
  EXPECT_STREQ(qel::controls::SysMark(14), "");
  EXPECT_STREQ(qel::controls::SysMark(-1), "");
  EXPECT_STREQ(qel::controls::SysMarkDescription(13),
               "\xd4\xd9\xb4\xce\xbc\xec\xcb\xf7\xb0\xb4\xc5\xa5");
  EXPECT_STREQ(qel::controls::SysMarkDescription(14), "");
}

}  // namespace ctrl_desc_test
