#include "system/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/temp_dir.h"
#include "system/paths.h"
#include "system/platform.h"

namespace {

using sys::StringList;
namespace fs = std::filesystem;

const std::string kSep(1, sys::PathSeparator());

StringList Sorted(StringList list) {
  std::sort(list.begin(), list.end());
  return list;
}

[[maybe_unused]] std::string WithoutArchive(std::string letters) {
  std::erase(letters, 'a');
  return letters;
}

// Hidden on both platforms: a dot name (POSIX) with the hidden attribute
// (Windows).
void MakeHidden(const std::string& path) { ASSERT_TRUE(sys::ApplyAttributeLetters(path, "ah")); }

// root/
//   a.txt  b.dat  .hidden.txt (hidden)
//   sub/ c.txt  deep/ d.txt
//   .hsub/ e.txt             (hidden folder)
//   notes.txt/ n.txt         (a folder whose name matches *.txt)
class ListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = temp.dir();
    for (const char* name : {"a.txt", "b.dat", ".hidden.txt", "sub/c.txt", "sub/deep/d.txt",
                             ".hsub/e.txt", "notes.txt/n.txt"})
      temp.Write(name, "x");
    MakeHidden(root + ".hidden.txt");
    MakeHidden(root + ".hsub");
  }
  StringList List(const std::string& letters, const std::string& mask = "*.*") {
    StringList list{"stale"};
    sys::ListFolder(list, root, letters, mask);
    return list;
  }
  std::string Rel(const std::string& a, const std::string& b) { return a + kSep + b; }

  testsupport::TempDir temp;
  std::string root;
};

TEST_F(ListingTest, FoldersOnlyWithoutFileLetters) {
  EXPECT_EQ(Sorted(List("d")), (StringList{"notes.txt", "sub"}));
}

TEST_F(ListingTest, FilesAndFoldersWithoutHiddenOnes) {
  EXPECT_EQ(Sorted(List("ad")), (StringList{"a.txt", "b.dat", "notes.txt", "sub"}));
  // Without "h" a hidden folder is neither reported nor descended into.
  StringList deep = List("ad/");
  EXPECT_EQ(std::count(deep.begin(), deep.end(), Rel(".hsub", "e.txt")), 0);
  EXPECT_EQ(std::count(deep.begin(), deep.end(), Rel("sub", "c.txt")), 1);
}

TEST_F(ListingTest, RecursiveWithHiddenIsPreOrderAndRelative) {
  StringList list = List("adh/");
  EXPECT_EQ(Sorted(list),
            Sorted({"a.txt", "b.dat", ".hidden.txt", "sub", Rel("sub", "c.txt"), Rel("sub", "deep"),
                    Rel(Rel("sub", "deep"), "d.txt"), ".hsub", Rel(".hsub", "e.txt"), "notes.txt",
                    Rel("notes.txt", "n.txt")}));
  auto position = [&](const std::string& entry) {
    return std::find(list.begin(), list.end(), entry) - list.begin();
  };
  EXPECT_LT(position("sub"), position(Rel("sub", "c.txt")));
  EXPECT_LT(position(Rel("sub", "deep")), position(Rel(Rel("sub", "deep"), "d.txt")));
}

TEST_F(ListingTest, FullPathsBeginWithTheFolder) {
  StringList list = List("adp/");
  ASSERT_FALSE(list.empty());
  for (const std::string& entry : list) EXPECT_TRUE(entry.starts_with(root)) << entry;
  EXPECT_NE(std::find(list.begin(), list.end(), root + Rel("sub", "c.txt")), list.end());
  // The folder may also be given without its trailing separator.
  StringList again;
  sys::ListFolder(again, sys::ExcludeTrailingSeparator(root), "adp/", "*.*");
  EXPECT_EQ(Sorted(again), Sorted(list));
}

TEST_F(ListingTest, MaskAppliesToFoldersToo) {
  // "sub" does not match *.txt, so nothing below it is found; the folder
  // notes.txt does match and is descended into.
  EXPECT_EQ(Sorted(List("ad/", "*.txt")),
            (StringList{"a.txt", "notes.txt", Rel("notes.txt", "n.txt")}));
  EXPECT_EQ(Sorted(List("a", "*.TXT")), (StringList{"a.txt"}));
  EXPECT_EQ(Sorted(List("a", "?.dat")), (StringList{"b.dat"}));
}

