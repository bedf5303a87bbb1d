// Names that differ only in letter case, from a real folder tree: refused by
// default with both names, or renamed / left out when asked.
#include <algorithm>
#include <filesystem>
#include <vector>

#include "archive/case_collisions.h"
#include "archive_test_support.h"

namespace archive::testing {
namespace {

using testsupport::ReadFile;

class CaseCollisionTest : public ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    WriteDated("tree/docs/index.html", "lower");
    WriteDated("tree/docs/Index.html", "upper");
    WriteDated("tree/docs/guide.html", "guide");
    // A file system that does not tell the two apart cannot hold this tree.
    if (ReadFile(dir.dir() + "tree/docs/index.html") != "lower") GTEST_SKIP() << "letter case is not kept apart here";
  }
  void TearDown() override { Module().caseCollisions = CaseCollisions::Error; }

  bool Pack() { return ArchiveCreateFromFolder(archive, dir.dir() + "tree", kAllEntriesFilter, nullptr, nullptr, ""); }
  // The extracted files below docs, name=content, in byte order.
  std::vector<std::string> Extracted() {
    const std::string out = dir.dir() + "out";
    std::filesystem::remove_all(out);
    EXPECT_TRUE(ArchiveExtractAll(archive, out, nullptr, nullptr));
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(out + "/docs")) {
      files.push_back(entry.path().filename().string() + "=" + ReadFile(entry.path().string()));
    }
    std::sort(files.begin(), files.end());
    return files;
  }

  const std::string archive = dir.dir() + "docs.bvarc";
};

TEST_F(CaseCollisionTest, RefusedByDefaultNamingBothAndWritingNothing) {
  EXPECT_FALSE(Pack());
  EXPECT_FALSE(sys::FileExists(archive));
  EXPECT_NE(Module().lastError.find("docs\\Index.html\n  docs\\index.html"), std::string::npos) << Module().lastError;
  EXPECT_NE(Module().lastError.find("--case-collisions="), std::string::npos);
}

TEST_F(CaseCollisionTest, RenameKeepsBothAndKeepFirstKeepsTheFirstInByteOrder) {
  Module().caseCollisions = CaseCollisions::Rename;
  // A name the renaming must step over.
  WriteDated("tree/docs/INDEX (2).html", "taken");
  ASSERT_TRUE(Pack()) << Module().lastError;
  EXPECT_EQ(Extracted(), (std::vector<std::string>{"INDEX (2).html=taken", "Index.html=upper", "guide.html=guide",
                                                   "index (3).html=lower"}));
  std::filesystem::remove(dir.path() / "tree/docs/INDEX (2).html");

  Module().caseCollisions = CaseCollisions::KeepFirst;
  ASSERT_TRUE(Pack()) << Module().lastError;
  EXPECT_EQ(Extracted(), (std::vector<std::string>{"Index.html=upper", "guide.html=guide"}));
}

TEST(CaseFolding, FoldsLettersOfTheCommonScriptsAndReadsTheOptionWords) {
  EXPECT_EQ(FoldCase("Docs\\INDEX.Html"), "docs\\index.html");
  EXPECT_EQ(FoldCase("\xC3\x89t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");                  // Été
  EXPECT_EQ(FoldCase("\xC5\x81\xC3\xB3" "d\xC5\xBA"), FoldCase("\xC5\x82\xC3\xB3" "d\xC5\xB9"));  // Łódź, łódŹ
  EXPECT_EQ(FoldCase("\xD0\x9C\xD0\xB8\xD1\x80"), "\xD0\xBC\xD0\xB8\xD1\x80");      // Мир
  EXPECT_EQ(FoldCase("caf\xE9"), "caf\xE9");  // legacy 8-bit text stays as it is
  EXPECT_EQ(ParseCaseCollisions("keep-first"), CaseCollisions::KeepFirst);
  EXPECT_EQ(ParseCaseCollisions("rename"), CaseCollisions::Rename);
  EXPECT_EQ(ParseCaseCollisions("Error"), std::nullopt);
}

}  // namespace
}  // namespace archive::testing
