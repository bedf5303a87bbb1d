// Start-up and mode dispatch, run headless on the scripted toolkit with the
// real roles, over real packages, archives and logs in temporary folders.
#include <gtest/gtest.h>

#include <filesystem>

#include <optional>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/exit_codes.h"
#include "app/roles.h"
#include "archive/archive.h"
#include "support/scripted_toolkit.h"
#include "support/small_package.h"
#include "support/temp_dir.h"
#include "system/paths.h"
#include "system/text_writer.h"

namespace {

using testsupport::ScriptedToolkit;

const std::string kExe = "/opt/brevion/setup.exe";

// One start of the program with the real roles on the scripted toolkit.
struct Session {
  explicit Session(std::vector<std::string> arguments) : options{std::move(arguments), kExe, {}, {}, nullptr} {}
  int Start() { return app::RunApplication(toolkit, roles, options); }
  // The main window, while it is open.
  ui::Form& Window() const { return roles.engine()->mainWindow(); }
  app::StartupOptions options;
  ScriptedToolkit toolkit;
  app::Roles roles;
};

// A package whose script proposes `install` (without its closing separator).
std::string WritePackage(testsupport::TempDir& dir, const std::string& install) {
  return testsupport::WriteSmallPackage(dir, "Start App", "start.exe", install);
}

TEST(Startup, NoArgumentsInstallsFromTheProgramsOwnFile) {
  testsupport::TempDir dir;
  const std::string install = dir.dir() + "app";
  Session run({});
  run.options.executablePath = WritePackage(dir, install);
  std::string editText;
  run.toolkit.QueueAction("read", [&] { editText = run.Window().Get("EOptionsInstallDir").text(); });
  EXPECT_EQ(run.Start(), app::kExitSuccess) << "nothing failed while the wizard waited";
  EXPECT_EQ(run.toolkit.title(), "Brevion Installer");
  ASSERT_FALSE(run.toolkit.steps.empty());
  EXPECT_EQ(run.toolkit.steps.front().panels, std::vector<std::string>{"PnlIntro"}) << "the package was opened";
  EXPECT_EQ(editText, install + sys::PathSeparator()) << "install_dir, closed by a separator";
  EXPECT_TRUE(run.toolkit.ran_out_of_input) << "the wizard waits for the user";
}

// Without arguments the program's own file is the package; a program that
// carries none says so and fails.
TEST(Startup, AProgramWithoutAPackageSaysSoAndFails) {
  Session run({});
  EXPECT_EQ(run.Start(), app::kExitInitFailed);
  EXPECT_EQ(run.toolkit.MessageTexts(),
            std::vector<std::string>{"This file does not contain a valid installation package."});
  EXPECT_FALSE(run.toolkit.ran_out_of_input) << "the window closes itself";
}

TEST(Startup, EditBoxProposesTheProgramsFolderUntilAPackageSaysOtherwise) {
  testsupport::TempDir dir;
  // An installation that left its (empty) log: the uninstaller asks first.
  Session run({"uninstall", dir.Write("My App.inst", "")});
  std::string editText;
  run.toolkit.QueueAction("read", [&] { editText = run.Window().Get("EOptionsInstallDir").text(); });
  run.Start();
  EXPECT_EQ(run.roles.role(), app::RoleKind::Uninstall);
  EXPECT_EQ(editText, "/opt/brevion/");
}

TEST(Startup, InstallWithASecondArgumentOpensThatFile) {
  testsupport::TempDir dir;
  Session run({"install", WritePackage(dir, dir.dir() + "app")});
  std::string caption;
  run.toolkit.QueueAction("read", [&] { caption = run.Window().Get("LIntroProgramName").text(); });
  run.Start();
  EXPECT_EQ(run.roles.role(), app::RoleKind::Install);
  EXPECT_EQ(caption, "Start App");
}

TEST(Startup, ModeWordsMatchWithLetterCaseElseTheyNameAnArchive) {
  testsupport::TempDir dir;
  for (std::string word : {"Build", "INSTALL", "Uninstall", "Archive"}) {
    Session run({word});
    run.toolkit.AnswerChooser(dir.dir() + "dest");
    // No such archive: the extraction fails on the file it was given.
    EXPECT_EQ(run.Start(), app::kExitIoFailure) << word;
    EXPECT_EQ(run.roles.role(), app::RoleKind::Other) << word;
    ASSERT_EQ(run.toolkit.choosers.size(), 1u);
    EXPECT_EQ(run.toolkit.choosers[0].text, "Choose a directory to extract files to.");
    EXPECT_FALSE(run.toolkit.choosers[0].main_visible) << "the main window hides before the chooser";
    EXPECT_FALSE(run.toolkit.ran_out_of_input) << "the extract mode closes the window itself";
  }
}

// The chooser starts in the archive's folder, or in the current folder when
// the archive is named without one (never at the root); Cancel extracts
// nothing.
TEST(Startup, ExtractStartsInTheArchivesFolderAndCancelExtractsNothing) {
  testsupport::TempDir dir;
  Session bare({"b.bvarc"});
  EXPECT_EQ(bare.Start(), app::kExitCancelled);
  EXPECT_EQ(bare.toolkit.choosers.at(0).initial, sys::IncludeTrailingSeparator(std::filesystem::current_path().string()));
  Session run({dir.dir() + "b.bvarc"});
  EXPECT_EQ(run.Start(), app::kExitCancelled);
  EXPECT_EQ(run.toolkit.choosers.at(0).initial, dir.dir());
  EXPECT_TRUE(run.toolkit.messages.empty()) << "nothing was tried";
  EXPECT_FALSE(run.toolkit.ran_out_of_input);
}

TEST(Startup, AFailedExtractionStillEndsTheProgram) {
  testsupport::TempDir dir;
  Session damaged({dir.Write("x.bvarc", "not an archive at all")});
  damaged.toolkit.AnswerChooser(dir.dir() + "dest");
  EXPECT_EQ(damaged.Start(), app::kExitDamaged);
  EXPECT_FALSE(damaged.toolkit.ran_out_of_input) << "the hidden window was closed, not left running";
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "dest" / "x"));
}

