// Archives written and extracted by several workers must be those of one
// worker: the same bytes, the same files, the same progress, questions,
// cancels and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <thread>

#include "archive/archive_index.h"
#include "archive/checksum.h"
#include "archive_test_support.h"
#include "compression/block_pool.h"
#include "compression/stream.h"
#include "system/platform.h"
#include "system/settings.h"

namespace archive::testing {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;

constexpr int kSeveral = 3;

// Sets the worker count for one scope and restores the default afterwards.
class Workers {
 public:
  explicit Workers(int count) { compression::SetWorkerCount(count); }
  ~Workers() { compression::SetWorkerCount(0); }
};

// Compressible text of `size` bytes that differs with `seed`.
std::string Content(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"archive ", "block ", "entry ", "worker\n", "stream ", "0123 ", "zz", "|"};
  std::string text;
  text.reserve(size + 8);
  uint32_t state = seed * 2654435761u + 1;
  while (text.size() < size) {
    state = state * 1664525u + 1013904223u;
    text += kWords[state >> 29];
    if ((state >> 16) % 5 == 0) text += static_cast<char>(state >> 8);
  }
  text.resize(size);
  return text;
}

struct ProgressCall {
  std::string text;
  int percent;
  bool operator==(const ProgressCall&) const = default;
};

bool IsActivity(const std::string& text) {
  return text == kCreatingVerificationData || text == kVerifyingDataIntegrity;
}

// Records every progress call and its thread; answers false at the call
// that names file number `cancelAt` (counting from 0; the checksum passes'
// calls are not counted).
struct ProgressLog {
  std::vector<ProgressCall> calls;
  std::vector<std::thread::id> threads;
  size_t cancelAt = SIZE_MAX;
  size_t files = 0;

  static bool Hook(void* context, const std::string& text, int percent) {
    auto* log = static_cast<ProgressLog*>(context);
    log->calls.push_back({text, percent});
    log->threads.push_back(std::this_thread::get_id());
    return IsActivity(text) || log->files++ != log->cancelAt;
  }

  // The percentages of the calls naming files (not the checksum passes)
  // never go down; every call came from the calling thread.
  void ExpectInOrder() const {
    int last = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(threads[i], std::this_thread::get_id());
      if (IsActivity(calls[i].text)) continue;
      EXPECT_GE(calls[i].percent, last) << calls[i].text;
      last = calls[i].percent;
    }
  }
};

// Every file below `folder` with its content and date, by relative path.
std::map<std::string, std::pair<std::string, int32_t>> FilesBelow(const fs::path& folder) {
  std::map<std::string, std::pair<std::string, int32_t>> files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (!item.is_regular_file()) continue;
    files[fs::relative(item.path(), folder).generic_string()] = {ReadFile(item.path()),
                                                               sys::FileDosDateTime(item.path().string())};
  }
  return files;
}

class ParallelArchiveTest : public ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    ArchiveSetStreamCodec("zlibfastest");
  }

  // A folder of many files of mixed sizes and kinds: empty ones, small
  // texts, files stored raw for their extension, files of several blocks,
  // and files beyond the size up to which workers take a file whole (one
  // compressed, one raw), with a stub in front.
  void WriteMixedFolder() {
    stub = WriteDated("stub.exe", "MZ" + Content(70000, 99));
    for (int i = 0; i < 48; ++i) {
      const size_t size = i % 9 == 0 ? 0 : static_cast<size_t>(i * i * 37 + i % 5 * 4000);
      WriteDated("src/dir" + std::to_string(i % 4) + "/file" + std::to_string(i) + ".txt", Content(size, i),
                 i % 2 ? kDate2020 : kDate2021);
    }
    WriteDated("src/pic.png", Content(300000, 1000));
    WriteDated("src/empty.zip", "");
    WriteDated("src/multi/two-blocks.dat", Content(600000, 1001));
    WriteDated("src/multi/three-blocks.dat", Content(1200000, 1002));
    WriteDated("src/large/compressible.bin", std::string((4 << 20) + 50000, 'x') + Content(3000, 1003));
    WriteDated("src/large/stored.zip", Content((4 << 20) + 12345, 1004));
  }

  std::string Create(int workers, const std::string& name, ProgressLog* log = nullptr) {
    Workers use(workers);
    const std::string archivePath = dir.dir() + name;
    EXPECT_TRUE(ArchiveCreateFromFolder(archivePath, dir.dir() + "src", kAllEntriesFilter, log ? ProgressLog::Hook : nullptr,
                                        log, stub))
        << Module().lastError;
    return archivePath;
  }

  bool Extract(int workers, const std::string& archivePath, const std::string& target, ProgressLog* log = nullptr) {
    Workers use(workers);
    return ArchiveExtractAll(archivePath, dir.dir() + target, log ? ProgressLog::Hook : nullptr, log);
  }

  std::string stub;
};

