// VelInstaller: the installer engine. It holds the installation script's
// settings, drives the wizard of the main window through its controls'
// names, opens the package an installer carries, and runs the install, the
// uninstall and the build.
//
// The engine binds itself to the main window's panel controls when it is
// constructed and releases them when it is destroyed. Every wizard event
// and every long operation runs on the user-interface thread; long
// operations keep the window alive through the toolkit's ProcessMessages.
//
// Lifetime: an owner that may destroy the engine from inside one of its own
// events (closing the main window while a run is active) must hold it in a
// std::shared_ptr; the engine then keeps itself alive until the event that
// is running returns.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "system/apps_entry.h"
#include "system/failure.h"
#include "system/settings.h"
#include "ui/form.h"
#include "ui/toolkit.h"

namespace installer {

// The panels the engine knows, in its own order.
inline constexpr const char* kPanelNames = "Options|Intro|License|Status|Custom|Finished|Uninstall|About";
// The panels whose controls the engine binds.
inline constexpr const char* kBoundPanels = "Options,Intro,License,Status,Custom,Finished,Uninstall";
// The uninstaller copy's file name unless the script sets UninstallerName.
inline constexpr const char* kDefaultUninstallerName = "uninst3.exe";
// The start of the name of the folder, made afresh in the temporary folder
// by every engine, that receives the wizard's pages; random digits follow.
inline constexpr const char* kPageFolderPrefix = "bvinstaller-";
// The UTF-8 byte-order mark some editors write at the start of install.dat.
inline constexpr const char* kUtf8ByteOrderMark = "\xEF\xBB\xBF";
// The sections of install.dat, without their "#".
inline constexpr const char* kScriptSections[] = {"variables", "shortcuts", "associations", "registry"};
// How long ShowPanel waits for a page to finish loading.
inline constexpr std::chrono::seconds kPageLoadLimit{10};

inline constexpr const char* kInvalidPackageMessage = "This file does not contain a valid installation package.";
// Shown when the page folder cannot be made (or was replaced by something
// else) in the temporary folder `root`.
std::string PageFolderMessage(const std::string& root);
inline constexpr const char* kDeclineMessage =
    "You must accept the license to install the program. The installer will now close.";
inline constexpr const char* kExitCaption = "Exit Installer";
inline constexpr const char* kExitQuestion =
    "Your installation is not complete. Are you sure you wish to exit the installation?";
inline constexpr const char* kBrowsePrompt = "Choose an installation directory";
inline constexpr const char* kLaunchFinishText =
    "Your installation is complete. You may now close the installer and the program will launch.";
// Appended to the uninstaller copy as a little-endian int64 (28 3e 50 00 ...).
inline constexpr int64_t kUninstallerTail = 5258792;
inline constexpr const char* kUninstalledMessage = "The program has been uninstalled.";
inline constexpr const char* kInstallFailedText = "Your installation failed. Your application is not ready.";
inline constexpr const char* kInstallFailedAction = "Installation failed.";

// The error shown when "Next" is pressed with an installation folder that is
// not a full path (which would install below whatever the current folder
// happens to be; a Windows folder is such a path on Linux).
std::string RelativeFolderMessage(const std::string& folder);

// The warning an uninstall adds when folders of the installation had been
// swapped for links (full paths in `links`): "1 folder of the installation
// had turned into a link; nothing was removed through it: /x/sub." ("" for none).
std::string SkippedLinksText(const sys::StringList& links);

// The failure an uninstall reports for installed files it could not delete
// (full paths): "1 installed file could not be removed (in use by another
// program?): C:\App\a.dll." ("" for none).
std::string UndeletedFilesText(const sys::StringList& files);

// How the last install run ended. Cancelled and Failed runs were undone.
enum class InstallOutcome { None, Running, Installed, Cancelled, Failed, DowngradeRefused };

// How the engine's runs ended, kept apart from the engine so that its owner
// can still read it once the engine is gone.
struct RunOutcome {
  InstallOutcome install = InstallOutcome::None;
  // The exit code of an elevated run that installed in this one's place.
  std::optional<int> elevatedExitCode;
  bool notInstalled = false;  // the uninstall found no log
};

// The install folder proposed after the user chose `chosen` with the browse
// button: a folder that already holds something (such as the programs
// folder) gets the program's own folder, `displayName`, below it, so that
// nothing is installed straight into a shared parent. An empty folder, one
// already named after the program, or an empty display name leave the
// choice as it is. The result ends in a separator.
std::string ProposedInstallFolder(const std::string& chosen, const std::string& displayName);

// Lets the user pick a folder starting at `initial` with `prompt` shown;
// returns the folder with a closing separator, or "" when cancelled.
using DirectoryChooser = std::function<std::string(const std::string& initial, const std::string& prompt)>;

// What the installation script says besides its variables, as ParseScript
// and ApplyScriptSettings leave it.
struct ScriptLists {
  sys::StringList variables;
  sys::StringList shortcutLines;
  sys::StringList associationLines;
  sys::StringList registryLines;
  std::string uninstallerName = kDefaultUninstallerName;  // file name of the uninstaller copy
  std::string displayName;  // DisplayName if defined (even empty), else ProgramName
};

// How an installation for every user runs in another, elevated process: it
// installs into `folder` with the choices made here and answers its exit
// code; nullopt when this process is to install.
using ElevatedInstall = std::function<std::optional<int>(const std::string& folder, bool noDesktopShortcut,
                                                         bool noStartMenuShortcut, bool allowDowngrade)>;

class InstallRun;

class VelInstaller final : public std::enable_shared_from_this<VelInstaller> {
 public:
  // Builds the engine for `mainWindow` (not owned; must outlive the engine):
  // the folder variables, the page folder, the panel names, the bound
  // controls and the status bar's range. `chooser` picks the install folder
  // for the browse button; when empty, the toolkit's chooser is used.
  // The page folder is made here, new, under an unpredictable name and for
  // the current user alone (sys::CreateUniqueFolder); temp_dir names it.
  VelInstaller(ui::Form& mainWindow, ui::Toolkit& toolkit, DirectoryChooser chooser = {});
  // Removes the handlers the engine installed on the window's controls and
  // the page folder the engine made, with everything in it.
  ~VelInstaller();
  VelInstaller(const VelInstaller&) = delete;
  VelInstaller& operator=(const VelInstaller&) = delete;

