// Start-up and mode dispatch, run headless on the scripted toolkit with
// roles that record what the dispatch asked of them.
#include <gtest/gtest.h>

#include <filesystem>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/exit_codes.h"
#include "app/roles.h"
#include "support/scripted_toolkit.h"
#include "support/temp_dir.h"
#include "system/paths.h"

namespace {

using testsupport::ScriptedToolkit;

class RecordingRoles : public app::Roles {
 public:
  std::vector<std::string> calls;
  std::vector<std::string> panels_at_dispatch;  // showing when the role was called
  std::string install_dir;
  bool archive_result = true;
  bool throw_on_extract = false;
  ui::Form* window = nullptr;
  ui::Toolkit* toolkit = nullptr;

  void CreateArchiveWindow(ui::Toolkit&) override { calls.push_back("archive window"); }
  void CreateEngine(ui::Form& main_window, ui::Toolkit& kit) override {
    window = &main_window;
    toolkit = &kit;
    calls.push_back("engine");
  }
  void DestroyEngine() override { calls.push_back("destroy"); }
  void ShowPanel(const std::string& name) override {
    calls.push_back("show " + name);
    for (ui::Control* control : window->controls()) {
      if (control->name().starts_with("Pnl")) control->SetVisible(control->name() == "Pnl" + name);
    }
  }
  std::string GetSettingValue(const std::string& name) override { return name == "install_dir" ? install_dir : ""; }
  void Build(const std::string& package, const std::string& project, const std::string& mode,
             const std::string& stub, int64_t number) override {
    Called("build " + package + "|" + project + "|" + mode + "|" + stub + "|" + std::to_string(number));
  }
  void PrepareUninstall(const std::string& log) override {
    Called("uninstall " + log);
    ShowPanel("Uninstall");
  }
  void OpenPackage(const std::string& path) override { Called("open " + path); }
  bool CreateArchive(const std::string& file, const std::string& folder) override {
    Called("create " + file + "|" + folder);
    return archive_result;
  }
  bool ExtractArchive(const std::string& file, const std::string& destination) override {
    Called("extract " + file + "|" + destination);
    if (throw_on_extract) throw std::runtime_error("Stream read error");
    return archive_result;
  }
  int ExitCode(const sys::Failure&) const override { return 0; }

