// Archives whose trailer, entry table or compressed containers lie, with a
// matching checksum so that the layout checks are what stands in the way.
// Each is refused or fails with the documented message, quickly, without
// writing anything but what it reports as extracted.
#include <gtest/gtest.h>

#include <cstring>

#include "archive/archive.h"
#include "archive/checksum.h"
#include "compression/codecs.h"
#include "compression/container_layout.h"
#include "compression/container_streams.h"
#include "compression/stream_callbacks.h"
#include "hostile/hostile_support.h"
#include "system/paths.h"

namespace hostile {
namespace {

using archive::Module;
using archive::testing::Int64Bytes;
namespace L = compression::layout;

class HostileLayout : public archive::testing::ArchiveTest {
 protected:
  // Extracts the archive `bytes` (given a matching checksum) into a fresh
  // target; expects it refused as damaged, with nothing written.
  void ExpectRefusedAsDamaged(const std::string& what, const std::string& bytes) {
    SCOPED_TRACE(what);
    testsupport::TempDir work;
    const std::string path = WriteArchive(work, "bad.bvarc", bytes);
    Module().abort = false;
    EXPECT_FALSE(archive::ArchiveExtractAll(path, work.dir() + "target", nullptr, nullptr));
    EXPECT_EQ(Module().lastError, archive::DamagedArchiveMessage(path));
    EXPECT_EQ(Snapshot(work.path()).size(), 1u);  // the archive alone
    // The operations that do not verify refuse it the same way.
    archive::StringList folders;
    EXPECT_THROW(archive::ArchiveListFolders(path, "\\", folders), archive::DamagedArchive);
  }

  // The bytes of the container that the compress callback makes of
  // `content` in mode `mode`, without the length prefix.
  static std::string Container(const std::string& content, const std::string& mode) {
    compression::MemoryStream source(content), packed;
    compression::CompressStreamCallback(source, packed, mode);
    return packed.ToString().substr(8);
  }

