// Folders held open: whether a child was made by the call that opened it,
// renames that must refuse to land on a folder or an existing name, and
// temporary names that never repeat.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/temp_dir.h"
#include "system/platform.h"

namespace {

namespace platform = sys::platform;

TEST(HeldFolders, OnlyAFolderMadeByTheCallCountsAsMade) {
  testsupport::TempDir dir;
  dir.Write("old/file.txt", "x");
  platform::FolderHandle root;
  std::string reason;
  ASSERT_TRUE(root.Open(dir.dir(), reason)) << reason;
  EXPECT_FALSE(root.Made());
  platform::FolderHandle child;
  ASSERT_EQ(child.OpenChild(root, "new", true, reason), platform::FolderHandle::Child::Opened) << reason;
  EXPECT_TRUE(child.Made());
  platform::FolderHandle moved = std::move(child);
  EXPECT_TRUE(moved.Made());
  for (const char* existing : {"new", "old"}) {
    SCOPED_TRACE(existing);
    platform::FolderHandle again;
    ASSERT_EQ(again.OpenChild(root, existing, true, reason), platform::FolderHandle::Child::Opened) << reason;
    EXPECT_FALSE(again.Made());
  }
}

TEST(HeldFolders, RenameNeverLandsOnAFolderAndReplacesOnlyWhenAsked) {
  testsupport::TempDir dir;
  dir.Write("f/a.txt", "new");
  dir.Write("f/taken.txt", "kept");
  dir.Write("f/sub/inner.txt", "inner");
  platform::FolderHandle folder;
  std::string reason;
  ASSERT_TRUE(folder.Open(dir.dir() + "f", reason)) << reason;
  for (const bool replace : {false, true}) EXPECT_FALSE(folder.Rename("a.txt", "sub", replace)) << replace;
  EXPECT_FALSE(folder.Rename("a.txt", "taken.txt", false));
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "f" / "taken.txt"), "kept");
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "f" / "sub" / "inner.txt"), "inner");
  EXPECT_TRUE(folder.Rename("a.txt", "taken.txt", true));
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "f" / "taken.txt"), "new");
}

// More names than one refill of any pool of random bytes holds.
TEST(HeldFolders, TemporaryNamesHaveTheirFormAndNeverRepeat) {
  std::set<std::string> seen;
  for (int i = 0; i < 3000; ++i) {
    const std::string name = platform::UnpredictableTemporaryName();
    ASSERT_EQ(name.size(), 3u + 16u + 4u) << name;
    ASSERT_EQ(name.substr(0, 3), "~bv");
    ASSERT_EQ(name.substr(19), ".tmp");
    ASSERT_EQ(name.find_first_not_of("0123456789abcdef", 3), 19u) << name;
    ASSERT_TRUE(seen.insert(name).second) << name;
  }
}

}  // namespace