 private:
  void Called(const std::string& call) {
    calls.push_back(call);
    panels_at_dispatch = ScriptedToolkit::ShowingPanels(*window);
  }
};

const std::string kExe = "/opt/brevion/setup.exe";

struct Session {
  explicit Session(std::vector<std::string> arguments) : options{std::move(arguments), kExe, {}, {}, nullptr} {}
  int Start() { return app::RunApplication(toolkit, roles, options); }
  bool Called(const std::string& call) const {
    return std::find(roles.calls.begin(), roles.calls.end(), call) != roles.calls.end();
  }
  app::StartupOptions options;
  ScriptedToolkit toolkit;
  RecordingRoles roles;
};

TEST(Startup, NoArgumentsInstallsFromTheProgramsOwnFile) {
  Session run({});
  run.roles.install_dir = "/srv/app";
  std::string edit_text;
  run.toolkit.QueueAction("read", [&] { edit_text = run.roles.window->Get("EOptionsInstallDir").text(); });
  EXPECT_EQ(run.Start(), 0);
  EXPECT_EQ(run.toolkit.title(), "Brevion Installer");
  EXPECT_EQ(run.roles.calls, (std::vector<std::string>{"archive window", "engine", "show ", "open " + kExe, "destroy"}));
  EXPECT_TRUE(run.roles.panels_at_dispatch.empty()) << "no panel shows before the dispatch";
  EXPECT_EQ(edit_text, "/srv/app" + std::string(1, sys::PathSeparator())) << "install_dir, closed by a separator";
  EXPECT_TRUE(run.toolkit.ran_out_of_input) << "the wizard waits for the user";
}

TEST(Startup, EditBoxProposesTheProgramsFolderUntilAPackageSaysOtherwise) {
  Session run({"uninstall", "My App"});
  std::string edit_text;
  run.toolkit.QueueAction("read", [&] { edit_text = run.roles.window->Get("EOptionsInstallDir").text(); });
  run.Start();
  EXPECT_TRUE(run.Called("uninstall My App"));
  EXPECT_EQ(edit_text, "/opt/brevion/");
}

TEST(Startup, InstallWithASecondArgumentOpensThatFile) {
  Session run({"install", "/tmp/package.exe"});
  run.Start();
  EXPECT_TRUE(run.Called("open /tmp/package.exe"));
}

TEST(Startup, ModeWordsMatchWithLetterCaseElseTheyNameAnArchive) {
  for (std::string word : {"Build", "INSTALL", "Uninstall", "Archive"}) {
    Session run({word});
    run.toolkit.AnswerChooser("/dest/");
    EXPECT_EQ(run.Start(), 0);
    EXPECT_TRUE(run.Called("extract " + word + "|/dest/")) << word;
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
  EXPECT_EQ(run.roles.calls, (std::vector<std::string>{"archive window", "engine", "destroy"}));
  EXPECT_FALSE(run.toolkit.ran_out_of_input);
}

TEST(Startup, AFailingOrThrowingExtractionStillEndsTheProgram) {
  Session failing({"x.bvarc"});
  failing.toolkit.AnswerChooser("/dest");
  failing.roles.archive_result = false;
  EXPECT_EQ(failing.Start(), 1);

  Session throwing({"x.bvarc"});
  throwing.toolkit.AnswerChooser("/dest");
  throwing.roles.throw_on_extract = true;
  EXPECT_EQ(throwing.Start(), 1);
  EXPECT_EQ(throwing.toolkit.MessageTexts(), std::vector<std::string>{"Stream read error"});
  EXPECT_FALSE(throwing.toolkit.ran_out_of_input) << "the hidden window was closed, not left running";
}

TEST(Startup, ArchiveModeAsksForANameBehindTheAboutPanel) {
  Session run({"archive", "/out", "/src/project"});
  run.toolkit.AnswerInput("backup.zip");
  EXPECT_EQ(run.Start(), 0);
  ASSERT_EQ(run.toolkit.inputs.size(), 1u);
  EXPECT_EQ(run.toolkit.inputs[0].caption, "Create Archive");
  EXPECT_EQ(run.toolkit.inputs[0].text, "Archive File Name:");
  EXPECT_EQ(run.toolkit.inputs[0].initial, "");
  EXPECT_TRUE(run.toolkit.inputs[0].main_visible);
  EXPECT_EQ(run.toolkit.inputs[0].panels, std::vector<std::string>{"PnlAbout"});
  std::string folder = "/out" + std::string(1, sys::PathSeparator());
  EXPECT_TRUE(run.Called("create " + folder + "backup.bvarc|/src/project"));
  EXPECT_FALSE(run.toolkit.ran_out_of_input);
}

TEST(Startup, ArchiveModeWithAnEmptyOrCancelledNameCreatesNothingAndEnds) {
  for (std::optional<std::string> answer : {std::optional<std::string>(""), std::optional<std::string>()}) {
    Session run({"archive", "/out", "/src"});
    run.toolkit.AnswerInput(answer);
    EXPECT_EQ(run.Start(), app::kExitCancelled);
    EXPECT_EQ(run.roles.calls, (std::vector<std::string>{"archive window", "engine", "destroy"}));
    EXPECT_FALSE(run.toolkit.ran_out_of_input);
    EXPECT_TRUE(run.toolkit.messages.empty());
  }
}

TEST(Startup, BuildPassesItsArgumentsAndDefaultsTheNumber) {
  Session run({"build", "/out/setup.exe", "/projects/app", "ppmmax"});
  bool status_caption_visible = true;
  run.toolkit.QueueAction("read", [&] { status_caption_visible = run.roles.window->Get("LStatusCaption").visible(); });
  run.Start();
  EXPECT_TRUE(run.Called("build /out/setup.exe|/projects/app|ppmmax||0"));
  EXPECT_TRUE(run.roles.panels_at_dispatch.empty());
  EXPECT_FALSE(status_caption_visible);

  Session numbered({"build", "p", "f", "m", "-42", "ignored sixth"});
  numbered.Start();
  EXPECT_TRUE(numbered.Called("build p|f|m||-42"));
}

TEST(Startup, AnInvalidBuildNumberReachesTheErrorBoxAndTheWindowStaysOpen) {
  for (std::string number : {"12x", "0x10", " 5", "99999999999999999999", "+-1"}) {
    Session run({"build", "p", "f", "m", number});
    bool still_open = false;
    run.toolkit.QueueAction("look", [&] { still_open = run.roles.window->visible(); });
    EXPECT_EQ(run.Start(), 1) << number;
    EXPECT_EQ(run.toolkit.MessageTexts(), std::vector<std::string>{"'" + number + "' is not a valid integer value"});
    EXPECT_EQ(run.toolkit.messages.at(0).icon, ui::Icon::Error);
    EXPECT_EQ(run.toolkit.messages.at(0).caption, "") << "the application's title";
    EXPECT_TRUE(still_open);
    EXPECT_TRUE(run.toolkit.ran_out_of_input) << "only the user closes it";
    EXPECT_FALSE(run.Called("build p|f|m||0"));
  }
}

TEST(Startup, UninstallLinkOpensTheMakersAddress) {
  Session run({"uninstall", "App"});
  std::string opened;
  run.options.openDocument = [&](const std::string& address) { opened = address; };
  run.toolkit.QueueClick("LUninstallLink");
  run.Start();
  EXPECT_EQ(opened, "https://www.brevion.example/");
}

TEST(Startup, UnavailableRolesSayWhatIsMissingAndFail) {
  ScriptedToolkit toolkit;
  app::UnavailableRoles roles;
  EXPECT_EQ(app::RunApplication(toolkit, roles, {{}, kExe, {}, {}, nullptr}), 1);
  EXPECT_EQ(toolkit.MessageTexts(), std::vector<std::string>{"Installing is not available in this build yet."});
  EXPECT_FALSE(toolkit.ran_out_of_input) << "the window closes itself";
}

}  // namespace