// With digests (as every installer has them) too: then the workers also
// read and hash content kept as it stands.
TEST_F(ParallelArchiveTest, EveryModeWritesAndExtractsTheBytesOfOneWorker) {
  WriteMixedFolder();
  const auto sources = FilesBelow(dir.path() / "src");
  for (const bool digests : {false, true})
  for (const char* mode : {"none", "zlibfastest", "bzipfastest", "ppmfastest"}) {
    SCOPED_TRACE(std::string(mode) + (digests ? " with digests" : ""));
    Module().contentHashes = digests;
    ArchiveSetStreamCodec(mode);
    ProgressLog single, several;
    const std::string name = std::string(mode) + (digests ? "-digests" : "");
    const std::string one = Create(1, name + "-1.bvarc", &single);
    const std::string many = Create(kSeveral, name + "-n.bvarc", &several);
    ASSERT_EQ(ReadFile(one), ReadFile(many));
    EXPECT_EQ(single.calls, several.calls);
    several.ExpectInOrder();

    ProgressLog unpacked;
    const std::string target = "out-" + name;
    ASSERT_TRUE(Extract(kSeveral, many, target, &unpacked)) << Module().lastError;
    EXPECT_EQ(FilesBelow(dir.path() / target), sources);
    unpacked.ExpectInOrder();
    ProgressLog unpackedByOne;
    ASSERT_TRUE(Extract(1, many, target + "-1", &unpackedByOne));
    EXPECT_EQ(unpacked.calls, unpackedByOne.calls);
  }
}

TEST_F(ParallelArchiveTest, CancelWithSeveralWorkersLeavesNoPartialArchive) {
  WriteMixedFolder();
  for (size_t cancelAt : {size_t{0}, size_t{7}, size_t{40}}) {
    SCOPED_TRACE(cancelAt);
    Workers use(kSeveral);
    ProgressLog log;
    log.cancelAt = cancelAt;
    const std::string archivePath = dir.dir() + "cancelled.bvarc";
    EXPECT_FALSE(ArchiveCreateFromFolder(archivePath, dir.dir() + "src", kAllEntriesFilter, ProgressLog::Hook, &log, stub));
    EXPECT_FALSE(fs::exists(archivePath));
    EXPECT_TRUE(Module().abort);
    EXPECT_EQ(log.files, cancelAt + 1);
    EXPECT_EQ(log.calls.size(), cancelAt + 1);
  }
}

TEST_F(ParallelArchiveTest, CancelledExtractionKeepsTheFilesOfOneWorker) {
  WriteMixedFolder();
  const std::string archivePath = Create(1, "a.bvarc");
  std::map<std::string, std::pair<std::string, int32_t>> written[2];
  for (int workers : {1, kSeveral}) {
    ProgressLog log;
    log.cancelAt = 20;
    const std::string target = "cancel" + std::to_string(workers);
    EXPECT_FALSE(Extract(workers, archivePath, target, &log));
    EXPECT_TRUE(Module().abort);
    written[workers == 1 ? 0 : 1] = FilesBelow(dir.path() / target);
  }
  EXPECT_EQ(written[0], written[1]);
  EXPECT_EQ(written[1].size(), 20u);  // no temporary file left beside them
}

