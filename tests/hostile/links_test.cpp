// Links planted in the trees that the program writes into or deletes: a
// folder link (symbolic link or junction) or a file link pointing outside.
// Extraction never writes through one; deletion removes the link itself and
// never what it points to. On Windows the links are made with the system's
// own calls; a test is skipped, saying why, where they cannot be made.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/archive.h"
#include "hostile/hostile_support.h"
#include "system/files.h"
#include "system/uninstall_log.h"

namespace hostile {
namespace {

using archive::Module;
using testsupport::ReadFile;

class HostileLinks : public archive::testing::ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    dir.Write("outside/keep.txt", "keep");
    dir.Write("outside/deep/keep2.txt", "keep too");
    outside = Snapshot(dir.path() / "outside");
  }

  void ExpectOutsideUnchanged() { EXPECT_EQ(Snapshot(dir.path() / "outside"), outside); }

  TreeSnapshot outside;
};

#define PLANT(call)                                        \
  if (const auto why = (call)) GTEST_SKIP() << *why;

TEST_F(HostileLinks, ExtractionNeverWritesThroughALinkInTheTarget) {
  WriteDated("src/sub/keep.txt", "from archive");
  WriteDated("src/top.txt", "top");
  const std::string archivePath = dir.dir() + "a.bvarc";
  ASSERT_TRUE(archive::ArchiveCreateFromFolder(archivePath, dir.dir() + "src", archive::kAllEntriesFilter, nullptr,
                                               nullptr, ""));
  fs::create_directories(dir.path() / "dest");
  PLANT(PlantFolderLink(dir.path() / "outside", dir.path() / "dest" / "sub"));
  Module().OverwriteExisting = archive::kYesToAll;
  EXPECT_FALSE(archive::ArchiveExtractAll(archivePath, dir.dir() + "dest", nullptr, nullptr));
  ExpectOutsideUnchanged();
  EXPECT_NE(Module().lastError.find("symbolic link"), std::string::npos) << Module().lastError;

  // A link in place of the file itself is not written through either.
  sys::DeleteFolderTree(dir.dir() + "dest");
  fs::create_directories(dir.path() / "dest");
  PLANT(PlantFileLink(dir.path() / "outside" / "keep.txt", dir.path() / "dest" / "top.txt"));
  EXPECT_FALSE(archive::ArchiveExtractAll(archivePath, dir.dir() + "dest", nullptr, nullptr));
  ExpectOutsideUnchanged();
  EXPECT_EQ(ReadFile(dir.path() / "outside" / "keep.txt"), "keep");
}

// A folder of the target swapped for a link to an outside folder after the
// Nth file, for every N: the files still to come go where the extraction
// holds its folders open, never outside.
TEST_F(HostileLinks, FoldersSwappedForLinksDuringExtractionReceiveNothingOutside) {
  for (int i = 0; i < 6; ++i) WriteDated("src/sub/deep/d" + std::to_string(i) + ".txt", "deep");
  for (int i = 0; i < 6; ++i) WriteDated("src/sub/f" + std::to_string(i) + ".txt", "sub");
  WriteDated("src/zz.txt", "last");
  const std::string archivePath = dir.dir() + "a.bvarc";
  ASSERT_TRUE(archive::ArchiveCreateFromFolder(archivePath, dir.dir() + "src", archive::kAllEntriesFilter, nullptr,
                                               nullptr, ""));
  const fs::path dest = dir.path() / "dest";
  for (const char* swapped : {"sub", "sub/deep"}) {
    for (size_t n = 1; n <= 12; ++n) {
      SCOPED_TRACE(std::string(swapped) + " after file " + std::to_string(n));
      fs::remove_all(dest);
      std::optional<std::string> planted;
      Module().afterFileWritten = [&](size_t written) {
        if (written != n || !fs::exists(dest / swapped)) return;
        // Windows refuses to rename a folder while it is held: nothing to swap.
        std::error_code refused;
        fs::rename(dest / swapped, dest / "moved-away", refused);
        if (!refused) planted = PlantFolderLink(dir.path() / "outside", dest / swapped);
      };
      EXPECT_TRUE(archive::ArchiveExtractAll(archivePath, dir.dir() + "dest", nullptr, nullptr))
          << Module().lastError;
      Module().afterFileWritten = {};
      if (planted) GTEST_SKIP() << *planted;
      ExpectOutsideUnchanged();
      size_t files = 0;  // every one of them inside the target, under one name or another
      for (const auto& [path, content] : Snapshot(dest)) files += content != "<dir>" && !content.starts_with("<link>");
      EXPECT_EQ(files, 13u);
    }
  }
}

