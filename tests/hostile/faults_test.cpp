// Failures in the middle of an operation: a disk that fills up, sources that
// vanish or cannot be read while an archive is packed, a target folder that
// refuses new files, and a cancel at every progress call. Afterwards no
// partial archive or temporary file remains, the user's existing files are
// whole (old or completely new), and the message names what failed.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "archive/archive.h"
#include "compression/block_pool.h"
#include "compression/stream.h"
#include "hostile/hostile_support.h"
#include "system/file_dates.h"
#include "system/paths.h"
#include "system/platform.h"

namespace hostile {
namespace {

using archive::Module;
using testsupport::ReadFile;

// Installs file-system faults for the lifetime of the object.
class Faults {
 public:
  explicit Faults(compression::FileFaults faults) { compression::SetFileFaults(std::move(faults)); }
  ~Faults() { compression::SetFileFaults({}); }
  Faults(const Faults&) = delete;
  Faults& operator=(const Faults&) = delete;
};

// A disk with `budget` bytes left for files below `folder`.
compression::FileFaults DiskWithRoom(const std::string& folder, int64_t budget) {
  auto left = std::make_shared<int64_t>(budget);
  const std::string native = sys::platform::NativePath(folder);
  return {{}, [left, native](const std::string& path, int64_t count) {
            if (!path.starts_with(native)) return count;
            const int64_t taken = std::min(count, *left);
            *left -= taken;
            return taken;
          }};
}

// A hook that answers with `answer` and counts its calls.
struct CountingHook {
  std::function<bool(const std::string& text, int call)> answer = [](const std::string&, int) { return true; };
  int calls = 0;

  static bool Report(void* context, const std::string& text, int) {
    auto* self = static_cast<CountingHook*>(context);
    return self->answer(text, self->calls++);
  }
};

class HostileFaults : public archive::testing::ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    // One compressed, one raw (on the no-compress list), one empty file.
    WriteDated("src/a.txt", std::string(40000, 'a') + "end of a");
    std::string noise;
    for (int i = 0; noise.size() < 30000; ++i) noise += std::to_string(i * 7919 % 10007);
    WriteDated("src/b.png", noise);
    WriteDated("src/sub/c.txt", "");
    archivePath = dir.dir() + "out/a.bvarc";
    sys::CreateFolders(dir.dir() + "out");
    ASSERT_TRUE(archive::ArchiveCreateFromFolder(archivePath, dir.dir() + "src", archive::kAllEntriesFilter,
                                                 nullptr, nullptr, ""));
  }

  // The destination with the user's own copy of b.png, to be replaced.
  std::string FreshDestination() {
    fs::remove_all(dir.path() / "dest");
    WriteDated("dest/b.png", "precious", archive::testing::kDate2021);
    return dir.dir() + "dest";
  }

  // Every file of the destination is whole: its old content or the
  // archive's, never a part; no temporary file is left.
  void ExpectDestinationWhole() {
    const std::map<std::string, std::string> allowed = {
        {"a.txt", ReadFile(dir.path() / "src" / "a.txt")},
        {"b.png", ReadFile(dir.path() / "src" / "b.png")},
        {"sub/c.txt", ""},
    };
    for (const auto& [path, content] : Snapshot(dir.path() / "dest")) {
      if (content == "<dir>") continue;
      if (path == "b.png" && content == "precious") continue;
      ASSERT_TRUE(allowed.contains(path)) << "unexpected " << path;
      EXPECT_EQ(content, allowed.at(path)) << path;
    }
  }

  // Nothing in the archive's folder but the archive as it was before.
  void ExpectArchiveFolderUnchanged(const TreeSnapshot& before) { EXPECT_EQ(Snapshot(dir.path() / "out"), before); }

  std::string archivePath;
};