TEST_F(ListingTest, ListFilesDropsFolders) {
  StringList list;
  EXPECT_EQ(sys::ListFiles(list, root, "rsa", "*.*"), 2);
  EXPECT_EQ(Sorted(list), (StringList{"a.txt", "b.dat"}));
  EXPECT_EQ(sys::ListFiles(list, root, "rsa/", "*.*"), 5);
  EXPECT_EQ(Sorted(list), Sorted({"a.txt", "b.dat", Rel("sub", "c.txt"),
                                  Rel(Rel("sub", "deep"), "d.txt"), Rel("notes.txt", "n.txt")}));
  // With "d" the folders stay.
  EXPECT_EQ(sys::ListFiles(list, root, "ad", "*.*"), 4);
}

TEST_F(ListingTest, AttributeLettersOfFilesFoldersAndMissingPaths) {
  EXPECT_EQ(sys::AttributeLetters(root + "missing"), "");
  EXPECT_TRUE(sys::AttributeLetters(root + "sub").starts_with("d"));
  EXPECT_EQ(sys::AttributeLetters(root + ".hidden.txt"), "ah");
  ASSERT_TRUE(sys::ApplyAttributeLetters(root + "a.txt", "ar"));
  EXPECT_EQ(sys::AttributeLetters(root + "a.txt"), "ar");
  StringList letters{"stale"};
  sys::AttributeLettersForList(root, {"a.txt", "missing", "sub"}, letters);
  ASSERT_EQ(letters.size(), 3u);
  EXPECT_EQ(letters[0], "ar");
  EXPECT_EQ(letters[1], "");
  EXPECT_TRUE(letters[2].starts_with("d"));
}

TEST_F(ListingTest, ApplyingLettersReplacesTheAttributes) {
#ifdef _WIN32
  // Not a dot name: Wine reports dot names as hidden whatever the attribute.
  const std::string file = temp.Write("ro.txt", "x");
#else
  const std::string file = temp.Write(".ro.txt", "x");
#endif
  ASSERT_TRUE(sys::ApplyAttributeLetters(file, "ar"));
  ASSERT_TRUE(sys::ApplyAttributeLetters(file, "h"));
#ifdef _WIN32
  // Wine reports the archive bit of every file whatever was set, so only
  // the other letters are compared.
  EXPECT_EQ(WithoutArchive(sys::AttributeLetters(file)), "h");
  ASSERT_TRUE(sys::ApplyAttributeLetters(file, "as"));
  EXPECT_EQ(sys::AttributeLetters(file), "as");
  ASSERT_TRUE(sys::ApplyAttributeLetters(file, "rs"));
  EXPECT_EQ(WithoutArchive(sys::AttributeLetters(file)), "rs");
#else
  // Hidden follows the dot name, archive is always reported for files.
  EXPECT_EQ(sys::AttributeLetters(file), "ah");
#endif
  EXPECT_FALSE(sys::ApplyAttributeLetters(root + "missing", "a"));
}

TEST_F(ListingTest, BackslashPathsWorkOnEveryPlatform) {
  EXPECT_TRUE(sys::FileExists(root + "sub\\deep\\d.txt"));
  EXPECT_TRUE(sys::FolderExists(root + "sub\\deep\\"));
  EXPECT_FALSE(sys::FileExists(root + "sub\\deep"));
  StringList list;
  sys::ListFolder(list, root + "sub\\deep", "a", "*.*");
  EXPECT_EQ(list, (StringList{"d.txt"}));
}

TEST(FilterByFolder, PrefixCaseAndSubfolders) {
  const StringList entries{"C:\\A\\x", "C:\\A\\B\\y", "C:\\AB\\z", "c:\\a\\X2", "noslash"};
  const StringList dates{"1", "2", "3", "4", "5"};

  StringList list = entries, parallel = dates;
  sys::FilterByFolder("C:\\A", list, parallel, true, false);
  EXPECT_EQ(list, (StringList{"C:\\A\\x", "C:\\A\\B\\y", "c:\\a\\X2"}));
  EXPECT_EQ(parallel, (StringList{"1", "2", "4"}));

  list = entries, parallel = dates;
  sys::FilterByFolder("C:\\A\\", list, parallel, false, false);
  EXPECT_EQ(list, (StringList{"C:\\A\\x", "c:\\a\\X2"}));
  EXPECT_EQ(parallel, (StringList{"1", "4"}));

  list = entries, parallel = dates;
  sys::FilterByFolder("c:\\a", list, parallel, true, true);
  EXPECT_EQ(list, (StringList{"x", "B\\y", "X2"}));

  list = entries, parallel = {};
  sys::FilterByFolder("", list, parallel, true, true);
  EXPECT_EQ(list, entries);
  sys::FilterByFolder("C:/A", list, parallel, false, true);  // "/" reads as "\"
  EXPECT_EQ(list, (StringList{"x", "X2"}));
}