TEST(Startup, ArchiveModeAsksForANameBehindTheAboutPanel) {
  testsupport::TempDir dir;
  dir.Write("src/project/notes.txt", "notes");
  const std::string out = dir.dir() + "out";
  std::filesystem::create_directories(out);
  Session run({"archive", out, dir.dir() + "src/project"});
  run.toolkit.AnswerInput("backup.zip");
  EXPECT_EQ(run.Start(), 0);
  ASSERT_EQ(run.toolkit.inputs.size(), 1u);
  EXPECT_EQ(run.toolkit.inputs[0].caption, "Create Archive");
  EXPECT_EQ(run.toolkit.inputs[0].text, "Archive File Name:");
  EXPECT_EQ(run.toolkit.inputs[0].initial, "");
  EXPECT_TRUE(run.toolkit.inputs[0].main_visible);
  EXPECT_EQ(run.toolkit.inputs[0].panels, std::vector<std::string>{"PnlAbout"});
  // The name typed gets the archive's own extension.
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::path(out) / "backup.bvarc"));
  EXPECT_FALSE(run.toolkit.ran_out_of_input);
}

TEST(Startup, ArchiveModeWithAnEmptyOrCancelledNameCreatesNothingAndEnds) {
  testsupport::TempDir dir;
  dir.Write("src/notes.txt", "notes");
  std::filesystem::create_directories(dir.path() / "out");
  for (std::optional<std::string> answer : {std::optional<std::string>(""), std::optional<std::string>()}) {
    Session run({"archive", dir.dir() + "out", dir.dir() + "src"});
    run.toolkit.AnswerInput(answer);
    EXPECT_EQ(run.Start(), app::kExitCancelled);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "out"));
    EXPECT_FALSE(run.toolkit.ran_out_of_input);
    EXPECT_TRUE(run.toolkit.messages.empty());
  }
}