TEST_F(HostileFaults, DiskFillingUpDuringExtractionKeepsTheUsersFiles) {
  Module().OverwriteExisting = archive::kYesToAll;
  const int64_t total = static_cast<int64_t>(ReadFile(dir.path() / "src" / "a.txt").size() +
                                             ReadFile(dir.path() / "src" / "b.png").size());
  for (int64_t budget : {int64_t{0}, int64_t{1}, int64_t{4096}, int64_t{39999}, int64_t{40008}, int64_t{40009},
                         int64_t{55000}, total - 1, total}) {
    SCOPED_TRACE(budget);
    const std::string dest = FreshDestination();
    bool extracted;
    {
      Faults disk(DiskWithRoom(dest, budget));
      extracted = archive::ArchiveExtractAll(archivePath, dest, nullptr, nullptr);
    }
    ExpectDestinationWhole();
    if (budget >= total) {
      EXPECT_TRUE(extracted) << Module().lastError;
      EXPECT_EQ(ReadFile(dir.path() / "dest" / "b.png"), ReadFile(dir.path() / "src" / "b.png"));
      continue;
    }
    EXPECT_FALSE(extracted);
    EXPECT_TRUE(Module().abort);
    EXPECT_TRUE(Module().lastError.starts_with("The file " + sys::ToNativeSeparators(dest + "/")))
        << Module().lastError;
    EXPECT_TRUE(Module().lastError.ends_with(" could not be extracted: Stream write error")) << Module().lastError;
  }
}

// An extraction may write no more than its bound (by default the free
// space of the target): one byte less and nothing at all is written.
TEST_F(HostileFaults, AnExtractionOverItsSizeBoundWritesNothing) {
  const int64_t total = static_cast<int64_t>(ReadFile(dir.path() / "src" / "a.txt").size() +
                                             ReadFile(dir.path() / "src" / "b.png").size());
  Module().maxExtractBytes = total - 1;
  EXPECT_FALSE(archive::ArchiveExtractAll(archivePath, dir.dir() + "dest", nullptr, nullptr));
  EXPECT_FALSE(fs::exists(dir.path() / "dest"));
  EXPECT_NE(Module().lastError.find("would write " + std::to_string(total) + " bytes"), std::string::npos)
      << Module().lastError;
  Module().maxExtractBytes = total;
  EXPECT_TRUE(archive::ArchiveExtractAll(archivePath, dir.dir() + "dest", nullptr, nullptr)) << Module().lastError;
  Module().maxExtractBytes = -1;
  ExpectDestinationWhole();
}

TEST_F(HostileFaults, DiskFillingUpDuringCreationLeavesNoPartialArchive) {
  const std::string existing = dir.Write("out/old.bvarc", "the user's older archive");
  const std::string target = dir.dir() + "out/old.bvarc";
  const TreeSnapshot before = Snapshot(dir.path() / "out");
  const int64_t complete = static_cast<int64_t>(ReadFile(archivePath).size());
  for (int64_t budget : {int64_t{0}, int64_t{1}, int64_t{100}, int64_t{5000}, complete / 2, complete - 33,
                         complete - 1}) {
    SCOPED_TRACE(budget);
    {
      Faults disk(DiskWithRoom(dir.dir() + "out", budget));
      EXPECT_FALSE(archive::ArchiveCreateFromFolder(target, dir.dir() + "src", archive::kAllEntriesFilter, nullptr,
                                                    nullptr, ""));
    }
    EXPECT_EQ(Module().lastError, compression::kStreamWriteError);
    EXPECT_TRUE(Module().abort);
    ExpectArchiveFolderUnchanged(before);
  }
  // With room enough the same call replaces the old archive with a good one.
  {
    // The checksum pass writes its 8 bytes again at the end.
    Faults disk(DiskWithRoom(dir.dir() + "out", complete + 8));
    EXPECT_TRUE(archive::ArchiveCreateFromFolder(target, dir.dir() + "src", archive::kAllEntriesFilter, nullptr,
                                                 nullptr, ""))
        << Module().lastError;
  }
  EXPECT_TRUE(archive::ArchiveExtractAll(target, FreshDestination(), nullptr, nullptr)) << Module().lastError;
  EXPECT_EQ(ReadFile(dir.path() / "dest" / "a.txt"), ReadFile(dir.path() / "src" / "a.txt"));
}

