#include "installer/install_journal.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "system/activity_log.h"
#include "system/files.h"
#include "system/paths.h"
#include "system/platform.h"
#include "system/shortcuts.h"
#include "system/text.h"

namespace installer {

namespace {

constexpr const char* kVersionKind = "version";
constexpr int64_t kCopyChunk = 1 << 20;

bool IsFolderLine(const sys::RecordFields& fields) { return fields[0] == "folder"; }

// Paths compare without letter case where the file system does.
bool SamePath(std::string_view a, std::string_view b) {
  return sys::PathSeparator() == '\\' ? sys::SameTextAscii(a, b) : a == b;
}

// A name beside `file` at which nothing exists, for a copy of it.
std::string BackupPathFor(const std::string& file) {
  const std::string folder = sys::ExtractFilePath(file);
  for (int n = 0;; ++n) {
    const std::string candidate = folder + "~bvbak" + std::to_string(n) + ".tmp";
    if (!sys::platform::GetAttributes(candidate)) return candidate;
  }
}

// Copies `from` to the new file `to` with its date and attributes; false
// (and no copy left) when that fails.
bool CopyFileWhole(const std::string& from, const std::string& to, std::string& reason) {
  sys::platform::FileHandle source, target;
  if (!source.Open(from, sys::platform::OpenMode::Read, reason)) return false;
  if (!target.Open(to, sys::platform::OpenMode::CreateNew, reason)) return false;
  const int64_t size = source.Size().value_or(0);
  int64_t done = target.CopyFrom(source, 0, 0, size);
  if (done < 0) {
    done = 0;
    std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(size, 1), kCopyChunk)));
    while (done < size) {
      const int64_t got = source.ReadAt(done, buffer.data(), static_cast<int64_t>(buffer.size()));
      if (got <= 0 || target.WriteAt(done, buffer.data(), got) != got) break;
      done += got;
    }
  }
  bool ok = done == size;
  if (const auto time = sys::platform::GetModifiedTime(from); ok && time) target.SetModifiedTime(*time);
  ok = target.Close() && ok;
  if (!ok) {
    if (reason.empty()) reason = "the copy could not be written";
    sys::platform::RemoveFile(to);
    return false;
  }
  sys::ApplyAttributeLetters(to, sys::AttributeLetters(from));
  return true;
}

// Deletes a file this run (or the earlier installation) wrote, read-only or not.
void RemoveWrittenFile(const std::string& path) {
  const auto attributes = sys::platform::GetAttributes(path);
  if (attributes && (*attributes & sys::platform::kAttrDirectory) && !(*attributes & sys::platform::kAttrLink)) return;
  if (attributes && !(*attributes & sys::platform::kAttrLink)) sys::ApplyAttributeLetters(path, "a");
  sys::RemoveFile(path);
}

std::string ShortcutKey(const std::string& name, const std::string& keyword, const std::string& subfolder) {
  return sys::ShortcutLogLine(name, keyword, subfolder);
}

}  // namespace

std::optional<PreviousInstallation> ReadPreviousInstallation(const std::string& logPath) {
  if (logPath.empty() || !sys::FileExists(logPath)) return std::nullopt;
  std::optional<PreviousInstallation> previous;
  std::string version;
  for (const std::string& line : sys::LoadUninstallLog(logPath)) {
    sys::RecordFields fields;
    sys::SplitRecord(line, fields, 0, nullptr);
    if (fields[0] == "dir" && !previous) previous = PreviousInstallation{fields[1], ""};
    if (fields[0] == kVersionKind) version = fields[1];
  }
  if (previous) previous->version = version;
  return previous;
}