TEST_F(ParallelArchiveTest, UnreadableSourceFailsWithTheMessageOfOneWorker) {
  for (int i = 0; i < 30; ++i) WriteDated("files/f" + std::to_string(100 + i) + ".txt", Content(5000 + i, i));
  std::string items;
  // Sorted, the missing name comes between f116.txt and f117.txt.
  for (int i = 0; i < 30; ++i) items += "f" + std::to_string(100 + i) + ".txt|";
  items += "f116a-missing.txt";
  std::string messages[2];
  std::vector<ProgressCall> calls[2];
  for (int workers : {1, kSeveral}) {
    Workers use(workers);
    ProgressLog log;
    const std::string archivePath = dir.dir() + "a.bvarc";
    EXPECT_FALSE(ArchiveCreate(archivePath, dir.dir() + "files", items, kAllEntriesFilter, "", ProgressLog::Hook, &log));
    EXPECT_FALSE(fs::exists(archivePath));
    messages[workers == 1 ? 0 : 1] = Module().lastError;
    calls[workers == 1 ? 0 : 1] = log.calls;
  }
  EXPECT_NE(messages[0].find("f116a-missing.txt"), std::string::npos) << messages[0];
  ASSERT_FALSE(calls[0].empty());
  EXPECT_EQ(calls[0].back().text, "f116a-missing.txt");
  EXPECT_EQ(messages[0], messages[1]);
  EXPECT_EQ(calls[0], calls[1]);
}

// Flips a byte in the payload of entry `name` (or, with `chain`, makes its
// container's header announce one block more than its chain holds) and
// stores a fresh checksum, so that the archive verifies but the entry fails
// to decode.
std::string CorruptEntry(const testsupport::TempDir& dir, const std::string& archivePath, const std::string& name,
                         bool chain = false) {
  std::string bytes = ReadFile(archivePath);
  compression::FileStream file(sys::platform::NativePath(archivePath), compression::FileStream::Mode::Read);
  const ArchiveIndex index = ReadArchiveIndex(file, archivePath);
  const size_t k = static_cast<size_t>(index.FindName(name));
  const size_t lastPayloadByte = static_cast<size_t>(index.EntryOffset(k) + index.StoredLength(k) - 1);
  // Flags and length prefix come before the container.
  const size_t blockCount = static_cast<size_t>(index.EntryOffset(k)) + 9 + 12;
  const size_t at = chain ? blockCount : lastPayloadByte;
  bytes[at] = static_cast<char>(bytes[at] ^ (chain ? 0x01 : 0x55));
  const std::string corrupt = dir.Write("corrupt.bvarc", bytes);
  EXPECT_TRUE(ArchiveWriteChecksum(corrupt, nullptr, nullptr).completed);
  return corrupt;
}

TEST_F(ParallelArchiveTest, DecodeErrorInAWorkerIsTheErrorOfOneWorker) {
  WriteMixedFolder();
  for (const char* name : {"dir2\\file14.txt", "large\\compressible.bin"}) {
    SCOPED_TRACE(name);
    const std::string corrupt = CorruptEntry(dir, Create(1, "a.bvarc"), name);
    std::string messages[2];
    std::map<std::string, std::pair<std::string, int32_t>> written[2];
    for (int workers : {1, kSeveral}) {
      // The same target each time: the message names it.
      const std::string target = "bad";
      fs::remove_all(dir.path() / target);
      EXPECT_FALSE(Extract(workers, corrupt, target));
      messages[workers == 1 ? 0 : 1] = Module().lastError;
      written[workers == 1 ? 0 : 1] = FilesBelow(dir.path() / target);
    }
    EXPECT_NE(messages[0].find("could not be extracted"), std::string::npos) << messages[0];
    EXPECT_EQ(messages[0], messages[1]);
    EXPECT_EQ(written[0], written[1]);
  }
}

TEST_F(ParallelArchiveTest, ADamagedBlockChainIsADamagedArchive) {
  WriteMixedFolder();
  for (const char* name : {"multi\\two-blocks.dat", "large\\compressible.bin"}) {
    SCOPED_TRACE(name);
    const std::string corrupt = CorruptEntry(dir, Create(1, "a.bvarc"), name, true);
    const std::string message = "There are error(s) in the file " + corrupt + ".";
    for (int workers : {1, kSeveral}) {
      fs::remove_all(dir.path() / "bad");
      EXPECT_FALSE(Extract(workers, corrupt, "bad"));
      EXPECT_EQ(Module().lastError, message) << workers;
      std::string written = name;
      std::replace(written.begin(), written.end(), '\\', '/');
      EXPECT_FALSE(fs::exists(dir.path() / "bad" / written));
    }
    compression::MemoryStream out;
    std::string letters;
    EXPECT_THROW(ArchiveReadEntry(corrupt, name, out, letters), DamagedArchive);
  }
}

