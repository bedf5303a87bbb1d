// Driving a form's controls by name.
#include "ui/control_helpers.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using ui::ControlKind;

constexpr auto kForm = std::to_array<ui::ControlDef>({
    {.kind = ControlKind::Window, .name = "DTest", .bounds = {0, 0, 550, 386}},
    {.kind = ControlKind::Panel, .name = "PnlBar", .bounds = {0, 0, 550, 386}},
    {.kind = ControlKind::Button, .name = "B1", .parent = "PnlBar", .bounds = {0, 300, 110, 36}, .caption = "One"},
    {.kind = ControlKind::Button, .name = "B2", .parent = "PnlBar", .bounds = {0, 300, 110, 36}, .caption = "Two"},
    {.kind = ControlKind::Button, .name = "B3", .parent = "PnlBar", .bounds = {0, 300, 110, 36}, .caption = "Three"},
    {.kind = ControlKind::Label, .name = "LName", .caption = "design"},
    {.kind = ControlKind::Edit, .name = "EPath", .caption = "path"},
    {.kind = ControlKind::CheckBox, .name = "COption", .caption = "option"},
});

class ControlHelpersTest : public ::testing::Test {
 protected:
  ui::Form form{kForm};
  int Left(const char* name) { return form.Get(name).bounds().left; }
};

TEST_F(ControlHelpersTest, FindsComponentsWithoutLetterCase) {
  EXPECT_EQ(ui::FindNamedComponent(&form, "lname"), &form.Get("LName"));
  EXPECT_EQ(ui::FindNamedComponent(&form, "EPATH"), &form.Get("EPath"));
  EXPECT_EQ(ui::FindNamedComponent(&form, "DTest"), nullptr);
  EXPECT_EQ(ui::FindNamedComponent(&form, "none"), nullptr);
  EXPECT_EQ(ui::FindNamedComponent(nullptr, "LName"), nullptr);
}

TEST_F(ControlHelpersTest, ValuesGoToLabelsOnly) {
  ui::SetNamedControlValue(&form, "lname", "Test App");
  ui::SetNamedControlValue(&form, "EPath", "changed");
  ui::SetNamedControlValue(&form, "Missing", "x");
  ui::SetNamedControlValue(nullptr, "LName", "x");
  ui::SetControlValue(nullptr, "x");
  EXPECT_EQ(form.Get("LName").text(), "Test App");
  EXPECT_EQ(form.Get("EPath").text(), "path");
}

TEST_F(ControlHelpersTest, EnablesAndShowsNamedListsSkippingMissingNames) {
  ui::SetControlsEnabled(&form, "EPath|Missing|COption", false, "|");
  EXPECT_FALSE(form.Get("EPath").enabled());
  EXPECT_FALSE(form.Get("COption").enabled());
  ui::SetControlsVisible(&form, "_list;EPath;LName", false, "|");
  EXPECT_FALSE(form.Get("EPath").visible());
  EXPECT_FALSE(form.Get("LName").visible());
  EXPECT_TRUE(form.Get("COption").visible());
  // A separator outside the default set leaves the list as one name.
  ui::SetControlsEnabled(&form, "EPath,COption", true, "|");
  EXPECT_FALSE(form.Get("EPath").enabled());
}

TEST_F(ControlHelpersTest, ButtonBarCentresOneTwoOrThreeButtons) {
  ui::ArrangeButtonBar(&form, "B1|B2|B3", "Next");
  EXPECT_FALSE(form.Get("B1").visible());
  EXPECT_EQ(form.Get("B1").text(), "");
  EXPECT_FALSE(form.Get("B3").visible());
  EXPECT_EQ(form.Get("B2").text(), "Next");
  EXPECT_EQ(Left("B2"), (550 - 110 - 8) / 2);

  ui::ArrangeButtonBar(&form, "B1,B2,B3", "Install,Exit");
  EXPECT_FALSE(form.Get("B1").visible());
  EXPECT_TRUE(form.Get("B3").visible());
  EXPECT_EQ(form.Get("B3").text(), "Exit");
  EXPECT_EQ(Left("B2"), (550 - 220 - 8) / 2);
  EXPECT_EQ(Left("B3"), Left("B2") + 118);

  ui::ArrangeButtonBar(&form, "B1|B2|B3", "Back|Next|Cancel|Ignored");
  for (const char* name : {"B1", "B2", "B3"}) EXPECT_TRUE(form.Get(name).visible()) << name;
  EXPECT_EQ(form.Get("B1").text(), "Back");
  EXPECT_EQ(Left("B1"), (550 - 330 - 16) / 2);
  EXPECT_EQ(Left("B3"), Left("B1") + 236);
}

TEST_F(ControlHelpersTest, ButtonBarNeedsThreeButtons) {
  ui::ArrangeButtonBar(&form, "B1|B2|LName", "Next");
  ui::ArrangeButtonBar(&form, "B1|B2", "Next");
  EXPECT_EQ(form.Get("B2").text(), "Two");
  EXPECT_TRUE(form.Get("B1").visible());
}

}  // namespace