int CompareVersions(const std::string& a, const std::string& b) {
  sys::StringList left, right;
  sys::SplitDelimited(a, ".", left);
  sys::SplitDelimited(b, ".", right);
  for (size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
    const std::string x = i < left.size() ? left[i] : "0", y = i < right.size() ? right[i] : "0";
    char *endX = nullptr, *endY = nullptr;
    const long long nx = std::strtoll(x.c_str(), &endX, 10), ny = std::strtoll(y.c_str(), &endY, 10);
    const bool numbers = !x.empty() && !y.empty() && *endX == '\0' && *endY == '\0';
    if (numbers ? nx != ny : x != y) return (numbers ? nx < ny : x < y) ? -1 : 1;
  }
  return 0;
}

InstallJournal::InstallJournal(std::string dataFolder, std::string logPath)
    : dataFolder_(std::move(dataFolder)),
      logPath_(std::move(logPath)),
      listPath_(logPath_.empty() ? std::string() : sys::InstalledFilesListPath(logPath_)) {}

std::string InstallJournal::Relative(const std::string& destination) const {
  const std::string native = sys::ToNativeSeparators(destination);
  const std::string_view path = native;
  const bool inside = path.size() > installFolder_.size() && SamePath(path.substr(0, installFolder_.size()), installFolder_);
  return sys::ToBackslashes(inside ? path.substr(installFolder_.size()) : path);
}

std::string InstallJournal::Key(const std::string& relative) const {
  std::string path = sys::ToBackslashes(relative);
  return sys::PathSeparator() == '\\' ? sys::LowerAscii(path) : path;
}

bool InstallJournal::AppendLog(const std::string& line) {
  logLines_.push_back(line);
  if (logPath_.empty() || log_.Append(line)) return true;
  failure_ = "The uninstall log " + logPath_ + " could not be written.";
  return false;
}

bool InstallJournal::AppendList(const std::string& relative) {
  if (!writtenKeys_.insert(Key(relative)).second) return true;
  written_.push_back(relative);
  if (listPath_.empty() || list_.Append(relative)) return true;
  failure_ = "The list of installed files " + listPath_ + " could not be written.";
  return false;
}

void InstallJournal::ReadPrevious() {
  const auto previous = ReadPreviousInstallation(logPath_);
  if (!previous) return;
  upgrade_ = true;
  previousFolder_ = sys::IncludeTrailingSeparator(sys::ToNativeSeparators(previous->folder));
  sameFolder_ = SamePath(previousFolder_, installFolder_);
  previousLog_ = sys::platform::ReadWholeFile(sys::ToNativeSeparators(logPath_));
  previousList_ = sys::platform::ReadWholeFile(sys::ToNativeSeparators(listPath_));
  for (const std::string& line : sys::LoadUninstallLog(logPath_)) {
    sys::RecordFields fields;
    sys::SplitRecord(line, fields, 0, nullptr);
    if (IsFolderLine(fields)) previousFolders_.push_back(fields[1]);
    if (fields[0] == "shortcut") previousShortcutLines_.push_back(line);
    if (fields[0] == "apps") previousAppsLines_.push_back(line);
  }
  if (previousList_) {
    for (const std::string& name : sys::LoadUninstallLog(listPath_)) {
      // Lists written before folders were logged end with the package's folders.
      if (name.empty() || name.back() == '\\' || !sys::IsContainedName(name)) continue;
      previousFiles_.push_back(name);
      previousKeys_.insert(Key(name));
    }
  }
  sys::LogAction("Upgrading the installation in " + previousFolder_ + (previous->version.empty() ? "" : " (version " + previous->version + ")"));
}

