#include "controls/small_button_logic.h"

#include <gtest/gtest.h>

namespace small_button_logic_test {

using namespace qel::controls;

TEST(SmallButtonLogic, IconTableByTheNameBeforeTheSlash) {
  EXPECT_EQ(IconsForText("save/Save").enabled, 22023u);
  EXPECT_EQ(IconsForText("save/Save").disabled, 22024u);
  EXPECT_EQ(IconsForText("save").enabled, 22000u);  // no "/": the default pictures
  EXPECT_EQ(IconsForText("save").disabled, 22009u);
  EXPECT_EQ(IconsForText("SCAN/x").size, 32);
  EXPECT_EQ(IconsForText("SCAN/x").enabled, 22021u);
  EXPECT_EQ(IconsForText("Tool/x").disabled, 22016u);
  EXPECT_EQ(IconsForText("color/x").enabled, 0u);
  EXPECT_EQ(IconsForText("colour/x").enabled, 22000u);
  EXPECT_EQ(IconsForText("/x").enabled, 22000u);
  EXPECT_EQ(IconsForText("").enabled, 22000u);
}

TEST(SmallButtonLogic, ClickOnlyWhenReleasedSunken) {
  int look = 0, capture = 0;
  EXPECT_TRUE(ButtonMouseMove(look, capture, true).capture);
  EXPECT_EQ(look, 1);
  EXPECT_FALSE(ButtonMouseMove(look, capture, true).redraw);
  ButtonStep down = ButtonDown(look, capture);
  EXPECT_FALSE(down.capture);  // the hover capture is kept
  EXPECT_TRUE(down.focus);
  EXPECT_EQ(capture, 1);
  EXPECT_TRUE(ButtonUp(look, capture).notify);
  EXPECT_EQ(capture, 0);

  look = 0;
  capture = 0;
  EXPECT_TRUE(ButtonDown(look, capture).capture);
  EXPECT_EQ(capture, -1);
  ButtonMouseMove(look, capture, false);
  EXPECT_EQ(look, 0);
  EXPECT_EQ(capture, -1);
  ButtonMouseMove(look, capture, true);
  EXPECT_EQ(look, 1);
  ButtonStep up = ButtonUp(look, capture);
  EXPECT_FALSE(up.notify);
  EXPECT_TRUE(up.release);
}

}  // namespace small_button_logic_test