// Links planted at the temporary names an earlier version used, and at any
// name beside the file, are never written through: temporary files are
// created exclusively under names no one can predict.
TEST_F(HostileLinks, LinksAtTemporaryNamesAreNeverWrittenThrough) {
  WriteDated("src/top.txt", "new content");
  const std::string archivePath = dir.dir() + "a.bvarc";
  ASSERT_TRUE(archive::ArchiveCreateFromFolder(archivePath, dir.dir() + "src", archive::kAllEntriesFilter, nullptr,
                                               nullptr, ""));
  WriteDated("dest/top.txt", "old", archive::testing::kDate2021 - 0x01000000);
  for (int i = 0; i < 20; ++i) {
    const std::string name = "~bvpart" + std::to_string(i) + ".tmp";
    PLANT(PlantFileLink(dir.path() / "outside" / "keep.txt", dir.path() / "dest" / name));
  }
  const TreeSnapshot planted = Snapshot(dir.path() / "dest");
  Module().OverwriteExisting = archive::kYesToAll;
  ASSERT_TRUE(archive::ArchiveExtractAll(archivePath, dir.dir() + "dest", nullptr, nullptr)) << Module().lastError;
  ASSERT_TRUE(archive::ArchiveExtractEntry(archivePath, "top.txt", dir.dir() + "dest/top.txt", 0));
  ExpectOutsideUnchanged();
  TreeSnapshot expected = planted;
  expected["top.txt"] = "new content";
  EXPECT_EQ(Snapshot(dir.path() / "dest"), expected);  // nothing left under a temporary name
}

// Files in a folder the extraction made are written without looking at
// their names first; a file or link that appears there meanwhile is still
// never replaced nor written through, and the file is reported by name.
TEST_F(HostileLinks, NamesPlantedInAFolderJustMadeAreKept) {
  WriteDated("src/sub/a.txt", "first");
  WriteDated("src/sub/b.txt", "second");
  const std::string archivePath = dir.dir() + "a.bvarc";
  ASSERT_TRUE(archive::ArchiveCreateFromFolder(archivePath, dir.dir() + "src", archive::kAllEntriesFilter, nullptr,
                                               nullptr, ""));
  const fs::path dest = dir.path() / "dest";
  for (const bool asLink : {false, true}) {
    SCOPED_TRACE(asLink ? "link" : "file");
    fs::remove_all(dest);
    std::optional<std::string> planted;
    Module().afterFileWritten = [&](size_t written) {
      if (written != 1) return;
      if (asLink) {
        planted = PlantFileLink(dir.path() / "outside" / "keep.txt", dest / "sub" / "b.txt");
      } else {
        dir.Write("dest/sub/b.txt", "planted");
      }
    };
    const bool extracted = archive::ArchiveExtractAll(archivePath, dir.dir() + "dest", nullptr, nullptr);
    Module().afterFileWritten = {};
    if (planted) GTEST_SKIP() << *planted;
    EXPECT_FALSE(extracted);
    EXPECT_NE(Module().lastError.find("b.txt"), std::string::npos) << Module().lastError;
    ExpectOutsideUnchanged();
    const TreeSnapshot after = Snapshot(dest / "sub");
    ASSERT_EQ(after.size(), 2u);  // nothing left under a temporary name
    EXPECT_EQ(after.at("a.txt"), "first");
    if (!asLink) {
      EXPECT_EQ(after.at("b.txt"), "planted");
    }
  }
}

TEST_F(HostileLinks, DeletingATreeRemovesItsLinksNotTheirTargets) {
  dir.Write("tree/a.txt", "a");
  dir.Write("tree/inner/b.txt", "b");
  PLANT(PlantFolderLink(dir.path() / "outside", dir.path() / "tree" / "inner" / "folder-link"));
  sys::DeleteFolderTree(dir.dir() + "tree");
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir.path() / "tree")));
  ExpectOutsideUnchanged();

  // A tree that is itself a link (the installer's page folder replaced by
  // one): the link goes, what it points to stays.
  PLANT(PlantFolderLink(dir.path() / "outside", dir.path() / "page-folder"));
  sys::DeleteFolderTree(dir.dir() + "page-folder");
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir.path() / "page-folder")));
  ExpectOutsideUnchanged();

  // Deleting by mask passes over linked folders' contents too.
  dir.Write("masked/x.tmp", "x");
  PLANT(PlantFolderLink(dir.path() / "outside", dir.path() / "masked" / "linked"));
  sys::DeleteMatchingFiles(dir.dir() + "masked", "*.txt|*.tmp", true);
  EXPECT_FALSE(fs::exists(dir.path() / "masked" / "x.tmp"));
  ExpectOutsideUnchanged();
}

