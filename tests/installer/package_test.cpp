// Opening the package: page folder, script, pages, and files that carry no
// valid package.
#include <filesystem>
#include <fstream>

#include "app/main_window_def.h"
#include "installer/installer_fixture.h"
#include "system/files.h"
#include "system/platform.h"
#include "system/sandbox_folders.h"

namespace installer::testing {
namespace {

class PackageTest : public InstallerTest {
 protected:
  void ExpectRefused(const std::string& path) {
    EXPECT_FALSE(engine->OpenPackage(path));
    EXPECT_EQ(toolkit.MessageTexts(),
              std::vector<std::string>{"This file does not contain a valid installation package."});
    EXPECT_TRUE(window.closed());
    EXPECT_EQ(engine->Mode(), "");
    EXPECT_FALSE(engine->ExtractPackageFolder("temp_dir")) << "no package is open";
  }
};

TEST_F(PackageTest, OpeningReadsTheScriptExtractsPagesAndShowsIntro) {
  const std::string install = Folder("app");
  ASSERT_TRUE(Open({.script = StandardScript(install, "#shortcuts\r\nd|$install_dir$testapp.exe||App|\r\n"),
                    .pages = {{"license.htm", "terms"}, {"img/logo.png", "png"}},
                    .program = {{"testapp.exe", "app"}}}));
  EXPECT_EQ(engine->Mode(), "install");
  EXPECT_EQ(engine->ArchivePath(), dir.dir() + "setup1.exe");
  EXPECT_EQ(engine->GetSettingValue("ProgramName"), "Test App");
  EXPECT_EQ(engine->Script().shortcutLines.size(), 1u);
  EXPECT_EQ(testsupport::ReadFile(engine->PageFolder() + "license.htm"), "terms");
  EXPECT_TRUE(sys::FileExists(engine->PageFolder() + "img" + Sep() + "logo.png"));
  // Program files stay in the package until the install run.
  EXPECT_FALSE(sys::FolderExists(install));
  EXPECT_EQ(Showing(), "PnlIntro");
  EXPECT_EQ(engine->CurrentPanel(), "Intro");
  EXPECT_NE(std::find(engine->PackageListing().begin(), engine->PackageListing().end(), "install_dir\\"),
            engine->PackageListing().end());
  const archive::ArchiveModule& module = archive::Module();
  EXPECT_EQ(module.OverwriteExisting, archive::kYesOnNewer);
  EXPECT_EQ(module.OverwriteReadOnly, archive::kYesOnNewer);
  EXPECT_EQ(module.OverwriteSystem, archive::kYesOnNewer);
  EXPECT_TRUE(toolkit.messages.empty());
}

TEST_F(PackageTest, OpeningTwiceStartsFromAnEmptyPageFolder) {
  ASSERT_TRUE(Open({.script = StandardScript(Folder("app")), .pages = {{"Intro.htm", "intro"}}}));
  dir.Write("pages/stray.htm", "left from before");
  EXPECT_TRUE(engine->OpenPackage(BuildPackage({.script = StandardScript(Folder("app")),
                                                .pages = {{"license.htm", "terms"}}})));
  EXPECT_FALSE(sys::FileExists(engine->PageFolder() + "stray.htm"));
  EXPECT_TRUE(sys::FileExists(engine->PageFolder() + "license.htm"));
}

TEST_F(PackageTest, ScriptMovingTempDirMovesTheExtractionButNotThePageFolder) {
  const std::string moved = Folder("moved");
  MakeEngine();
  const std::string pages = engine->PageFolder();
  ASSERT_TRUE(engine->OpenPackage(BuildPackage({.script = StandardScript(Folder("app"), "temp_dir=" + moved + "\r\n"),
                                                .pages = {{"license.htm", "terms"}, {"Intro.htm", "intro"}}})));
  EXPECT_TRUE(sys::FileExists(moved + "license.htm"));
  EXPECT_EQ(engine->PageFolder(), pages);
  EXPECT_FALSE(sys::FileExists(engine->PageFolder() + "license.htm"));
  // Pages are looked up in the page folder only: Intro stays a panel.
  EXPECT_EQ(Showing(), "PnlIntro");
  EXPECT_EQ(toolkit.navigations.back(), "XLicenseHTML -> " + engine->PageFolder() + "license.htm");
}

TEST_F(PackageTest, ScriptIsReadAsUtf8OrAsLegacyAnsiText) {
  struct Case {
    std::string scriptStart, name;
  };
  const std::vector<Case> cases = {
      {"\xEF\xBB\xBF", "ノート Łódź"},  // a byte-order mark before the first section
      {"", "ノート Łódź"},                 // UTF-8 without one
      {"", "Caf\xE9 \xC9t\xE9"},        // Windows-1252, read as the ANSI code page
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Open({.script = c.scriptStart + "#variables\r\nProgramName=" + c.name + "\r\ninstall_dir=" +
                                Folder("app") + "\r\n#shortcuts\r\nd|$install_dir$a.exe||" + c.name + "|\r\n"}));
    const std::string expected = c.name.starts_with("Caf") ? "Café Été" : c.name;
    EXPECT_EQ(engine->GetSettingValue("ProgramName"), expected);
    EXPECT_EQ(engine->Script().shortcutLines, std::vector<std::string>{"d|$install_dir$a.exe||" + expected + "|"});
  }
}

TEST_F(PackageTest, PackageWithoutScriptRunsOnDefaults) {
  ASSERT_TRUE(Open({.withScript = false, .program = {{"a.exe", "a"}}}));
  EXPECT_EQ(engine->Mode(), "install");
  EXPECT_EQ(Get("LIntroProgramName").text(), "Program Name");
  EXPECT_EQ(Get("LIntroVersion").text(), "Version 3.0");
  EXPECT_EQ(window.caption(), "Brevion Installer");
  EXPECT_EQ(engine->Script().uninstallerName, "uninst3.exe");
  EXPECT_EQ(Get("EOptionsInstallDir").text(), "");
  EXPECT_FALSE(Get("COptionsReadme").visible());
  EXPECT_EQ(Showing(), "PnlIntro");
  EXPECT_TRUE(toolkit.messages.empty());
}

TEST_F(PackageTest, FileWithoutPackageIsRefusedClearly) {
  MakeEngine();
  ExpectRefused(dir.Write("plain.exe", std::string(4096, 'x')));
}

TEST_F(PackageTest, MissingFileIsRefusedClearly) {
  MakeEngine();
  ExpectRefused(dir.dir() + "absent.exe");
}

TEST_F(PackageTest, DamagedPackageIsRefusedClearly) {
  MakeEngine();
  const std::string page(3000, 'p');
  const std::string package = BuildPackage({.script = StandardScript(Folder("app")), .pages = {{"license.htm", page}}});
  // Damage a byte in the middle of the packed data, away from the stub and
  // the index at the end.
  std::string bytes = testsupport::ReadFile(package);
  bytes[bytes.size() / 3] ^= 0x5A;
  std::ofstream(package, std::ios::binary | std::ios::trunc) << bytes;
  ExpectRefused(package);
  EXPECT_FALSE(sys::FileExists(engine->PageFolder() + "license.htm"));
}

TEST_F(PackageTest, DamagedIndexIsRefusedClearly) {
  MakeEngine();
  const std::string package = BuildPackage({.script = StandardScript(Folder("app"))});
  std::string bytes = testsupport::ReadFile(package);
  for (size_t i = 1; i <= 12; ++i) bytes[bytes.size() - i] = '\xFF';
  std::ofstream(package, std::ios::binary | std::ios::trunc) << bytes;
  ExpectRefused(package);
}

// The page folder an engine makes for itself, below a temporary folder
// that others may write to as well.
class PageFolderTest : public InstallerTest {
 protected:
  static std::shared_ptr<VelInstaller> RealEngine(ui::Form& form, testsupport::ScriptedToolkit& tk) {
    return std::make_shared<VelInstaller>(form, tk);
  }
  static bool MakeLink(const std::string& target, const std::string& link) {
    std::error_code error;
    std::filesystem::create_directory_symlink(target, sys::ExcludeTrailingSeparator(link), error);
    return !error;
  }

