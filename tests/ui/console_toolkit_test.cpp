#include "ui/console/console_toolkit.h"

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <stdexcept>

namespace {

using ui::Answer;
using ui::Buttons;
using ui::ControlDef;
using ui::ControlKind;
using ui::Icon;

constexpr auto kWindow = std::to_array<ControlDef>({
    {.kind = ControlKind::Window, .name = "DWin", .caption = "Window"},
    {.kind = ControlKind::Button, .name = "BGo", .caption = "&Install"},
    {.kind = ControlKind::Button, .name = "BOff", .caption = "Off", .enabled = false},
    {.kind = ControlKind::Edit, .name = "EDir"},
    {.kind = ControlKind::CheckBox, .name = "CLaunch"},
    {.kind = ControlKind::Label, .name = "LStatus"},
    {.kind = ControlKind::ProgressBar, .name = "Bar"},
});

struct Console {
  explicit Console(const std::string& input, bool terminal = false) : in(input), toolkit(in, out, terminal) {
    toolkit.SetTitle("Title");
  }
  std::istringstream in;
  std::ostringstream out;
  ui::ConsoleToolkit toolkit;
};

TEST(ConsoleToolkit, EndOfInputTakesDefaultsAndNeverHangs) {
  Console console("");
  EXPECT_EQ(console.toolkit.MessageBox("", "Sure?", Buttons::YesNo, Icon::Question), Answer::No);
  EXPECT_EQ(console.toolkit.MessageBox("", "Sure?", Buttons::YesNoCancel, Icon::Question), Answer::Cancel);
  EXPECT_EQ(console.toolkit.InputBox("Create Archive", "Archive File Name:", "x"), std::nullopt);
  EXPECT_EQ(console.toolkit.ChooseDirectory("/tmp/", "Pick"), "");

  ui::Form form(kWindow);
  bool closed = false;
  form.SetOnClose([&](ui::Form&) { closed = true; });
  console.toolkit.Run(form);  // nothing to read: the close box ends it
  EXPECT_TRUE(closed);
  EXPECT_TRUE(form.closed());

  ui::Form dialog(kWindow);
  console.toolkit.ShowForm(dialog);
  console.toolkit.WaitUntil(dialog, [] { return false; });
  EXPECT_FALSE(dialog.visible());
}

TEST(ConsoleToolkit, AnswersComeFromPipedLines) {
  Console console("maybe\nyes\n\nc\n\nname.zip\n  /data/out  \n");
  EXPECT_EQ(console.toolkit.MessageBox("Exit Installer", "Sure?", Buttons::YesNo, Icon::Question), Answer::Yes)
      << "an unknown word is asked again";
  EXPECT_EQ(console.toolkit.MessageBox("", "Sure?", Buttons::YesNo, Icon::Question), Answer::No)
      << "an empty line answers the default";
  EXPECT_EQ(console.toolkit.MessageBox("", "Sure?", Buttons::YesNoCancel, Icon::Question), Answer::Cancel);
  EXPECT_EQ(console.toolkit.InputBox("", "Name:", "proposed"), "proposed");
  EXPECT_EQ(console.toolkit.InputBox("", "Name:", ""), "name.zip");
  EXPECT_EQ(console.toolkit.ChooseDirectory("/tmp/", "Pick"), "/data/out");
  EXPECT_NE(console.out.str().find("Exit Installer: Sure?"), std::string::npos);
}

TEST(ConsoleToolkit, LoopLinesClickCaptionsAndSetValues) {
  Console console("install\nOff\nEDir=/opt/app\nCLaunch=yes\nnonsense\n");
  ui::Form form(kWindow);
  int installs = 0, offs = 0;
  form.Get("BGo").SetOnClick([&](ui::Control&) { ++installs; });
  form.Get("BOff").SetOnClick([&](ui::Control&) { ++offs; });
  console.toolkit.Run(form);
  EXPECT_EQ(installs, 1) << "a caption matches without case and accelerator";
  EXPECT_EQ(offs, 0) << "a disabled button cannot be clicked";
  EXPECT_EQ(form.Get("EDir").text(), "/opt/app");
  EXPECT_TRUE(form.Get("CLaunch").checked());
  EXPECT_NE(console.out.str().find("Not understood: nonsense"), std::string::npos);
}

TEST(ConsoleToolkit, TimersRunBeforeInputAndErrorsKeepTheLoopAlive) {
  Console console("BGo\n");
  ui::Form form(kWindow);
  std::vector<std::string> order;
  form.Get("BGo").SetOnClick([&](ui::Control&) { order.push_back("click"); });
  console.toolkit.StartTimer(1000, [&] {
    order.push_back("timer");
    throw std::runtime_error("boom");
  });
  console.toolkit.Run(form);
  EXPECT_EQ(order, (std::vector<std::string>{"timer", "click"}));
  EXPECT_NE(console.out.str().find("Title: Error: boom"), std::string::npos);

  std::string handled;
  console.toolkit.SetErrorHandler([&](const std::string& text) { handled = text; });
  console.toolkit.StartTimer(0, [] { throw std::logic_error("custom"); });
  console.toolkit.ProcessMessages();
  EXPECT_EQ(handled, "custom");
}

TEST(ConsoleToolkit, ProgressIsDrawnOnlyWhileShowing) {
  Console plain("");
  ui::Form form(kWindow);
  form.Get("Bar").SetPosition(50);  // not attached yet
  plain.toolkit.ShowForm(form);
  form.Get("LStatus").SetText("Copying");
  for (int percent = 0; percent <= 100; ++percent) form.Get("Bar").SetPosition(percent);
  std::string text = plain.out.str();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 11) << text;
  EXPECT_NE(text.find("\n100%  Copying\n"), std::string::npos);

  Console terminal("", true);
  ui::Form shown(kWindow);
  terminal.toolkit.ShowForm(shown);
  shown.Get("Bar").SetPosition(40);
  shown.Get("Bar").SetVisible(false);
  shown.Get("Bar").SetPosition(60);
  EXPECT_NE(terminal.out.str().find("\r[############------------------]  40%"), std::string::npos);
  EXPECT_EQ(terminal.out.str().find("60%"), std::string::npos);
}

}  // namespace
