// The overwrite rules and the progress/question window, driven through the
// scripted toolkit as a user would answer.
#include <gtest/gtest.h>

#include "archive/checksum.h"
#include "archive/indexed_file_form.h"
#include "archive_test_support.h"
#include "support/scripted_toolkit.h"
#include "system/paths.h"

namespace archive::testing {
namespace {

using testsupport::ReadFile;

// 2012-01-01 00:00:00.
constexpr int32_t kDate2012 = 0x40210000;

// Notes the status line each time the window lets messages run, which is
// when a native toolkit would paint it.
class RecordingToolkit : public testsupport::ScriptedToolkit {
 public:
  void ProcessMessages() override {
    if (window) statuses.push_back(window->Get("LStatus").text());
    ScriptedToolkit::ProcessMessages();
  }
  ui::Form* window = nullptr;
  std::vector<std::string> statuses;
};

class OverwriteTest : public ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    window = std::make_unique<TDIndexedFile>(toolkit);
    ArchiveSetMessages("Extracting Files", "Files extracted successfully", "File Extraction Aborted", 0);
  }

  // An archive of `names` (content "new <name>", dated 2020) in `archivePath`.
  std::string MakeArchive(const StringList& names) {
    for (const std::string& name : names) WriteDated("src/" + name, "new " + name);
    const std::string archivePath = dir.dir() + "a.bvarc";
    EXPECT_TRUE(ArchiveCreate(archivePath, dir.dir() + "src", names, kAllEntriesFilter, "", Silent, nullptr));
    return archivePath;
  }

  // An existing destination file with content "old".
  std::string Existing(const std::string& name, int32_t date, const std::string& letters = "a") {
    const std::string path = WriteDated("dest/" + name, "old", date);
    sys::ApplyAttributeLetters(path, letters);
    return path;
  }

  // Answers the next question with `button`, noting the question and the
  // window's caption at that moment.
  void Answer(const std::string& button) {
    toolkit.QueueAction("answer " + button, [this, button] {
      questions.push_back(window->form().Get("LQuery").text());
      captions.push_back(window->form().caption());
      window->form().Get(button).Click();
    });
  }

  // The destination as the engine names it in its questions.
  std::string Dest(const std::string& name) const { return sys::ToNativeSeparators(dir.dir() + "dest/" + name); }

  static bool Silent(void*, const std::string&, int) { return true; }

  RecordingToolkit toolkit;
  std::unique_ptr<TDIndexedFile> window;
  std::vector<std::string> questions;
  std::vector<std::string> captions;
};

TEST_F(OverwriteTest, YesOnNewerReplacesThisFileThenComparesDates) {
  const std::string archivePath = MakeArchive({"a.txt", "b.txt", "c.txt"});
  Existing("a.txt", kDate2021);  // newer than the stored date
  Existing("b.txt", kDate2021);  // newer: kept
  Existing("c.txt", kDate2012);  // older (2012): replaced without a question
  Answer("BYesNewer");
  ASSERT_TRUE(ArchiveExtractAll(archivePath, dir.dir() + "dest", Silent, nullptr));
  EXPECT_EQ(questions, StringList{"The file " + Dest("a.txt") + " exists. Do you wish to overwrite it?"});
  EXPECT_EQ(ReadFile(Dest("a.txt")), "new a.txt");
  EXPECT_EQ(ReadFile(Dest("b.txt")), "old");
  EXPECT_EQ(ReadFile(Dest("c.txt")), "new c.txt");
  EXPECT_EQ(sys::FileDosDateTime(Dest("c.txt")), kDate2020);
  // The question showed the hidden window alone and hid it again; the
  // caption read "Overwrite Prompt" meanwhile and is the title again.
  EXPECT_EQ(captions, StringList{"Overwrite Prompt"});
  EXPECT_EQ(window->form().caption(), "Extracting Files");
  EXPECT_FALSE(window->form().visible());
}

TEST_F(OverwriteTest, DefaultsOfYesOnNewerSkipEqualDatesAndReplaceReadOnlyOlderFiles) {
  Module().OverwriteExisting = Module().OverwriteReadOnly = Module().OverwriteSystem = kYesOnNewer;
  const std::string archivePath = MakeArchive({"older.txt", "same.txt"});
  Existing("older.txt", kDate2012, "ar");
  Existing("same.txt", kDate2020);
  ASSERT_TRUE(ArchiveExtractAll(archivePath, dir.dir() + "dest", Silent, nullptr));
  EXPECT_TRUE(questions.empty());
  EXPECT_EQ(ReadFile(Dest("older.txt")), "new older.txt");
  EXPECT_EQ(ReadFile(Dest("same.txt")), "old");
  // The entry's own flags come back: a source that was not read-only.
  EXPECT_EQ(sys::AttributeLetters(Dest("older.txt")), "a");
  // The module defaults are copies: the call changed none of them.
  EXPECT_EQ(Module().OverwriteReadOnly, kYesOnNewer);
}

