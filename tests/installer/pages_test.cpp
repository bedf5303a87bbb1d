// HTML pages in place of panels, and filling the wizard from the script.
#include "installer/installer_fixture.h"
#include "system/files.h"

namespace installer::testing {
namespace {

class PagesTest : public InstallerTest {
 protected:
  std::string install = Folder("app");
};

TEST_F(PagesTest, IntroPageOffersInstallAndExitAsACentredPair) {
  ASSERT_TRUE(Open({.script = StandardScript(install),
                    // A page named after the licence panel never replaces it (a
                    // package cannot also hold "license.htm": the names differ
                    // only in letter case).
                    .pages = {{"Intro.htm", "<p>welcome</p>"}, {"License.htm", "<p>never shown</p>"}}}));
  EXPECT_EQ(Showing(), "PnlCustom");
  EXPECT_EQ(engine->CurrentPanel(), "Intro");
  EXPECT_EQ(toolkit.navigations.back(), "XCustomHTML -> " + engine->PageFolder() + "Intro.htm");
  EXPECT_EQ(toolkit.overflow_hidden, std::vector<std::string>{"XCustomHTML"});
  EXPECT_FALSE(Get("BCustom1").visible());
  EXPECT_EQ(Get("BCustom1").text(), "");
  EXPECT_EQ(Get("BCustom2").text(), "Install");
  EXPECT_EQ(Get("BCustom3").text(), "Exit");
  const int left = (550 - 2 * 110 - 8) / 2;
  EXPECT_EQ(Get("BCustom2").bounds().left, left);
  EXPECT_EQ(Get("BCustom3").bounds().left, left + 118);

  toolkit.QueueClick("BCustom2");
  toolkit.QueueAction("licence panel", [&] {
    // The licence is never replaced; its page shows inside the panel.
    EXPECT_EQ(Showing(), "PnlLicense");
    EXPECT_EQ(toolkit.overflow_hidden.size(), 1u);
  });
  toolkit.Run(window);
  EXPECT_NE(std::find(toolkit.navigations.begin(), toolkit.navigations.end(),
                      "XLicenseHTML -> " + engine->PageFolder() + "license.htm"),
            toolkit.navigations.end());
}

TEST_F(PagesTest, ExitOnTheIntroPageClosesWithoutAsking) {
  ASSERT_TRUE(Open({.script = StandardScript(install), .pages = {{"Intro.htm", "<p>welcome</p>"}}}));
  toolkit.QueueClick("BCustom3");
  toolkit.Run(window);
  EXPECT_TRUE(window.closed());
  EXPECT_FALSE(toolkit.ran_out_of_input);
  EXPECT_TRUE(toolkit.messages.empty());
}

TEST_F(PagesTest, OptionsPageNextInstallsIntoTheHiddenEditBoxFolder) {
  ASSERT_TRUE(Open({.script = StandardScript(install), .pages = {{"Options.htm", "<p>options</p>"}}}));
  toolkit.QueueClick("BIntroInstall");
  toolkit.QueueClick("BLicenseAccept");
  toolkit.QueueAction("options page", [&] {
    EXPECT_EQ(Showing(), "PnlCustom");
    EXPECT_EQ(Get("BCustom1").text(), "Back");
    EXPECT_EQ(Get("BCustom2").text(), "Next");
    EXPECT_EQ(Get("BCustom3").text(), "Cancel");
    const int left = (550 - 3 * 110 - 16) / 2;
    EXPECT_EQ(Get("BCustom1").bounds().left, left);
    EXPECT_EQ(Get("BCustom3").bounds().left, left + 2 * 118);
  });
  CancelNextInstall();
  toolkit.QueueClick("BCustom2");
  toolkit.Run(window);
  EXPECT_EQ(InstalledInto(), install);
}

TEST_F(PagesTest, ReadmeHtmlPageIsPreferredAndKeepsScrollBars) {
  ASSERT_TRUE(Open({.script = StandardScript(install)}));
  engine->SetInstallFolder(install);
  dir.Write("app/Readme.htm", "<p>read</p>");
  dir.Write("app/Readme.txt", "read");
  engine->ShowPanel("Readme");
  EXPECT_EQ(toolkit.navigations.back(), "XCustomHTML -> " + install + "Readme.htm");
  EXPECT_TRUE(toolkit.overflow_hidden.empty());
  EXPECT_EQ(Showing(), "PnlCustom");
}

TEST_F(PagesTest, ReadmeIsFoundInAFolderTypedWithoutItsSeparator) {
  ASSERT_TRUE(Open({.script = StandardScript(install)}));
  engine->SetInstallFolder(sys::ExcludeTrailingSeparator(install));
  EXPECT_EQ(engine->InstallFolder(), install);
  dir.Write("app/Readme.txt", "read");
  engine->ShowPanel("Readme");
  EXPECT_EQ(Showing(), "PnlCustom");
}

TEST_F(PagesTest, WizardIsFilledFromTheScript) {
  ASSERT_TRUE(Open({.script = StandardScript(install, "FinishedExtra=one|two\r\nInstallationTitle=Setup\r\n")}));
  EXPECT_EQ(engine->Script().displayName, "Test App");
  for (const char* label : {"LIntroProgramName", "LOptionsProgramName", "LStatusProgramName", "LFinishedProgramName"}) {
    EXPECT_EQ(Get(label).text(), "Test App") << label;
  }
  EXPECT_EQ(Get("LIntroVersion").text(), "Version 2.5");
  EXPECT_EQ(Get("MFinishedExtra").text(), "one\r\ntwo");
  EXPECT_TRUE(Get("MFinishedExtra").visible());
  EXPECT_EQ(window.caption(), "Setup");
  EXPECT_EQ(Get("ROptionsAppsDir").text(), install);
  EXPECT_EQ(Get("ROptionsProgramsDir").text(), engine->GetSettingValue("programs_dir"));
  EXPECT_FALSE(Get("COptionsReadme").visible());
  EXPECT_TRUE(Get("ROptionsCustomDir").visible());
}

TEST_F(PagesTest, DisplayNameDefinedEmptyIsUsedAsIs) {
  ASSERT_TRUE(Open({.script = StandardScript(install, "DisplayName==\r\n")}));
  EXPECT_EQ(engine->Script().displayName, "");
  EXPECT_EQ(Get("LIntroProgramName").text(), "");
  EXPECT_EQ(window.caption(), "Installing ");
}

TEST_F(PagesTest, ReadmeAvailableIsCaseSensitivePreventDirectoryChangeIsNot) {
  ASSERT_TRUE(Open({.script = StandardScript(Folder("fixed"), "apps_dir=" + Folder("other") +
                                                                   "\r\nReadmeAvailable=True\r\n"
                                                                   "PreventDirectoryChange=True\r\n")}));
  EXPECT_FALSE(Get("COptionsReadme").visible());
  EXPECT_EQ(Get("ROptionsAppsDir").text(), Folder("fixed"));
  for (const char* hidden : {"EOptionsInstallDir", "BOptionsInstallBrowse", "ROptionsProgramsDir", "ROptionsCustomDir"}) {
    EXPECT_FALSE(Get(hidden).visible()) << hidden;
  }
  toolkit.QueueClick("BIntroInstall");
  toolkit.QueueClick("BLicenseAccept");
  toolkit.QueueClick("ROptionsAppsDir");  // the one choice shown: the fixed folder stays
  CancelNextInstall();
  toolkit.QueueClick("BOptionsNext");
  toolkit.Run(window);
  EXPECT_EQ(InstalledInto(), Folder("fixed"));
}

TEST_F(PagesTest, ReadmeAvailableTrueShowsTheCheckBox) {
  ASSERT_TRUE(Open({.script = StandardScript(install, "ReadmeAvailable=true\r\n")}));
  EXPECT_TRUE(Get("COptionsReadme").visible());
}

}  // namespace
}  // namespace installer::testing
