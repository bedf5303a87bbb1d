// Folders of the process's own in a shared temporary folder: made only
// where nothing has the name, for the owner alone, removed completely.
#include "system/private_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "support/temp_dir.h"
#include "system/files.h"
#include "system/paths.h"
#include "system/platform.h"

namespace sys {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;

// Makes a link at `link` to `target`; false where the platform refuses
// (Windows without the privilege).
bool MakeLink(const fs::path& target, const fs::path& link) {
  std::error_code error;
  fs::create_directory_symlink(target, link, error);
  return !error;
}

TEST(PrivateFolder, MadeOnlyWhereNothingHasTheNameAndForTheOwnerAlone) {
  testsupport::TempDir dir;
  const fs::path victim = dir.path() / "victim";
  fs::create_directory(victim);
#ifndef _WIN32
  const mode_t saved = umask(0277);  // would leave the owner unable to write
#endif
  const std::string made = dir.dir() + "mine";
  const bool created = platform::CreatePrivateFolder(made);
#ifndef _WIN32
  umask(saved);
#endif
  ASSERT_TRUE(created);
#ifndef _WIN32
  EXPECT_EQ(fs::status(made).permissions(), fs::perms::owner_all);
#endif
  EXPECT_FALSE(platform::CreatePrivateFolder(made));
  dir.Write("file", "x");
  EXPECT_FALSE(platform::CreatePrivateFolder(dir.dir() + "file"));
  if (MakeLink(victim, dir.path() / "link") && MakeLink(dir.path() / "nowhere", dir.path() / "dangling")) {
    EXPECT_FALSE(platform::CreatePrivateFolder(dir.dir() + "link"));
    EXPECT_FALSE(platform::CreatePrivateFolder(dir.dir() + "dangling"));
    EXPECT_FALSE(fs::exists(dir.path() / "nowhere"));
    EXPECT_TRUE(fs::is_empty(victim));
  }

  std::set<std::string> names;
  for (int i = 0; i < 4; ++i) {
    const std::string unique = CreateUniqueFolder(dir.dir(), "p-");
    ASSERT_EQ(unique.size(), dir.dir().size() + 2 + 16 + 1) << unique;
    EXPECT_TRUE(FolderExists(unique));
    names.insert(unique);
  }
  EXPECT_EQ(names.size(), 4u);
  EXPECT_EQ(CreateUniqueFolder(dir.dir() + "missing", "p-"), "");
}

TEST(PrivateFolder, RemovedWithReadOnlyContentButNothingBehindLinks) {
  testsupport::TempDir dir;
  const std::string victimFile = dir.Write("victim/keep.txt", "keep");
  ApplyAttributeLetters(victimFile, "r");
  const std::string own = CreateUniqueFolder(dir.dir(), "own-");
  ASSERT_FALSE(own.empty());
  const std::string name = own.substr(dir.dir().size(), own.size() - dir.dir().size() - 1);
  dir.Write(name + "/sub/page.htm", "page");
  ApplyAttributeLetters(own + "sub" + PathSeparator() + "page.htm", "r");
  ApplyAttributeLetters(own + "sub", "r");
  MakeLink(dir.path() / "victim", fs::path(own) / "link");
  std::error_code ignored;
  fs::create_symlink(victimFile, fs::path(own) / "file-link", ignored);

  EmptyOwnFolder(own);
  EXPECT_TRUE(FolderExists(own));
  EXPECT_TRUE(fs::is_empty(own));
  dir.Write(name + "/again.htm", "again");
  RemoveOwnFolder(own);
  EXPECT_FALSE(fs::exists(fs::path(own)));
  EXPECT_EQ(ReadFile(victimFile), "keep");
  EXPECT_NE(AttributeLetters(victimFile).find('r'), std::string::npos) << "a link's target keeps its attributes";
  ApplyAttributeLetters(victimFile, "a");
}

}  // namespace
}  // namespace sys
