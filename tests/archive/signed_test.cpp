// Installers whose executable was signed after the build: the certificate
// table follows the package, and the package is still found, verified and
// extracted. Also executable headers built to mislead the reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <random>
#include <set>
#include <tuple>

#include "app/exit_codes.h"
#include "app/options.h"
#include "archive/archive_layout.h"
#include "archive/checksum.h"
#include "archive/pe_image.h"
#include "archive_test_support.h"
#include "compression/stream.h"
#include "system/text_writer.h"

namespace archive::testing {
namespace {

using testsupport::ReadFile;

void Put32(std::string& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}
void Put16(std::string& bytes, size_t offset, uint16_t value) {
  bytes[offset] = static_cast<char>(value);
  bytes[offset + 1] = static_cast<char>(value >> 8);
}
uint32_t Get32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

// A small image: "PE\0\0" at 0x80, the optional header at 0x98 with 16 data
// directories, and filler from 0x200 standing in for the sections.
constexpr size_t kSignature = 0x80, kOptional = 0x98;
constexpr size_t kCheckSum = kOptional + 64;
size_t CertificateEntry(bool plus) { return kOptional + (plus ? 112 : 96) + 32; }

std::string SyntheticImage(size_t size, bool plus = true, uint32_t checkSum = 0) {
  std::string image(size, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, kSignature);
  std::memcpy(&image[kSignature], "PE\0\0", 4);
  Put16(image, kSignature + 4, plus ? 0x8664 : 0x14C);
  Put16(image, kSignature + 20, plus ? 240 : 224);
  Put16(image, kOptional, plus ? 0x20B : 0x10B);
  Put32(image, kCheckSum, checkSum);
  Put32(image, kOptional + (plus ? 108 : 92), 16);
  for (size_t i = 0x200; i < size; ++i) image[i] = static_cast<char>(i * 7 + 3);
  return image;
}

// What a signing tool does to a file: zero bytes up to an 8-byte boundary,
// a certificate table appended there and named by directory entry 4, and a
// new CheckSum.
std::string Signed(std::string file, size_t tableSize = 1464, bool plus = true) {
  file.append((8 - file.size() % 8) % 8, '\0');
  Put32(file, CertificateEntry(plus), static_cast<uint32_t>(file.size()));
  Put32(file, CertificateEntry(plus) + 4, static_cast<uint32_t>(tableSize));
  Put32(file, kCheckSum, 0x0001F00D);
  for (size_t i = 0; i < tableSize; ++i) file += static_cast<char>(0x30 + i % 64);
  return file;
}

std::optional<pe::ImageHeaders> HeadersOf(const std::string& bytes) {
  compression::MemoryStream stream;
  stream.WriteExact(bytes.data(), static_cast<int64_t>(bytes.size()));
  return pe::ReadImageHeaders(stream, stream.Size());
}

TEST(PeImage, FindsTheSignatureFieldsOfBothImageKindsAndNothingInOtherFiles) {
  for (bool plus : {true, false}) {
    const auto headers = HeadersOf(Signed(SyntheticImage(1000, plus), 64, plus));
    ASSERT_TRUE(headers) << plus;
    EXPECT_EQ(headers->checkSumField, static_cast<int64_t>(kCheckSum));
    EXPECT_EQ(headers->certificateEntry, static_cast<int64_t>(CertificateEntry(plus)));
    EXPECT_EQ(headers->certificateOffset, 1000);
    EXPECT_EQ(headers->certificateSize, 64);
    EXPECT_TRUE(pe::CertificateTableEndsFile(*headers, 1064));
    EXPECT_FALSE(pe::CertificateTableEndsFile(*headers, 1072));
  }
  EXPECT_FALSE(HeadersOf(""));
  EXPECT_FALSE(HeadersOf("MZ"));
  EXPECT_FALSE(HeadersOf("@f|a.txt|@fa|a|@d|@da" + Int64Bytes(1)));
}

// Each header value that points outside the file or contradicts the format
// makes the file no image (or an image without a signature); none is read
// past the end of the file.
TEST(PeImage, HostileHeadersAreRefused) {
  const std::string image = SyntheticImage(1000);
  auto with = [&](size_t offset, uint32_t value, bool sixteen = false) {
    std::string bytes = image;
    if (sixteen) {
      Put16(bytes, offset, static_cast<uint16_t>(value));
    } else {
      Put32(bytes, offset, value);
    }
    return bytes;
  };
  for (uint32_t pointer : {0xFFFFFFFFu, 0x7FFFFFFFu, 998u, 1000u, 0x3Du}) {
    EXPECT_FALSE(HeadersOf(with(0x3C, pointer))) << pointer;
  }
  EXPECT_FALSE(HeadersOf(with(kSignature, 0x00004551)));
  EXPECT_FALSE(HeadersOf(with(kOptional, 0x10C, true)));
  EXPECT_FALSE(HeadersOf(with(kSignature + 20, 60, true))) << "optional header too short for CheckSum";
  EXPECT_FALSE(HeadersOf(with(kSignature + 20, 0xFFFF, true))) << "optional header past the end";
  EXPECT_FALSE(HeadersOf(image.substr(0, kOptional + 100)));

  // Too few data directories, or a header too short to hold entry 4: no entry.
  EXPECT_EQ(HeadersOf(with(kOptional + 108, 4))->certificateEntry, -1);
  EXPECT_EQ(HeadersOf(with(kSignature + 20, 140, true))->certificateEntry, -1);

  // Certificate tables that are not a sound last part of the file.
  const int64_t size = 2000;
  auto entry = [&](uint32_t offset, uint32_t length) {
    std::string bytes = image;
    Put32(bytes, CertificateEntry(true), offset);
    Put32(bytes, CertificateEntry(true) + 4, length);
    return *HeadersOf(bytes);
  };
  EXPECT_TRUE(pe::CertificateTableEndsFile(entry(1000, 1000), size));
  EXPECT_FALSE(pe::CertificateTableEndsFile(entry(1000, 0xFFFFFFFF), size)) << "size past the end";
  EXPECT_FALSE(pe::CertificateTableEndsFile(entry(0xFFFFFFF8, 0xFFFFFFFF), size)) << "offset past the end";
  EXPECT_FALSE(pe::CertificateTableEndsFile(entry(1004, 996), size)) << "unaligned";
  EXPECT_FALSE(pe::CertificateTableEndsFile(entry(0, 2000), size)) << "over the headers";
  EXPECT_FALSE(pe::CertificateTableEndsFile(entry(1000, 0), 1000)) << "empty";
  EXPECT_FALSE(pe::CertificateTableEndsFile(entry(800, 1000), size)) << "not at the end";
}

TEST(PeImage, ChecksumOfTheUnsignedImage) {
  // Values of the image checksum as a linker computes it.
  for (const auto& [image, plus, expected] : {std::tuple{SyntheticImage(1000), true, 0x720Cu},
                                              std::tuple{SyntheticImage(1001, false), false, 0xEC3Fu}}) {
    compression::MemoryStream stream;
    const std::string bytes = Signed(image, 64, plus);
    stream.WriteExact(bytes.data(), static_cast<int64_t>(bytes.size()));
    const auto headers = pe::ReadImageHeaders(stream, stream.Size());
    ASSERT_TRUE(headers);
    // The rewritten CheckSum and certificate entry count as zero.
    EXPECT_EQ(pe::UnsignedImageChecksum(stream, static_cast<int64_t>(image.size()), *headers), expected);
  }
}

class SignedInstallerTest : public ArchiveTest {
 protected:
  // An installer: the image as stub, then three files; `extra` bytes in the
  // one stored raw move the package's end across the 8-byte boundary.
  std::string BuildInstaller(const std::string& stub, size_t extra) {
    stubPath = dir.Write("stub.exe", stub);
    WriteDated("project/files/install.dat", "[Settings]\r\nProgramName=Signed\r\n");
    WriteDated("project/files/install_dir/program.jpg", "program" + std::string(extra, '+'));
    WriteDated("project/files/temp_dir/license.htm", "<p>licence</p>");
    const std::string installer = dir.dir() + "setup.exe";
    EXPECT_TRUE(ArchiveCreateFromFolder(installer, dir.dir() + "project/files", kAllEntriesFilter, nullptr, nullptr,
                                        stubPath));
    return installer;
  }

