// VelInstaller: uninstall mode. Finds the uninstall log, asks on the
// Uninstall panel, and replays the log.
#include "installer/vel_installer.h"
#include "system/activity_log.h"
#include "system/files.h"
#include "system/paths.h"
#include "system/platform.h"
#include "system/text.h"
#include "system/uninstall_log.h"

namespace installer {

std::string NotInstalledMessage(const std::string& name, const std::string& logPath) {
  return name + " is not installed: its uninstall log " + logPath + " does not exist.";
}

std::string SkippedLinksText(const sys::StringList& links) {
  if (links.empty()) return {};
  return std::to_string(links.size()) + (links.size() == 1 ? " folder" : " folders") +
         " of the installation had turned into a link; nothing was removed through " +
         (links.size() == 1 ? "it: " : "them: ") + sys::JoinWith(links, ", ") + ".";
}

std::string UndeletedFilesText(const sys::StringList& files) {
  if (files.empty()) return {};
  return std::to_string(files.size()) + (files.size() == 1 ? " installed file" : " installed files") +
         " could not be removed (in use by another program?): " + sys::JoinWith(files, ", ") + ".";
}

bool VelInstaller::PrepareUninstall(const std::string& logName) {
  const std::shared_ptr<VelInstaller> keepAlive = weak_from_this().lock();
  run_.archivePath = sys::UninstallLogPathFromArgument(logName);
  const std::string name = sys::ProgramNameFromLogPath(run_.archivePath);
  SetSettingValue("ProgramName", name);
  run_.mode = "uninstall";
  outcome_->notInstalled = !sys::FileExists(run_.archivePath);
  if (outcome_->notInstalled) {
    // Uninstalled already (or never installed): say so rather than ask.
    const std::string text = NotInstalledMessage(name, run_.archivePath);
    sys::LogAction(text + " Nothing was removed.");
    NoteFailure(sys::FailureKind::NotInstalled, run_.archivePath, text);
    toolkit_.MessageBox("", text, ui::Buttons::Ok, ui::Icon::Error);
    CloseWindow();
    return true;
  }
  mainWindow_.Get("LUninstallProgramName").SetText(name);
  // The publisher's own words where the installation recorded them.
  if (const auto publisher = sys::ReadLogPublisher(run_.archivePath)) {
    if (!publisher->publisher.empty()) mainWindow_.Get("TxtUninstallProduct").SetText(publisher->publisher);
    if (!publisher->copyright.empty()) mainWindow_.Get("TxtUninstallMaker").SetText(publisher->copyright);
    if (!publisher->url.empty()) {
      mainWindow_.Get("LUninstallLink").SetText(publisher->url);
      SetSettingValue("PublisherURL", publisher->url);
    }
  }
  mainWindow_.SetCaption("Uninstalling " + name);
  mainWindow_.Get("LUninstallQuestion")
      .SetText("This program will uninstall " + name + ". Are you sure you wish to continue?");
  sys::LogAction("Uninstalling " + name + " with the log " + run_.archivePath);
  ShowPanel("Uninstall");
  toolkit_.ProcessMessages();
  return true;
}

bool VelInstaller::RunUninstall() {
  const std::string& logPath = run_.archivePath;
  if (!sys::FileExists(logPath)) {
    outcome_->notInstalled = true;
    const std::string text = "The uninstall log " + logPath + " does not exist; nothing was removed.";
    NoteFailure(sys::FailureKind::NotInstalled, logPath, text);
    toolkit_.MessageBox("", text, ui::Buttons::Ok, ui::Icon::Error);
    return false;
  }
  const std::string listPath = sys::InstalledFilesListPath(logPath);
  const sys::StringList installed = listPath.empty() ? sys::StringList() : sys::LoadUninstallLog(listPath);
  const sys::UninstallReplay replay = sys::ReplayUninstallLog(logPath, installed);
  if (!listPath.empty() && sys::FileExists(listPath)) sys::RemoveFile(listPath);
  const std::string kept = sys::KeptFilesText(replay);
  const std::string skipped = SkippedLinksText(replay.skippedLinks);
  const std::string undeleted = UndeletedFilesText(replay.undeletedFiles);
  sys::LogAction(kUninstalledMessage);
  if (!kept.empty()) sys::LogAction(kept);
  std::string text = kUninstalledMessage;
  if (!kept.empty()) text += "\n" + kept;
  if (skipped.empty() && undeleted.empty()) {
    ui::ShowMessage(toolkit_, text);
    return true;
  }
  // Files another program held, or a folder someone changed while it was
  // being removed: the run says which, and does not end as a success.
  if (!undeleted.empty()) {
    sys::LogAction(undeleted);
    NoteFailure(sys::FailureKind::Io, replay.undeletedFiles.front(), undeleted);
    text += "\n" + undeleted;
  }
  if (!skipped.empty()) {
    sys::LogAction(skipped);
    NoteFailure(sys::FailureKind::Unsafe, replay.skippedLinks.front(), skipped);
    text += "\n" + skipped;
  }
  toolkit_.MessageBox("", text, ui::Buttons::Ok, ui::Icon::Warning);
  return true;
}

}  // namespace installer