bool InstallJournal::Begin(const std::string& installFolder, const std::string& version, sys::InstallScope scope) {
  installFolder_ = sys::IncludeTrailingSeparator(sys::ToNativeSeparators(installFolder));
  if (logPath_.empty()) return true;
  ReadPrevious();
  for (std::string path = sys::ExcludeTrailingSeparator(dataFolder_); !path.empty() && !sys::platform::GetAttributes(path);) {
    dataFoldersCreated_.push_back(path);
    const std::string parent = sys::ExcludeTrailingSeparator(sys::ExtractFilePath(path));
    if (parent == path) break;
    path = parent;
  }
  sys::CreateFolders(dataFolder_);
  if (!log_.Create(logPath_) || !list_.Create(listPath_)) {
    CloseFiles();
    failure_ = "The uninstall log " + logPath_ + " could not be written.";
    if (previousLog_) sys::platform::WriteWholeFile(sys::ToNativeSeparators(logPath_), *previousLog_);
    if (previousList_) sys::platform::WriteWholeFile(sys::ToNativeSeparators(listPath_), *previousList_);
    sys::RemoveEmptyFolders(dataFoldersCreated_);
    return false;
  }
  bool ok = AppendLog(sys::DirLogLine(installFolder_));
  if (!version.empty()) ok = AppendLog(std::string(kVersionKind) + "|" + version) && ok;
  if (scope == sys::InstallScope::User) ok = AppendLog(sys::ScopeLogLine(scope)) && ok;
  if (upgrade_ && !sameFolder_) {
    // Until this run ends, the earlier installation keeps its own log and
    // list beside this one, named here: a run killed half way then still
    // uninstalls both folders.
    const std::string earlier = sys::ToNativeSeparators(sys::EarlierLogPath(logPath_));
    const bool kept = previousLog_ && sys::platform::WriteWholeFile(earlier, *previousLog_) &&
                      sys::platform::WriteWholeFile(sys::InstalledFilesListPath(earlier), previousList_.value_or(""));
    ok = kept && AppendLog(sys::EarlierLogLine(earlier)) && ok;
  }
  if (sameFolder_) {
    // Until this run ends, the log covers the earlier installation too: a
    // run killed half way is then still uninstalled whole.
    for (const std::string& folder : previousFolders_) ok = AppendLog(sys::FolderLogLine(folder)) && ok;
    for (const std::string& line : previousShortcutLines_) ok = AppendLog(line) && ok;
    for (const std::string& line : previousAppsLines_) ok = AppendLog(line) && ok;
    for (const std::string& name : previousFiles_) ok = AppendList(name) && ok;
    written_.clear();
    writtenKeys_.clear();
  }
  return ok;
}

bool InstallJournal::MakeFolders(const std::string& folder) {
  BeforeFolder(folder);
  return sys::CreateFolders(folder);
}

void InstallJournal::BeforeFolder(const std::string& folder) {
  std::vector<std::string> missing;
  std::string path = sys::ExcludeTrailingSeparator(sys::ToNativeSeparators(folder));
  while (!path.empty() && !sys::platform::GetAttributes(path)) {
    missing.push_back(sys::IncludeTrailingSeparator(path));
    const std::string parent = sys::ExcludeTrailingSeparator(sys::ExtractFilePath(path));
    if (parent == path) break;
    path = parent;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (std::find(folders_.begin(), folders_.end(), *it) != folders_.end()) continue;
    folders_.push_back(*it);
    AppendLog(sys::FolderLogLine(*it));
  }
}

// The names go to the list ahead of their files, all in one write; a run
// killed before it wrote some of them leaves names that the uninstaller
// finds missing and passes over. They become created files (for a
// rollback) only in BeforeWrite, when they are about to be written.
bool InstallJournal::Announce(const std::vector<std::string>& destinations) {
  sys::StringList lines;
  for (const std::string& destination : destinations) {
    const std::string relative = Relative(destination);
    if (!writtenKeys_.insert(Key(relative)).second) continue;
    written_.push_back(relative);
    lines.push_back(relative);
  }
  if (lines.empty() || listPath_.empty() || list_.AppendLines(lines)) return true;
  failure_ = "The list of installed files " + listPath_ + " could not be written.";
  archive::Module().lastError = failure_;
  return false;
}

bool InstallJournal::ReplaceAlways(const std::string& destination) {
  return sameFolder_ && previousKeys_.count(Key(Relative(destination))) > 0;
}

