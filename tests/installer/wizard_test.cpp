// The wizard's navigation over a real package: the action-word table, exit
// confirmation, the Status panel's buttons and the engine's lifetime.
#include "installer/installer_fixture.h"
#include "system/files.h"
#include "system/launch.h"

namespace installer::testing {
namespace {

class WizardTest : public InstallerTest {
 protected:
  void SetUp() override {
    install = Folder("proposed");
    ASSERT_TRUE(Open({.script = StandardScript(install),
                      .pages = {{"license.htm", "<p>licence</p>"}},
                      .program = {{"testapp.exe", "app"}, {"data/one.txt", "1"}, {"data/two.txt", "2"}}}));
  }

  void WalkToOptions() {
    toolkit.QueueClick("BIntroInstall");
    toolkit.QueueClick("BLicenseAccept");
  }

  std::vector<std::string> StepPanels() const {
    std::vector<std::string> panels;
    for (const auto& step : toolkit.steps) panels.push_back(step.panels.empty() ? "" : step.panels.front());
    return panels;
  }

  std::string install;
};

TEST_F(WizardTest, IntroLicenseOptionsNextStartsTheRunWithTheTypedFolder) {
  EXPECT_EQ(Showing(), "PnlIntro");
  EXPECT_EQ(engine->Mode(), "install");
  const std::string typed = dir.dir() + "typed" + Sep() + "App";  // no closing separator
  CancelNextInstall();
  WalkToOptions();
  toolkit.QueueClick("ROptionsCustomDir");
  toolkit.QueueSetText("EOptionsInstallDir", typed);
  toolkit.QueueClick("BOptionsNext");
  toolkit.Run(window);
  // The run shows Status; the cancel performed there is a step of its own.
  EXPECT_EQ(StepPanels(), (std::vector<std::string>{"PnlLicense", "PnlOptions", "PnlOptions", "PnlOptions",
                                                    "PnlStatus", "PnlStatus", ""}));
  // Completed once, where it is taken: every later user sees the same folder.
  ASSERT_EQ(InstalledInto(), typed + Sep());
  EXPECT_EQ(engine->Outcome()->install, InstallOutcome::Cancelled);
  EXPECT_EQ(engine->GetSettingValue("install_dir"), typed + Sep());
  EXPECT_TRUE(toolkit.messages.empty());
}

// A folder that is not a full path would be taken from wherever the
// program was started (and a Windows folder is such a path on Linux).
TEST_F(WizardTest, NextRefusesAFolderThatIsNotAFullPath) {
  WalkToOptions();
  toolkit.QueueClick("ROptionsCustomDir");
  for (const std::string& folder : {"relative" + std::string(1, Sep()) + "App", std::string()}) {
    toolkit.QueueSetText("EOptionsInstallDir", folder);
    toolkit.QueueClick("BOptionsNext");
  }
  toolkit.Run(window);
  EXPECT_FALSE(engine->InstallStarted());
  ASSERT_EQ(toolkit.messages.size(), 2u);
  EXPECT_EQ(toolkit.messages[0].text, RelativeFolderMessage("relative" + std::string(1, Sep()) + "App"));
  EXPECT_EQ(toolkit.messages[0].icon, ui::Icon::Error);
  EXPECT_EQ(toolkit.messages[0].panels, std::vector<std::string>{"PnlOptions"});
  EXPECT_NE(toolkit.messages[1].text.find("\"\" is not a full path"), std::string::npos);
}

TEST_F(WizardTest, FolderChoicesFillTheEditBox) {
  EXPECT_EQ(Get("EOptionsInstallDir").text(), install);
  EXPECT_TRUE(Get("ROptionsAppsDir").checked());
  EXPECT_FALSE(Get("EOptionsInstallDir").enabled());
  EXPECT_FALSE(Get("BOptionsInstallBrowse").enabled());
  const std::string chosen = Folder("chosen");
  sys::CreateFolders(chosen);
  CancelNextInstall();
  WalkToOptions();
  toolkit.QueueClick("ROptionsProgramsDir");
  toolkit.QueueAction("check programs_dir", [&] {
    EXPECT_EQ(Get("EOptionsInstallDir").text(), engine->GetSettingValue("programs_dir"));
    EXPECT_FALSE(Get("EOptionsInstallDir").enabled());
  });
  toolkit.QueueClick("ROptionsCustomDir");
  toolkit.QueueSetText("EOptionsInstallDir", chosen + "not" + Sep() + "yet");
  toolkit.AnswerChooser(sys::ExcludeTrailingSeparator(chosen));
  toolkit.QueueClick("BOptionsInstallBrowse");
  // A folder that holds something gets the program's folder below it.
  toolkit.QueueAction("fill the chosen folder", [&] { dir.Write("chosen/other.txt", "x"); });
  toolkit.AnswerChooser(chosen);
  toolkit.QueueClick("BOptionsInstallBrowse");
  toolkit.QueueClick("BOptionsNext");
  toolkit.Run(window);
  ASSERT_EQ(toolkit.choosers.size(), 2u);
  EXPECT_EQ(toolkit.choosers[0].text, "Choose an installation directory");
  // The chooser starts at the nearest folder that exists.
  EXPECT_EQ(toolkit.choosers[0].initial, chosen);
  EXPECT_EQ(InstalledInto(), chosen + "Test App" + Sep());
}

TEST_F(WizardTest, ChosenFolderGetsTheProgramFolderUnlessEmptyOrAlreadyItsOwn) {
  const std::string empty = Folder("empty");
  const std::string shared = Folder("shared");
  const std::string own = Folder("shared" + std::string(1, Sep()) + "Test App");
  for (const std::string& folder : {empty, shared, own}) sys::CreateFolders(folder);
  dir.Write("shared/Test App/old.txt", "x");
  dir.Write("shared/.hidden", "x");
  struct Case {
    std::string chosen, displayName, proposed;
  };
  for (const Case& row : {Case{empty, "Test App", empty}, Case{sys::ExcludeTrailingSeparator(empty), "Test App", empty},
                          Case{shared, "Test App", own}, Case{own, "Test App", own},
                          Case{shared + "test app", "TEST APP", shared + "test app" + Sep()},
                          Case{shared, "", shared}}) {
    EXPECT_EQ(installer::ProposedInstallFolder(row.chosen, row.displayName), row.proposed) << row.chosen;
  }
}

TEST_F(WizardTest, ExitOnIntroClosesWithoutAsking) {
  toolkit.QueueClick("BIntroExit");
  toolkit.Run(window);
  EXPECT_TRUE(window.closed());
  EXPECT_FALSE(toolkit.ran_out_of_input);
  EXPECT_TRUE(toolkit.messages.empty());
}

TEST_F(WizardTest, ExitOnOptionsAsksAndHonoursNo) {
  WalkToOptions();
  toolkit.AnswerMessage(ui::Answer::No);
  toolkit.QueueClick("BOptionsExit");
  toolkit.QueueAction("still open", [&] {
    EXPECT_FALSE(window.closed());
    EXPECT_EQ(Showing(), "PnlOptions");
  });
  toolkit.AnswerMessage(ui::Answer::Yes);
  toolkit.QueueClick("BOptionsExit");
  toolkit.Run(window);
  ASSERT_EQ(toolkit.messages.size(), 2u);
  EXPECT_EQ(toolkit.messages[0].caption, "Exit Installer");
  EXPECT_EQ(toolkit.messages[0].text,
            "Your installation is not complete. Are you sure you wish to exit the installation?");
  EXPECT_EQ(toolkit.messages[0].buttons, ui::Buttons::YesNo);
  EXPECT_TRUE(window.closed());
  EXPECT_FALSE(toolkit.ran_out_of_input);
  EXPECT_FALSE(engine->InstallStarted());
}

TEST_F(WizardTest, CancelOnLicenseAsksAndHonoursNo) {
  toolkit.QueueClick("BIntroInstall");
  toolkit.AnswerMessage(ui::Answer::No);
  toolkit.QueueClick("BLicenseCancel");
  toolkit.QueueClick("BLicenseAccept");
  toolkit.Run(window);
  ASSERT_EQ(toolkit.messages.size(), 1u);
  EXPECT_EQ(toolkit.messages[0].caption, "Exit Installer");
  const std::vector<std::string> panels = StepPanels();
  ASSERT_GE(panels.size(), 2u);
  EXPECT_EQ(panels[panels.size() - 2], "PnlOptions");  // closed only when input ran out
  EXPECT_TRUE(toolkit.ran_out_of_input);
}

TEST_F(WizardTest, DeclineShowsItsMessageAndCloses) {
  toolkit.QueueClick("BIntroInstall");
  toolkit.QueueClick("BLicenseDecline");
  toolkit.Run(window);
  EXPECT_EQ(toolkit.MessageTexts(), std::vector<std::string>{
                                        "You must accept the license to install the program. The installer will "
                                        "now close."});
  EXPECT_TRUE(window.closed());
  EXPECT_FALSE(toolkit.ran_out_of_input);
}

TEST_F(WizardTest, ReadmePageLeadsToFinishedAndCloseLaunchesTheProgram) {
  // The run installs for real: shortcuts, associations and the data folder.
  if (!testsupport::SandboxFolders::kRedirected) GTEST_SKIP() << "special folders cannot be redirected here";
  dir.Write("proposed/Readme.txt", "read me");  // the user's, kept by the install
  // A program that is not in the package: the launch fails and says so.
  engine->SetSettingValue("ProgramExe", "missing.exe");
  Get("COptionsReadme").SetChecked(true);
  WalkToOptions();
  toolkit.QueueClick("COptionsLaunch");
  toolkit.QueueClick("BOptionsNext");
  toolkit.QueueAction("readme shown", [&] {
    EXPECT_EQ(Showing(), "PnlCustom");
    EXPECT_EQ(Get("BCustom2").text(), "Next");
    EXPECT_FALSE(Get("BCustom1").visible());
    EXPECT_FALSE(Get("BCustom3").visible());
    EXPECT_EQ(Get("BCustom2").bounds().left, (550 - 110 - 8) / 2);
  });
  toolkit.QueueClick("BCustom2");
  toolkit.QueueAction("finished shown", [&] {
    EXPECT_EQ(Showing(), "PnlFinished");
    EXPECT_EQ(Get("MFinishedText").text(),
              "Your installation is complete. You may now close the installer and the program will launch.");
  });
  toolkit.QueueClick("BFinishedClose");
  toolkit.Run(window);
  EXPECT_EQ(toolkit.navigations.back(), "XCustomHTML -> " + install + "Readme.txt");
  // A readme keeps its scroll bars.
  EXPECT_TRUE(toolkit.overflow_hidden.empty());
  EXPECT_TRUE(sys::FileExists(install + "testapp.exe")) << "the run installed";
  const std::string reason = sys::PathSeparator() == '/' ? std::string("\n") + sys::kLaunchNotFound : "";
  EXPECT_EQ(toolkit.MessageTexts(),
            std::vector<std::string>{"Problem occured launching " + install + "missing.exe" + reason});
  EXPECT_TRUE(window.closed());
  EXPECT_FALSE(toolkit.ran_out_of_input);
}

TEST_F(WizardTest, FinishTextFollowsTheLaunchChoiceAndTheScript) {
  engine->SetSettingValue("FinishedNoLaunch", "Done.|Enjoy.");
  engine->ShowPanel("Finished");
  EXPECT_EQ(Get("MFinishedText").text(), "Done.\r\nEnjoy.");
  Get("COptionsLaunch").SetChecked(true);
  engine->SetSettingValue("FinishedLaunch", "Starting|now");
  engine->ShowPanel("Finished");
  EXPECT_EQ(Get("MFinishedText").text(), "Starting\r\nnow");
}

TEST_F(WizardTest, FinishedTextKeepsItsDesignWithoutScriptText) {
  const std::string design = Get("MFinishedText").text();
  engine->ShowPanel("Finished");
  EXPECT_EQ(Get("MFinishedText").text(), design);
  // Without FinishedExtra the extra box is hidden and the text centred.
  EXPECT_FALSE(Get("MFinishedExtra").visible());
  EXPECT_EQ(Get("MFinishedText").bounds().top, (270 - 60) / 2);
}

// Without a readme there is nothing to read: the wizard goes on to its end
// rather than leaving a panel that only the title bar can close.
TEST_F(WizardTest, ReadmeWithoutFileGoesOnToFinished) {
  engine->ShowPanel("Readme");  // no install folder yet
  EXPECT_EQ(Showing(), "PnlFinished");
  engine->SetInstallFolder(dir.dir());
  dir.Write("readme.md", "not a readme page");
  engine->ShowPanel("Readme");
  EXPECT_EQ(Showing(), "PnlFinished");
  EXPECT_EQ(engine->CurrentPanel(), "Finished");
}

TEST_F(WizardTest, StatusOkClosesOnlyWhenCreating) {
  CancelNextInstall();
  WalkToOptions();
  toolkit.QueueClick("BOptionsNext");
  toolkit.QueueClick("BStatusOK");
  toolkit.QueueAction("still open", [&] {
    EXPECT_FALSE(window.closed());
    EXPECT_EQ(Showing(), "PnlStatus");
    // A build (here of a project with nothing to pack) ends on the same panel.
    engine->Build(dir.dir() + "out.exe", Folder("no project"), "zlibfastest", "", 0);
    EXPECT_EQ(engine->Mode(), "create");
  });
  toolkit.QueueClick("BStatusOK");
  toolkit.Run(window);
  EXPECT_TRUE(window.closed());
  EXPECT_FALSE(toolkit.ran_out_of_input);
}

TEST_F(WizardTest, StatusCancelWhileBusyRequestsCancellation) {
  ClickWhileBusy("BStatusCancel");
  WalkToOptions();
  toolkit.QueueClick("BOptionsNext");
  toolkit.QueueAction("cancelled", [&] {
    EXPECT_TRUE(engine->CancelRequested());
    EXPECT_FALSE(engine->Busy());
    EXPECT_FALSE(window.closed());
    EXPECT_EQ(engine->Outcome()->install, InstallOutcome::Cancelled);
  });
  toolkit.QueueClick("BStatusCancel");  // no longer busy: closes
  toolkit.Run(window);
  // Cancelled at the first file, and undone.
  EXPECT_FALSE(sys::FileExists(install + "testapp.exe"));
  EXPECT_TRUE(window.closed());
  EXPECT_FALSE(toolkit.ran_out_of_input);
  EXPECT_TRUE(toolkit.messages.empty());
}

TEST_F(WizardTest, ExtractionMovesTheStatusBarAndNeedsADefinedFolder) {
  const std::string target = Folder("target");
  engine->SetSettingValue("install_dir", target);
  EXPECT_TRUE(engine->ExtractPackageFolder("install_dir"));
  EXPECT_TRUE(sys::FileExists(target + "testapp.exe"));
  EXPECT_TRUE(sys::FileExists(target + "data" + Sep() + "two.txt"));
  EXPECT_EQ(Get("CtrlStatusProgress").position(), 100);
  EXPECT_FALSE(engine->ExtractPackageFolder("no_such_dir"));
  MakeEngine();  // no package open
  engine->SetSettingValue("install_dir", target);
  EXPECT_FALSE(engine->ExtractPackageFolder("install_dir"));
}

TEST_F(WizardTest, UninstallPanelYesRunsAndClosesNoCloses) {
  // An installation that left nothing but its (empty) log.
  ASSERT_TRUE(engine->PrepareUninstall(dir.Write("data/Test App.inst", "")));
  toolkit.QueueClick("BUninstallYes");
  toolkit.Run(window);
  EXPECT_EQ(toolkit.MessageTexts(), std::vector<std::string>{kUninstalledMessage});
  EXPECT_TRUE(window.closed());
  toolkit.QueueClick("BUninstallNo");
  toolkit.Run(window);
  EXPECT_EQ(toolkit.MessageTexts(), std::vector<std::string>{kUninstalledMessage}) << "No runs nothing";
  EXPECT_TRUE(window.closed());
  EXPECT_FALSE(toolkit.ran_out_of_input);
}

TEST_F(WizardTest, ProgramMadeChangesSelectNoRow) {
  // Filling the wizard ticked ROptionsAppsDir and set the edit box: nothing ran.
  EXPECT_FALSE(engine->InstallStarted());
  EXPECT_TRUE(toolkit.messages.empty());
  // On the Options panel the edit box's change gives "InstallDir", which no
  // panel uses; on another panel a radio button's click gives no known word.
  engine->ShowPanel("Options");
  Get("EOptionsInstallDir").SetText("elsewhere");
  EXPECT_EQ(Showing(), "PnlOptions");
  engine->ShowPanel("Intro");
  Get("ROptionsProgramsDir").SetChecked(true);
  EXPECT_EQ(Get("EOptionsInstallDir").text(), "elsewhere");
  EXPECT_EQ(Showing(), "PnlIntro");
  EXPECT_FALSE(engine->InstallStarted());
  EXPECT_TRUE(toolkit.messages.empty());
  EXPECT_FALSE(window.closed());
}

TEST_F(WizardTest, ClosingTheWindowDuringARunKeepsTheEngineUntilTheRunEnds) {
  std::weak_ptr<VelInstaller> watch = engine;
  // The owner lets the engine go when the window closes, as the program
  // does: asking its run to stop first.
  window.SetOnClose([&](ui::Form&) {
    engine->RequestCancel();
    engine.reset();
  });
  DuringInstall("close the window", [&] {
    window.Close();
    EXPECT_FALSE(watch.expired());
  });
  WalkToOptions();
  toolkit.QueueClick("BOptionsNext");
  toolkit.Run(window);
  EXPECT_TRUE(watch.expired());
  EXPECT_FALSE(sys::FileExists(install + "testapp.exe")) << "the stopped run was undone";
  EXPECT_FALSE(Get("BOptionsNext").hasClickHandler());
}

TEST_F(InstallerTest, BackOnAPageDoesNothing) {
  ASSERT_TRUE(Open({.script = StandardScript(Folder("app")), .pages = {{"Options.htm", "<p>options</p>"}}}));
  engine->ShowPanel("Options");
  toolkit.QueueClick("BCustom1");  // "Back"
  toolkit.Run(window);
  EXPECT_EQ(Get("BCustom1").text(), "Back");
  EXPECT_EQ(toolkit.steps.front().panels, std::vector<std::string>{"PnlCustom"});
  EXPECT_TRUE(toolkit.ran_out_of_input);
}

}  // namespace
}  // namespace installer::testing