  // ---- Script and variables -------------------------------------------------

  // Reads the installation script's lines: the "variables" section into the
  // variables, the "shortcuts", "associations" and "registry" sections into
  // their line lists (each emptied first); sets the uninstaller name from
  // UninstallerName.
  void ParseScript(const sys::StringList& lines);
  // Why the script's ProgramName, DisplayName or UninstallerName cannot be
  // used (they become file and folder names in the data folder: "..", a
  // separator or a drive colon would put the log or the uninstaller outside
  // it); "" when all three are plain names.
  std::string UnsafeScriptNames() const;
  // The script as read, and the names derived from it.
  const ScriptLists& Script() const { return script_; }

  std::string GetSettingValue(std::string_view name) const;
  bool HasSetting(std::string_view name) const;
  bool GetSettingBool(std::string_view name) const;
  // Replaces the variable's value (an empty value removes it) or appends it.
  void SetSettingValue(std::string_view name, std::string_view value);

  // ---- Wizard -----------------------------------------------------------------

  // The one handler of the wizard's controls: derives the action word from
  // the control's name (or, on the Custom panel, its caption) and acts on it
  // for the current panel. Combinations without an action do nothing.
  void HandleControlEvent(ui::Control& control);

  // Shows the named panel, or in its place the HTML page of that name when
  // one exists (never for "License"); "" hides every panel. "Readme" exists
  // only as a page in the install folder.
  void ShowPanel(const std::string& name);
  // The panel last shown ("" before any).
  const std::string& CurrentPanel() const { return run_.currentPanel; }

  // Fills the panels from the variables (called when a package is opened).
  void ApplyScriptSettings();

  // The script fixes the installation folder (PreventDirectoryChange): the
  // Options panel offers no other, and no other is taken.
  bool InstallFolderFixed() const;
  // Proposes `folder` on the Options panel as the user would choose it: the
  // custom choice ticked, its edit box enabled, the folder typed with its
  // closing separator. False, with nothing changed, when the script fixes
  // the folder.
  bool ProposeInstallFolder(const std::string& folder);

