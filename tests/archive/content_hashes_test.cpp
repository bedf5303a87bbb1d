// The SHA-256 digests an archive may record: written when asked for, never
// extracted, and the one defence against damage the word checksum misses.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/exit_codes.h"
#include "app/options.h"
#include "archive/checksum.h"
#include "archive/content_hashes.h"
#include "archive_test_support.h"
#include "system/text_writer.h"

namespace archive::testing {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;

std::string Pattern(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>(i * 7 + i / 251);
  return text;
}

class ContentHashesTest : public ArchiveTest {
 protected:
  // Packs the folder "src" into `name`, with digests when `hash` is set.
  std::string Pack(const std::string& name, bool hash) {
    Module().contentHashes = hash;
    const std::string path = dir.dir() + name;
    const bool written = ArchiveCreateFromFolder(path, dir.dir() + "src", kAllEntriesFilter, nullptr, nullptr, "");
    Module().contentHashes = false;
    EXPECT_TRUE(written) << Module().lastError;
    return path;
  }

  ArchiveIndex Index(const std::string& path) {
    compression::FileStream file(path, compression::FileStream::Mode::Read);
    return ReadArchiveIndex(file, path);
  }

  // --test or --list of the archive: exit code and what it printed.
  std::pair<int, std::string> Run(int (*action)(const std::string&, sys::TextWriter&), const std::string& path) {
    sys::StringWriter out;
    const int code = action(path, out);
    return {code, out.Text()};
  }
};

TEST_F(ContentHashesTest, RecordedWhenAskedListedButNeverExtracted) {
  WriteDated("src/small.txt", "small file\n");
  WriteDated("src/sub/empty.txt", "");
  WriteDated("src/sub/long.bin", Pattern((5 << 20) + 123));  // packed and unpacked by the writer
  WriteDated("src/pic.png", Pattern(70000));                 // stored raw

  const std::string plain = Pack("plain.bvarc", false);
  const ArchiveIndex plainIndex = Index(plain);
  EXPECT_EQ(std::count(plainIndex.names.begin(), plainIndex.names.end(), std::string(kContentHashesName)), 0);

  const std::string hashed = Pack("hashed.bvarc", true);
  const ArchiveIndex index = Index(hashed);
  ASSERT_EQ(index.names.back(), kContentHashesName);
  EXPECT_EQ(index.nameAttributes.back(), kContentHashesLetters);
  // The same entries in front of it, byte for byte.
  EXPECT_EQ(ReadFile(hashed).substr(0, static_cast<size_t>(index.EntryOffset(index.EntryCount() - 1))),
            ReadFile(plain).substr(0, static_cast<size_t>(plainIndex.EntryOffset(plainIndex.EntryCount()))));

  ASSERT_TRUE(ArchiveExtractAll(hashed, dir.dir() + "out", nullptr, nullptr)) << Module().lastError;
  EXPECT_FALSE(fs::exists(dir.path() / "out" / std::string(kContentHashesName)));
  EXPECT_EQ(ReadFile(dir.path() / "out/sub/long.bin"), Pattern((5 << 20) + 123));
  EXPECT_EQ(ReadFile(dir.path() / "out/pic.png"), Pattern(70000));

  EXPECT_EQ(Run(app::TestArchive, hashed), std::make_pair(app::kExitSuccess, std::string("OK\n")));
  EXPECT_NE(Run(app::ListArchive, hashed).second.find(std::string(kContentHashesName) + "\t"), std::string::npos);
}

TEST_F(ContentHashesTest, TheReservedNameIsAnOrdinaryFileUnlessDigestsAreWritten) {
  WriteDated("src/@sha256", "not a list of digests\n");
  const std::string path = Pack("user.bvarc", false);
  ASSERT_TRUE(ArchiveExtractAll(path, dir.dir() + "out", nullptr, nullptr)) << Module().lastError;
  EXPECT_EQ(ReadFile(dir.path() / "out/@sha256"), "not a list of digests\n");

  Module().contentHashes = true;
  EXPECT_FALSE(ArchiveCreateFromFolder(dir.dir() + "refused.bvarc", dir.dir() + "src", kAllEntriesFilter, nullptr,
                                       nullptr, ""));
  Module().contentHashes = false;
  EXPECT_NE(Module().lastError.find("@sha256"), std::string::npos);
}

// Two kinds of damage that leave the word checksum as it was: two words
// that trade places, and a last block of the entry lost to zeros (its
// words were all 0xFFFFFFFF, which the checksum counts as 0). Without
// digests they extract as if whole; with them the file is never kept.
TEST_F(ContentHashesTest, DamageTheChecksumMissesIsCaughtByTheDigests) {
  const std::string content = Pattern(64000) + std::string(8192, '\xff');
  WriteDated("src/data.zip", content);  // stored raw: its bytes lie in the archive as they are
  for (const bool hash : {false, true}) {
    for (const int damage : {0, 1}) {
      SCOPED_TRACE(std::string(hash ? "with" : "without") + " digests, damage " + std::to_string(damage));
      const std::string path = Pack("a.bvarc", hash);
      std::string bytes = ReadFile(path);
      const size_t data = static_cast<size_t>(Index(path).EntryOffset(0)) + 9;
      if (damage == 0) {
        const size_t word = (data + 1000) / 4 * 4;
        std::swap_ranges(bytes.begin() + word, bytes.begin() + word + 4, bytes.begin() + word + 4);
      } else {
        const size_t end = data + content.size();
        std::fill(bytes.begin() + (end - 4096), bytes.begin() + end, '\0');
      }
      ASSERT_NE(bytes, ReadFile(path));
      dir.Write("a.bvarc", bytes);
      ASSERT_TRUE(ArchiveVerify(path, nullptr, nullptr));

      const fs::path target = dir.path() / ("out" + std::to_string(hash) + std::to_string(damage));
      const bool extracted = ArchiveExtractAll(path, target.string(), nullptr, nullptr);
      const auto [code, printed] = Run(app::TestArchive, path);
      if (!hash) {
        EXPECT_TRUE(extracted);
        EXPECT_NE(ReadFile(target / "data.zip"), content);
        EXPECT_EQ(code, app::kExitSuccess);
        continue;
      }
      EXPECT_FALSE(extracted);
      EXPECT_EQ(Module().failure.kind, sys::FailureKind::Damaged);
      EXPECT_EQ(Module().lastError, "There are error(s) in the file " + path +
                                        ". The content of data.zip does not match its SHA-256.");
      EXPECT_TRUE(fs::is_empty(target));  // nor its temporary file
      EXPECT_EQ(code, app::kExitDamaged);
      EXPECT_NE(printed.find("data.zip"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace archive::testing
