// Building an installer: both project layouts, the stub, the compression
// mode, cancellation and failures on the Status panel.
#include <algorithm>
#include <csignal>
#include <filesystem>

#include "installer/installer_fixture.h"
#include "system/files.h"

namespace installer::testing {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;

const std::string kStub = "MZ builder stub";

class BuildTest : public InstallerTest {
 protected:
  BuildTest() {
    builder = std::make_shared<VelInstaller>(window, toolkit);
    toolkit.ShowForm(window);
    stub = dir.Write("stub.bin", kStub);
    package = dir.dir() + "out" + Sep() + "setup.exe";
    fs::create_directories(dir.path() / "out");
  }

  void BuildProject(const std::string& mode = "zlibfastest") {
    builder->Build(package, dir.dir() + "project", mode, stub, 0);
  }

  // Every stored name of the written package, sorted.
  std::vector<std::string> StoredNames() const {
    sys::StringList names, letters, folders, folderLetters;
    std::vector<int64_t> table;
    archive::ArchiveReadIndex(package, "\\", true, names, letters, folders, folderLetters, table);
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string Status() { return Get("LStatusPleaseWait").text() + " / " + Get("LStatusAction").text(); }

  std::shared_ptr<VelInstaller> builder;
  std::string stub, package;
};

TEST_F(BuildTest, ProjectWithInstallDirPacksAllOfFiles) {
  dir.Write("project/files/install.dat", "#variables\r\nProgramName=Built\r\n");
  dir.Write("project/files/install_dir/app.exe", "program");
  dir.Write("project/files/install_dir/sub/data.txt", "data");
  dir.Write("project/files/temp_dir/license.htm", "terms");
  dir.Write("project/files/notes.txt", "never read by the installer");
  dir.Write("project/other.txt", "outside files");
  BuildProject();
  EXPECT_TRUE(builder->LastBuildWritten());
  EXPECT_EQ(Status(), "Your installer executable is ready to go. / Finished!");
  EXPECT_EQ(builder->Mode(), "create");
  EXPECT_EQ(builder->ArchivePath(), package);
  EXPECT_FALSE(builder->Busy());
  EXPECT_TRUE(Get("BStatusOK").enabled());
  EXPECT_EQ(Showing(), "PnlStatus");
  EXPECT_EQ(StoredNames(), (std::vector<std::string>{"*", "@sha256", "install.dat", "install_dir\\app.exe",
                                                     "install_dir\\sub\\data.txt", "notes.txt",
                                                     "temp_dir\\license.htm"}));
  EXPECT_EQ(ReadFile(package).substr(0, kStub.size()), kStub);

  // The written file opens as an installer.
  ui::Form installWindow(app::MainWindowDefinition());
  testsupport::ScriptedToolkit installToolkit;
  auto installer = std::make_shared<VelInstaller>(installWindow, installToolkit);
  ASSERT_TRUE(installer->OpenPackage(package));
  EXPECT_EQ(installer->GetSettingValue("ProgramName"), "Built");
  EXPECT_EQ(ReadFile(installer->PageFolder() + "license.htm"), "terms");

  // OK closes the window once the build is over.
  toolkit.QueueClick("BStatusOK");
  toolkit.Run(window);
  EXPECT_TRUE(window.closed());
  EXPECT_FALSE(toolkit.ran_out_of_input);
}

TEST_F(BuildTest, ProjectWithoutInstallDirMapsItsFolders) {
  dir.Write("project/files/install.dat", "#variables\r\nProgramName=Old\r\n");
  dir.Write("project/files/bin/app.exe", "program");
  dir.Write("project/files/Install/license.htm", "terms");
  dir.Write("project/files/.hidden/secret.txt", "not packed");
  dir.Write("project/files/loose.txt", "not packed either");
  BuildProject();
  EXPECT_TRUE(builder->LastBuildWritten()) << Status();
  EXPECT_EQ(StoredNames(), (std::vector<std::string>{"*", "@sha256", "install.dat", "install_dir\\bin\\app.exe",
                                                     "temp_dir\\license.htm"}));
}

TEST_F(BuildTest, OlderLayoutWithoutScriptOrPagesStillBuilds) {
  dir.Write("project/files/bin/app.exe", "program");
  BuildProject();
  EXPECT_TRUE(builder->LastBuildWritten()) << Status();
  EXPECT_EQ(StoredNames(), (std::vector<std::string>{"*", "@sha256", "install_dir\\bin\\app.exe"}));
}

TEST_F(BuildTest, EmptyModeKeepsTheEnginesMode) {
  dir.Write("project/files/install_dir/app.exe", std::string(5000, 'a'));
  BuildProject("bzip2fastest");
  BuildProject("");
  EXPECT_EQ(builder->CompressionMode(), "bzip2fastest");
  EXPECT_EQ(archive::Module().modeName, "bzip2fastest");
  EXPECT_TRUE(builder->LastBuildWritten());
  BuildProject("zlibfastest");
  EXPECT_EQ(builder->CompressionMode(), "zlibfastest");
  EXPECT_EQ(archive::Module().modeName, "zlibfastest");
}

TEST_F(BuildTest, CancelLeavesNoPackage) {
  for (int i = 0; i < 20; ++i) dir.Write("project/files/install_dir/f" + std::to_string(i) + ".txt", "data");
  // The first message pump comes before the writing; Cancel lands in the writing.
  toolkit.QueueClickDuringWork("LStatusAction");
  toolkit.QueueClickDuringWork("BStatusCancel");
  BuildProject();
  EXPECT_FALSE(fs::exists(package));
  EXPECT_FALSE(builder->LastBuildWritten());
  EXPECT_EQ(Status(), "Installer creation was canceled. Your installer is not ready. / Installer creation aborted.");
  EXPECT_EQ(Get("CtrlStatusProgress").position(), 0);
  EXPECT_FALSE(window.closed());
  // Once the build is over, Cancel closes the window.
  toolkit.QueueClick("BStatusCancel");
  toolkit.Run(window);
  EXPECT_TRUE(window.closed());
}

#ifndef _WIN32
// SIGTERM (or Ctrl-C) while the package is written: nothing is left of it,
// its temporary parts included. (Windows raises no such signal: its console
// events are not signals.)
TEST_F(BuildTest, AnInterruptionLeavesNoPackageNorItsParts) {
  for (int i = 0; i < 20; ++i) dir.Write("project/files/install_dir/f" + std::to_string(i) + ".txt", "data");
  toolkit.QueueClickDuringWork("LStatusAction");
  toolkit.QueueActionDuringWork("SIGTERM", [] { std::raise(SIGTERM); });
  BuildProject();
  EXPECT_FALSE(builder->LastBuildWritten());
  EXPECT_TRUE(builder->CancelRequested());
  for (const auto& entry : fs::directory_iterator(fs::path(package).parent_path())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("~bvpart")) << entry.path();
    EXPECT_NE(entry.path().string(), package);
  }
}
#endif

TEST_F(BuildTest, FailuresAreNotReportedAsSuccess) {
  fs::create_directories(dir.path() / "project" / "files");
  BuildProject();
  EXPECT_FALSE(builder->LastBuildWritten());
  EXPECT_EQ(Get("LStatusAction").text(), "Installer creation failed.");
  EXPECT_EQ(Get("LStatusPleaseWait").text(), "The project's \"files\" folder holds nothing to pack.");

  dir.Write("project/files/install_dir/app.exe", "program");
  stub = dir.dir() + "missing-stub.bin";
  BuildProject();
  EXPECT_FALSE(builder->LastBuildWritten());
  EXPECT_FALSE(fs::exists(package));
  EXPECT_EQ(Get("LStatusAction").text(), "Installer creation failed.");
  EXPECT_NE(Get("LStatusPleaseWait").text().find("missing-stub.bin"), std::string::npos)
      << Get("LStatusPleaseWait").text();
  EXPECT_TRUE(Get("BStatusOK").enabled());
  EXPECT_FALSE(builder->Busy());
}

// ProgramName, DisplayName and UninstallerName become names in the data
// folder: "..", separators and drive colons are refused when building and,
// for a package made otherwise, when installing, before anything is written.
TEST_F(BuildTest, ScriptNamesThatLeaveTheDataFolderAreRefused) {
  dir.Write("project/files/install_dir/app.exe", "program");
  // One engine builds them all and keeps the values read before: the
  // names are checked in the order ProgramName, DisplayName, UninstallerName.
  for (const std::string line : {"UninstallerName=C:evil.exe", "UninstallerName=..\\uninst.exe",
                                 "ProgramName=..", "ProgramName=..\\..\\Startup", "DisplayName=a/b"}) {
    SCOPED_TRACE(line);
    const std::string script = "#variables\r\nProgramName=Fine\r\n" + line + "\r\n";
    dir.Write("project/files/install.dat", script);
    BuildProject();
    EXPECT_FALSE(builder->LastBuildWritten());
    EXPECT_FALSE(fs::exists(package));
    EXPECT_NE(Get("LStatusPleaseWait").text().find(line.substr(0, line.find('='))), std::string::npos)
        << Get("LStatusPleaseWait").text();

    ASSERT_TRUE(archive::ArchiveCreateFromFolder(package, dir.dir() + "project/files", archive::kAllEntriesFilter,
                                                 nullptr, nullptr, stub));
    ui::Form installWindow(app::MainWindowDefinition());
    testsupport::ScriptedToolkit installToolkit;
    auto installer = std::make_shared<VelInstaller>(installWindow, installToolkit);
    EXPECT_FALSE(installer->OpenPackage(package));
    EXPECT_EQ(installer->Mode(), "") << "the package did not open";
    fs::remove(package);
  }
}

TEST_F(BuildTest, CommandLineStubIsTheBuilderOrTheWindowsProgramBesideIt) {
  const std::string builderPath = dir.Write("bin/brevion", "ELF");
  EXPECT_EQ(BuildStubFor(dir.dir() + "setup.exe", builderPath), builderPath);
  const std::string windows = dir.Write("bin/brevion.exe", "MZ");
  EXPECT_EQ(BuildStubFor(dir.dir() + "setup.exe", builderPath), windows);
  EXPECT_EQ(BuildStubFor(dir.dir() + "SETUP.EXE", builderPath), windows);
  EXPECT_EQ(BuildStubFor(dir.dir() + "setup.bin", builderPath), builderPath);
  EXPECT_EQ(BuildStubFor(dir.dir() + "setup", builderPath), builderPath);
}

}  // namespace
}  // namespace installer::testing