// From 2044 on a DOS date-time has its top bit set; compared as a signed
// value a file of 2050 would count as older than one of 2020.
TEST_F(OverwriteTest, YesOnNewerComparesDatesPast2044AsLater) {
  Module().OverwriteExisting = kYesOnNewer;
  const int32_t date2050 = sys::PackDosDateTime({2050, 6, 1, 12, 0, 0});
  ASSERT_LT(date2050, 0);
  const std::string stored2020 = MakeArchive({"kept.txt"});
  Existing("kept.txt", date2050);
  ASSERT_TRUE(ArchiveExtractAll(stored2020, dir.dir() + "dest", Silent, nullptr));
  EXPECT_EQ(ReadFile(Dest("kept.txt")), "old");

  WriteDated("later/replaced.txt", "from 2050", date2050);
  const std::string stored2050 = dir.dir() + "later.bvarc";
  ASSERT_TRUE(ArchiveCreate(stored2050, dir.dir() + "later", "replaced.txt", kAllEntriesFilter, "", Silent, nullptr));
  Existing("replaced.txt", kDate2020);
  ASSERT_TRUE(ArchiveExtractAll(stored2050, dir.dir() + "dest", Silent, nullptr));
  EXPECT_EQ(ReadFile(Dest("replaced.txt")), "from 2050");
  EXPECT_TRUE(questions.empty());
}

TEST_F(OverwriteTest, ReadOnlyQuestionFirstAndYesToAllFallsThroughToTheExistsQuestion) {
  const std::string archivePath = MakeArchive({"r1.txt", "r2.txt", "w.txt"});
  Existing("r1.txt", kDate2020, "ar");
  Existing("r2.txt", kDate2020, "ar");
  Existing("w.txt", kDate2020);
  Answer("BYestoAll");  // r1: read-only question
  Answer("BNo");        // r2: no read-only question any more, the exists question
  Answer("BYes");       // w: exists question
  ASSERT_TRUE(ArchiveExtractAll(archivePath, dir.dir() + "dest", Silent, nullptr));
  EXPECT_EQ(questions, (StringList{"The file " + Dest("r1.txt") + " is read-only. Do you wish to overwrite it?",
                                   "The file " + Dest("r2.txt") + " exists. Do you wish to overwrite it?",
                                   "The file " + Dest("w.txt") + " exists. Do you wish to overwrite it?"}));
  EXPECT_EQ(ReadFile(Dest("r1.txt")), "new r1.txt");
  EXPECT_EQ(ReadFile(Dest("r2.txt")), "old");
  EXPECT_EQ(ReadFile(Dest("w.txt")), "new w.txt");
}

TEST_F(OverwriteTest, SystemQuestionComesBeforeTheExistsQuestion) {
  const std::string probe = WriteDated("probe", "x");
  if (!sys::ApplyAttributeLetters(probe, "as") || sys::AttributeLetters(probe).find('s') == std::string::npos) {
    GTEST_SKIP() << "the platform keeps no system attribute";
  }
  const std::string archivePath = MakeArchive({"both.txt", "sys.txt"});
  Existing("both.txt", kDate2020, "ars");
  Existing("sys.txt", kDate2020, "as");
  Answer("BNo");
  Answer("BNoToAll");
  ASSERT_TRUE(ArchiveExtractAll(archivePath, dir.dir() + "dest", Silent, nullptr));
  EXPECT_EQ(questions, (StringList{"The file " + Dest("both.txt") + " is read-only. Do you wish to overwrite it?",
                                   "The file " + Dest("sys.txt") + " is a system file. Do you wish to overwrite it?"}));
}

TEST_F(OverwriteTest, NoToAllSkipsWithoutAsking) {
  const std::string archivePath = MakeArchive({"a.txt", "b.txt"});
  Existing("a.txt", kDate2020);
  Existing("b.txt", kDate2020);
  Answer("BNoToAll");
  ASSERT_TRUE(ArchiveExtractAll(archivePath, dir.dir() + "dest", Silent, nullptr));
  EXPECT_EQ(questions.size(), 1u);
  EXPECT_EQ(ReadFile(Dest("b.txt")), "old");
}

// With no hook the window shows progress; a question replaces the progress
// panel and gives it back; Cancel stops after the earlier files and the
// failure message closes the operation.
TEST_F(OverwriteTest, CancelKeepsEarlierFilesAndShowsTheFailureMessage) {
  const std::string archivePath = MakeArchive({"a.txt", "b.txt", "c.txt"});
  Existing("b.txt", kDate2020);
  std::vector<std::string> panelsDuringQuestion;
  toolkit.QueueAction("look", [&] {
    for (const char* panel : {"PnlProgress", "PnlQuery", "PnlBtns5", "PnlBtns3"}) {
      if (window->form().Get(panel).IsShowing()) panelsDuringQuestion.push_back(panel);
    }
    window->form().Get("BCancel5").Click();
  });
  EXPECT_FALSE(ArchiveExtractAll(archivePath, dir.dir() + "dest", nullptr, nullptr));
  EXPECT_EQ(panelsDuringQuestion, (StringList{"PnlQuery", "PnlBtns5"}));
  EXPECT_EQ(ReadFile(Dest("a.txt")), "new a.txt");
  EXPECT_EQ(ReadFile(Dest("b.txt")), "old");
  EXPECT_FALSE(sys::FileExists(Dest("c.txt")));
  EXPECT_TRUE(Module().abort);
  EXPECT_EQ(toolkit.MessageTexts(), StringList{"File Extraction Aborted"});
  EXPECT_FALSE(window->form().visible());
  EXPECT_EQ(window->form().caption(), "Extracting Files");
}

