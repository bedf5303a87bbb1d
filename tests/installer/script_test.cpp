// The engine's construction and the installation script's rules.
#include "installer/installer_fixture.h"
#include "system/files.h"
#include "system/platform.h"

namespace installer::testing {
namespace {

using sys::StringList;

class ScriptTest : public InstallerTest {
 protected:
  void SetUp() override { MakeEngine(); }
  void Parse(const StringList& lines) { engine->ParseScript(lines); }
};

TEST_F(InstallerTest, ConstructionSetsFolderVariablesPageFolderAndBindings) {
  VelInstaller fresh(window, toolkit);
  // A folder made for this engine: the prefix, 16 random hex digits.
  const std::string prefix = sys::platform::PrivateTempRoot() + "bvinstaller-";
  ASSERT_EQ(fresh.PageFolder().size(), prefix.size() + 17) << fresh.PageFolder();
  EXPECT_TRUE(fresh.PageFolder().starts_with(prefix)) << fresh.PageFolder();
  EXPECT_EQ(fresh.PageFolder().find_first_not_of("0123456789abcdef", prefix.size()), prefix.size() + 16);
  EXPECT_EQ(fresh.PageFolder().back(), Sep());
  EXPECT_TRUE(sys::FolderExists(fresh.PageFolder()));
  EXPECT_EQ(fresh.GetSettingValue("temp_dir"), fresh.PageFolder());
  EXPECT_EQ(fresh.Script().uninstallerName, "uninst3.exe");
  EXPECT_EQ(fresh.Mode(), "");
  EXPECT_FALSE(fresh.Busy());
  EXPECT_FALSE(fresh.ExtractPackageFolder("temp_dir")) << "no package is open";
  // Folder variables come first, in keyword order, temp_dir last.
  ASSERT_GE(fresh.Script().variables.size(), 13u);
  EXPECT_TRUE(fresh.Script().variables.front().starts_with("windows_dir="));
  EXPECT_TRUE(fresh.Script().variables[12].starts_with("temp_dir="));
  EXPECT_EQ(fresh.GetSettingValue("programs_dir"), sys::SpecialFolderPath("programs"));

  // Buttons and radio buttons are wired by click, edit boxes by change;
  // check boxes, labels and the engine-filled Ctrl controls only listed or left.
  EXPECT_TRUE(Get("BOptionsNext").hasClickHandler());
  EXPECT_TRUE(Get("ROptionsAppsDir").hasClickHandler());
  EXPECT_TRUE(Get("BCustom2").hasClickHandler());
  EXPECT_TRUE(Get("EOptionsInstallDir").hasChangeHandler());
  EXPECT_FALSE(Get("COptionsLaunch").hasClickHandler());
  EXPECT_NE(fresh.BoundControl("COptionsLaunch"), nullptr);
  EXPECT_NE(fresh.BoundControl("LUninstallLink"), nullptr);
  EXPECT_FALSE(Get("LUninstallLink").hasClickHandler());
  EXPECT_EQ(fresh.BoundControl("CtrlStatusProgress"), nullptr);
  EXPECT_EQ(fresh.BoundControl("PnlOptions"), nullptr);
  EXPECT_EQ(fresh.BoundControl("TxtOptionsCaption"), nullptr);
  // About is not bound.
  EXPECT_EQ(fresh.BoundControl("BAboutOK"), nullptr);
}

TEST_F(InstallerTest, DestroyedEngineLeavesNoHandlerBehind) {
  MakeEngine();
  engine.reset();
  EXPECT_FALSE(Get("BOptionsNext").hasClickHandler());
  EXPECT_FALSE(Get("EOptionsInstallDir").hasChangeHandler());
  Get("BIntroExit").Click();  // must not reach a destroyed engine
  EXPECT_FALSE(window.closed());
}

TEST_F(ScriptTest, SectionLinesAreMatchedExactly) {
  Parse({"#variables", "A=1", "# variables", "B=2", "#Variables", "C=3", "#variables", "D=4"});
  EXPECT_EQ(engine->GetSettingValue("A"), "1");
  // "# variables" is a comment: B still belongs to the open section.
  EXPECT_EQ(engine->GetSettingValue("B"), "2");
  EXPECT_FALSE(engine->HasSetting("C"));
  EXPECT_EQ(engine->GetSettingValue("D"), "4");
}

TEST_F(ScriptTest, LinesOutsideSectionsAndShortLinesAreIgnored) {
  Parse({"X=1", "#unknown", "Y=2", "#variables", "  Z=3  \t", "#", "a", "\x01W=4\r"});
  EXPECT_FALSE(engine->HasSetting("X"));
  EXPECT_FALSE(engine->HasSetting("Y"));
  EXPECT_EQ(engine->GetSettingValue("Z"), "3");
  // "#" alone is shorter than two characters: the section stays open.
  EXPECT_EQ(engine->GetSettingValue("W"), "4");
}

TEST_F(ScriptTest, VariableLinesFollowTheAssignmentRules) {
  Parse({"#variables", "Empty=", "Two=a=b", "Spaced = x ", "Later=1", "Later=2", "Gone=yes", "Gone==",
         "Blank=="});
  EXPECT_FALSE(engine->HasSetting("Empty"));  // nothing after "="
  EXPECT_EQ(engine->GetSettingValue("Two"), "a");
  EXPECT_EQ(engine->GetSettingValue("Spaced "), " x");
  EXPECT_FALSE(engine->HasSetting("Spaced"));
  EXPECT_EQ(engine->GetSettingValue("later"), "2");
  EXPECT_FALSE(engine->HasSetting("Gone"));  // an empty value removes
  EXPECT_TRUE(engine->HasSetting("Blank"));  // ... or defines it empty
  EXPECT_EQ(engine->GetSettingValue("Blank"), "");
}

TEST_F(ScriptTest, ListSectionsKeepTrimmedLinesInOrder) {
  Parse({"#associations", "left over"});
  Parse({"#shortcuts", " d|$install_dir$a.exe||A| ", "sp|b.exe||B|", "#associations", "a.exe|.abc|",
         "#registry", "HKCU|x", "#shortcuts", "p|c.exe||C|"});
  EXPECT_EQ(engine->Script().shortcutLines, (StringList{"d|$install_dir$a.exe||A|", "sp|b.exe||B|", "p|c.exe||C|"}));
  EXPECT_EQ(engine->Script().associationLines, (StringList{"a.exe|.abc|"}));
  EXPECT_EQ(engine->Script().registryLines, (StringList{"HKCU|x"}));
}

TEST_F(ScriptTest, UninstallerNameAndScriptOverridesOfFolderVariables) {
  // Defined as empty it cannot name a file: the default stays.
  Parse({"#variables", "UninstallerName=="});
  EXPECT_EQ(engine->Script().uninstallerName, "uninst3.exe");
  Parse({"#variables", "UninstallerName=remove.exe", "programs_dir=C:\\Progs\\"});
  EXPECT_EQ(engine->Script().uninstallerName, "remove.exe");
  EXPECT_EQ(engine->GetSettingValue("programs_dir"), "C:\\Progs\\");
}

TEST(ExpandLineBreaksTest, BarsBecomeLineBreaks) {
  EXPECT_EQ(ExpandLineBreaks("a|b||c"), "a\r\nb\r\n\r\nc");
  EXPECT_EQ(ExpandLineBreaks(""), "");
}

}  // namespace
}  // namespace installer::testing
