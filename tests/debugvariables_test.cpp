// Debug variables: registration, set-ups and the mouse sliders at the right screen edge.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/Demo.h"
#include "resources/DebugVariables.h"

namespace {

constexpr int kButton = 1;  // any held button
constexpr int kShift = 4;
constexpr int kCtrl = 8;

// At the fixed 1024-pixel width the column spans x = 914..1014; row r spans
// y = 25r + 5 .. 25r + 25.
constexpr int kLeft = 914;
constexpr int kRight = 1014;

const char* const kNumbers[] = {"yksi", "kaksi", "kolme", "EOL"};

// Rows 0 and 1 are Range 0..100; "choice" (row 2) and "unit" (row 3) are the other kinds.
class DebugVariablesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(screenWidth, 1024);
    variables.registerVariable("first");
    variables.get("first").initRange(0.0f, 100.0f, 30.0f);
    variables.registerVariable("second");
    variables.get("second").initRange(0.0f, 100.0f, 30.0f);
    variables.registerVariable("choice");
    variables.get("choice").initChoice(kNumbers, 1);
    variables.registerVariable("unit");
    variables.get("unit").initUnit(1);
  }
  float value(const char* name) { return variables.get(name).value; }

  DebugVariableManager variables;
};

TEST_F(DebugVariablesTest, SliderEndsGiveMinAndMaxAndOutsideLeavesTheValue) {
  variables.editWithMouse(kButton, kLeft, 15);
  EXPECT_EQ(value("first"), 0.0f);
  variables.editWithMouse(kButton, kRight, 15);
  EXPECT_EQ(value("first"), 100.0f);
  variables.editWithMouse(kButton, kLeft + 37, 15);
  EXPECT_FLOAT_EQ(value("first"), 37.0f);
  variables.editWithMouse(kButton, kLeft - 1, 15);
  variables.editWithMouse(kButton, kRight + 1, 15);
  EXPECT_FLOAT_EQ(value("first"), 37.0f);
  EXPECT_EQ(value("second"), 30.0f);
}

TEST_F(DebugVariablesTest, RowEdgesAreInsideAndRowsLeaveAGap) {
  variables.editWithMouse(kButton, kLeft + 10, 5);  // top of row 0
  EXPECT_FLOAT_EQ(value("first"), 10.0f);
  variables.editWithMouse(kButton, kLeft + 20, 25);  // bottom of row 0
  EXPECT_FLOAT_EQ(value("first"), 20.0f);
  variables.editWithMouse(kButton, kLeft + 40, 4);
  for (int y = 26; y <= 29; ++y) variables.editWithMouse(kButton, kLeft + 40, y);
  EXPECT_FLOAT_EQ(value("first"), 20.0f);
  EXPECT_EQ(value("second"), 30.0f);
  variables.editWithMouse(kButton, kLeft + 50, 30);  // top of row 1
  EXPECT_FLOAT_EQ(value("second"), 50.0f);
  variables.editWithMouse(kButton, kLeft + 60, 50);  // bottom of row 1
  EXPECT_FLOAT_EQ(value("second"), 60.0f);
  EXPECT_FLOAT_EQ(value("first"), 20.0f);
}

TEST_F(DebugVariablesTest, OnlyHeldButtonsOrModifiersEdit) {
  variables.editWithMouse(0, kLeft + 10, 15);
  EXPECT_EQ(value("first"), 30.0f);
  variables.editWithMouse(kShift, kLeft + 10, 15);
  EXPECT_FLOAT_EQ(value("first"), 10.0f);
  variables.editWithMouse(kCtrl, kLeft + 20, 15);
  EXPECT_FLOAT_EQ(value("first"), 20.0f);
}

TEST_F(DebugVariablesTest, ChoiceAndUnitIgnoreTheMouse) {
  EXPECT_EQ(variables.get("choice").max, 2.0f);
  variables.editWithMouse(kButton, kRight, 2 * 25 + 15);
  variables.editWithMouse(kButton, kLeft, 3 * 25 + 15);
  EXPECT_EQ(value("choice"), 1.0f);
  EXPECT_EQ(value("unit"), 1.0f);

  // No entry before "EOL" keeps max; a list without "EOL" ends at a null entry.
  const char* const onlyEnd[] = {"EOL"};
  const char* const unterminated[] = {"a", "b", nullptr};
  DebugVariable& choice = variables.get("choice");
  choice.initChoice(onlyEnd, 0);
  EXPECT_EQ(choice.max, 2.0f);
  choice.initChoice(unterminated, 0);
  EXPECT_EQ(choice.max, 1.0f);
}

TEST_F(DebugVariablesTest, RegisteringAgainGivesTheNextRowAndResets) {
  variables.registerVariable("first");
  const DebugVariable& again = variables.get("first");
  EXPECT_EQ(again.row, 4);
  EXPECT_EQ(again.kind, Range);
  EXPECT_EQ(again.value, 0.0f);
  EXPECT_EQ(again.min, 0.0f);
  EXPECT_EQ(again.max, 1.0f);
  // Row 4 (y = 105..125) now drives it, on its fresh 0..1 range.
  variables.editWithMouse(kButton, kLeft + 50, 110);
  EXPECT_FLOAT_EQ(again.value, 0.5f);
  EXPECT_FATAL(variables.get("never"), "No such debug variable: 'never'.");
}

}  // namespace