bool InstallJournal::BeforeWrite(const std::string& destination, bool replacing) {
  if (replacing) {
    const std::string copy = BackupPathFor(destination);
    std::string reason;
    if (!CopyFileWhole(destination, copy, reason)) {
      failure_ = "The file " + destination + " could not be kept aside before it was replaced: " + reason;
      archive::Module().lastError = failure_;
      return false;
    }
    backups_.emplace_back(destination, copy);
    if (!logPath_.empty() && !log_.Append(sys::BackupLogLine(destination, copy))) {
      failure_ = "The uninstall log " + logPath_ + " could not be written.";
      archive::Module().lastError = failure_;
      return false;
    }
  } else {
    createdFiles_.push_back(destination);
  }
  if (!AppendList(Relative(destination))) {
    archive::Module().lastError = failure_;
    return false;
  }
  return true;
}

void InstallJournal::BeforeShortcut(const std::string& name, const std::string& keyword,
                                    const std::string& subfolder) {
  shortcuts_.emplace_back(name, keyword, subfolder);
  AppendLog(sys::ShortcutLogLine(name, keyword, subfolder));
}

void InstallJournal::BeforeAssociation(const std::string& program, const std::string& classKey,
                                       const std::string& icon) {
  associations_.push_back({program, classKey, sys::GetFileAssociation(classKey)});
  AppendLog(sys::AssocLogLine(program, classKey, icon));
}

void InstallJournal::BeforeAppsEntry(const std::string& key, sys::InstallScope scope) {
  appsEntries_.push_back({key, scope, sys::platform::ReadAppsEntry(scope, key)});
  AppendLog(sys::AppsLogLine(key, scope));
}

void InstallJournal::AfterWrite(const std::string& destination, int64_t bytes) { writtenBytes_[destination] = bytes; }

// Summed from what the extraction reported: asking the file system for each
// file's size again costs a call per file.
int64_t InstallJournal::InstalledBytes() const {
  int64_t total = 0;
  for (const auto& [destination, bytes] : writtenBytes_) total += bytes;
  return total;
}

void InstallJournal::CloseFiles() {
  log_.Close();
  list_.Close();
}

bool InstallJournal::Commit() {
  CloseFiles();
  // The final log first: should it fail, nothing is lost yet and the run
  // can still be undone.
  if (!logPath_.empty() && !SaveFinalLog(true)) {
    failure_ = "The uninstall log " + logPath_ + " could not be written.";
    return false;
  }
  for (const auto& [file, copy] : backups_) RemoveWrittenFile(copy);
  if (!upgrade_) return true;
  // What the earlier version had and this one has not.
  for (const std::string& name : previousFiles_) {
    if (sameFolder_ && writtenKeys_.count(Key(name))) continue;
    const std::string path = previousFolder_ + sys::ToNativeSeparators(name);
    RemoveWrittenFile(path);
    sys::LogAction("Removed " + path + ", which this version no longer has");
  }
  // Its folders go when that left them empty (not the installation folder).
  sys::StringList emptied;
  for (const std::string& folder : previousFolders_) {
    const std::string native = sys::IncludeTrailingSeparator(sys::ToNativeSeparators(folder));
    const bool below = native.size() > installFolder_.size() && SamePath(native.substr(0, installFolder_.size()), installFolder_);
    if (!sameFolder_ || below) emptied.push_back(native);
  }
  sys::RemoveEmptyFolders(emptied);
  std::set<std::string> kept;
  for (const auto& [name, keyword, subfolder] : shortcuts_) kept.insert(ShortcutKey(name, keyword, subfolder));
  for (const std::string& line : previousShortcutLines_) {
    if (kept.count(line)) continue;
    sys::RecordFields fields;
    sys::SplitRecord(line, fields, 0, nullptr);
    sys::DeleteShortcut(fields[1], fields[2], fields[3]);
  }
  // Once more without the folders that went and without the earlier log,
  // whose installation is gone now: should this fail, the log saved above
  // names them too, which an uninstall passes over.
  if (!logPath_.empty() && SaveFinalLog(false)) RemoveEarlierLog();
  return true;
}