TEST_F(OverwriteTest, RefusedArchiveShowsItsReasonAlone) {
  const std::string archivePath = MakeArchive({"a.txt"});
  std::string bytes = ReadFile(archivePath);
  bytes.replace(bytes.size() - 32, 8, Int64Bytes(1LL << 40));
  dir.Write("a.bvarc", bytes);
  ASSERT_TRUE(ArchiveWriteChecksum(archivePath, nullptr, nullptr).completed);
  EXPECT_FALSE(ArchiveExtractAll(archivePath, dir.dir() + "dest", nullptr, nullptr));
  EXPECT_EQ(toolkit.MessageTexts(), StringList{"There are error(s) in the file " + archivePath + "."});
  EXPECT_FALSE(window->form().visible());

  bytes[30] = static_cast<char>(bytes[30] ^ 1);  // and a checksum that no longer matches
  dir.Write("a.bvarc", bytes);
  EXPECT_FALSE(ArchiveExtractAll(archivePath, dir.dir() + "dest", nullptr, nullptr));
  EXPECT_EQ(toolkit.MessageTexts().size(), 2u);
  EXPECT_FALSE(sys::FileExists(Dest("a.txt")));
}

TEST_F(OverwriteTest, OwnWindowShowsEveryStepAndTheSuccessMessage) {
  const std::string archivePath = MakeArchive({"a.txt"});
  toolkit.window = &window->form();
  ASSERT_TRUE(ArchiveExtractAll(archivePath, dir.dir() + "dest", nullptr, nullptr));
  const std::vector<std::string>& statuses = toolkit.statuses;
  ASSERT_GE(statuses.size(), 3u);
  EXPECT_EQ(statuses.front(), "Initializing ...");
  EXPECT_EQ(statuses[1], "Processing (0%): Verifying Data Integrity");
  EXPECT_EQ(statuses.back(), "Processing (100%): a.txt");
  EXPECT_EQ(toolkit.MessageTexts(), StringList{"Files extracted successfully"});
}

TEST_F(OverwriteTest, ProgressStepSkipsSmallAdvancesAndAbortAnswersFalse) {
  ArchiveSetMessages("Archiving Files", "", "", 10);
  window->BeginProgress();
  ui::Control& bar = window->form().Get("CtrlProgress");
  ui::Control& status = window->form().Get("LStatus");
  EXPECT_TRUE(window->ShowProgress("a", 5));
  EXPECT_EQ(bar.position(), 0);
  EXPECT_EQ(status.text(), "Initializing ...");
  EXPECT_TRUE(window->ShowProgress("b", 10));
  EXPECT_EQ(bar.position(), 10);
  EXPECT_EQ(status.text(), "Processing (10%)");
  EXPECT_TRUE(window->ShowProgress("c", 19));
  EXPECT_EQ(bar.position(), 10);
  EXPECT_TRUE(window->ShowProgress("d", 99));  // 99 and above always show
  EXPECT_EQ(bar.position(), 99);
  toolkit.QueueClickDuringWork("BAbort");
  EXPECT_FALSE(TDIndexedFile::ShowProgressHook(window.get(), "e", 100));
  EXPECT_TRUE(Module().abort);
  EXPECT_FALSE(window->ShowProgress("f", 1));  // skipped display, still false
}

TEST_F(OverwriteTest, QueryOnAHiddenWindowAndTheThreeButtonSet) {
  Module().abort = true;
  std::vector<std::string> panels;
  toolkit.QueueAction("answer", [&] {
    for (const char* panel : {"PnlProgress", "PnlQuery", "PnlBtns5", "PnlBtns3"}) {
      if (window->form().Get(panel).IsShowing()) panels.push_back(panel);
    }
    EXPECT_FALSE(Module().abort);  // showing the window cleared it
    window->form().Get("BNo3").Click();
  });
  EXPECT_EQ(window->Query("Really?", kThreeButtons), kNo);
  EXPECT_EQ(panels, (StringList{"PnlQuery", "PnlBtns3"}));
  EXPECT_FALSE(window->form().visible());
  // Nobody left to answer: the closed window counts as Cancel.
  EXPECT_EQ(window->Query("Again?", kSixButtons), kCancel);
  EXPECT_TRUE(Module().abort);
}

}  // namespace
}  // namespace archive::testing
