// Names that differ only in letter case. Windows file systems see
// "index.html" and "Index.html" as one name: extracting both would leave
// one of the two files, silently. Archives are therefore checked when they
// are written, and the policy decides what happens to such names.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "system/settings.h"

namespace archive {

enum class CaseCollisions {
  Error,      // refuse to write the archive, naming both names (the default)
  Rename,     // store each later name as "name (2).ext", "name (3).ext", ...
  KeepFirst,  // store only the first of the names (in byte order)
};

// "error", "rename" or "keep-first"; nullopt for anything else.
std::optional<CaseCollisions> ParseCaseCollisions(std::string_view word);

// `name` with letter case folded the way Windows compares file names, for
// ASCII and the Latin, Greek and Cyrillic letters of UTF-8 text.
std::string FoldCase(std::string_view name);

// Applies `policy` to the file items of an archive ("source" or
// "source=stored", stored names relative and joined with "\"). The first of
// colliding names is the one that sorts first by its bytes. With Error the
// items stay as they are and the result is the message naming every
// colliding pair; with Rename and KeepFirst the items are changed, each
// change logged as an action, and the result is empty.
struct SourceItem;

std::string ResolveCaseCollisions(std::vector<SourceItem>& files, CaseCollisions policy);

}  // namespace archive
