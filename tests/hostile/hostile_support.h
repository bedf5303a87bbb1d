// Shared pieces of the hostile-input tests: archives assembled byte by byte,
// snapshots of folder trees (to show that nothing outside a target changed)
// and links planted in a tree.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_test_support.h"
#include "support/temp_dir.h"

namespace hostile {

namespace fs = std::filesystem;

// One stored entry of a hand-made archive: its name and its bytes as stored
// (flags byte and whatever follows).
struct StoredEntry {
  std::string name;
  std::string bytes;
  std::string letters = "a";  // its attribute letters in the directory
};

// A raw entry: flags 0x80 (archive), the length and the content.
std::string RawEntry(const std::string& content);
// A compressed entry: flags 0x81, the length and the container bytes.
std::string CompressedEntry(const std::string& container);

// The bytes of an archive holding `entries` (contiguous from offset 0) and
// the folders `folders` (letters "d"), with every date 2020-05-17 and a
// checksum of 0 in the trailer.
std::string ArchiveBytes(const std::vector<StoredEntry>& entries, const std::vector<std::string>& folders = {});

// Writes `bytes` to `name` in `dir` and stores a matching checksum, so that
// only names or layout can be at fault. Returns the path.
std::string WriteArchive(const testsupport::TempDir& dir, const std::string& name, const std::string& bytes);

// Every entry below `root` (relative path with "/") with its content, "<dir>"
// for a folder or "<link>" + target for a symbolic link (never followed).
using TreeSnapshot = std::map<std::string, std::string>;
TreeSnapshot Snapshot(const fs::path& root);
// The snapshot without the entries at or below `relative`.
TreeSnapshot Without(TreeSnapshot snapshot, const std::string& relative);

// Plants a link at `link` to the folder (or file) `target`: a symbolic link
// on POSIX; on Windows a symbolic link, or for a folder a junction when
// symbolic links are refused. nullopt on success, else why it could not be
// made (the caller skips its test with that text).
std::optional<std::string> PlantFolderLink(const fs::path& target, const fs::path& link);
std::optional<std::string> PlantFileLink(const fs::path& target, const fs::path& link);

// True when the running platform writes "\" between path levels (Windows).
bool OnWindows();

}  // namespace hostile
