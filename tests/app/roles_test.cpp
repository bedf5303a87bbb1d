// The install role of the whole program: start-up, dispatch, the engine
// opening a real package and the wizard until the user leaves.
#include "app/roles.h"

#include <gtest/gtest.h>

#include "app/application.h"
#include "app/exit_codes.h"
#include "support/scripted_toolkit.h"
#include "support/small_package.h"
#include "support/temp_dir.h"
#include "system/paths.h"

namespace {

using testsupport::ScriptedToolkit;

TEST(InstallRolesTest, InstallModeOpensThePackageAndProposesTheFolder) {
  testsupport::TempDir dir;
  const std::string install = dir.dir() + "app";  // the dispatch adds the separator
  const std::string package = testsupport::WriteSmallPackage(dir, "Role App", "role.exe", install);
  ScriptedToolkit toolkit;
  app::Roles roles;
  toolkit.QueueClick("BIntroInstall");
  toolkit.QueueClick("BLicenseAccept");
  toolkit.QueueAction("check folder", [&] {
    ASSERT_NE(roles.engine(), nullptr);
    EXPECT_EQ(roles.engine()->Mode(), "install");
    EXPECT_EQ(roles.engine()->Script().displayName, "Role App");
  });
  toolkit.AnswerMessage(ui::Answer::Yes);
  toolkit.QueueClick("BOptionsExit");
  EXPECT_EQ(app::RunApplication(toolkit, roles, {{"install", package}, dir.dir() + "brevion", {}, {}, nullptr}),
            app::kExitCancelledBeforeInstall);
  EXPECT_EQ(toolkit.MessageTexts(),
            std::vector<std::string>{"Your installation is not complete. Are you sure you wish to exit the installation?"});
  EXPECT_FALSE(toolkit.ran_out_of_input);
  EXPECT_EQ(roles.engine(), nullptr) << "the engine goes with the window";
}

TEST(InstallRolesTest, FileWithoutPackageEndsWithAClearMessage) {
  testsupport::TempDir dir;
  ScriptedToolkit toolkit;
  app::Roles roles;
  const std::string plain = dir.Write("plain.exe", "just a program");
  EXPECT_EQ(app::RunApplication(toolkit, roles, {{"install", plain}, plain, {}, {}, nullptr}), app::kExitInitFailed);
  EXPECT_EQ(toolkit.MessageTexts(),
            std::vector<std::string>{"This file does not contain a valid installation package."});
  EXPECT_FALSE(toolkit.ran_out_of_input);
}

}  // namespace
