// VelInstaller: opening the package an installer carries and extracting
// its folders.
#include "archive/archive.h"
#include "archive/checksum.h"
#include "compression/stream.h"
#include "installer/scoped_value.h"
#include "installer/vel_installer.h"
#include "system/activity_log.h"
#include "system/files.h"
#include "system/interrupts.h"
#include "system/legacy_text.h"
#include "system/paths.h"
#include "system/platform.h"
#include "system/private_folder.h"

namespace installer {

bool VelInstaller::OpenPackage(const std::string& path) {
  const std::shared_ptr<VelInstaller> keepAlive = weak_from_this().lock();
  run_.archivePath = path;
  archive::ArchiveModule& module = archive::Module();
  module.OverwriteExisting = archive::kYesOnNewer;
  module.OverwriteReadOnly = archive::kYesOnNewer;
  module.OverwriteSystem = archive::kYesOnNewer;
  if (!PreparePageFolder()) {
    const std::string root = pageFolder_.empty() ? sys::platform::PrivateTempRoot()
                                                : sys::ExtractFilePath(sys::ExcludeTrailingSeparator(pageFolder_));
    ui::ShowMessage(toolkit_, PageFolderMessage(root));
    CloseWindow();
    return false;
  }
  run_.packageOpen = true;
  archive::ArchiveSetStreamCodec(run_.compressionMode);
  if (!ReadPackage(path)) {
    run_.packageOpen = false;
    NoteFailure(sys::FailureKind::Damaged, path, kInvalidPackageMessage);
    ui::ShowMessage(toolkit_, kInvalidPackageMessage);
    CloseWindow();
    return false;
  }
  // Names that would put the log or the uninstaller outside the data
  // folder are refused before anything is extracted.
  if (const std::string unsafe = UnsafeScriptNames(); !unsafe.empty()) {
    run_.packageOpen = false;
    ui::ShowMessage(toolkit_, unsafe);
    CloseWindow();
    return false;
  }
  run_.mode = "install";
  // A package whose checksum fails is refused by the extraction; nothing of
  // it may be installed.
  if (!ExtractFolder("temp_dir") && archive::Module().abort && !run_.cancelRequested) {
    run_.packageOpen = false;
    run_.mode.clear();
    NoteFailure(sys::FailureKind::Damaged, path, kInvalidPackageMessage);
    ui::ShowMessage(toolkit_, kInvalidPackageMessage);
    CloseWindow();
    return false;
  }
  ApplyScriptSettings();
  ShowPanel("Intro");
  toolkit_.ProcessMessages();
  return true;
}

// Every package starts from an empty page folder. It is emptied in place,
// never removed and made again by name: someone else could take the name in
// between. One that is missing is made privately, refused when anything
// took its name meanwhile.
bool VelInstaller::PreparePageFolder() {
  const std::string folder = sys::ExcludeTrailingSeparator(pageFolder_);
  if (folder.empty()) return false;
  const auto attributes = sys::platform::GetAttributes(folder);
  if (!attributes) return sys::platform::CreatePrivateFolder(folder);
  if ((*attributes & sys::platform::kAttrLink) || !(*attributes & sys::platform::kAttrDirectory)) return false;
  sys::EmptyOwnFolder(folder);
  return true;
}

bool VelInstaller::ReadPackage(const std::string& path) {
  // A file without a package, or with a damaged index or script, makes the
  // archive engine and the codecs throw; to the user it is one thing.
  try {
    archive::ArchiveListFolders(path, "\\", packageListing_);
    // Scripts written before the program spoke UTF-8 are in some Windows
    // machine's ANSI code page; both kinds are read into UTF-8 here. Blank
    // lines, which CR LF pairs leave between their halves, mean nothing.
    compression::MemoryStream content;
    std::string letters;
    archive::ArchiveReadEntry(path, "install.dat", content, letters);
    sys::StringList script;
    sys::SplitDelimited(sys::TextFileToUtf8(content.ToString()), "\r\n", script);
    ParseScript(script);
    return true;
  } catch (const std::exception&) {
    packageListing_.clear();
    return false;
  }
}

bool VelInstaller::ExtractPackageFolder(const std::string& name) {
  run_.lastExtractionFailed = false;
  if (!run_.packageOpen || !HasSetting(name)) return false;
  sys::LogAction("Extracting the package's \"" + name + "\" into " + GetSettingValue(name));
  run_.lastExtractionFailed = !ExtractFolder(name) && !run_.cancelRequested;
  return true;
}

bool VelInstaller::ExtractFolder(const std::string& name) {
  if (!run_.packageOpen || !HasSetting(name)) return false;
  const std::string packageFolder = sys::IncludeTrailing(name, '\\');
  const std::string target = GetSettingValue(name);
  // An empty folder would mean the process's working folder: never extract there.
  if (target.empty()) return false;
  sys::CreateFolders(target);
  ScopedValue working(run_.busy, true);
  return archive::ArchiveExtractFolder(run_.archivePath, packageFolder, target, true, &VelInstaller::ProgressHook,
                                       this);
}

bool VelInstaller::ReportProgress(const std::string& text, int percent) {
  if (ui::Control* bar = mainWindow_.Find("CtrlStatusProgress")) {
    // The current file rides on the bar for displays that show it; each
    // new one is an action of the log.
    if (text != bar->text()) {
      bar->SetText(text);
      const bool activity = text == archive::kVerifyingDataIntegrity || text == archive::kCreatingVerificationData;
      if (activity) {
        sys::LogAction(text);
      } else if (!text.empty()) {
        sys::LogAction((run_.mode == "create" ? "Packing " : "Extracting ") + text);
      }
    }
    bar->SetPosition(percent);
  }
  // ... and is shown under it, where the user reads it.
  if (ui::Control* file = mainWindow_.Find("TxtStatusFile")) file->SetText(text);
  toolkit_.ProcessMessages();
  if (sys::InterruptRequested()) run_.cancelRequested = true;
  return !run_.cancelRequested;
}

bool VelInstaller::ProgressHook(void* context, const std::string& text, int percent) {
  return static_cast<VelInstaller*>(context)->ReportProgress(text, percent);
}

}  // namespace installer