// Answers the overwrite questions from a script and notes them, with the
// thread that asked.
class ScriptedDialog : public ArchiveDialog {
 public:
  void SetMessages(const std::string&, const std::string&, const std::string&, int) override {}
  void BeginProgress() override {}
  bool ShowProgress(const std::string&, int) override { return true; }
  void EndProgress(bool) override {}
  int Query(const std::string& question, int) override {
    questions.push_back(question);
    threads.push_back(std::this_thread::get_id());
    const int answer = next < answers.size() ? answers[next] : kNo;
    ++next;
    return answer;
  }
  void ShowMessage(const std::string&) override {}
  const std::vector<std::string>& NoCompressList() const override { return noCompress; }

  std::vector<int> answers;
  size_t next = 0;
  std::vector<std::string> questions;
  std::vector<std::thread::id> threads;
  std::vector<std::string> noCompress = sys::SplitOnBar(kNoCompressExtensions);
};

TEST_F(ParallelArchiveTest, OverwriteQuestionsComeInOrderFromTheCallingThread) {
  WriteMixedFolder();
  const std::string archivePath = Create(1, "a.bvarc");
  std::vector<std::string> questions[2];
  std::map<std::string, std::pair<std::string, int32_t>> results[2];
  for (int workers : {1, kSeveral}) {
    const std::string target = "over" + std::to_string(workers) + "/";
    for (int i = 0; i < 48; i += 3) {
      WriteDated(target + "dir" + std::to_string(i % 4) + "/file" + std::to_string(i) + ".txt", "old");
    }
    WriteDated(target + "large/compressible.bin", "old");
    ScriptedDialog dialog;
    dialog.answers = {kYes, kNo, kYes, kNo, kNo, kYes, kYes, kYesToAll};
    Module().dialog = &dialog;
    EXPECT_TRUE(Extract(workers, archivePath, target, nullptr));
    Module().dialog = nullptr;
    for (const std::thread::id& thread : dialog.threads) EXPECT_EQ(thread, std::this_thread::get_id());
    // The questions name the destination: keep the part below the target.
    const std::string folder = "over" + std::to_string(workers);
    for (std::string& question : dialog.questions) question.erase(0, question.find(folder) + folder.size() + 1);
    questions[workers == 1 ? 0 : 1] = dialog.questions;
    results[workers == 1 ? 0 : 1] = FilesBelow(dir.path() / ("over" + std::to_string(workers)));
  }
  EXPECT_EQ(questions[0].size(), 8u);
  EXPECT_EQ(questions[0], questions[1]);
  EXPECT_EQ(results[0], results[1]);
}

// One 20 MB file between two small ones: packing and extracting it move
// the percentage several times from inside it, never backwards, up to
// 100; the calls are the same for one worker and several.
TEST_F(ParallelArchiveTest, ALongEntryReportsProgressFromInsideIt) {
  WriteDated("src/a.txt", "first");
  WriteDated("src/big.txt", Content(20 << 20, 7));
  WriteDated("src/c.txt", "last");
  std::vector<ProgressCall> packing[2], extracting[2];
  for (const int workers : {1, kSeveral}) {
    SCOPED_TRACE(workers);
    const size_t w = workers == 1 ? 0 : 1;
    ProgressLog packed, unpacked;
    const std::string archivePath = Create(workers, "big" + std::to_string(workers) + ".bvarc", &packed);
    ASSERT_TRUE(Extract(workers, archivePath, "out" + std::to_string(workers), &unpacked));
    for (auto [log, calls] : {std::pair{&packed, &packing[w]}, std::pair{&unpacked, &extracting[w]}}) {
      log->ExpectInOrder();
      for (const ProgressCall& call : log->calls) {
        if (!IsActivity(call.text)) calls->push_back(call);
      }
      const auto big = std::count_if(calls->begin(), calls->end(), [](const ProgressCall& c) { return c.text == "big.txt"; });
      EXPECT_GE(big, 10);
      // a.txt at 1/3; big.txt from there to 2/3; c.txt at the end.
      EXPECT_EQ(calls->front(), (ProgressCall{"a.txt", 33}));
      EXPECT_EQ(*(calls->end() - 2), (ProgressCall{"big.txt", 66}));
      EXPECT_EQ(calls->back(), (ProgressCall{"c.txt", 100}));
    }
  }
  EXPECT_EQ(packing[0], packing[1]);
  EXPECT_EQ(extracting[0], extracting[1]);
}

}  // namespace
}  // namespace archive::testing
