// Launching files: refusals are reported, nothing is waited for.
#include "system/launch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/temp_dir.h"
#include "system/paths.h"
#ifndef _WIN32
#include "system/posix/desktop_entry_posix.h"
#endif

namespace {

TEST(LaunchTest, MissingFileGivesTheShellsMessageAboutTheFile) {
  testsupport::TempDir dir;
  const std::string file = dir.dir() + "absent.exe";
  const sys::Failure failure = sys::LaunchFile(file, "");
  const std::string reason = sys::PathSeparator() == '/' ? std::string("\n") + sys::kLaunchNotFound : "";
  EXPECT_EQ(failure.kind, sys::FailureKind::Io);
  EXPECT_EQ(failure.path, file);
  EXPECT_EQ(failure.message, "Problem occured launching " + file + reason);
}

TEST(LaunchTest, EmptyPathIsRefused) {
  EXPECT_FALSE(sys::platform::ShellLaunch("", "", ""));
}

}  // namespace

namespace {

// Waits for a file that a started program writes; the program runs on its
// own, so the test can only look until it appears.
bool AppearsSoon(const std::filesystem::path& file) {
  for (int i = 0; i < 500 && !std::filesystem::exists(file); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return std::filesystem::exists(file);
}

TEST(LaunchTest, ProgramStartsInItsOwnFolderWithItsParameters) {
  if (sys::PathSeparator() != '/') GTEST_SKIP() << "shell script launch is a POSIX check";
  testsupport::TempDir dir;
  const std::string script = dir.Write("bin/run.sh", "#!/bin/sh\nprintf '%s|%s' \"$1\" \"$2\" > started.tmp\nmv started.tmp marker.txt\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
  EXPECT_FALSE(sys::LaunchFile(script, "\"a b\" c").failed());
  ASSERT_TRUE(AppearsSoon(dir.path() / "bin" / "marker.txt"));
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "bin" / "marker.txt"), "a b|c");
}

#ifndef _WIN32
TEST(LaunchTest, RefusalsSayWhy) {
  testsupport::TempDir dir;
  // A script without execute permission is not opened as a document.
  const std::string script = dir.Write("tool.sh", "#!/bin/sh\ntouch ran\n");
  std::string reason;
  EXPECT_FALSE(sys::platform::ShellLaunch(script, "", dir.dir(), &reason));
  EXPECT_EQ(reason, sys::kLaunchNotExecutable);
  // A document of a type nothing handles, with every desktop database empty.
  const std::string document = dir.Write("note.brevion-unknown", "text");
  const std::string empty = dir.dir() + "empty";
  for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
    setenv(name, empty.c_str(), 1);
  reason.clear();
  const bool opened = sys::platform::ShellLaunch(document, "", dir.dir(), &reason);
  for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"}) unsetenv(name);
  if (!sys::platform::desktop::OnPath("gio")) GTEST_SKIP() << "gio (libglib2.0-bin) is not installed";
  EXPECT_FALSE(opened);
  EXPECT_EQ(reason, sys::kLaunchNoHandler);
}
#endif

}  // namespace
