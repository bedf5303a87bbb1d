#include "archive/content_hashes.h"

#include "archive/archive.h"
#include "archive/archive_layout.h"

namespace archive {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<sys::Sha256Digest> ParseDigest(std::string_view hex) {
  sys::Sha256Digest digest;
  if (hex.size() != 2 * digest.size()) return std::nullopt;
  for (size_t i = 0; i < digest.size(); ++i) {
    const int high = HexValue(hex[2 * i]), low = HexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return digest;
}

}  // namespace

std::string ContentHashesText(const std::vector<std::optional<sys::Sha256Digest>>& digests) {
  std::string text(kContentHashesHeader);
  text += '\n';
  for (const auto& digest : digests) text += (digest ? sys::HexOf(*digest) : "-") + '\n';
  return text;
}

ContentHashes ContentHashes::Read(compression::Stream& archive, const ArchiveIndex& index,
                                  const std::string& archivePath) {
  ContentHashes hashes;
  size_t k = 0;
  while (k < index.EntryCount() && index.names[k] != kContentHashesName) ++k;
  if (k == index.EntryCount()) return hashes;
  // Longer than a list of k digests stored as it stands can be: not ours,
  // and not read into memory.
  const int64_t mostStored = layout::kRawEntryOverhead + static_cast<int64_t>(kContentHashesHeader.size() + 1) +
                             65 * static_cast<int64_t>(k);
  if (index.StoredLength(k) > mostStored) return hashes;
  compression::MemoryStream content;
  DecodeEntry(archive, index, k, content, archivePath);
  const std::string text = content.ToString();
  const std::string header = std::string(kContentHashesHeader) + '\n';
  if (text.compare(0, header.size(), header) != 0) return hashes;
  const auto damaged = [&] {
    return DamagedArchive(archivePath, "Its list of SHA-256 digests does not match its entries.");
  };
  size_t at = header.size();
  for (size_t line = 0; line < k; ++line) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) throw damaged();
    const std::string_view hex = std::string_view(text).substr(at, end - at);
    if (hex == "-") {
      hashes.digests_.emplace_back();
    } else if (auto digest = ParseDigest(hex)) {
      hashes.digests_.push_back(digest);
    } else {
      throw damaged();
    }
    at = end + 1;
  }
  if (at != text.size()) throw damaged();
  hashes.entry_ = k;
  return hashes;
}

void ContentHashes::Check(size_t k, const sys::Sha256Digest& actual, const ArchiveIndex& index,
                         const std::string& archivePath) const {
  const sys::Sha256Digest* expected = For(k);
  if (expected && *expected != actual) {
    throw DamagedArchive(archivePath, "The content of " + index.names[k] + " does not match its SHA-256.");
  }
}

}  // namespace archive