// The hook is called with each source just before it is opened: the source
// is taken away there.
TEST_F(HostileFaults, SourcesThatVanishOrCannotBeReadEndThePackingCleanly) {
  const std::string target = dir.dir() + "out/packed.bvarc";
  dir.Write("out/packed.bvarc", "existing");
  const TreeSnapshot before = Snapshot(dir.path() / "out");
  const std::string source = dir.dir() + "src/b.png";
  const std::string content = ReadFile(source);
  struct Case {
    const char* what;
    std::function<void()> harm;
    const char* reason;
  };
  std::unique_ptr<Faults> refusal;
  const std::vector<Case> cases = {
      {"deleted", [&] { fs::remove(source); }, "Cannot open file"},
      {"replaced by a folder",
       [&] {
         fs::remove(source);
         fs::create_directory(source);
       },
       "Cannot open file"},
      {"unreadable",
       [&] {
         refusal = std::make_unique<Faults>(compression::FileFaults{
             [native = sys::platform::NativePath(source)](const std::string& path, compression::FileStream::Mode) {
               return path != native;
             },
             {}});
       },
       "Cannot open file"},
  };
  // With one worker a file is opened when its progress call comes; more
  // workers read files ahead, before the harm the hook does.
  compression::SetWorkerCount(1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CountingHook hook;
    hook.answer = [&](const std::string& text, int) {
      if (text == "b.png") c.harm();
      return true;
    };
    EXPECT_FALSE(archive::ArchiveCreateFromFolder(target, dir.dir() + "src", archive::kAllEntriesFilter,
                                                  CountingHook::Report, &hook, ""));
    refusal.reset();
    EXPECT_TRUE(Module().lastError.starts_with(c.reason)) << Module().lastError;
    EXPECT_NE(Module().lastError.find("b.png"), std::string::npos) << Module().lastError;
    ExpectArchiveFolderUnchanged(before);
    fs::remove_all(source);
    dir.Write("src/b.png", content);
  }  compression::SetWorkerCount(0);
}

TEST_F(HostileFaults, ATargetFolderThatRefusesFilesIsReported) {
  const std::string dest = FreshDestination();
  const std::string native = sys::platform::NativePath(dest);
  Module().OverwriteExisting = archive::kYesToAll;
  {
    Faults readOnly({[&](const std::string& path, compression::FileStream::Mode mode) {
                       return mode == compression::FileStream::Mode::Read || !path.starts_with(native);
                     },
                     {}});
    EXPECT_FALSE(archive::ArchiveExtractAll(archivePath, dest, nullptr, nullptr));
  }
  const std::string first = sys::ToNativeSeparators(dest + "/a.txt");
  EXPECT_EQ(Module().lastError, "The file " + first + " could not be extracted: Cannot open file \"" + first +
                                    "\". " + std::strerror(EACCES));
  ExpectDestinationWhole();
  EXPECT_EQ(ReadFile(dir.path() / "dest" / "b.png"), "precious");
}

TEST_F(HostileFaults, CancelAtEveryProgressCallOfAnExtraction) {
  Module().OverwriteExisting = archive::kYesToAll;
  CountingHook counter;
  ASSERT_TRUE(archive::ArchiveExtractAll(archivePath, FreshDestination(), CountingHook::Report, &counter));
  ASSERT_GT(counter.calls, 6);
  for (int n = 0; n < counter.calls; ++n) {
    SCOPED_TRACE(n);
    CountingHook hook;
    hook.answer = [n](const std::string&, int call) { return call != n; };
    const bool extracted = archive::ArchiveExtractAll(archivePath, FreshDestination(), CountingHook::Report, &hook);
    // The verification's closing call at 100 % cannot stop anything.
    if (!extracted) {
      EXPECT_TRUE(Module().abort);
      EXPECT_EQ(Module().lastError, "");  // a cancel is not a failure to explain
      EXPECT_EQ(hook.calls, n + 1);       // nothing asked after the cancel
    }
    ExpectDestinationWhole();
  }
}

TEST_F(HostileFaults, CancelAtEveryProgressCallOfACreation) {
  const std::string target = dir.dir() + "out/new.bvarc";
  dir.Write("out/new.bvarc", "existing");
  const TreeSnapshot before = Snapshot(dir.path() / "out");
  CountingHook counter;
  ASSERT_TRUE(archive::ArchiveCreateFromFolder(dir.dir() + "count.bvarc", dir.dir() + "src",
                                               archive::kAllEntriesFilter, CountingHook::Report, &counter, ""));
  ASSERT_GT(counter.calls, 6);
  // The last call (the checksum's 100 %) is past the point of no return.
  for (int n = 0; n + 1 < counter.calls; ++n) {
    SCOPED_TRACE(n);
    CountingHook hook;
    hook.answer = [n](const std::string&, int call) { return call != n; };
    EXPECT_FALSE(archive::ArchiveCreateFromFolder(target, dir.dir() + "src", archive::kAllEntriesFilter,
                                                  CountingHook::Report, &hook, ""));
    EXPECT_TRUE(Module().abort);
    EXPECT_EQ(Module().lastError, "");
    EXPECT_EQ(hook.calls, n + 1);
    ExpectArchiveFolderUnchanged(before);
  }
}

