// VelInstaller: opening the package an installer carries and extracting
// its folders.
#include "archive/archive.h"
#include "archive/checksum.h"
#include "compression/stream.h"
#include "installer/vel_installer.h"
#include "system/activity_log.h"
#include "system/files.h"
#include "system/interrupts.h"
#include "system/legacy_text.h"
#include "system/paths.h"
#include "system/platform.h"
#include "system/private_folder.h"

namespace installer {

namespace {

// Clears a flag on every way out of a scope.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

bool VelInstaller::OpenPackage(const std::string& path) {
  const std::shared_ptr<VelInstaller> keepAlive = weak_from_this().lock();
  archivePath = path;
  archive::ArchiveModule& module = archive::Module();
  module.OverwriteExisting = archive::kYesOnNewer;
  module.OverwriteReadOnly = archive::kYesOnNewer;
  module.OverwriteSystem = archive::kYesOnNewer;
  if (!PreparePageFolder()) {
    const std::string root = pageFolder.empty() ? sys::platform::PrivateTempRoot()
                                                : sys::ExtractFilePath(sys::ExcludeTrailingSeparator(pageFolder));
    ui::ShowMessage(toolkit_, PageFolderMessage(root));
    CloseWindow();
    return false;
  }
  packageOpen = true;
  archive::ArchiveSetStreamCodec(compressionMode);
  if (!ReadPackage(path)) {
    packageOpen = false;
    NoteFailure(sys::FailureKind::Damaged, path, kInvalidPackageMessage);
    ui::ShowMessage(toolkit_, kInvalidPackageMessage);
    CloseWindow();
    return false;
  }
  // Names that would put the log or the uninstaller outside the data
  // folder are refused before anything is extracted.
  if (const std::string unsafe = UnsafeScriptNames(); !unsafe.empty()) {
    packageOpen = false;
    ui::ShowMessage(toolkit_, unsafe);
    CloseWindow();
    return false;
  }
  mode = "install";
  // A package whose checksum fails is refused by the extraction; nothing of
  // it may be installed.
  if (!ExtractFolder("temp_dir") && archive::Module().abort && !cancelRequested) {
    packageOpen = false;
    mode.clear();
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
  const std::string folder = sys::ExcludeTrailingSeparator(pageFolder);
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
    archive::ArchiveListFolders(path, "\\", packageListing);
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
    packageListing.clear();
    return false;
  }
}

bool VelInstaller::ExtractPackageFolder(const std::string& name) {
  lastExtractionFailed = false;
  if (!packageOpen || !HasSetting(name)) return false;
  sys::LogAction("Extracting the package's \"" + name + "\" into " + GetSettingValue(name));
  lastExtractionFailed = !ExtractFolder(name) && !cancelRequested;
  return true;
}

bool VelInstaller::ExtractFolder(const std::string& name) {
  if (!packageOpen || !HasSetting(name)) return false;
  const std::string packageFolder = sys::IncludeTrailing(name, '\\');
  const std::string target = GetSettingValue(name);
  // An empty folder would mean the process's working folder: never extract there.
  if (target.empty()) return false;
  sys::CreateFolders(target);
  FlagScope working(busy);
  return archive::ArchiveExtractFolder(archivePath, packageFolder, target, true, &VelInstaller::ProgressHook, this);
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
        sys::LogAction((mode == "create" ? "Packing " : "Extracting ") + text);
      }
    }
    bar->SetPosition(percent);
  }
  // ... and is shown under it, where the user reads it.
  if (ui::Control* file = mainWindow_.Find("TxtStatusFile")) file->SetText(text);
  toolkit_.ProcessMessages();
  if (sys::InterruptRequested()) cancelRequested = true;
  return !cancelRequested;
}

bool VelInstaller::ProgressHook(void* context, const std::string& text, int percent) {
  return static_cast<VelInstaller*>(context)->ReportProgress(text, percent);
}

}  // namespace installer
