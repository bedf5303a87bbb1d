// VelInstaller: building an installer, a stub followed by a package packed
// from a project folder, with progress and cancellation on the Status panel.
#include <algorithm>

#include "archive/archive.h"
#include "installer/scoped_value.h"
#include "installer/setup_branding.h"
#include "installer/vel_installer.h"
#include "system/activity_log.h"
#include "system/files.h"
#include "system/interrupts.h"
#include "system/paths.h"
#include "system/platform.h"
#include "system/text.h"

namespace installer {

namespace {

constexpr const char* kWindowsProgram = "brevion.exe";
constexpr const char* kBrandedStubName = "setup-stub.exe";
constexpr const char* kNothingToPack = "The project's \"files\" folder holds nothing to pack.";

// The entries of a project without "files\install_dir": every visible
// folder beside "install.dat" holds program files and goes below
// "install_dir\", the folder "install" holds the wizard's pages.
sys::StringList OlderLayoutEntries(const std::string& filesFolder) {
  sys::StringList entries;
  sys::ListFolder(entries, filesFolder, "d", "*.*");
  // The page folder as it is spelt on disk, which may differ in letter case.
  const auto pages = std::find_if(entries.begin(), entries.end(),
                                  [](const std::string& name) { return sys::SameTextAscii(name, "install"); });
  const std::string pageFolder = pages == entries.end() ? std::string() : *pages;
  sys::RemoveEntriesInString("install", entries, false);
  for (std::string& name : entries) name += "=install_dir\\" + name;
  // A missing script or page folder is simply absent from the package.
  if (sys::FileExists(filesFolder + "install.dat")) entries.push_back("install.dat");
  if (!pageFolder.empty()) entries.push_back(pageFolder + "\\=temp_dir\\");
  return entries;
}

// What the installer says of itself in Windows. The icon is SetupIcon
// (relative to the project folder), else ProgramIcon when it is an icon
// file the package holds; without either the stub keeps its own icon.
SetupBranding BrandingOf(const VelInstaller& engine, const std::string& project, const std::string& files,
                         const std::string& packagePath) {
  SetupBranding branding{engine.GetSettingValue(engine.HasSetting("DisplayName") ? "DisplayName" : "ProgramName"),
                         engine.GetSettingValue("Version"),
                         engine.GetSettingValue("Publisher"), engine.GetSettingValue("Copyright"),
                         sys::ExtractFileName(packagePath), {}};
  const std::string setupIcon = engine.GetSettingValue("SetupIcon");
  const std::string programIcon = engine.GetSettingValue("ProgramIcon");
  if (!setupIcon.empty()) {
    branding.iconFile = project + sys::ToNativeSeparators(setupIcon);
  } else if (sys::LowerAscii(sys::ExtractFileExt(programIcon)) == ".ico") {
    // The older layout keeps the program's folders straight below "files".
    const std::string installDir = files + "install_dir" + sys::PathSeparator();
    const std::string icon = (sys::FolderExists(installDir) ? installDir : files) + sys::ToNativeSeparators(programIcon);
    if (sys::FileExists(icon)) branding.iconFile = icon;
  }
  return branding;
}

}  // namespace

std::string BuildStubFor(const std::string& packagePath, const std::string& builderPath) {
  const std::string windowsProgram = sys::ExtractFilePath(builderPath) + kWindowsProgram;
  if (sys::LowerAscii(sys::ExtractFileExt(packagePath)) == ".exe" && sys::FileExists(windowsProgram)) {
    return windowsProgram;
  }
  return builderPath;
}

void VelInstaller::Build(const std::string& packagePath, const std::string& projectFolder,
                         const std::string& compressionModeName, const std::string& stubFile, int64_t number) {
  const std::shared_ptr<VelInstaller> keepAlive = weak_from_this().lock();
  run_.mode = "create";
  ShowPanel("Status");
  const std::string project = sys::IncludeTrailingSeparator(projectFolder);
  if (!compressionModeName.empty()) run_.compressionMode = compressionModeName;
  archive::ArchiveSetStreamCodec(run_.compressionMode);
  run_.archivePath = packagePath;
  run_.cancelRequested = false;
  run_.lastBuildWritten = false;
  // Ctrl-C or SIGTERM stops the writing like Cancel, so that the unfinished
  // package is deleted rather than left behind.
  sys::InterruptGuard interrupts;
  ui::Control& pleaseWait = mainWindow_.Get("LStatusPleaseWait");
  ui::Control& action = mainWindow_.Get("LStatusAction");
  ui::Control& ok = mainWindow_.Get("BStatusOK");
  pleaseWait.SetText("Please wait while Brevion Installer creates your installation.");
  action.SetText("Compressing files ...");
  ok.SetEnabled(false);
  toolkit_.ProcessMessages();

  const std::string files = project + "files" + sys::PathSeparator();
  archive::Module().lastError.clear();
  archive::Module().failure = {};
  run_.failure = {};
  std::string failureText;
  std::string brandedStub;
  {
    ScopedValue working(run_.busy, true);
    // An installer always records the SHA-256 of its files, which it checks
    // before it keeps each one it installs.
    ScopedValue hashes(archive::Module().contentHashes, true);
    // The script's names are checked as the installer will check them, so
    // that no installer is built that every user's run would refuse.
    if (const auto script = sys::platform::ReadWholeFile(files + "install.dat")) {
      sys::StringList lines;
      sys::SplitDelimited(*script, "\r\n", lines);
      ParseScript(lines);
      failureText = UnsafeScriptNames();
      if (!failureText.empty()) NoteFailure(sys::FailureKind::BadProject, files + "install.dat", failureText);
    }
    // A Windows stub carries the setup's own icon and version: the changed
    // copy is written to the engine's private folder and packed from there.
    if (failureText.empty() && !stubFile.empty()) {
      sys::Failure branding;
      if (const auto image = BrandedStub(stubFile, BrandingOf(*this, project, files, packagePath), branding)) {
        const std::string path = pageFolder_.empty() ? std::string() : pageFolder_ + kBrandedStubName;
        if (path.empty() || !sys::platform::WriteWholeFile(path, *image)) {
          branding = {sys::FailureKind::Io, path, "The file " + path + " cannot be written."};
        } else {
          brandedStub = path;
          // The stored stub keeps the date and attributes of the program it
          // came from: a build records no time of its own.
          if (const auto date = sys::platform::GetModifiedTime(stubFile)) sys::platform::SetModifiedTime(path, *date);
          sys::ApplyAttributeLetters(path, sys::AttributeLetters(stubFile));
        }
      }
      if (branding.failed()) {
        failureText = branding.message;
        NoteFailure(branding.kind, branding.path, branding.message);
      }
    }
    const std::string& stub = brandedStub.empty() ? stubFile : brandedStub;
    if (!failureText.empty()) {
      // Refused before anything is written.
    } else if (sys::FolderExists(files + "install_dir")) {
      run_.lastBuildWritten = archive::ArchiveCreateFromFolder(packagePath, files, archive::kAllEntriesFilter,
                                                          &VelInstaller::ProgressHook, this, stub, number);
    } else if (const sys::StringList entries = OlderLayoutEntries(files); !entries.empty()) {
      run_.lastBuildWritten = archive::ArchiveCreate(packagePath, files, entries, archive::kAllEntriesFilter, stub,
                                                &VelInstaller::ProgressHook, this, number);
    } else {
      failureText = kNothingToPack;
      NoteFailure(sys::FailureKind::BadProject, files, kNothingToPack);
    }
  }
  if (!brandedStub.empty()) {
    sys::ApplyAttributeLetters(brandedStub, "");
    sys::RemoveFile(brandedStub);
  }
  ok.SetEnabled(true);
  mainWindow_.Get("TxtStatusFile").SetText("");
  // With a stub the package is a program: started without arguments it installs.
  if (run_.lastBuildWritten && !stubFile.empty()) sys::platform::MarkExecutable(packagePath);

  if (run_.cancelRequested) {
    NoteFailure(sys::FailureKind::Cancelled, packagePath, "Installer creation aborted.");
    mainWindow_.Get("CtrlStatusProgress").SetPosition(0);
    pleaseWait.SetText("Installer creation was canceled. Your installer is not ready.");
    action.SetText("Installer creation aborted.");
    sys::LogAction("Installer creation aborted.");
  } else if (!run_.lastBuildWritten) {
    // A writer that failed on its own must not look like a finished build.
    if (failureText.empty()) failureText = archive::Module().lastError;
    const sys::Failure& cause = archive::Module().failure;
    NoteFailure(cause.failed() ? cause.kind : sys::FailureKind::Other, cause.failed() ? cause.path : packagePath,
                failureText);
    mainWindow_.Get("CtrlStatusProgress").SetPosition(0);
    pleaseWait.SetText(failureText.empty() ? "Your installer is not ready." : failureText);
    action.SetText("Installer creation failed.");
    sys::LogAction("Installer creation failed: " + pleaseWait.text());
  } else {
    pleaseWait.SetText("Your installer executable is ready to go.");
    const sys::StringList& warnings = archive::Module().warnings;
    action.SetText(warnings.empty() ? "Finished!" : archive::WarningsSummary(warnings));
    for (const std::string& warning : warnings) sys::LogAction(warning);
    sys::LogAction("Wrote the installer " + packagePath);
  }
}

}  // namespace installer
