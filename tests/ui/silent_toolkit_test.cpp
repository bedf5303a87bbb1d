#include "ui/console/silent_toolkit.h"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>

namespace {

using ui::Answer;
using ui::Buttons;
using ui::ControlDef;
using ui::ControlKind;
using ui::Icon;

constexpr auto kWindow = std::to_array<ControlDef>({
    {.kind = ControlKind::Window, .name = "DWin", .caption = "Window"},
    {.kind = ControlKind::Button, .name = "BGo", .caption = "Go"},
});

// Every question takes the answer that closing it would give, or the
// proposed one; nothing waits.
TEST(SilentToolkit, QuestionsTakeTheirDefaults) {
  ui::SilentToolkit toolkit;
  EXPECT_EQ(toolkit.MessageBox("", "Sure?", Buttons::YesNo, Icon::Question), Answer::No);
  EXPECT_EQ(toolkit.MessageBox("", "Sure?", Buttons::YesNoCancel, Icon::Question), Answer::Cancel);
  EXPECT_EQ(toolkit.MessageBox("", "Done.", Buttons::Ok, Icon::Information), Answer::Ok);
  EXPECT_EQ(toolkit.InputBox("Create Archive", "Name:", "backup"), "backup");
  EXPECT_EQ(toolkit.InputBox("Create Archive", "Name:", ""), std::nullopt);
  EXPECT_EQ(toolkit.ChooseDirectory("/data/", "Pick"), "/data/");

  ui::Form dialog(kWindow);
  toolkit.ShowForm(dialog);
  toolkit.WaitUntil(dialog, [] { return false; });
  EXPECT_TRUE(dialog.closed()) << "a wait nobody can end is closed";
}

// The loop runs timers first, then lets the idle handler act until it has
// nothing left to do, and closes the window.
TEST(SilentToolkit, IdleHandlerWalksTheWindowThenItCloses) {
  ui::SilentToolkit toolkit;
  std::string errors;
  toolkit.SetErrorHandler([&](const std::string& text) { errors += text + ";"; });
  ui::Form form(kWindow);
  std::vector<std::string> order;
  form.Get("BGo").SetOnClick([&](ui::Control&) { order.push_back("click"); });
  toolkit.StartTimer(1000, [&] { order.push_back("timer"); });
  int steps = 0;
  toolkit.SetIdleHandler([&](ui::Form& main) {
    if (++steps > 2) return false;
    main.Get("BGo").Click();
    return true;
  });
  toolkit.Run(form);
  EXPECT_EQ(order, (std::vector<std::string>{"timer", "click", "click"}));
  EXPECT_TRUE(form.closed());
  EXPECT_EQ(errors, "");

  // After an error nobody can judge what to do next: the window closes.
  ui::Form failing(kWindow);
  toolkit.SetIdleHandler([](ui::Form&) -> bool { throw std::runtime_error("boom"); });
  toolkit.Run(failing);
  EXPECT_EQ(errors, "boom;");
  EXPECT_TRUE(failing.closed());

  // A handler that never runs out of things to do is stopped.
  ui::Form busy(kWindow);
  int calls = 0;
  toolkit.SetIdleHandler([&](ui::Form&) { return ++calls > 0; });
  toolkit.Run(busy);
  EXPECT_EQ(calls, ui::SilentToolkit::kMaxIdleSteps);
  EXPECT_TRUE(busy.closed());
}

}  // namespace
