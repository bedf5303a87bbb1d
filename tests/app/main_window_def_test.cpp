// The main window's design: the names the engine relies on and the naming
// scheme that wires its events.
#include "app/main_window_def.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ui::ControlKind;

const std::vector<std::string> kPanels = {"Options", "Intro", "License", "Status", "Custom", "Finished", "Uninstall",
                                          "About"};

ControlKind KindOfLetter(char letter) {
  switch (letter) {
    case 'B': return ControlKind::Button;
    case 'L': return ControlKind::Label;
    case 'E': return ControlKind::Edit;
    case 'C': return ControlKind::CheckBox;
    case 'R': return ControlKind::RadioButton;
    case 'M': return ControlKind::Memo;
    case 'X': return ControlKind::HtmlView;
  }
  return ControlKind::Window;
}

TEST(MainWindow, HoldsEveryNamedControlWithItsDesignState) {
  ui::Form form(app::MainWindowDefinition());
  EXPECT_EQ(form.window().bounds().width, 550);
  EXPECT_EQ(form.window().bounds().height, 386);
  for (const std::string& panel : kPanels) {
    ui::Control& control = form.Get("Pnl" + panel);
    EXPECT_EQ(control.kind(), ControlKind::Panel);
    EXPECT_FALSE(control.visible()) << panel;
    EXPECT_EQ(control.bounds(), (ui::Rect{0, 0, 550, 386}));
  }
  EXPECT_TRUE(form.Get("COptionsDesktopShortcut").checked());
  EXPECT_TRUE(form.Get("COptionsStartMenuShortcut").checked());
  EXPECT_FALSE(form.Get("COptionsLaunch").checked());
  EXPECT_FALSE(form.Get("ROptionsAppsDir").checked()) << "filling the wizard must raise its click";
  EXPECT_EQ(form.Get("ROptionsCustomDir").text(), "Custom Directory");
  EXPECT_EQ(form.Get("BLicenseAccept").text(), "I Accept");
  EXPECT_EQ(form.Get("LStatusAction").text(), "Copying Files ...");
  EXPECT_EQ(form.Get("MFinishedText").text(),
            "Your installation is complete. You may now close \r\nthe installer and run your application.");
  EXPECT_EQ(form.Get("CtrlStatusProgress").kind(), ControlKind::ProgressBar);
  EXPECT_FALSE(form.Get("BAboutOK").visible());
  ui::Control& timer = form.Get("CtrlAppTimer");
  EXPECT_EQ(timer.kind(), ControlKind::Timer);
  EXPECT_FALSE(timer.enabled());
  EXPECT_EQ(timer.intervalMs(), 1000);

  // The options radios form one group, top to bottom.
  ui::Control* box = form.Get("ROptionsAppsDir").parent();
  EXPECT_EQ(form.Get("ROptionsProgramsDir").parent(), box);
  EXPECT_EQ(form.Get("ROptionsCustomDir").parent(), box);
  EXPECT_LT(form.Get("ROptionsAppsDir").bounds().top, form.Get("ROptionsProgramsDir").bounds().top);
  EXPECT_LT(form.Get("ROptionsProgramsDir").bounds().top, form.Get("ROptionsCustomDir").bounds().top);
}

// The engine binds a control to panel P when its name from the second
// character starts with P, and takes the panel word from its parent's name
// from the fourth character; both must agree with the design.
TEST(MainWindow, NamingSchemeMatchesKindsAndPanelWords) {
  ui::Form form(app::MainWindowDefinition());
  for (const ui::Control* control : form.controls()) {
    const std::string& name = control->name();
    for (const std::string& panel : kPanels) {
      if (panel == "About" || name.substr(1).rfind(panel, 0) != 0) continue;
      EXPECT_EQ(control->kind(), KindOfLetter(name[0])) << name << " is bound but its letter names another kind";
      const ui::Control* parent = control->parent();
      EXPECT_EQ(parent->name().substr(3), panel) << name << " sits in " << parent->name();
      const ui::Control* ancestor = parent;
      while (ancestor->parent() && ancestor->parent()->parent()) ancestor = ancestor->parent();
      EXPECT_EQ(ancestor->name(), "Pnl" + panel) << name;
    }
  }
}

TEST(MainWindow, ControlsStayInsideTheirParents) {
  ui::Form form(app::MainWindowDefinition());
  for (const ui::Control* control : form.controls()) {
    if (control->kind() == ControlKind::Timer) continue;
    const ui::Rect& inner = control->bounds();
    const ui::Rect& outer = control->parent()->bounds();
    EXPECT_GE(inner.left, 0) << control->name();
    EXPECT_GE(inner.top, 0) << control->name();
    EXPECT_LE(inner.left + inner.width, outer.width) << control->name();
    EXPECT_LE(inner.top + inner.height, outer.height) << control->name();
  }
}

}  // namespace