#ifndef _WIN32
// The process killed (SIGKILL) in the middle of writing a file, at many
// points: a file under an entry's name is complete, or still wears the
// placeholder date (1980-01-01 00:00), older than any entry's; and a re-run
// that replaces only older files (as an installer does) completes them all.
TEST_F(HostileFaults, KilledMidFileThenRerunLeavesEveryFileComplete) {
  const std::map<std::string, std::string> complete = {
      {"a.txt", ReadFile(dir.path() / "src" / "a.txt")},
      {"b.png", ReadFile(dir.path() / "src" / "b.png")},
      {"sub/c.txt", ""},
  };
  for (int64_t killAt : {int64_t{1}, int64_t{20000}, int64_t{40000}, int64_t{50000}, int64_t{70000}}) {
    SCOPED_TRACE(killAt);
    fs::remove_all(dir.path() / "dest");
    const std::string dest = dir.dir() + "dest";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      compression::SetWorkerCount(1);
      auto written = std::make_shared<int64_t>(0);
      compression::SetFileFaults({{}, [written, killAt](const std::string&, int64_t count) {
                                    if (*written + count >= killAt) {
                                      raise(SIGKILL);
                                    }
                                    *written += count;
                                    return count;
                                  }});
      archive::ArchiveExtractAll(archivePath, dest, nullptr, nullptr);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    for (const auto& [path, content] : Snapshot(dir.path() / "dest")) {
      if (content == "<dir>" || fs::path(path).filename().string().starts_with("~bv")) continue;
      ASSERT_TRUE(complete.contains(path)) << path;
      if (content == complete.at(path)) continue;
      const auto time = sys::GetFileModifiedTime((dir.path() / "dest" / path).string());
      ASSERT_TRUE(time) << path;
      EXPECT_EQ(sys::DosDateTimeFromFileTime(*time), 0x00210000) << path << " is incomplete and dated as if complete";
    }
    Module().OverwriteExisting = archive::kYesOnNewer;
    EXPECT_TRUE(archive::ArchiveExtractAll(archivePath, dest, nullptr, nullptr)) << Module().lastError;
    for (const auto& [path, content] : complete) EXPECT_EQ(ReadFile(dir.path() / "dest" / path), content) << path;
  }
}
#endif

// A compressed entry damaged inside its payload fails to decode: the user's
// existing file stays exactly as it was and no temporary file remains.
TEST_F(HostileFaults, DecodeErrorNeverDestroysTheExistingFile) {
  std::string bytes = ReadFile(archivePath);
  compression::FileStream file(sys::platform::NativePath(archivePath), compression::FileStream::Mode::Read);
  const archive::ArchiveIndex index = archive::ReadArchiveIndex(file, archivePath);
  ASSERT_EQ(index.names[0], "a.txt");
  const size_t lastPayloadByte = static_cast<size_t>(index.EntryOffset(0) + index.StoredLength(0) - 1);
  bytes[lastPayloadByte] = static_cast<char>(bytes[lastPayloadByte] ^ 0x55);
  const std::string corrupt = WriteArchive(dir, "corrupt.bvarc", bytes);
  const std::string dest = FreshDestination();
  WriteDated("dest/a.txt", "precious too", archive::testing::kDate2021);
  Module().OverwriteExisting = archive::kYesToAll;
  EXPECT_FALSE(archive::ArchiveExtractAll(corrupt, dest, nullptr, nullptr));
  EXPECT_EQ(ReadFile(dir.path() / "dest" / "a.txt"), "precious too");
  EXPECT_EQ(Without(Snapshot(dir.path() / "dest"), "sub").size(), 2u);  // no temporary file
  EXPECT_NE(Module().lastError.find("a.txt could not be extracted"), std::string::npos) << Module().lastError;
}

}  // namespace
}  // namespace hostile
