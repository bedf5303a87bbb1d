#include "ui/form.h"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <vector>

namespace {

using ui::ControlDef;
using ui::ControlKind;

constexpr auto kTable = std::to_array<ControlDef>({
    {.kind = ControlKind::Window, .name = "DTest", .caption = "Test"},
    {.kind = ControlKind::Panel, .name = "PnlA", .visible = false},
    {.kind = ControlKind::Panel, .name = "BoxA", .parent = "PnlA"},
    {.kind = ControlKind::RadioButton, .name = "RA1", .parent = "BoxA", .checked = true},
    {.kind = ControlKind::RadioButton, .name = "RA2", .parent = "BoxA"},
    {.kind = ControlKind::RadioButton, .name = "RB1", .parent = "PnlA", .checked = true},
    {.kind = ControlKind::CheckBox, .name = "CA", .parent = "PnlA"},
    {.kind = ControlKind::Edit, .name = "EA", .parent = "PnlA", .caption = "start"},
    {.kind = ControlKind::Label, .name = "LA", .parent = "PnlA"},
    {.kind = ControlKind::ProgressBar, .name = "Bar", .parent = "PnlA"},
});

struct Recorder : ui::FormObserver {
  std::vector<std::string> changes;
  void ControlChanged(ui::Control& control, ui::Property what) override {
    changes.push_back(control.name() + ":" + std::to_string(static_cast<int>(what)));
  }
};

class FormTest : public ::testing::Test {
 protected:
  FormTest() : form(kTable) {
    for (ui::Control* control : form.controls()) {
      control->SetOnClick([this](ui::Control& c) { events.push_back("click " + c.name()); });
      control->SetOnChange([this](ui::Control& c) { events.push_back("change " + c.name()); });
    }
  }
  ui::Form form;
  std::vector<std::string> events;
};

TEST(FormTable, RejectsMalformedTables) {
  auto build = [](std::vector<ControlDef> table) { ui::Form form(table); };
  EXPECT_THROW(build({}), std::invalid_argument);
  EXPECT_THROW(build({{.kind = ControlKind::Panel, .name = "P"}}), std::invalid_argument);
  EXPECT_THROW(build({{.kind = ControlKind::Window, .name = "W"}, {.kind = ControlKind::Label, .name = "W"}}),
               std::invalid_argument);
  EXPECT_THROW(build({{.kind = ControlKind::Window, .name = "W"}, {.kind = ControlKind::Label, .name = "L", .parent = "Nope"}}),
               std::invalid_argument);
  EXPECT_THROW(build({{.kind = ControlKind::Window, .name = "W"}, {.kind = ControlKind::Label, .name = ""}}),
               std::invalid_argument);
}

TEST_F(FormTest, LooksUpNamesExactlyAndKeepsTableOrder) {
  EXPECT_EQ(form.Find("RA1"), &form.Get("RA1"));
  EXPECT_EQ(form.Find("ra1"), nullptr);
  EXPECT_THROW(form.Get("Missing"), std::out_of_range);
  EXPECT_EQ(&form.window(), form.Find("DTest"));
  ASSERT_EQ(form.controls().size(), kTable.size() - 1);
  EXPECT_EQ(form.controls().front()->name(), "PnlA");
  EXPECT_EQ(form.Get("BoxA").parent(), &form.Get("PnlA"));
  EXPECT_EQ(form.Get("PnlA").parent(), &form.window());
  EXPECT_EQ(form.ChildrenOf(form.Get("BoxA")).size(), 2u);
  EXPECT_FALSE(form.visible()) << "a window starts hidden";
}

TEST_F(FormTest, TickingARadioClicksItAndUnticksOnlyItsOwnGroup) {
  form.Get("RA2").SetChecked(true);
  EXPECT_EQ(events, std::vector<std::string>{"click RA2"});
  EXPECT_FALSE(form.Get("RA1").checked());
  EXPECT_TRUE(form.Get("RB1").checked()) << "a radio in another box is another group";

  events.clear();
  form.Get("RA2").SetChecked(true);  // no change
  form.Get("RA2").SetChecked(false);  // unticking raises nothing
  EXPECT_TRUE(events.empty());

  form.Get("RA1").Click();
  form.Get("RA1").Click();  // a user click on a ticked radio still reports
  EXPECT_EQ(events, (std::vector<std::string>{"click RA1", "click RA1"}));
}

TEST_F(FormTest, CheckBoxesReportEveryChangeAndTextEntriesTheirChanges) {
  form.Get("CA").SetChecked(true);
  form.Get("CA").SetChecked(true);
  form.Get("CA").Click();
  EXPECT_FALSE(form.Get("CA").checked());
  form.Get("EA").SetText("new");
  form.Get("EA").SetText("new");
  form.Get("LA").SetText("label text");
  form.Get("LA").SetChecked(true);  // not checkable: ignored
  EXPECT_EQ(events, (std::vector<std::string>{"click CA", "click CA", "change EA"}));
  EXPECT_FALSE(form.Get("LA").checked());
}

TEST_F(FormTest, ObserverSeesChangesAndProgressIsClamped) {
  Recorder recorder;
  form.SetObserver(&recorder);
  form.Get("Bar").SetPosition(150);
  EXPECT_EQ(form.Get("Bar").position(), 100);
  form.Get("Bar").SetPosition(-3);
  EXPECT_EQ(form.Get("Bar").position(), 0);
  form.Get("LA").SetEnabled(false);
  form.Get("LA").SetBounds({1, 2, 3, 4});
  form.Get("LA").SetBounds({1, 2, 3, 4});
  EXPECT_EQ(recorder.changes.size(), 4u);
  form.SetObserver(nullptr);
  form.Get("LA").SetVisible(false);
  EXPECT_EQ(recorder.changes.size(), 4u);
}

TEST_F(FormTest, ShowingFollowsAncestorsAndFormEventsFireOnce) {
  int shows = 0, closes = 0;
  form.SetOnShow([&](ui::Form&) { ++shows; });
  form.SetOnClose([&](ui::Form&) { ++closes; });
  EXPECT_FALSE(form.Get("LA").IsShowing());
  form.Show();
  form.Show();
  EXPECT_EQ(shows, 1);
  EXPECT_FALSE(form.Get("LA").IsShowing()) << "its panel is hidden";
  form.Get("PnlA").SetVisible(true);
  EXPECT_TRUE(form.Get("LA").IsShowing());
  form.Hide();
  EXPECT_FALSE(form.Get("LA").IsShowing());
  EXPECT_FALSE(form.closed());
  form.Close();
  form.Close();
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(form.closed());
  form.window().SetVisible(true);  // the window's flag goes through Show
  EXPECT_EQ(shows, 2);
  EXPECT_FALSE(form.closed());
}

TEST_F(FormTest, AHandlerMayReplaceItselfWhileItRuns) {
  ui::Control& button = form.Get("LA");
  int calls = 0;
  button.SetOnClick([&](ui::Control& c) {
    ++calls;
    c.SetOnClick({});
  });
  button.Click();
  button.Click();
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(button.hasClickHandler());
}

}  // namespace
