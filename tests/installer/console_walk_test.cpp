// Walking the wizard on the console toolkit with piped lines, over a real
// package: screens are printed, buttons pressed by number or caption,
// values set with NAME=VALUE.
#include <sstream>

#include "installer/installer_fixture.h"
#include "ui/console/console_toolkit.h"

namespace installer::testing {
namespace {

TEST_F(InstallerTest, ConsoleWalksTheWizardToTheInstallRun) {
  // A file where the typed folder would go stops the run before it writes
  // anything of the program, on every platform.
  dir.Write("blocked", "a file");
  const std::string typed = dir.dir() + "blocked" + Sep() + "console";
  std::istringstream in("1\ni accept\nROptionsCustomDir=1\nEOptionsInstallDir=" + typed + "\nNEXT\n");
  std::ostringstream out;
  ui::ConsoleToolkit console(in, out, false);
  MakeEngine(&console);
  ASSERT_TRUE(engine->OpenPackage(BuildPackage(
      {.script = StandardScript(Folder("app")),
       .pages = {{"Intro.htm",
                  "<html><head><title>t</title><style>p{}</style></head><body><h1>Welcome</h1>"
                  "<p>Fish &amp; chips</p></body></html>"},
                 {"license.htm", "<p>terms</p>"}}})));
  console.Run(window);
  // The folder typed gets its closing separator once, where it is taken.
  EXPECT_EQ(InstalledInto(), typed + Sep());
  const std::string printed = out.str();
  // The Intro page as text, with its two buttons numbered.
  EXPECT_NE(printed.find("Welcome\n\nFish & chips\n1) Install  2) Exit\n"), std::string::npos) << printed;
  EXPECT_EQ(printed.find("p{}"), std::string::npos);
  // The licence panel lists its three answers; the Options panel its choices.
  EXPECT_NE(printed.find("1) I Accept  2) I Decline  3) Cancel"), std::string::npos);
  EXPECT_NE(printed.find("[ ] Launch application when finished (COptionsLaunch)"), std::string::npos);
  EXPECT_NE(printed.find("EOptionsInstallDir = " + Folder("app") + " (disabled)"), std::string::npos);
}

}  // namespace
}  // namespace installer::testing