  // Installs for every user or for the current user alone: the folders
  // proposed, the shortcut folders, the data folder, the file classes and
  // the installed-programs entry follow it. The script's InstallScope
  // (machine, the default, user or ask) chooses it when the package is
  // opened; "ask" shows the choice on the Options panel.
  void UseScope(sys::InstallScope scope);
  sys::InstallScope scope() const { return sys::CurrentInstallScope(); }
  // Installing an older version over a newer one goes ahead without asking.
  void AllowDowngrade() { run_.allowDowngrade = true; }
  // Set by the shell where an installation for every user may need another,
  // elevated process (see ElevatedInstall).
  void SetElevatedInstall(ElevatedInstall install) { installElevated_ = std::move(install); }

  // ---- Package ------------------------------------------------------------------

  // Opens the package carried by the file at `path`: empties the page
  // folder, reads and parses "install.dat", extracts the "temp_dir\" pages,
  // fills the wizard and shows Intro. A file that holds no readable package
  // is reported with kInvalidPackageMessage, a page folder that is missing
  // and cannot be made privately (or is a link or a file) with
  // PageFolderMessage; the window is then closed and the result is false.
  bool OpenPackage(const std::string& path);
  // The folders the open package holds, read when it was opened.
  const sys::StringList& PackageListing() const { return packageListing_; }

  // Extracts the package's entries under `name` + "\" into the folder held
  // by the variable `name`, with sub-folders and the status bar as progress.
  // False when no package is open or the variable is not defined.
  bool ExtractPackageFolder(const std::string& name);

  // Makes `folder` the installation folder, written the one way every user
  // of it sees: native separators and a closing separator. Sets the
  // variable install_dir too, so that "$install_dir$" expands the same.
  void SetInstallFolder(const std::string& folder);
  const std::string& InstallFolder() const { return run_.installFolder; }
  // The folder made at construction that receives the wizard's pages, with
  // a closing separator ("" when it could not be made).
  const std::string& PageFolder() const { return pageFolder_; }

  // ---- Runs -----------------------------------------------------------------------

  // The install run, started by "Next" on the Options panel once the install
  // folder has been taken from the edit box.
  void RunInstall();
  // The uninstall run, started by "Yes" on the Uninstall panel; true when a
  // log was found and replayed.
  bool RunUninstall();
  // Prepares uninstall mode for the log `logName` and shows the Uninstall panel.
  bool PrepareUninstall(const std::string& logName);
  // Writes a package from a project folder, reporting on the Status panel:
  // "files\install_dir" present packs the whole "files" folder, otherwise
  // the older layout (program folders and "install" pages beside
  // "install.dat") is mapped entry by entry. `stubFile` (may be empty) is
  // stored first as the entry "*". An empty `compressionMode` keeps the
  // engine's last one.
  void Build(const std::string& packagePath, const std::string& projectFolder,
             const std::string& compressionMode, const std::string& stubFile, int64_t number);

  // "create", "install", "uninstall" or "" (the role the engine plays).
  const std::string& Mode() const { return run_.mode; }
  // The package file being opened, installed or written; in uninstall mode
  // the log's path.
  const std::string& ArchivePath() const { return run_.archivePath; }
  // The mode name the archive engine packs with; empty until a build.
  const std::string& CompressionMode() const { return run_.compressionMode; }
  // Extracting a package folder or writing a package.
  bool Busy() const { return run_.busy; }
  // The last Build wrote its package file.
  bool LastBuildWritten() const { return run_.lastBuildWritten; }
  // The install run has begun: failures and cancels from here on leave
  // the computer to be rolled back, not merely untouched.
  bool InstallStarted() const { return run_.installStarted; }
  // Cancel on the Status panel while busy, or the owner going away: the
  // running extraction or build stops at its next progress report.
  void RequestCancel() { run_.cancelRequested = true; }
  bool CancelRequested() const { return run_.cancelRequested; }
  // Why the engine's role ended short of its goal, a cancel included,
  // recorded where it happened (kind None while nothing failed). The shell
  // derives the exit code from it.
  const sys::Failure& Failure() const { return run_.failure; }
  // Records `kind` as the engine's failure unless one is recorded already
  // (the first failure is the one that explains the rest).
  void NoteFailure(sys::FailureKind kind, const std::string& path, const std::string& message);
  // How the runs ended; shared so that the owner can read it once the
  // engine is gone.
  std::shared_ptr<const RunOutcome> Outcome() const { return outcome_; }