  std::string stubPath;
};

TEST_F(SignedInstallerTest, SignedInstallerOpensVerifiesAndExtractsWhateverItsLength) {
  // Linked images carry their checksum; the uninstaller gets the stub back
  // exactly as it was built.
  const std::string stub = SyntheticImage(1000, true, 0x720C);
  std::set<int64_t> gaps;
  for (size_t extra = 0; extra < 8; ++extra) {
    SCOPED_TRACE(extra);
    const std::string installer = BuildInstaller(stub, extra);
    const std::string unsignedBytes = ReadFile(installer);
    const std::string signedBytes = Signed(unsignedBytes);
    gaps.insert(static_cast<int64_t>(signedBytes.size() - 1464 - unsignedBytes.size()));
    dir.Write("setup.exe", signedBytes);

    EXPECT_TRUE(ArchiveVerify(installer, nullptr, nullptr));
    StringList names, letters, folders, folderLetters;
    std::vector<int64_t> table;
    EXPECT_EQ(ArchiveReadIndex(installer, "\\", true, names, letters, folders, folderLetters, table), 4);
    StringList lines;
    EXPECT_TRUE(ArchiveReadTextEntry(installer, "install.dat", lines));
    EXPECT_EQ(lines, (StringList{"[Settings]", "ProgramName=Signed"}));
    const std::string target = dir.dir() + "out" + std::to_string(extra);
    ASSERT_TRUE(ArchiveExtractAll(installer, target, nullptr, nullptr));
    EXPECT_EQ(ReadFile(target + "/install_dir/program.jpg"), "program" + std::string(extra, '+'));

    ASSERT_TRUE(ArchiveExtractEntry(installer, "*", dir.dir() + "uninstall.exe", 0));
    EXPECT_EQ(ReadFile(dir.dir() + "uninstall.exe"), stub);
  }
  EXPECT_EQ(gaps.size(), 8u) << "every alignment gap from 0 to 7 bytes was met";
}

TEST_F(SignedInstallerTest, StubWithoutChecksumAndSignedImagesOfThe32BitKind) {
  for (bool plus : {true, false}) {
    SCOPED_TRACE(plus);
    const std::string installer = BuildInstaller(SyntheticImage(1001, plus, 0), 3);
    dir.Write("setup.exe", Signed(ReadFile(installer), 256, plus));
    EXPECT_TRUE(ArchiveVerify(installer, nullptr, nullptr));
    ASSERT_TRUE(ArchiveExtractEntry(installer, "*", dir.dir() + "uninstall.exe", 0));
    const std::string uninstaller = ReadFile(dir.dir() + "uninstall.exe");
    ASSERT_EQ(uninstaller.size(), 1001u);
    EXPECT_EQ(Get32(uninstaller, CertificateEntry(plus)), 0u);
    EXPECT_EQ(Get32(uninstaller, CertificateEntry(plus) + 4), 0u);
  }
}

TEST_F(SignedInstallerTest, AStubSignedOnItsOwnIsStoredUnsigned) {
  // A signed builder's program as the stub: its table would sign nothing
  // inside the installer.
  const std::string image = SyntheticImage(1000, true, 0x720C);
  const std::string installer = BuildInstaller(Signed(image), 0);
  const std::string built = ReadFile(installer);
  EXPECT_EQ(built.substr(0, image.size()), image);
  ASSERT_TRUE(ArchiveExtractEntry(installer, "*", dir.dir() + "uninstall.exe", 0));
  EXPECT_EQ(ReadFile(dir.dir() + "uninstall.exe"), image);
  // And the installer can be signed in its turn.
  dir.Write("setup.exe", Signed(built));
  EXPECT_TRUE(ArchiveVerify(installer, nullptr, nullptr));
  ASSERT_TRUE(ArchiveExtractEntry(installer, "*", dir.dir() + "uninstall.exe", 0));
  EXPECT_EQ(ReadFile(dir.dir() + "uninstall.exe"), image);
}

TEST_F(SignedInstallerTest, RemovingTheSignatureAgainLeavesAnOpenableInstaller) {
  std::string installer = BuildInstaller(SyntheticImage(1000, true, 0x720C), 1);
  if (ReadFile(installer).size() % 8 == 0) installer = BuildInstaller(SyntheticImage(1000, true, 0x720C), 2);
  const std::string built = ReadFile(installer);
  // The tool drops the table and clears the entry; the alignment zeros and
  // the new CheckSum stay.
  std::string removed = Signed(built).substr(0, (built.size() + 7) / 8 * 8);
  Put32(removed, CertificateEntry(true), 0);
  Put32(removed, CertificateEntry(true) + 4, 0);
  ASSERT_NE(removed.size(), built.size());
  dir.Write("setup.exe", removed);
  EXPECT_TRUE(ArchiveVerify(installer, nullptr, nullptr));
  EXPECT_TRUE(ArchiveExtractAll(installer, dir.dir() + "out", nullptr, nullptr));
}

TEST_F(SignedInstallerTest, DamageAfterSigningIsStillFound) {
  const std::string installer = BuildInstaller(SyntheticImage(1000, true, 0x720C), 5);
  const std::string built = ReadFile(installer);
  const std::string good = Signed(built);
  // A byte of the stub's code, of an entry, of the directory: each fails.
  for (size_t position : {size_t{0x300}, size_t{1010}, built.size() - 110}) {
    std::string damaged = good;
    damaged[position] ^= 0x04;
    dir.Write("setup.exe", damaged);
    EXPECT_FALSE(ArchiveVerify(installer, nullptr, nullptr)) << position;
  }
  // A certificate entry naming another table length no longer ends the
  // file: the package is then not found at all.
  std::string moved = good;
  Put32(moved, CertificateEntry(true) + 4, 1456);
  dir.Write("setup.exe", moved);
  EXPECT_FALSE(ArchiveVerify(installer, nullptr, nullptr));
  StringList folders;
  EXPECT_THROW(ArchiveListFolders(installer, "\\", folders), DamagedArchive);
}

// The pattern of signatures abused to smuggle data: the certificate table
// grown (its directory size and its own length) over bytes appended to it,
// which the signature does not cover. Only the signed part is read.
TEST_F(SignedInstallerTest, BytesHiddenInAPaddedCertificateTableAreIgnored) {
  const std::string stub = SyntheticImage(1000, true, 0x720C);
  const std::string good = Signed(ReadFile(BuildInstaller(stub, 4)));
  const std::string installer = dir.dir() + "setup.exe";
  const size_t tableOffset = Get32(good, CertificateEntry(true));
  // A complete archive of another file, whose trailer then ends the file.
  WriteDated("other/evil.txt", "evil");
  ASSERT_TRUE(ArchiveCreateFromFolder(dir.dir() + "other.bvarc", dir.dir() + "other", kAllEntriesFilter, nullptr,
                                      nullptr, ""));
  for (const std::string& hidden : {std::string(4096, '\0'), ReadFile(dir.dir() + "other.bvarc")}) {
    std::string padded = good + hidden;
    const auto tableSize = static_cast<uint32_t>(padded.size() - tableOffset);
    Put32(padded, CertificateEntry(true) + 4, tableSize);
    Put32(padded, tableOffset, tableSize);
    dir.Write("setup.exe", padded);

    EXPECT_TRUE(ArchiveVerify(installer, nullptr, nullptr));
    StringList names, letters, folders, folderLetters;
    std::vector<int64_t> table;
    EXPECT_EQ(ArchiveReadIndex(installer, "\\", true, names, letters, folders, folderLetters, table), 4);
    EXPECT_EQ(std::count(names.begin(), names.end(), "evil.txt"), 0);
    const std::string target = dir.dir() + "out" + std::to_string(hidden.size());
    ASSERT_TRUE(ArchiveExtractAll(installer, target, nullptr, nullptr));
    EXPECT_EQ(ReadFile(target + "/install_dir/program.jpg"), "program++++");
    EXPECT_FALSE(sys::FileExists(target + "/evil.txt"));
    ASSERT_TRUE(ArchiveExtractEntry(installer, "*", dir.dir() + "uninstall.exe", 0));
    EXPECT_EQ(ReadFile(dir.dir() + "uninstall.exe"), stub);
    sys::StringWriter out;
    EXPECT_EQ(app::TestArchive(installer, out), app::kExitSuccess);
    EXPECT_EQ(out.Text(), "OK\n");
  }
}

// Bytes appended after the certificate table are covered by no signature:
// the file is not read as a signed installer, and --test says why.
TEST_F(SignedInstallerTest, BytesAfterTheSignatureAreReportedByTest) {
  const std::string good = Signed(ReadFile(BuildInstaller(SyntheticImage(1000, true, 0x720C), 4)));
  const std::string installer = dir.dir() + "setup.exe";
  for (size_t appended : {size_t{1}, size_t{4096}}) {
    dir.Write("setup.exe", good + std::string(appended, 'X'));
    EXPECT_FALSE(ArchiveVerify(installer, nullptr, nullptr));
    sys::StringWriter out;
    EXPECT_EQ(app::TestArchive(installer, out), app::kExitDamaged);
    EXPECT_EQ(out.Text(), "The signature of " + installer + " does not end the file: " + std::to_string(appended) +
                              " bytes follow it.\n");
  }
}

// Signed files with random header values and table entries: every read ends
// in an answer or a DamagedArchive, never outside the file.
TEST_F(SignedInstallerTest, RandomHeaderDamageIsRefusedCleanly) {
  const std::string good = Signed(ReadFile(BuildInstaller(SyntheticImage(1000, true, 0x720C), 2)));
  const std::string installer = dir.dir() + "setup.exe";
  std::mt19937 random(7);
  const size_t fields[] = {0x3C, kSignature + 20, kOptional, kOptional + 108, CertificateEntry(true),
                           CertificateEntry(true) + 4};
  for (int round = 0; round < 300; ++round) {
    std::string bytes = good;
    const size_t field = fields[random() % std::size(fields)];
    const uint32_t values[] = {static_cast<uint32_t>(random()), 0xFFFFFFFFu, 0x80000000u,
                               static_cast<uint32_t>(bytes.size()), static_cast<uint32_t>(bytes.size() - 8)};
    Put32(bytes, field, values[random() % std::size(values)]);
    dir.Write("setup.exe", bytes);
    try {
      StringList folders;
      ArchiveListFolders(installer, "\\", folders);
      ArchiveVerify(installer, nullptr, nullptr);
      std::string letters;
      compression::MemoryStream stub;
      ArchiveReadEntry(installer, "*", stub, letters);
    } catch (const DamagedArchive&) {
    }
  }
}

TEST_F(SignedInstallerTest, StandAloneArchivesKeepTheirExactEnd) {
  // Outside an executable, zero bytes after the trailer are damage.
  WriteDated("folder/a.txt", "alpha");
  const std::string archive = dir.dir() + "plain.bvarc";
  ASSERT_TRUE(ArchiveCreateFromFolder(archive, dir.dir() + "folder", kAllEntriesFilter, nullptr, nullptr, ""));
  dir.Write("plain.bvarc", ReadFile(archive) + std::string(3, '\0'));
  StringList folders;
  EXPECT_THROW(ArchiveListFolders(archive, "\\", folders), DamagedArchive);
}

}  // namespace
}  // namespace archive::testing
