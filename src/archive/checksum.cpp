#include "archive/checksum.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "archive/archive_index.h"
#include "archive/archive_layout.h"
#include "archive/names.h"
#include "archive/pe_image.h"
#include "compression/block_pool.h"
#include "compression/stream.h"
#include "system/byte_order.h"
#include "system/platform.h"

namespace archive {

using compression::FileStream;
using compression::SeekOrigin;

namespace {

constexpr size_t kReadChunk = 1 << 18;  // bytes per read, a multiple of 4 that stays in cache
constexpr int kProgressStops = 5;       // 0, 20, 40, 60, 80 percent
// The fewest words worth a worker of their own.
constexpr int64_t kWordsPerPart = 1 << 20;

uint32_t Reduce(uint64_t value) { return static_cast<uint32_t>(value % layout::kChecksumModulus); }

uint32_t SumWordsPortable(const uint8_t* data, size_t wordCount) {
  uint64_t sum = 0;
  for (size_t i = 0; i < wordCount; ++i, data += 4) {
    sum += sys::LoadU32(data);
  }
  return Reduce(sum);
}

// Reads the words [first, last) of the file and folds them into `sum`.
void SumWordRange(FileStream& file, int64_t first, int64_t last, std::vector<uint8_t>& buffer, uint32_t& sum) {
  file.Seek(first * 4, SeekOrigin::Beginning);
  int64_t remaining = (last - first) * 4;
  while (remaining > 0) {
    const int64_t chunk = std::min<int64_t>(remaining, static_cast<int64_t>(buffer.size()));
    file.ReadExact(buffer.data(), chunk);
    sum = AddChecksums(sum, SumWords(buffer.data(), static_cast<size_t>(chunk / 4)));
    remaining -= chunk;
  }
}

// Reads the words [first, last) of the file at `path` and folds them into
// `sum`, in parts side by side on the pool's workers (the sum does not
// depend on the order of its words), each through a handle of its own.
void SumWordRangeInParts(const std::string& path, int64_t first, int64_t last, uint32_t& sum) {
  const int64_t parts = std::clamp<int64_t>((last - first) / kWordsPerPart, 1, compression::WorkerCount());
  std::vector<uint32_t> sums(static_cast<size_t>(parts), 0);
  compression::RunBlockTasks(sums.size(), [&](size_t part) {
    const int64_t from = first + (last - first) * static_cast<int64_t>(part) / parts;
    const int64_t to = first + (last - first) * static_cast<int64_t>(part + 1) / parts;
    FileStream file(path, FileStream::Mode::Read);
    std::vector<uint8_t> buffer(kReadChunk);
    SumWordRange(file, from, to, buffer, sums[part]);
  });
  for (uint32_t partSum : sums) sum = AddChecksums(sum, partSum);
}

// The checksum pass over the first `size` bytes of the file at `path`: the
// hook is asked at every fifth of the words. Not completed when the hook
// cancels or there are no words.
ChecksumPass RunPass(const std::string& path, int64_t size, const char* activity, ProgressHook hook,
                     void* context) {
  const Progress progress{hook, context};
  const int64_t wordCount = size / 4;
  const int64_t covered = wordCount - layout::kChecksumUncoveredWords;
  if (covered <= 0) return {};
  const int64_t step = wordCount / kProgressStops;
  uint32_t sum = 0;
  for (int64_t stop = 0; stop < kProgressStops && stop * step < covered; ++stop) {
    if (!progress.Report(activity, static_cast<int>(stop * 100 / kProgressStops))) return {};
    SumWordRangeInParts(path, stop * step, std::min((stop + 1) * step, covered), sum);
  }
  return {true, sum};
}

uint32_t Subtract(uint32_t sum, uint64_t amount) {
  return AddChecksums(sum, static_cast<uint32_t>(layout::kChecksumModulus - amount % layout::kChecksumModulus) %
                               static_cast<uint32_t>(layout::kChecksumModulus));
}

// What `length` bytes at `field` add to the sum of an archive of `size`
// bytes (bytes outside the summed words add nothing).
uint64_t FieldContribution(const uint8_t* bytes, int64_t field, int64_t length, int64_t size) {
  const int64_t covered = (size / 4 - layout::kChecksumUncoveredWords) * 4;
  uint64_t amount = 0;
  for (int64_t i = 0; i < length; ++i) {
    if (field + i < covered) amount += uint64_t{bytes[i]} << (8 * ((field + i) % 4));
  }
  return amount;
}

std::vector<uint8_t> ReadField(FileStream& file, int64_t field, int64_t length) {
  std::vector<uint8_t> bytes(static_cast<size_t>(length));
  file.Seek(field, SeekOrigin::Beginning);
  file.ReadExact(bytes.data(), length);
  return bytes;
}

// Signing an installer rewrites two header fields of its stub after the
// package was summed: the certificate entry (zero before) and CheckSum.
// True when the sum, with the entry counted as zero and CheckSum as the
// value it had when built (as found, none, or the stub's own image
// checksum), gives the stored checksum.
bool MatchesBeforeSigning(FileStream& file, const ArchiveExtent& extent, uint32_t sum, uint32_t stored) {
  const pe::ImageHeaders& headers = *extent.image;
  const int64_t size = extent.end;
  const std::vector<uint8_t> checkSum = ReadField(file, headers.checkSumField, pe::kCheckSumSize);
  sum = Subtract(sum, FieldContribution(checkSum.data(), headers.checkSumField, pe::kCheckSumSize, size));
  if (headers.certificateEntry >= 0) {
    const std::vector<uint8_t> entry = ReadField(file, headers.certificateEntry, pe::kDirectoryEntrySize);
    sum = Subtract(sum, FieldContribution(entry.data(), headers.certificateEntry, pe::kDirectoryEntrySize, size));
  }
  std::vector<uint32_t> candidates{0, sys::LoadU32(checkSum.data())};
  try {
    // The stub is the entry "*" at offset 0.
    const ArchiveIndex index = ReadArchiveIndex(file, "");
    if (!index.names.empty() && index.names.front() == layout::kStubName) {
      candidates.push_back(pe::UnsignedImageChecksum(file, index.StoredLength(0), headers));
    }
  } catch (const std::exception&) {
    // Without a readable index there is no stub to take the value from.
  }
  for (uint32_t value : candidates) {
    uint8_t bytes[4];
    sys::StoreU32(bytes, value);
    const uint64_t amount = FieldContribution(bytes, headers.checkSumField, pe::kCheckSumSize, size);
    if (AddChecksums(sum, static_cast<uint32_t>(amount % layout::kChecksumModulus)) == stored) return true;
  }
  return false;
}

// An install verifies its package once for the page folder and again for
// the program's files; a file whose identity is unchanged since it passed
// is not summed again in the same process. Only a file whose last change is
// well before its pass began is remembered (sys::platform::SettledBefore).

class VerifiedFiles {
 public:
  bool Contains(const sys::platform::FileIdentity& identity) {
    std::lock_guard lock(mutex_);
    return std::find(files_.begin(), files_.end(), identity) != files_.end();
  }
  void Add(const sys::platform::FileIdentity& identity) {
    std::lock_guard lock(mutex_);
    if (std::find(files_.begin(), files_.end(), identity) == files_.end()) files_.push_back(identity);
  }