TEST(Deleting, MatchingFilesByMasks) {
  testsupport::TempDir temp;
  for (const char* name : {"a.tmp", "b.bak", "c.txt", "sub/d.tmp", "sub/e.txt"}) temp.Write(name, "x");
  sys::DeleteMatchingFiles(temp.dir(), "*.tmp|*.bak", false);
  EXPECT_FALSE(fs::exists(temp.path() / "a.tmp"));
  EXPECT_FALSE(fs::exists(temp.path() / "b.bak"));
  EXPECT_TRUE(fs::exists(temp.path() / "c.txt"));
  EXPECT_TRUE(fs::exists(temp.path() / "sub" / "d.tmp"));  // not descending

  sys::DeleteMatchingFiles(temp.dir(), "*.*", true);
  EXPECT_TRUE(fs::is_empty(temp.path()));
}

TEST(Deleting, FolderTreeLeavesReadOnlyFilesBehind) {
  testsupport::TempDir temp;
  const std::string tree = temp.dir() + "tree";
  for (const char* name : {"tree/a.txt", "tree/sub/b.txt", "tree/other/c.txt", "tree/.h/d"})
    temp.Write(name, "x");
  ASSERT_TRUE(sys::ApplyAttributeLetters(tree + kSep + "sub" + kSep + "b.txt", "ar"));
  sys::DeleteFolderTree(tree);
  // Read-only files cannot be deleted (on POSIX too, by the same rule), so
  // the file and the folders holding it stay; everything else goes.
  EXPECT_TRUE(fs::exists(temp.path() / "tree" / "sub" / "b.txt"));
  EXPECT_FALSE(fs::exists(temp.path() / "tree" / "a.txt"));
  EXPECT_FALSE(fs::exists(temp.path() / "tree" / "other"));
  EXPECT_FALSE(fs::exists(temp.path() / "tree" / ".h"));

  ASSERT_TRUE(sys::ApplyAttributeLetters(tree + kSep + "sub" + kSep + "b.txt", "a"));
  sys::DeleteFolderTree(tree + kSep);
  EXPECT_FALSE(fs::exists(temp.path() / "tree"));
  sys::DeleteFolderTree(tree);  // missing: nothing happens
  sys::DeleteFolderTree("");
}

#ifndef _WIN32
TEST(Deleting, FolderTreeRemovesLinksWithoutFollowingThem) {
  testsupport::TempDir temp;
  temp.Write("outside/keep.txt", "x");
  temp.Write("tree/a.txt", "x");
  fs::create_directory_symlink(temp.path() / "outside", temp.path() / "tree" / "linked");
  fs::create_symlink(temp.path() / "outside" / "keep.txt", temp.path() / "tree" / "file-link");
  StringList list;
  sys::ListFolder(list, temp.dir() + "tree", "ad/", "*.*");
  EXPECT_EQ(Sorted(list), (StringList{"a.txt", "file-link", "linked"}));  // not entered

  sys::DeleteFolderTree(temp.dir() + "tree");
  EXPECT_FALSE(fs::exists(temp.path() / "tree"));
  EXPECT_TRUE(fs::exists(temp.path() / "outside" / "keep.txt"));

  // A tree that is itself a link: the link goes, its target stays.
  fs::create_directory_symlink(temp.path() / "outside", temp.path() / "alias");
  sys::DeleteFolderTree(temp.dir() + "alias");
  EXPECT_FALSE(fs::exists(fs::symlink_status(temp.path() / "alias")));
  EXPECT_TRUE(fs::exists(temp.path() / "outside" / "keep.txt"));
}
#endif

