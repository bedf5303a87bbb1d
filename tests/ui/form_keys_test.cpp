// What keys mean on the wizard's panels, as the form model decides it for
// every toolkit: default and cancel buttons, tab stops, the radio group and
// access keys.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/main_window_def.h"
#include "ui/form.h"

namespace {

class FormKeysTest : public ::testing::Test {
 protected:
  FormKeysTest() : form(app::MainWindowDefinition()) { form.Show(); }

  void ShowOnly(const std::string& panel) {
    for (ui::Control* control : form.ChildrenOf(form.window())) {
      if (control->kind() == ui::ControlKind::Panel) control->SetVisible(control->name() == panel);
    }
  }
  static std::string NameOf(const ui::Control* control) { return control ? control->name() : "(none)"; }
  std::vector<std::string> Stops() const {
    std::vector<std::string> names;
    for (const ui::Control* stop : form.TabStops()) names.push_back(stop->name());
    return names;
  }

  ui::Form form;
};

TEST_F(FormKeysTest, EachPanelHasItsDefaultAndCancelButtonAndFocusStartsOnTheDefault) {
  struct Case {
    const char* panel;
    const char* enter;
    const char* escape;
  };
  for (const Case& row : {Case{"PnlIntro", "BIntroInstall", "BIntroExit"},
                          Case{"PnlLicense", "BLicenseAccept", "BLicenseCancel"},
                          Case{"PnlOptions", "BOptionsNext", "BOptionsExit"},
                          Case{"PnlStatus", "BStatusOK", "BStatusCancel"},
                          Case{"PnlCustom", "BCustom2", "BCustom3"},
                          Case{"PnlFinished", "BFinishedClose", "(none)"},
                          Case{"PnlUninstall", "BUninstallYes", "BUninstallNo"}, Case{"PnlAbout", "(none)", "(none)"}}) {
    SCOPED_TRACE(row.panel);
    ShowOnly(row.panel);
    EXPECT_EQ(NameOf(form.DefaultButton()), row.enter);
    EXPECT_EQ(NameOf(form.EscapeTarget()), row.escape);
    if (form.DefaultButton()) {
      EXPECT_EQ(form.InitialFocus(), form.DefaultButton());
    }
  }
  // A hidden page button is never the default (a readme page shows only "Next").
  ShowOnly("PnlCustom");
  form.Get("BCustom3").SetVisible(false);
  EXPECT_EQ(form.EscapeTarget(), nullptr);
}

TEST_F(FormKeysTest, EnterPressesTheFocusedButtonOrTheDefaultButNeverTicksAndEscapeIgnoresTheFocus) {
  ShowOnly("PnlOptions");
  ui::Control& next = form.Get("BOptionsNext");
  EXPECT_EQ(form.EnterTarget(&form.Get("BOptionsExit")), &form.Get("BOptionsExit"));
  EXPECT_EQ(form.EnterTarget(&form.Get("COptionsLaunch")), &next);
  EXPECT_EQ(form.EnterTarget(&form.Get("EOptionsInstallDir")), &next);
  EXPECT_EQ(form.EnterTarget(nullptr), &next);

  ShowOnly("PnlLicense");
  // Reading the licence text: Enter accepts, Escape cancels (never anything else).
  EXPECT_EQ(form.EnterTarget(&form.Get("XLicenseHTML")), &form.Get("BLicenseAccept"));
  EXPECT_EQ(form.EscapeTarget(), &form.Get("BLicenseCancel"));

  // A disabled default button is not pressed.
  ShowOnly("PnlStatus");
  form.Get("BStatusOK").SetEnabled(false);
  EXPECT_EQ(form.EnterTarget(nullptr), nullptr);
  EXPECT_EQ(form.InitialFocus(), &form.Get("BStatusCancel"));
}

TEST_F(FormKeysTest, TabSkipsHiddenAndDisabledControlsAndTheRadioGroupIsOneStop) {
  ShowOnly("PnlOptions");
  form.Get("ROptionsAppsDir").SetChecked(true);
  form.Get("EOptionsInstallDir").SetEnabled(false);
  form.Get("BOptionsInstallBrowse").SetEnabled(false);
  form.Get("COptionsReadme").SetVisible(false);
  const std::vector<std::string> expected = {"COptionsDesktopShortcut", "COptionsStartMenuShortcut", "COptionsLaunch",
                                             "ROptionsAppsDir", "BOptionsNext", "BOptionsExit"};
  EXPECT_EQ(Stops(), expected);
  EXPECT_EQ(NameOf(form.NextTabStop(&form.Get("BOptionsExit"), false)), "COptionsDesktopShortcut");
  EXPECT_EQ(NameOf(form.NextTabStop(&form.Get("COptionsDesktopShortcut"), true)), "BOptionsExit");

  // The arrows move within the group, wrapping; the ticked one is the stop.
  ui::Control& apps = form.Get("ROptionsAppsDir");
  EXPECT_EQ(NameOf(form.NextInGroup(apps, false)), "ROptionsProgramsDir");
  EXPECT_EQ(NameOf(form.NextInGroup(apps, true)), "ROptionsCustomDir");
  form.Get("ROptionsCustomDir").SetChecked(true);
  form.Get("EOptionsInstallDir").SetEnabled(true);
  EXPECT_EQ(NameOf(form.NextTabStop(&form.Get("COptionsLaunch"), false)), "ROptionsCustomDir");
  EXPECT_EQ(NameOf(form.NextTabStop(&form.Get("ROptionsCustomDir"), false)), "EOptionsInstallDir");
  // An unticked radio button reached by the arrows moves on with its group.
  EXPECT_EQ(NameOf(form.NextTabStop(&apps, false)), "EOptionsInstallDir");

  // With the folder fixed only one choice is left: the arrows stay on it.
  for (const char* name : {"ROptionsProgramsDir", "ROptionsCustomDir"}) form.Get(name).SetVisible(false);
  apps.SetChecked(true);
  EXPECT_EQ(form.NextInGroup(apps, false), &apps);

  // Text being read is a stop of its own, so Tab leaves it for the buttons.
  ShowOnly("PnlLicense");
  EXPECT_EQ(Stops(), (std::vector<std::string>{"XLicenseHTML", "BLicenseAccept", "BLicenseDecline", "BLicenseCancel"}));
  ShowOnly("PnlIntro");
  EXPECT_EQ(Stops(), (std::vector<std::string>{"BIntroInstall", "BIntroExit"}));
}

TEST_F(FormKeysTest, AccessKeysAreUniquePerPanelAndFollowWhatIsShowing) {
  for (const char* panel : {"PnlIntro", "PnlLicense", "PnlOptions", "PnlUninstall"}) {
    SCOPED_TRACE(panel);
    ShowOnly(panel);
    std::set<char> keys;
    for (ui::Control* control : form.controls()) {
      if (!control->usable()) continue;
      size_t index = form.AccessKeyIndex(*control);
      if (index == std::string::npos) continue;
      char key = static_cast<char>(std::tolower(static_cast<unsigned char>(control->text()[index])));
      EXPECT_TRUE(keys.insert(key).second) << control->name() << " repeats " << key;
      EXPECT_EQ(form.AccessKeyTarget(key), control);
    }
    EXPECT_FALSE(keys.empty());
  }
  ShowOnly("PnlLicense");
  EXPECT_EQ(form.AccessKeyIndex(form.Get("BLicenseAccept")), 0u);   // "I Accept": I
  EXPECT_EQ(form.AccessKeyIndex(form.Get("BLicenseDecline")), 2u);  // "I Decline": D
  EXPECT_EQ(NameOf(form.AccessKeyTarget('c')), "BLicenseCancel");
  // A key of a hidden panel does nothing.
  EXPECT_EQ(form.AccessKeyTarget('n'), nullptr);
  EXPECT_EQ(form.AccessKeyIndex(form.Get("BOptionsInstallBrowse")), std::string::npos);  // "..."
}

}  // namespace