  // ---- Window -----------------------------------------------------------------------

  // The bound control of that name (exact), or nullptr.
  ui::Control* BoundControl(std::string_view name) const;
  ui::Form& mainWindow() const { return mainWindow_; }
  ui::Toolkit& toolkit() const { return toolkit_; }
  // Closes the main window (which normally destroys the engine: return
  // without touching the engine afterwards unless it is kept alive).
  void CloseWindow();

 private:
  // The install run reads and moves the run state as it goes.
  friend class InstallRun;

  // Where the engine is in its role; every run resets what it reports.
  struct RunState {
    std::string mode;             // see Mode()
    std::string currentPanel;     // the panel last shown
    std::string archivePath;      // see ArchivePath()
    std::string compressionMode;  // see CompressionMode()
    std::string installFolder;    // the folder the program is installed into
    bool busy = false;            // extracting a package folder or writing a package
    bool packageOpen = false;     // a package has been opened
    bool cancelRequested = false;
    bool lastBuildWritten = false;
    // The last ExtractPackageFolder stopped on a failure (a file that could
    // not be written, a damaged entry), not on a cancel.
    bool lastExtractionFailed = false;
    bool installStarted = false;
    bool allowDowngrade = false;
    sys::Failure failure;
  };

  // Adds every component of the main window whose name is a kind letter
  // followed by one of `panels` (separated by "," or "|") to the bound
  // controls, and makes HandleControlEvent the click handler of its buttons
  // and radio buttons and the change handler of its edit boxes.
  void BindPanelControls(const std::string& panels);
  // The progress callback of extractions and builds: moves the status bar,
  // lets pending messages run, and answers false once cancellation was
  // requested.
  bool ReportProgress(const std::string& text, int percent);
  // ReportProgress as an archive progress hook; `context` is the engine.
  static bool ProgressHook(void* context, const std::string& text, int percent);

  void ApplyAction(const std::string& panel, const std::string& action);
  void ApplyOptionsAction(const std::string& action);
  void ConfirmExit();
  // The elevated run ended with `code`: Finished (and its launch, from this
  // unelevated process) on success, else the window closes.
  void FinishElevated(const std::string& folder, int code);
  void UseFolderChoice(const std::string& variable);
  // False when an older version would replace a newer installed one and
  // that was not allowed (AllowDowngrade) or agreed to.
  bool DowngradeAccepted();
  void BrowseInstallFolder();
  void ShowPage(const std::string& name, const std::string& page);
  void WaitForPage(ui::Control& view);
  void ShowOnlyPanel(const std::string& panelControlName);
  void SetFinishText();
  void ApplyProgramName();
  bool ReadPackage(const std::string& path);
  bool ExtractFolder(const std::string& name);
  bool PreparePageFolder();

  ScriptLists script_;
  RunState run_;
  std::shared_ptr<RunOutcome> outcome_ = std::make_shared<RunOutcome>();
  ElevatedInstall installElevated_;
  sys::StringList panelNames_;
  sys::StringList packageListing_;  // the package's folders, read when it is opened
  // install_dir, apps_dir and programs_dir as the script left them, for
  // going back to machine scope.
  std::optional<std::array<std::string, 3>> machineFolders_;

  ui::Form& mainWindow_;
  ui::Toolkit& toolkit_;
  DirectoryChooser chooser_;
  std::map<std::string, ui::Control*, std::less<>> boundControls_;
  // The page folder this engine made ("" when it could not), removed with
  // the engine.
  std::string pageFolder_;
};

// The stub a build started from the command line stores: the Windows
// program "brevion.exe" beside `builderPath` when the package's name ends in
// ".exe" (any letter case) and that file exists, else the builder itself.
std::string BuildStubFor(const std::string& packagePath, const std::string& builderPath);

// What the uninstaller says when the log of `name` does not exist.
std::string NotInstalledMessage(const std::string& name, const std::string& logPath);

// `text` with every "|" replaced by the line break CR LF.
std::string ExpandLineBreaks(std::string_view text);

}  // namespace installer
