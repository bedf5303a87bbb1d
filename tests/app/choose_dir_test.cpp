// The directory chooser: start folder, prompt, trailing separator, cancel,
// and creating a folder on the spot.
#include "app/choose_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/scripted_toolkit.h"
#include "support/temp_dir.h"

namespace app {
namespace {

TEST(TDChooseDir, StartsAtAnExistingFolderAndReturnsTheChoiceWithOneSeparator) {
  testsupport::TempDir dir;
  testsupport::ScriptedToolkit toolkit;
  TDChooseDir chooser(toolkit);
  const std::string folder = dir.path().string();
  toolkit.AnswerChooser(folder);
  EXPECT_EQ(chooser.ChooseDirectory(folder, "Choose a directory to extract files to."), dir.dir());
  ASSERT_EQ(toolkit.choosers.size(), 1u);
  EXPECT_EQ(toolkit.choosers[0].initial, folder);
  EXPECT_EQ(toolkit.choosers[0].text, "Choose a directory to extract files to.");
  toolkit.AnswerChooser(dir.dir());  // already closed by a separator: kept as it is
  EXPECT_EQ(chooser.ChooseDirectory(dir.dir(), ""), dir.dir());
  EXPECT_EQ(chooser.form().Get("LCaption").text(), "Choose a directory below");
}

TEST(TDChooseDir, MissingInitialFolderStartsAtTheRootAndCancelGivesNothing) {
  testsupport::TempDir dir;
  testsupport::ScriptedToolkit toolkit;
  TDChooseDir chooser(toolkit);
  EXPECT_EQ(chooser.ChooseDirectory(dir.dir() + "missing", "p"), "");
  ASSERT_EQ(toolkit.choosers.size(), 1u);
  const std::string start = toolkit.choosers[0].initial;
  EXPECT_TRUE(start == "c:\\" || start == std::filesystem::current_path().root_path().string()) << start;
  EXPECT_EQ(chooser.ChooseDirectory("", ""), "");
  EXPECT_EQ(toolkit.choosers.back().initial, start);
}

TEST(TDChooseDir, NewFolderIsCreatedBelowTheSelectionAndSelected) {
  testsupport::TempDir dir;
  testsupport::ScriptedToolkit toolkit;
  TDChooseDir chooser(toolkit);
  chooser.SelectFolder(dir.path().string());
  toolkit.AnswerInput(std::string("Logs"));
  chooser.form().Get("BNewDir").Click();
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "Logs"));
  EXPECT_EQ(chooser.SelectedFolder(), dir.dir() + "Logs");
  ASSERT_EQ(toolkit.inputs.size(), 1u);
  EXPECT_EQ(toolkit.inputs[0].caption, "New Folder");
  EXPECT_EQ(toolkit.inputs[0].text, "Folder Name:");
  toolkit.AnswerInput(std::string(""));
  chooser.BNewDirClick();
  EXPECT_EQ(chooser.SelectedFolder(), dir.dir() + "Logs");
}

}  // namespace
}  // namespace app