void InstallJournal::RemoveEarlierLog() {
  if (!upgrade_ || sameFolder_) return;
  const std::string earlier = sys::ToNativeSeparators(sys::EarlierLogPath(logPath_));
  sys::RemoveFile(sys::InstalledFilesListPath(earlier));
  sys::RemoveFile(earlier);
}

bool InstallJournal::SaveFinalLog(bool keepEarlier) {
  // dir and version, the folders (the earlier installation's that remain,
  // then this run's), shortcuts and associations in the order they were
  // made, without the earlier log's lines carried at the start.
  auto isBody = [](const std::string& line) {
    return line.starts_with("folder|") || line.starts_with("shortcut|") || line.starts_with("assoc|") ||
           line.starts_with("apps|");
  };
  sys::StringList lines;
  size_t i = 0;
  for (; i < logLines_.size() && !isBody(logLines_[i]); ++i) {
    if (keepEarlier || !logLines_[i].starts_with("earlier|")) lines.push_back(logLines_[i]);
  }
  for (const std::string& folder : previousFolders_) {
    if (sys::FolderExists(folder)) lines.push_back(sys::FolderLogLine(folder));
  }
  for (const std::string& folder : folders_) lines.push_back(sys::FolderLogLine(folder));
  // The earlier log's shortcut and entry lines carried at the start: this
  // run's own lines for the same things come later and stay.
  std::multiset<std::string> carried;
  if (sameFolder_) {
    carried.insert(previousShortcutLines_.begin(), previousShortcutLines_.end());
    carried.insert(previousAppsLines_.begin(), previousAppsLines_.end());
  }
  for (; i < logLines_.size(); ++i) {
    const std::string& line = logLines_[i];
    if (line.starts_with("folder|")) continue;
    if (const auto it = carried.find(line); it != carried.end()) {
      carried.erase(it);
      continue;
    }
    lines.push_back(line);
  }
  return sys::SaveUninstallLog(logPath_, lines) && sys::SaveUninstallLog(listPath_, written_);
}

void InstallJournal::RollBack() {
  CloseFiles();
  for (auto it = createdFiles_.rbegin(); it != createdFiles_.rend(); ++it) RemoveWrittenFile(*it);
  for (auto it = backups_.rbegin(); it != backups_.rend(); ++it) {
    if (!sys::RenameFile(it->second, it->first, true)) {
      sys::LogAction("Could not put back " + it->first + " from " + it->second);
    }
  }
  std::set<std::string> previous(previousShortcutLines_.begin(), previousShortcutLines_.end());
  for (const auto& [name, keyword, subfolder] : shortcuts_) {
    if (!previous.count(ShortcutKey(name, keyword, subfolder))) sys::DeleteShortcut(name, keyword, subfolder);
  }
  for (const auto& [program, classKey, before] : associations_) {
    try {
      sys::platform::RestoreFileClass(program, classKey, before);
    } catch (const std::exception&) {
      sys::LogAction("Could not set back the association of " + classKey);
    }
  }
  for (const auto& [key, scope, before] : appsEntries_) {
    const bool restored = before ? sys::platform::WriteAppsEntry(scope, key, *before)
                                 : sys::platform::RemoveAppsEntry(scope, key);
    if (!restored) sys::LogAction("Could not set back the installed-programs entry " + key);
  }
  sys::RemoveEmptyFolders(folders_);
  if (!logPath_.empty()) {
    const std::string log = sys::ToNativeSeparators(logPath_), list = sys::ToNativeSeparators(listPath_);
    if (previousLog_) {
      sys::platform::WriteWholeFile(log, *previousLog_);
    } else {
      sys::RemoveFile(log);
    }
    if (previousList_) {
      sys::platform::WriteWholeFile(list, *previousList_);
    } else {
      sys::RemoveFile(list);
    }
    RemoveEarlierLog();
    sys::RemoveEmptyFolders(dataFoldersCreated_);
  }
  sys::LogAction("Everything the installation did was undone.");
}

}  // namespace installer