TEST_F(HostileLinks, DeletingATreeRemovesFileLinksNotTheirTargets) {
  dir.Write("tree/a.txt", "a");
  PLANT(PlantFileLink(dir.path() / "outside" / "keep.txt", dir.path() / "tree" / "file-link"));
  sys::DeleteFolderTree(dir.dir() + "tree");
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir.path() / "tree")));
  ExpectOutsideUnchanged();
}

TEST_F(HostileLinks, UninstallRemovesLinksInTheInstallFolderNotTheirTargets) {
  dir.Write("install/app.exe", "program");
  PLANT(PlantFolderLink(dir.path() / "outside", dir.path() / "install" / "data"));
  PLANT(PlantFolderLink(dir.path() / "outside", dir.path() / "second"));
  const std::string log =
      dir.Write("log/App.inst", "dir|" + dir.dir() + "install\r\nfolder|" + dir.dir() + "install\r\ndir|" + dir.dir() +
                                    "second\\\r\nfolder|" + dir.dir() + "second\\deep\r\nfolder|" + dir.dir() + "second\r\n");
  // A listed name below a linked folder, or the link itself as a folder.
  EXPECT_TRUE(sys::ReplayUninstallLog(log, {"app.exe", "data", "data\\keep.txt", "deep\\keep.txt"}).logFound);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir.path() / "install")));
  ExpectOutsideUnchanged();
  EXPECT_FALSE(sys::FileExists(log));
}

// A folder of the installation swapped for a link to an outside folder
// holding files of the same names, after the Nth removal, for every N: the
// uninstall removes nothing outside, goes on with the rest and reports the
// link.
TEST_F(HostileLinks, FoldersSwappedForLinksDuringUninstallLoseNothingOutside) {
  sys::StringList installed;
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i);
    dir.Write("outside/f" + n + ".txt", "outside");
    dir.Write("outside/d" + n + ".txt", "outside");
    dir.Write("outside/deep/d" + n + ".txt", "outside");
    installed.push_back("sub\\deep\\d" + n + ".txt");
    installed.push_back("sub\\f" + n + ".txt");
  }
  installed.push_back("app.exe");
  outside = Snapshot(dir.path() / "outside");
  const fs::path install = dir.path() / "install";
  const std::string base = dir.dir() + "install";
  const std::string log = dir.dir() + "log/App.inst";
  for (const char* swapped : {"sub", "sub/deep"}) {
    for (size_t n = 1; n <= installed.size() + 2; ++n) {
      SCOPED_TRACE(std::string(swapped) + " after removal " + std::to_string(n));
      fs::remove_all(install);
      for (std::string name : installed) {
        std::replace(name.begin(), name.end(), '\\', '/');
        dir.Write("install/" + name, "installed");
      }
      dir.Write("log/App.inst", "dir|" + base + "\r\nfolder|" + base + "\r\nfolder|" + base + "/sub\r\nfolder|" +
                                    base + "/sub/deep\r\n");
      std::optional<std::string> planted;
      bool swappedNow = false;
      sys::AfterUninstallRemoval() = [&](size_t removed) {
        if (removed != n || !fs::exists(install / swapped)) return;
        // Windows refuses to rename a folder while it is held: nothing to swap.
        std::error_code refused;
        fs::rename(install / swapped, install / "moved-away", refused);
        if (refused) return;
        planted = PlantFolderLink(dir.path() / "outside", install / swapped);
        swappedNow = !planted;
      };
      const sys::UninstallReplay replay = sys::ReplayUninstallLog(log, installed);
      sys::AfterUninstallRemoval() = {};
      if (planted) GTEST_SKIP() << *planted;
      ExpectOutsideUnchanged();
      EXPECT_FALSE(fs::exists(install / "app.exe"));
      if (swappedNow) {
        EXPECT_EQ(replay.skippedLinks.size(), 1u);
      } else {
        EXPECT_TRUE(replay.skippedLinks.empty());
      }
    }
  }
}

}  // namespace
}  // namespace hostile