// The build runs on the Status panel with the arguments given; the
// number is optional and any integer.
TEST(Startup, BuildPassesItsArgumentsAndDefaultsTheNumber) {
  testsupport::TempDir dir;
  dir.Write("project/files/install.dat", "#variables\r\nProgramName=Built\r\n");
  dir.Write("project/files/install_dir/app.exe", "program");
  const std::string package = dir.dir() + "setup.bin";
  Session run({"build", package, dir.dir() + "project", "zlibfastest"});
  bool statusCaptionVisible = true;
  std::vector<std::string> panels;
  std::string status;
  run.toolkit.QueueAction("read", [&] {
    statusCaptionVisible = run.Window().Get("LStatusCaption").visible();
    panels = ScriptedToolkit::ShowingPanels(run.Window());
    status = run.Window().Get("LStatusPleaseWait").text();
  });
  const int code = run.Start();
  EXPECT_EQ(run.roles.role(), app::RoleKind::Build);
  EXPECT_EQ(archive::Module().modeName, "zlibfastest");
  // Without a stub named, the builder's own program is stored. On Windows
  // it is given the setup's icon and version, which this test program,
  // having no resources, cannot carry: the build says so.
  if (sys::PathSeparator() == '/') {
    EXPECT_EQ(code, app::kExitSuccess) << status;
    EXPECT_TRUE(std::filesystem::is_regular_file(package));
  } else {
    EXPECT_NE(status.find("cannot carry the setup's icon and version"), std::string::npos) << status;
    EXPECT_NE(code, app::kExitSuccess);
  }
  EXPECT_EQ(panels, std::vector<std::string>{"PnlStatus"});
  EXPECT_FALSE(statusCaptionVisible);

  // Checked before anything is written: each argument reached the check.
  sys::StringWriter checks;
  Session numbered({"build", dir.dir() + "other.bin", dir.dir() + "no project", "no-such-mode", "-42", "sixth"});
  numbered.options.errors = &checks;
  EXPECT_EQ(numbered.Start(), app::kExitBadProject);
  EXPECT_TRUE(numbered.toolkit.messages.empty()) << "-42 is a number";
  EXPECT_NE(checks.Text().find("no project"), std::string::npos) << checks.Text();
  EXPECT_NE(checks.Text().find("unknown compression mode \"no-such-mode\""), std::string::npos) << checks.Text();
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "other.bin"));
}

TEST(Startup, AnInvalidBuildNumberReachesTheErrorBoxAndTheWindowStaysOpen) {
  for (std::string number : {"12x", "0x10", " 5", "99999999999999999999", "+-1"}) {
    Session run({"build", "p", "f", "m", number});
    bool stillOpen = false;
    bool statusShown = true;
    run.toolkit.QueueAction("look", [&] {
      stillOpen = run.Window().visible();
      statusShown = run.Window().Get("PnlStatus").visible();
    });
    EXPECT_EQ(run.Start(), 1) << number;
    EXPECT_EQ(run.toolkit.MessageTexts(), std::vector<std::string>{"'" + number + "' is not a valid integer value"});
    EXPECT_EQ(run.toolkit.messages.at(0).icon, ui::Icon::Error);
    EXPECT_EQ(run.toolkit.messages.at(0).caption, "") << "the application's title";
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(statusShown) << "no build ran";
    EXPECT_TRUE(run.toolkit.ran_out_of_input) << "only the user closes it";
  }
}

TEST(Startup, UninstallLinkOpensTheMakersAddress) {
  testsupport::TempDir dir;
  Session run({"uninstall", dir.Write("App.inst", "")});
  std::string opened;
  run.options.openDocument = [&](const std::string& address) { opened = address; };
  run.toolkit.QueueClick("LUninstallLink");
  run.Start();
  EXPECT_EQ(opened, "https://www.brevion.example/");
}

}  // namespace
