// Folders held open: whether a child was made by the call that opened it,
// a new file written and read through one at any offset,
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

// Transfers here and there on one new file, at the file pointer's place and
// elsewhere, a gap among them; a write after read-only was set still goes,
// and the date and read-only hold once the file is closed.
TEST(HeldFolders, ANewFileIsWrittenAndReadAtAnyOffsetAndKeepsItsDateAndAttributes) {
  testsupport::TempDir dir;
  platform::FolderHandle folder;
  std::string reason;
  ASSERT_TRUE(folder.Open(dir.dir(), reason)) << reason;
  platform::FileHandle file;
  ASSERT_TRUE(folder.CreateNewFile("new.tmp", file, 0666, reason)) << reason;
  struct Step {
    int64_t offset;
    std::string write;   // written at `offset`, or else
    int64_t readLength;  // read from `offset`
    std::string read;    // and expected
  };
  const Step steps[] = {
      {0, "abcdef", 0, ""},   {6, "gh", 0, ""},           {2, "", 3, "cde"},
      {8, "ij", 0, ""},       {12, "m", 0, ""},           {3, "XY", 0, ""},
      {5, "", 2, "fg"},       {0, "", 100, std::string("abcXYfghij\0\0m", 13)},
      {13, "", 5, ""},        {1, "", 1, "b"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.offset);
    if (!step.write.empty()) {
      EXPECT_EQ(file.WriteAt(step.offset, step.write.data(), static_cast<int64_t>(step.write.size())),
                static_cast<int64_t>(step.write.size()));
    } else {
      std::string got(static_cast<size_t>(step.readLength), '?');
      got.resize(static_cast<size_t>(file.ReadAt(step.offset, got.data(), step.readLength)));
      EXPECT_EQ(got, step.read);
    }
  }
  constexpr int64_t kDate = 1300000000;
  EXPECT_TRUE(file.SetAttributes(platform::kAttrReadOnly));
  EXPECT_EQ(file.WriteAt(13, "n", 1), 1);
  EXPECT_TRUE(file.SetModifiedTime(kDate));
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "new.tmp"), std::string("abcXYfghij\0\0mn", 14));
  EXPECT_EQ(platform::GetModifiedTime(dir.dir() + "new.tmp"), kDate);
  EXPECT_TRUE(*platform::GetAttributes(dir.dir() + "new.tmp") & platform::kAttrReadOnly);
  EXPECT_TRUE(folder.RemoveFile("new.tmp"));
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