 private:
  std::mutex mutex_;
  std::vector<sys::platform::FileIdentity> files_;
};

VerifiedFiles& Verified() {
  static VerifiedFiles files;
  return files;
}

// The progress of a pass over a file already verified: the same stops, so
// that the caller can still cancel.
bool ReportRememberedPass(ProgressHook hook, void* context) {
  const Progress progress{hook, context};
  for (int stop = 0; stop < kProgressStops; ++stop) {
    if (!progress.Report(kVerifyingDataIntegrity, stop * 100 / kProgressStops)) return false;
  }
  progress.Report(kVerifyingDataIntegrity, 100);
  return true;
}

}  // namespace

uint32_t SumWords(const uint8_t* data, size_t wordCount) {
  if constexpr (std::endian::native != std::endian::little) return SumWordsPortable(data, wordCount);
  // Eight bytes at a time: two words per load, split into their halves, four
  // independent accumulators so that the loop pipelines (and vectorises).
  uint64_t acc[4] = {0, 0, 0, 0};
  const size_t pairs = wordCount / 2;
  size_t i = 0;
  for (; i + 2 <= pairs; i += 2) {
    uint64_t a, b;
    std::memcpy(&a, data + i * 8, 8);
    std::memcpy(&b, data + i * 8 + 8, 8);
    acc[0] += a & 0xFFFFFFFFu;
    acc[1] += a >> 32;
    acc[2] += b & 0xFFFFFFFFu;
    acc[3] += b >> 32;
  }
  for (; i < pairs; ++i) {
    uint64_t a;
    std::memcpy(&a, data + i * 8, 8);
    acc[0] += a & 0xFFFFFFFFu;
    acc[1] += a >> 32;
  }
  uint64_t total = acc[0] + acc[1] + acc[2] + acc[3];
  if (wordCount % 2) total += SumWordsPortable(data + pairs * 8, 1);
  return Reduce(total);
}

uint32_t AddChecksums(uint32_t a, uint32_t b) { return Reduce(uint64_t{a} + b); }

ChecksumPass ArchiveWriteChecksum(const std::string& archivePath, ProgressHook hook, void* context) {
  if (!sys::platform::RegularFileSize(sys::platform::NativePath(archivePath))) return {};
  FileStream file(sys::platform::NativePath(archivePath), FileStream::Mode::ReadWrite);
  const int64_t size = FindArchiveExtent(file).end;
  const ChecksumPass pass = RunPass(sys::platform::NativePath(archivePath), size, kCreatingVerificationData, hook, context);
  if (!pass.completed) return {};
  uint8_t field[8];
  sys::StoreI64(field, pass.sum);
  file.Seek(size - layout::kChecksumFromEnd, SeekOrigin::Beginning);
  file.WriteExact(field, sizeof field);
  file.Flush();
  Progress{hook, context}.Report(kCreatingVerificationData, 100);
  return pass;
}

bool ArchiveVerify(const std::string& archivePath, ProgressHook hook, void* context) {
  const std::string path = sys::platform::NativePath(archivePath);
  if (!sys::platform::RegularFileSize(path)) return false;
  const std::optional<sys::platform::FileIdentity> before = sys::platform::RegularFileIdentity(path);
  if (before && Verified().Contains(*before)) return ReportRememberedPass(hook, context);
  const int64_t started = sys::platform::NowNs();
  FileStream file(path, FileStream::Mode::Read);
  const ArchiveExtent extent = FindArchiveExtent(file);
  const ChecksumPass pass = RunPass(path, extent.end, kVerifyingDataIntegrity, hook, context);
  if (!pass.completed) return false;
  uint8_t field[8];
  file.Seek(extent.end - layout::kChecksumFromEnd, SeekOrigin::Beginning);
  file.ReadExact(field, sizeof field);
  const int64_t stored = sys::LoadI64(field);
  bool matches = stored == static_cast<int64_t>(pass.sum);
  if (!matches && extent.image && stored >= 0 && stored < static_cast<int64_t>(layout::kChecksumModulus)) {
    matches = MatchesBeforeSigning(file, extent, pass.sum, static_cast<uint32_t>(stored));
  }
  if (matches && before && sys::platform::SettledBefore(*before, started) &&
      sys::platform::RegularFileIdentity(path) == before) {
    Verified().Add(*before);
  }
  Progress{hook, context}.Report(kVerifyingDataIntegrity, 100);
  return matches;
}

}  // namespace archive