  const std::string temp = sys::platform::PrivateTempRoot();
};

TEST_F(PageFolderTest, NamesTakenBeforehandAreNeverUsedOrFollowed) {
  const std::string victim = sandbox.Scratch("victim");
  const std::string package = BuildPackage({.script = StandardScript(Folder("app")), .pages = {{"license.htm", "terms"}}});
  // The fixed name of earlier versions, taken by someone else: first as a
  // folder holding a page of theirs, then as a link to another folder.
  const std::string fixed = temp + "bvinstaller";
  const std::string planted = fixed + Sep() + "license.htm";
  sys::CreateFolders(fixed);
  sys::platform::WriteWholeFile(planted, "planted");
  for (bool link : {false, true}) {
    SCOPED_TRACE(link ? "link" : "folder");
    if (link) {
      sys::DeleteFolderTree(fixed);
      if (!MakeLink(victim, fixed)) continue;
    }
    engine.reset();  // the old engine unbinds the window's controls as it goes
    engine = RealEngine(window, toolkit);
    ASSERT_TRUE(engine->OpenPackage(package));
    EXPECT_FALSE(engine->PageFolder().starts_with(fixed + Sep()));
    EXPECT_EQ(testsupport::ReadFile(engine->PageFolder() + "license.htm"), "terms");
    EXPECT_EQ(toolkit.navigations.back(), "XLicenseHTML -> " + engine->PageFolder() + "license.htm");
    if (!link) {
      EXPECT_EQ(testsupport::ReadFile(planted), "planted");
    }
    EXPECT_TRUE(std::filesystem::is_empty(victim));
  }

  // Its own folder replaced by a link before the package is opened: refused.
  engine.reset();
  engine = RealEngine(window, toolkit);
  sys::RemoveFolder(engine->PageFolder());
  if (MakeLink(victim, engine->PageFolder())) {
    EXPECT_FALSE(engine->OpenPackage(package));
    EXPECT_EQ(toolkit.MessageTexts(), std::vector<std::string>{PageFolderMessage(temp)});
    EXPECT_TRUE(std::filesystem::is_empty(victim));
  }
}

TEST_F(PageFolderTest, TwoInstallersAtOnceHaveTwoPrivateFoldersRemovedWithThem) {
  const std::string package = BuildPackage(
      {.script = StandardScript(Folder("app")), .pages = {{"license.htm", "terms"}, {"img/logo.png", "png"}}});
  ui::Form otherWindow(app::MainWindowDefinition());
  testsupport::ScriptedToolkit otherToolkit;
  std::shared_ptr<VelInstaller> first = RealEngine(window, toolkit);
  std::shared_ptr<VelInstaller> second = RealEngine(otherWindow, otherToolkit);
  ASSERT_TRUE(first->OpenPackage(package));
  ASSERT_TRUE(second->OpenPackage(package));
  const std::string firstFolder = first->PageFolder(), secondFolder = second->PageFolder();
  EXPECT_NE(firstFolder, secondFolder);
  for (const std::string& folder : {firstFolder, secondFolder}) {
    EXPECT_TRUE(folder.starts_with(temp)) << folder;
    EXPECT_EQ(testsupport::ReadFile(folder + "license.htm"), "terms");
#ifndef _WIN32
    EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
#endif
  }
  // Even pages made read-only go with their engine.
  sys::ApplyAttributeLetters(firstFolder + "img" + Sep() + "logo.png", "r");
  sys::ApplyAttributeLetters(firstFolder + "img", "r");
  first.reset();
  EXPECT_FALSE(sys::FolderExists(firstFolder));
  EXPECT_TRUE(sys::FileExists(secondFolder + "license.htm"));
  second.reset();
  EXPECT_FALSE(sys::FolderExists(secondFolder));
}

}  // namespace
}  // namespace installer::testing
