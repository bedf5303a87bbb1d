// VelInstaller: uninstall mode. Finds the uninstall log, asks on the
// Uninstall panel, and replays the log.
#include <algorithm>

#include "installer/vel_installer.h"
#include "system/activity_log.h"
#include "system/files.h"
#include "system/paths.h"
#include "system/platform.h"
#include "system/uninstall_log.h"

namespace installer {

namespace {

// The lines of a text file, broken at LF, without their line ends (a CR
// before the LF or at the end goes too; "" lines are dropped).
sys::StringList ReadLines(const std::string& path) {
  sys::StringList lines;
  const std::string text = sys::platform::ReadWholeFile(sys::ToNativeSeparators(path)).value_or(std::string());
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

// True when a listed name stays inside the folder it is relative to: no
// root, no drive, no ".." level.
bool IsContainedName(const std::string& name) {
  const std::string path = sys::ToBackslashes(name);
  if (path.empty() || path.front() == '\\' || path.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (path.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

// Removes from `folder`, which may not go as a whole, only what the package
// put there: the listed files, then the listed folders (deepest first) when
// they are left empty.
void RemoveInstalledEntries(const std::string& folder, const sys::StringList& entries) {
  const std::string base = sys::IncludeTrailingSeparator(folder);
  sys::StringList folders;
  for (const std::string& entry : entries) {
    if (!IsContainedName(entry)) continue;
    if (entry.back() == '\\' || entry.back() == '/') {
      folders.push_back(sys::ExcludeTrailingSeparator(sys::ToNativeSeparators(entry)));
    } else {
      sys::RemoveFile(base + sys::ToNativeSeparators(entry));
    }
  }
  std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& sub : folders) sys::RemoveFolder(base + sub);
}

}  // namespace

bool VelInstaller::PrepareUninstall(const std::string& logName) {
  const std::shared_ptr<VelInstaller> keepAlive = weak_from_this().lock();
  archivePath = sys::UninstallLogPathFromArgument(logName);
  const std::string name = sys::ProgramNameFromLogPath(archivePath);
  SetSettingValue("ProgramName", name);
  mainWindow_.Get("LUninstallProgramName").SetText(name);
  mainWindow_.SetCaption("Uninstalling " + name);
  mainWindow_.Get("LUninstallQuestion")
      .SetText("This program will uninstall " + name + ". Are you sure you wish to continue?");
  mode = "uninstall";
  sys::LogAction("Uninstalling " + name + " with the log " + archivePath);
  ShowPanel("Uninstall");
  toolkit_.ProcessMessages();
  return true;
}

bool VelInstaller::RunUninstall() {
  const std::string& logPath = archivePath;
  if (!sys::FileExists(logPath)) {
    const std::string text = "The uninstall log " + logPath + " does not exist; nothing was removed.";
    NoteFailure(sys::FailureKind::NotInstalled, logPath, text);
    toolkit_.MessageBox("", text, ui::Buttons::Ok, ui::Icon::Error);
    return false;
  }
  std::string listPath = InstalledFilesListPath(logPath);
  if (listPath == logPath) listPath.clear();  // a log named "*.files" has no side file
  const sys::StringList installed = listPath.empty() ? sys::StringList() : ReadLines(listPath);
  sys::ReplayUninstallLog(logPath, [&installed](const std::string& folder) {
    RemoveInstalledEntries(folder, installed);
  });
  if (!listPath.empty() && sys::FileExists(listPath)) sys::RemoveFile(listPath);
  sys::LogAction(kUninstalledMessage);
  ui::ShowMessage(toolkit_, kUninstalledMessage);
  return true;
}

}  // namespace installer
