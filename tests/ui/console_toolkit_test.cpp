#include "ui/console/console_toolkit.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <sstream>
#include <chrono>
#include <regex>
#include <stdexcept>
#include <thread>

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
  explicit Console(const std::string& input, bool terminal = false) : in(input), toolkit(in, out, err, terminal) {
    toolkit.SetTitle("Title");
  }
  std::istringstream in;
  std::ostringstream out, err;
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
  EXPECT_EQ(console.err.str(), "Title: Error: boom\n") << "errors go to the error stream";
  EXPECT_EQ(console.out.str().find("boom"), std::string::npos);

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

namespace {

// On a terminal the bar names the current item (the bar's own text before a
// label's), is redrawn at most ten times a second, always shows 100%, and
// once its run has lasted a moment adds the throughput and the time left.
TEST(ConsoleToolkit, TerminalBarIsThrottledAndTellsItemRateAndTimeLeft) {
  Console terminal("", true);
  ui::Form form(kWindow);
  terminal.toolkit.ShowForm(form);
  form.Get("LStatus").SetText("Extracting files ...");
  ui::Control& bar = form.Get("Bar");
  bar.SetText("samples\\first.bvnote");
  for (int percent = 1; percent <= 100; ++percent) bar.SetPosition(percent);
  std::string text = terminal.out.str();
  const auto draws = std::count(text.begin(), text.end(), '\r');
  EXPECT_GE(draws, 2) << "the first and the last state";
  EXPECT_LT(draws, 20) << "a hundred updates in a moment are not a hundred redraws";
  EXPECT_NE(text.find("[##############################] 100%  samples\\first.bvnote"), std::string::npos) << text;
  EXPECT_EQ(text.find("Extracting files"), std::string::npos) << "the bar's item comes first";

  // A new run (the bar goes back) measures its own pace, from the bytes the
  // throughput source counted since the run began.
  Console slow("", true);
  int64_t bytes = 7'000'000'000;
  slow.toolkit.SetThroughputSource([&bytes] { return bytes; });
  ui::Form again(kWindow);
  slow.toolkit.ShowForm(again);
  again.Get("Bar").SetPosition(10);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  bytes += 3'000'000;
  again.Get("Bar").SetPosition(50);
  text = slow.out.str();
  const std::string last = text.substr(text.rfind('\r') + 1);
  EXPECT_TRUE(last.starts_with("[###############---------------]  50%  ")) << last;
  EXPECT_NE(last.find(" MB/s"), std::string::npos) << last;
  EXPECT_TRUE(std::regex_search(last, std::regex(R"(  0:0\d left)"))) << last;
  EXPECT_EQ(last.size(), 79u) << "the whole previous line is overwritten";
}

}  // namespace

namespace {

constexpr auto kQuestion = std::to_array<ControlDef>({
    {.kind = ControlKind::Window, .name = "DAsk", .caption = "Ask"},
    {.kind = ControlKind::Label, .name = "LText", .caption = "Remove it?"},
    {.kind = ControlKind::Button, .name = "BYes", .caption = "&Yes"},
    {.kind = ControlKind::Button, .name = "BNo", .caption = "No"},
});

constexpr auto kResult = std::to_array<ControlDef>({
    {.kind = ControlKind::Window, .name = "DDone", .caption = "Done"},
    {.kind = ControlKind::Label, .name = "LText", .caption = "Finished!"},
    {.kind = ControlKind::Button, .name = "BOK", .caption = "OK"},
});

// A window's Yes and No answer to "y" and "n" as a message box's do, and a
// window whose one answer is OK is printed and pressed without reading.
TEST(ConsoleToolkit, ShortAnswersAndAFinalOkThatDoesNotWait) {
  for (const auto& [input, pressed] : {std::pair{"y\n", "BYes"}, std::pair{"N\n", "BNo"}}) {
    Console console(input);
    ui::Form form(kQuestion);
    std::string clicked;
    for (const char* name : {"BYes", "BNo"}) {
      form.Get(name).SetOnClick([&, name](ui::Control&) {
        clicked = name;
        form.Close();
      });
    }
    console.toolkit.Run(form);
    EXPECT_EQ(clicked, pressed) << input;
    EXPECT_EQ(console.out.str().find("Not understood"), std::string::npos) << console.out.str();
  }
  Console console("left for later\n");
  ui::Form form(kResult);
  form.Get("BOK").SetOnClick([&form](ui::Control&) { form.Close(); });
  console.toolkit.Run(form);
  EXPECT_NE(console.out.str().find("Finished!"), std::string::npos);
  std::string unread;
  std::getline(console.in, unread);
  EXPECT_EQ(unread, "left for later") << "nothing was read";
}

}  // namespace

namespace {

constexpr auto kPage = std::to_array<ControlDef>({
    {.kind = ControlKind::Window, .name = "DPage", .caption = "Page"},
    {.kind = ControlKind::HtmlView, .name = "XPage"},
    {.kind = ControlKind::Edit, .name = "EDir"},
    {.kind = ControlKind::Button, .name = "BNext", .caption = "Next"},
});

// A page reads as text on the terminal: list items, entities, lines no
// wider than the terminal; a setting typed is echoed as it was taken.
TEST(ConsoleToolkit, PagesReadAsTextAndSettingsAreEchoed) {
  const std::string file = ::testing::TempDir() + "console_page.htm";
  std::ofstream(file) << "<ul><li>one</li><li>Fish &amp; chips &#169; &copy; &#x2014; &bogus;</li></ul><p>"
                      << std::string(30, 'a') + " " + std::string(30, 'b') + " " + std::string(30, 'c') << "</p>";
  Console console("EDir=/opt/app\n");
  ui::Form form(kPage);
  form.Get("XPage").SetText(file);
  console.toolkit.Run(form);
  const std::string out = console.out.str();
  EXPECT_NE(out.find("- one\n- Fish & chips \u00A9 \u00A9 \u2014 &bogus;\n"), std::string::npos) << out;
  EXPECT_NE(out.find(std::string(30, 'a') + " " + std::string(30, 'b') + "\n" + std::string(30, 'c')),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("EDir = /opt/app\n"), std::string::npos) << out;
}

}  // namespace