TEST(FileOperations, CreateRenameAndRemove) {
  testsupport::TempDir temp;
  const std::string deep = temp.dir() + "x" + kSep + "y" + kSep + "z" + kSep;
  EXPECT_TRUE(sys::CreateFolders(deep));
  EXPECT_TRUE(sys::FolderExists(deep));
  EXPECT_TRUE(sys::CreateFolders(deep));  // already there

  const std::string a = temp.Write("a.txt", "A"), b = temp.Write("b.txt", "B");
  EXPECT_FALSE(sys::RenameFile(a, b, false));
  EXPECT_EQ(testsupport::ReadFile(b), "B");
  EXPECT_TRUE(sys::RenameFile(a, b, true));
  EXPECT_EQ(testsupport::ReadFile(b), "A");
  EXPECT_FALSE(sys::FileExists(a));
  EXPECT_TRUE(sys::RenameFile(b, deep + "moved.txt", false));
  EXPECT_TRUE(sys::FileExists(deep + "moved.txt"));

  ASSERT_TRUE(sys::ApplyAttributeLetters(deep + "moved.txt", "r"));
  EXPECT_FALSE(sys::RemoveFile(deep + "moved.txt"));
  EXPECT_FALSE(sys::RemoveFolder(deep));  // not empty
  ASSERT_TRUE(sys::ApplyAttributeLetters(deep + "moved.txt", ""));
  EXPECT_TRUE(sys::RemoveFile(deep + "moved.txt"));
  EXPECT_TRUE(sys::RemoveFolder(deep));
  EXPECT_FALSE(sys::RemoveFile(deep + "moved.txt"));
}

// Names outside every ANSI code page, and paths far past the classic
// 260-character limit, through the whole file seam: create, write, list,
// attributes, dates, rename, read and delete.
TEST(FileOperations, UnicodeNamesAndLongPathsRoundTrip) {
  testsupport::TempDir temp;
  std::string longFolder = temp.dir();
  while (longFolder.size() < 700) longFolder += "Ünïcödé アプリ" + kSep;
  const std::string base = temp.dir() + "Programme" + kSep;
  const StringList names = {"café.txt", "Łódź" + kSep + "żółw.txt", "日本語" + kSep + "ファイル.txt"};
  for (const std::string& root : {base, longFolder}) {
    SCOPED_TRACE(root.size());
    for (const std::string& name : names) {
      const std::string path = root + name;
      ASSERT_TRUE(sys::CreateFolders(sys::ExtractFilePath(path)));
      ASSERT_TRUE(sys::platform::WriteWholeFile(path, name));
      EXPECT_EQ(sys::platform::ReadWholeFile(path).value_or(""), name);
      EXPECT_TRUE(sys::platform::SetModifiedTime(path, 1700000000));
      EXPECT_EQ(sys::platform::GetModifiedTime(path).value_or(0), 1700000000);
      ASSERT_TRUE(sys::ApplyAttributeLetters(path, "ar"));
      EXPECT_EQ(sys::AttributeLetters(path), "ar");
      ASSERT_TRUE(sys::ApplyAttributeLetters(path, "a"));
    }
    StringList list;
    sys::ListFolder(list, root, "adhrs/", "*.*");
    EXPECT_EQ(Sorted(list), Sorted({"café.txt", "Łódź", names[1], "日本語", names[2]}));
    EXPECT_TRUE(sys::RenameFile(root + names[0], root + "Ünïcödé.txt", false));
    EXPECT_EQ(sys::platform::ReadWholeFile(root + "Ünïcödé.txt").value_or(""), names[0]);
    EXPECT_EQ(sys::platform::RealPath(root + "日本語" + kSep + "." + kSep + "ファイル.txt"), root + names[2]);
    sys::DeleteFolderTree(root);
    EXPECT_FALSE(sys::FolderExists(root));
  }
}

}  // namespace

namespace {

TEST(Listing, PumpsMessagesEvery128EntriesOfAFolder) {
  testsupport::TempDir temp;
  for (int i = 0; i < 260; ++i) temp.Write("f" + std::to_string(i), "");
  int pumped = 0;
  sys::SetMessagePump([&] { ++pumped; });
  sys::StringList list;
  sys::ListFolder(list, temp.dir(), "a", "*.*");
  sys::SetMessagePump({});
  EXPECT_EQ(list.size(), 260u);
  EXPECT_EQ(pumped, 2);  // after the 128th and the 256th entry
  sys::ListFolder(list, temp.dir(), "a", "*.*");
  EXPECT_EQ(pumped, 2);  // removed again
}

}  // namespace
