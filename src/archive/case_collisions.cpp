#include "archive/case_collisions.h"

#include <algorithm>
#include <map>
#include <set>

#include "archive/archive.h"
#include "system/activity_log.h"
#include "system/legacy_text.h"

namespace archive {

namespace {

// The lower-case partner of a code point, where one of the common scripts
// has one; the code point itself otherwise.
char32_t Lower(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c < 0x80) return c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x178) {
    // Latin Extended-A pairs capital and small letters; the run after
    // U+0138 starts its pairs on odd code points.
    const bool shifted = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    return (c % 2 == (shifted ? 1u : 0u)) ? c + 1 : c;
  }
  if (c == 0x178) return 0xFF;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

// The stored name of an item.

// "dir\name (n).ext" for "dir\name.ext".
std::string NumberedName(const std::string& stored, int number) {
  const size_t slash = stored.rfind('\\');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = stored.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) dot = stored.size();
  return stored.substr(0, dot) + " (" + std::to_string(number) + ")" + stored.substr(dot);
}

}  // namespace

std::optional<CaseCollisions> ParseCaseCollisions(std::string_view word) {
  if (word == "error") return CaseCollisions::Error;
  if (word == "rename") return CaseCollisions::Rename;
  if (word == "keep-first") return CaseCollisions::KeepFirst;
  return std::nullopt;
}

std::string FoldCase(std::string_view name) {
  std::string folded;
  folded.reserve(name.size());
  for (size_t i = 0; i < name.size();) {
    const auto lead = static_cast<unsigned char>(name[i]);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    bool valid = length > 0 && i + length <= name.size();
    char32_t c = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
    for (size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(name[i + k]);
      valid = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    if (!valid) {
      // Not UTF-8 (legacy 8-bit text): the byte stays as it is.
      folded += name[i++];
      continue;
    }
    sys::AppendUtf8(folded, Lower(c));
    i += length;
  }
  return folded;
}

std::string ResolveCaseCollisions(std::vector<SourceItem>& files, CaseCollisions policy) {
  // Visit the names in byte order, so that the first of each collision is
  // the same whatever order the folder was listed in.
  std::vector<size_t> order(files.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&files](size_t a, size_t b) { return files[a].stored < files[b].stored; });
  std::map<std::string, std::string> firstByFolded;
  for (const SourceItem& item : files) firstByFolded.emplace(FoldCase(item.stored), std::string());
  std::map<std::string, std::string> seen;  // folded stored name -> the first stored name
  std::string message;
  std::set<size_t> dropped;
  for (size_t index : order) {
    SourceItem& item = files[index];
    const std::string stored = item.stored;
    const auto [first, inserted] = seen.emplace(FoldCase(stored), stored);
    if (inserted) continue;
    switch (policy) {
      case CaseCollisions::Error:
        message += "\n  " + first->second + "\n  " + stored;
        break;
      case CaseCollisions::KeepFirst:
        dropped.insert(index);
        sys::LogAction("Left out " + stored + ": its name differs from " + first->second + " only in letter case");
        break;
      case CaseCollisions::Rename: {
        std::string renamed;
        for (int number = 2; renamed.empty() || seen.contains(FoldCase(renamed)) ||
                             firstByFolded.contains(FoldCase(renamed));
             ++number) {
          renamed = NumberedName(stored, number);
        }
        seen.emplace(FoldCase(renamed), renamed);
        sys::LogAction("Stored " + stored + " as " + renamed + ": its name differs from " + first->second +
                       " only in letter case");
        item.stored = renamed;
        item.hadEquals = true;
        break;
      }
    }
  }
  if (!dropped.empty()) {
    std::vector<SourceItem> kept;
    for (size_t i = 0; i < files.size(); ++i) {
      if (!dropped.contains(i)) kept.push_back(files[i]);
    }
    files = std::move(kept);
  }
  if (message.empty()) return {};
  return "These names differ only in letter case, which Windows does not tell apart (choose what to do with "
         "--case-collisions=rename or --case-collisions=keep-first):" +
         message;
}

}  // namespace archive