  // Extracts one compressed entry holding `container`: false, with a
  // message naming the file and the container's failure (kDamaged when its
  // block chain is damaged, which names the archive), and no file left.
  static constexpr const char* kDamaged = "(damaged archive)";
  std::string ExtractContainer(const std::string& container) {
    testsupport::TempDir work;
    const std::string path = WriteArchive(work, "c.bvarc", ArchiveBytes({{"c.txt", CompressedEntry(container)}}));
    const bool extracted = archive::ArchiveExtractAll(path, work.dir() + "target", nullptr, nullptr);
    EXPECT_FALSE(extracted);
    EXPECT_EQ(Snapshot(work.path() / "target").size(), 0u);
    if (Module().lastError == archive::DamagedArchiveMessage(path)) return kDamaged;
    const std::string prefix = "The file " + sys::ToNativeSeparators(work.dir() + "target/c.txt") +
                               " could not be extracted: ";
    EXPECT_TRUE(Module().lastError.starts_with(prefix)) << Module().lastError;
    return Module().lastError.substr(std::min(prefix.size(), Module().lastError.size()));
  }
};

std::string Trailer(int64_t tableCount, int64_t directorySize) {
  return Int64Bytes(tableCount) + Int64Bytes(directorySize) + Int64Bytes(0) + Int64Bytes(1);
}

std::string Patched(std::string bytes, size_t at, const std::string& with) {
  return bytes.replace(at, with.size(), with);
}

TEST_F(HostileLayout, TrailersWithImpossibleCountsAreRefused) {
  const std::string good = ArchiveBytes({{"a.txt", RawEntry("aaa")}, {"b.txt", RawEntry("bbbb")}});
  const size_t size = good.size();
  const std::string directory = "@f|a.txt|b.txt|@fa|a|a|@d|@da";
  ExpectRefusedAsDamaged("empty file", "");
  ExpectRefusedAsDamaged("shorter than a trailer", "@f|x|@fa|a|@d|@da");
  ExpectRefusedAsDamaged("truncated", good.substr(0, size - 40));
  for (int64_t count : {int64_t{0}, int64_t{-1}, int64_t{-5}, int64_t{1} << 40, int64_t{1} << 61,
                        INT64_MAX, INT64_MIN, int64_t{4}}) {
    ExpectRefusedAsDamaged("table count " + std::to_string(count),
                           Patched(good, size - 32, Int64Bytes(count)));
  }
  for (int64_t length : {int64_t{-1}, INT64_MIN, static_cast<int64_t>(size), INT64_MAX,
                         static_cast<int64_t>(directory.size()) + 1}) {
    ExpectRefusedAsDamaged("directory size " + std::to_string(length),
                           Patched(good, size - 24, Int64Bytes(length)));
  }
}

TEST_F(HostileLayout, TablesThatDoNotIncreaseOrLeaveTheEntriesAreRefused) {
  const std::string entryA = RawEntry("aaa"), entryB = RawEntry("bbbb");
  const std::string directory = "@f|a.txt|b.txt|@fa|a|a|@d|@da";
  const auto table = [&](int64_t a, int64_t b, int64_t end) {
    return Int64Bytes(a) + Int64Bytes(0) + Int64Bytes(b) + Int64Bytes(0) + Int64Bytes(end);
  };
  const std::string body = entryA + entryB;
  const auto archive = [&](const std::string& values) {
    return body + directory + values + Trailer(5, static_cast<int64_t>(directory.size()));
  };
  const int64_t a = 0, b = static_cast<int64_t>(entryA.size()), end = static_cast<int64_t>(body.size());
  ExpectRefusedAsDamaged("offsets decreasing", archive(table(b, a, end)));
  ExpectRefusedAsDamaged("negative offset", archive(table(-9, b, end)));
  ExpectRefusedAsDamaged("entry past the directory", archive(table(a, b, end + 100)));
  ExpectRefusedAsDamaged("huge offset", archive(table(a, INT64_MAX, end)));
  ExpectRefusedAsDamaged("offsets whose difference overflows", archive(table(b, INT64_MIN, end)));
  ExpectRefusedAsDamaged("empty stored entry", archive(table(a, a, end)));
  // More names than the table has places for, and the reverse.
  ExpectRefusedAsDamaged("names without places",
                         body + "@f|a.txt|b.txt|c.txt|@fa|a|a|a|@d|@da" + table(a, b, end) +
                             Trailer(5, static_cast<int64_t>(directory.size()) + 8));
  ExpectRefusedAsDamaged("letters without names",
                         body + "@f|a.txt|@fa|a|a|a|@d|@da" + table(a, b, end) + Trailer(5, 25));
}

// An entry's own length field that disagrees with its place in the table is
// found when that entry is read: the extraction stops there with the damage
// message, and no file is written for it.
TEST_F(HostileLayout, EntryLengthsOutsideTheirPlaceAreRefused) {
  for (int64_t length : {int64_t{1} << 20, int64_t{-3}, INT64_MIN, int64_t{4}}) {
    SCOPED_TRACE(length);
    testsupport::TempDir work;
    const std::string bytes = Patched(ArchiveBytes({{"a.txt", RawEntry("aaa")}}), 1, Int64Bytes(length));
    const std::string path = WriteArchive(work, "bad.bvarc", bytes);
    EXPECT_FALSE(archive::ArchiveExtractAll(path, work.dir() + "target", nullptr, nullptr));
    EXPECT_EQ(Module().lastError, archive::DamagedArchiveMessage(path));
    for (const auto& [name, content] : Snapshot(work.path() / "target")) EXPECT_EQ(content, "<dir>") << name;
    compression::MemoryStream out;
    std::string letters;
    EXPECT_THROW(archive::ArchiveReadEntry(path, "a.txt", out, letters), archive::DamagedArchive);
  }
}

TEST_F(HostileLayout, SingleEntryReadsCheckBoundsToo) {
  testsupport::TempDir work;
  std::string bytes = ArchiveBytes({{"a.txt", RawEntry("aaaa")}});
  bytes.replace(1, 8, Int64Bytes(1'000'000));
  const std::string bad = work.Write("bad.bvarc", bytes);
  compression::MemoryStream out;
  std::string letters;
  EXPECT_THROW(archive::ArchiveReadEntry(bad, "a.txt", out, letters), archive::DamagedArchive);
  EXPECT_THROW(archive::ArchiveExtractEntry(bad, "a.txt", work.dir() + "x.txt", 0), archive::DamagedArchive);
  EXPECT_FALSE(sys::FileExists(work.dir() + "x.txt"));
  EXPECT_THROW(archive::ArchiveExtractEntry(work.dir() + "missing.bvarc", "a.txt", work.dir() + "x.txt", 0),
               compression::StreamError);
  const std::string tiny = work.Write("tiny.bvarc", "short");
  archive::StringList folders;
  EXPECT_THROW(archive::ArchiveListFolders(tiny, "\\", folders), archive::DamagedArchive);
  // A stub "*" whose stored length runs past the file.
  const std::string stub = work.Write("stub.bvarc", ArchiveBytes({{"*", "MZ"}, {"a.txt", RawEntry("a")}}));
  compression::MemoryStream program;
  EXPECT_NO_THROW(archive::ArchiveReadEntry(stub, "*", program, letters));
  EXPECT_EQ(program.ToString(), "MZ");
}

TEST_F(HostileLayout, DamagedContainersFailWithTheirMessage) {
  const std::string content(5000, 'z');
  const std::string good = Container(content, "zlibmax");
  ASSERT_TRUE(good.starts_with("AACS"));
  const auto i32 = [](int32_t value) {
    std::string bytes(4, '\0');
    L::StoreI32(reinterpret_cast<uint8_t*>(bytes.data()), value);
    return bytes;
  };
  const size_t block = L::kHeaderSize;
  struct Case {
    const char* what;
    std::string container;
    const char* message;
  };
  const std::vector<Case> cases = {
      // Sizes no sound chain can have: the archive is damaged.
      {"block size 0", Patched(good, L::kBlockSizeOffset, i32(0)), kDamaged},
      {"block size negative", Patched(good, L::kBlockSizeOffset, i32(-4096)), kDamaged},
      {"block size below the block's bytes", Patched(good, L::kBlockSizeOffset, i32(16)), kDamaged},
      {"block size 2 GB", Patched(good, L::kBlockSizeOffset, i32(0x7FFFFFFF)), kDamaged},
      {"zero compressed size", Patched(good, block + L::kCompressedSizeOffset, i32(0)), kDamaged},
      {"compressed size past the data", Patched(good, block + L::kCompressedSizeOffset, i32(0x7FFFFFF0)), kDamaged},
      {"uncompressed size too large", Patched(good, block + L::kUncompressedSizeOffset, i32(6000)),
       compression::kErrorInvalidSize},
      {"checksum wrong", Patched(good, block + L::kChecksumOffset, i32(0x12345678)), compression::kErrorCrc},
      {"level without a codec", Patched(good, L::kLevelCodeOffset, std::string(1, '\x0c')),
       compression::kErrorDecompression},
      {"protected", Patched(good, L::kProtectedOffset, std::string(1, '\x01')), compression::kErrorNoPassword},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ExtractContainer(c.container), c.message);
  }
}

// Next offsets that do not move forward end the chain: the blocks before the
// loop are the content, found in one pass.
TEST_F(HostileLayout, BlockChainsThatLoopEndAtTheLoop) {
  const int32_t blockSize = compression::BlockSizeForLevel(compression::CompressionLevelFromName("zlibmax"));
  std::string content;
  for (int i = 0; content.size() < size_t(blockSize) + 1000; ++i) content += "line " + std::to_string(i) + "\n";
  const std::string good = Container(content, "zlibmax");  // two blocks
  const int32_t firstNext = L::LoadI32(reinterpret_cast<const uint8_t*>(good.data()) + L::kHeaderSize + 12);
  for (int32_t next : {int32_t(L::kHeaderSize), 0, -1, int32_t(L::kHeaderSize + 8)}) {
    SCOPED_TRACE(next);
    std::string looped = good;
    L::StoreI32(reinterpret_cast<uint8_t*>(looped.data()) + L::kHeaderSize + 12, next);
    L::StoreI32(reinterpret_cast<uint8_t*>(looped.data()) + L::kBlockCountOffset, 0x7FFFFFFF);
    compression::MemoryStream data(std::vector<uint8_t>(looped.begin(), looped.end()));
    compression::TECLStream container(&data, "", 0, 0, false);
    EXPECT_EQ(container.Headers().Count(), 1);
    EXPECT_EQ(container.Size(), blockSize);
  }
  // The second block pointing back at the first.
  std::string back = good;
  L::StoreI32(reinterpret_cast<uint8_t*>(back.data()) + firstNext + 12, int32_t(L::kHeaderSize));
  L::StoreI32(reinterpret_cast<uint8_t*>(back.data()) + L::kBlockCountOffset, 1000);
  compression::MemoryStream data(std::vector<uint8_t>(back.begin(), back.end()));
  compression::TECLStream container(&data, "", 0, 0, false);
  EXPECT_EQ(container.Headers().Count(), 2);
  EXPECT_EQ(container.Size(), int64_t(content.size()));
}

// Every info word that does not name the codec's variant, and every high
// bit, is refused by the codec and reported by the container.
TEST_F(HostileLayout, PpmPayloadsWithABadInfoWordAreRefused) {
  const std::string content = "a PPM block " + std::string(300, 'p');
  const std::string good = Container(content, "normal");
  const size_t payload = L::kHeaderSize + L::kBlockHeaderSize;
  const uint32_t word = L::LoadU32(reinterpret_cast<const uint8_t*>(good.data()) + payload);
  ASSERT_EQ(word, 0x00006184u);
  std::vector<uint32_t> bad;
  for (uint32_t variant = 0; variant < 16; ++variant)
    if (variant != 6) bad.push_back((word & ~0xF000u) | variant << 12);
  for (int bit = 16; bit < 32; ++bit) bad.push_back(word | 1u << bit);
  for (uint32_t info : bad) {
    SCOPED_TRACE(info);
    std::string container = good;
    L::StoreU32(reinterpret_cast<uint8_t*>(container.data()) + payload, info);
    compression::Buffer output;
    EXPECT_FALSE(compression::UnpackBuffer(reinterpret_cast<const uint8_t*>(container.data()) + payload,
                                           container.size() - payload, 3, int64_t(content.size()), output));
    EXPECT_EQ(ExtractContainer(container), compression::kErrorDecompression);
  }
  // Order 1 fits in the word but is below what the model can run.
  std::string orderOne = good;
  L::StoreU32(reinterpret_cast<uint8_t*>(orderOne.data()) + payload, 0x00006000u);
  EXPECT_EQ(ExtractContainer(orderOne), compression::kErrorDecompression);
  // Payloads cut short or empty: the chain ends early.
  EXPECT_EQ(ExtractContainer(good.substr(0, payload + 4)), kDamaged);
  EXPECT_EQ(ExtractContainer(good.substr(0, payload)), kDamaged);
}

}  // namespace
}  // namespace hostile
