// What an install run changes, recorded before each change: in the uninstall
// log and the list of installed files, appended line by line as the run goes
// (so that a run killed at any point leaves a log that uninstalls exactly
// what was done), and in memory (so that a cancelled or failed run can put
// everything back as it was).
//
// Installing over an earlier installation of the same program (its log
// exists) is an upgrade: the earlier files in the same folder are replaced
// whatever their dates, its folders are carried over, and on success the
// files and shortcuts that this version no longer has are removed, leaving
// one log.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "system/apps_entry.h"
#include "system/associations.h"
#include "system/settings.h"
#include "system/uninstall_log.h"

namespace installer {

// An earlier installation, as its uninstall log tells it.
struct PreviousInstallation {
  std::string folder;   // its dir line
  std::string version;  // its version line ("" when it has none)
};

// The earlier installation whose log is at `logPath`; nullopt when there is
// no log with a dir line.
std::optional<PreviousInstallation> ReadPreviousInstallation(const std::string& logPath);

// -1, 0 or 1 as version `a` is older than, the same as or newer than `b`:
// dot-separated numbers compared one by one (missing ones are 0); parts
// that are not numbers compare as text.
int CompareVersions(const std::string& a, const std::string& b);

class InstallJournal : public archive::ExtractionWatcher {
 public:
  // `logPath` "" when there is nowhere to keep a log: the run is then
  // recorded in memory only.
  InstallJournal(std::string dataFolder, std::string logPath);

  // Creates the data folder and starts the log with the dir line for
  // `installFolder` (with its closing separator) and the version line.
  // Reads an earlier log of that name first (an upgrade). False, having
  // changed nothing, when the log cannot be written; failure() says why.
  // A per-user installation (`scope` User) says so in a scope line.
  bool Begin(const std::string& installFolder, const std::string& version,
             sys::InstallScope scope = sys::InstallScope::Machine);
  const std::string& failure() const { return failure_; }
  bool upgrade() const { return upgrade_; }

  // Records, then creates, `folder` and its missing parents. False when it
  // does not exist afterwards.
  bool MakeFolders(const std::string& folder);

  // Adds a line that records no change (who publishes the program), kept
  // at the head of the log.
  bool Note(const std::string& line) { return AppendLog(line); }

  // The extraction's announcements.
  void BeforeFolder(const std::string& folder) override;
  bool ReplaceAlways(const std::string& destination) override;
  bool BeforeWrite(const std::string& destination, bool replacing) override;
  bool Announce(const std::vector<std::string>& destinations) override;
  void AfterWrite(const std::string& destination, int64_t bytes) override;

  // Records a shortcut or an association before it is made.
  void BeforeShortcut(const std::string& name, const std::string& keyword, const std::string& subfolder);
  void BeforeAssociation(const std::string& program, const std::string& classKey, const std::string& icon);
  // Records the installed-programs entry `key` before it is written; a
  // rollback puts back the entry that was there (an upgrade's) or removes it.
  void BeforeAppsEntry(const std::string& key, sys::InstallScope scope);

  // The bytes of the files this run wrote, as written (a name written
  // twice counts once).
  int64_t InstalledBytes() const;

  // The run ended well: the backups go; the earlier version's files,
  // folders and shortcuts that this one no longer has are removed; the log
  // and the list are rewritten in their final form. False when they could
  // not be written (failure() says which).
  bool Commit();
  // The run was cancelled or failed: created files, folders and shortcuts
  // are removed, replaced files restored, associations set back where they
  // had a value, the log and list removed (an upgrade's earlier ones put
  // back) and the data folder removed when this run made it.
  void RollBack();

 private:
  std::string Relative(const std::string& destination) const;
  std::string Key(const std::string& relative) const;
  bool AppendLog(const std::string& line);
  bool AppendList(const std::string& relative);
  void ReadPrevious();
  void CloseFiles();
  // With `keepEarlier`, the line naming an upgrade's earlier log stays.
  bool SaveFinalLog(bool keepEarlier);
  void RemoveEarlierLog();

  const std::string dataFolder_;
  const std::string logPath_;
  const std::string listPath_;
  std::string installFolder_;
  std::string failure_;
  sys::LogAppender log_, list_;
  sys::StringList dataFoldersCreated_;  // the data folder and its parents that Begin made

  sys::StringList logLines_;                                   // as written, backup lines aside
  std::vector<std::string> folders_;                           // created by this run, parents first
  std::vector<std::string> createdFiles_;                      // full paths, new files
  std::vector<std::pair<std::string, std::string>> backups_;   // file, copy
  sys::StringList written_;                                    // relative names, in order
  std::unordered_set<std::string> writtenKeys_;
  std::unordered_map<std::string, int64_t> writtenBytes_;      // by destination
  std::vector<std::tuple<std::string, std::string, std::string>> shortcuts_;
  struct AssociationBefore {
    std::string program, classKey;
    std::optional<sys::FileAssociation> before;  // the class as it was
  };
  std::vector<AssociationBefore> associations_;
  struct AppsEntryBefore {
    std::string key;
    sys::InstallScope scope;
    std::optional<sys::AppsEntry> before;
  };
  std::vector<AppsEntryBefore> appsEntries_;

  // The earlier installation of an upgrade.
  bool upgrade_ = false;
  bool sameFolder_ = false;
  std::optional<std::string> previousLog_, previousList_;  // their bytes, for a rollback
  std::string previousFolder_;
  sys::StringList previousFolders_, previousFiles_, previousShortcutLines_, previousAppsLines_;
  std::set<std::string> previousKeys_;
};

}  // namespace installer
