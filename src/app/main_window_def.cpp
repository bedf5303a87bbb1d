#include "app/main_window_def.h"

#include <array>

namespace app {

namespace {

using ui::Align;
using ui::Border;
using ui::ControlDef;
using ui::ControlKind;
using ui::Font;
using ui::Rect;
using ui::Style;

constexpr Style kHeading{.font = Font::Heading};
constexpr Style kBig{.font = Font::LargeHeading, .align = Align::Center};
constexpr Style kCentred{.align = Align::Center};
constexpr Style kCentredWrapped{.align = Align::Center, .wordWrap = true};
constexpr Style kBold{.font = Font::Bold};
constexpr Style kBigButton{.font = Font::Heading};
constexpr Style kBevel{.border = Border::Lowered};
constexpr Style kRaised{.border = Border::Raised};
constexpr Style kPlainMemo{.align = Align::Center, .wordWrap = true, .border = Border::None};

// Geometry shared by the panels: the heading row, the box below it and the
// button row at the bottom.
constexpr Rect kFull{0, 0, kMainClientWidth, kMainClientHeight};
constexpr Rect kHeadingCaption{16, 12, 110, 28};
constexpr Rect kHeadingName{126, 12, 408, 28};
constexpr Rect kBox{16, 48, 518, 270};
constexpr Rect kButtonLeft{150, 332, 110, 36};
constexpr Rect kButtonRight{290, 332, 110, 36};
constexpr Rect kButtonMiddle{220, 332, 110, 36};

constexpr ControlDef Panel(std::string_view name) {
  return {.kind = ControlKind::Panel, .name = name, .bounds = kFull, .visible = false};
}
constexpr ControlDef Box(std::string_view name, std::string_view parent, Rect bounds, Style style = kBevel) {
  return {.kind = ControlKind::Panel, .name = name, .parent = parent, .bounds = bounds, .style = style};
}
constexpr ControlDef Label(std::string_view name, std::string_view parent, Rect bounds, std::string_view caption,
                           Style style = {}) {
  return {.kind = ControlKind::Label, .name = name, .parent = parent, .bounds = bounds, .caption = caption,
          .style = style};
}
constexpr ControlDef Button(std::string_view name, std::string_view parent, Rect bounds, std::string_view caption,
                            Style style = kBigButton) {
  return {.kind = ControlKind::Button, .name = name, .parent = parent, .bounds = bounds, .caption = caption,
          .style = style};
}
constexpr ControlDef Check(std::string_view name, std::string_view parent, Rect bounds, std::string_view caption,
                           bool checked) {
  return {.kind = ControlKind::CheckBox, .name = name, .parent = parent, .bounds = bounds, .caption = caption,
          .checked = checked};
}
constexpr ControlDef Radio(std::string_view name, std::string_view parent, Rect bounds, std::string_view caption) {
  return {.kind = ControlKind::RadioButton, .name = name, .parent = parent, .bounds = bounds, .caption = caption};
}
constexpr ControlDef Of(ControlKind kind, std::string_view name, std::string_view parent, Rect bounds,
                        std::string_view caption = {}, Style style = {}) {
  return {.kind = kind, .name = name, .parent = parent, .bounds = bounds, .caption = caption, .style = style};
}
// The button Enter presses, and the one Escape presses, on its panel.
constexpr ControlDef Default(ControlDef def) {
  def.isDefault = true;
  return def;
}
constexpr ControlDef Cancel(ControlDef def) {
  def.isCancel = true;
  return def;
}
constexpr ControlDef Hidden(ControlDef def) {
  def.visible = false;
  return def;
}

constexpr std::string_view kMakerNotice = "Brevion Installer 3\r\nCopyright (c) Brevion Software";

constexpr auto kMainWindow = std::to_array<ControlDef>({
    {.kind = ControlKind::Window, .name = "DInstallMain", .bounds = kFull, .caption = "Brevion Installer"},

    // Intro: what is about to be installed.
    Panel("PnlIntro"),
    Label("TxtIntroNotice", "PnlIntro", {16, 12, 518, 34},
          "Please exit all currently running programs\r\nbefore continuing with the installation.", kCentred),
    Box("BoxIntro", "PnlIntro", {40, 60, 470, 200}, kRaised),
    Label("LIntroInstalling", "BoxIntro", {10, 24, 450, 28}, "Installing", {.font = Font::Heading, .align = Align::Center}),
    Label("LIntroProgramName", "BoxIntro", {10, 70, 450, 48}, "Program Name", kBig),
    Label("LIntroVersion", "BoxIntro", {10, 140, 450, 24}, "Version 3.0", kCentred),
    Default(Button("BIntroInstall", "PnlIntro", {150, 276, 110, 36}, "Install")),
    Cancel(Button("BIntroExit", "PnlIntro", {290, 276, 110, 36}, "Exit")),
    Of(ControlKind::Memo, "TxtIntroMaker", "PnlIntro", {330, 332, 210, 44}, kMakerNotice,
       {.align = Align::Right, .border = Border::None}),

    // License: the licence page in a browser and the three answers.
    Panel("PnlLicense"),
    // Regular weight: the first line is too long for the panel in bold.
    Label("TxtLicenseNotice1", "PnlLicense", {16, 10, 526, 16},
          "NOTICE:  CLICKING ON THE \"I ACCEPT\" BUTTON BELOW SIGNIFIES THAT YOU, THE END USER,"),
    Label("TxtLicenseNotice2", "PnlLicense", {16, 28, 526, 16}, "HAVE READ AND ACCEPT THE LICENSE AGREEMENT BELOW:"),
    Box("BoxLicense", "PnlLicense", kBox),
    Of(ControlKind::HtmlView, "XLicenseHTML", "BoxLicense", {2, 2, 514, 266}),
    Default(Button("BLicenseAccept", "PnlLicense", {60, 332, 130, 36}, "I Accept")),
    Button("BLicenseDecline", "PnlLicense", {210, 332, 130, 36}, "I Decline"),
    Cancel(Button("BLicenseCancel", "PnlLicense", {360, 332, 130, 36}, "Cancel")),

    // Options: shortcuts, launch and readme choices, the install folder.
    Panel("PnlOptions"),
    Label("TxtOptionsCaption", "PnlOptions", kHeadingCaption, "Installing: ", kHeading),
    Label("LOptionsProgramName", "PnlOptions", kHeadingName, "Program Name", kHeading),
    Box("BoxOptions", "PnlOptions", kBox),
    Label("TxtOptionsTitle", "BoxOptions", {12, 8, 300, 18}, "Installation Options", kBold),
    Check("COptionsDesktopShortcut", "BoxOptions", {24, 30, 470, 20}, "Create a shortcut on your desktop", true),
    Check("COptionsStartMenuShortcut", "BoxOptions", {24, 52, 470, 20}, "Create Start menu shortcuts", true),
    Check("COptionsLaunch", "BoxOptions", {24, 74, 470, 20}, "Launch application when finished", false),
    Check("COptionsReadme", "BoxOptions", {24, 96, 470, 20}, "View readme when finished", false),
    Label("TxtOptionsDirectory", "BoxOptions", {12, 124, 300, 18}, "Installation Directory:", kBold),
    Radio("ROptionsAppsDir", "BoxOptions", {24, 144, 470, 20}, "Application Directory"),
    Radio("ROptionsProgramsDir", "BoxOptions", {24, 166, 470, 20}, "Program Files Directory"),
    Radio("ROptionsCustomDir", "BoxOptions", {24, 188, 470, 20}, "Custom Directory"),
    Label("TxtOptionsAdminNote", "BoxOptions", {24, 210, 470, 16},
          "* requires admin privilege to install in Vista or XP Pro"),
    // Shown in place of the note when the script lets the user choose the
    // scope: a box of its own keeps the pair apart from the folder choices.
    Hidden(Box("GrpOptions", "BoxOptions", {24, 208, 470, 22}, {})),
    Radio("ROptionsScopeMachine", "GrpOptions", {0, 0, 230, 20}, "Install for all users"),
    Radio("ROptionsScopeUser", "GrpOptions", {236, 0, 230, 20}, "Install just for me"),
    Of(ControlKind::Edit, "EOptionsInstallDir", "BoxOptions", {24, 234, 426, 22}),
    Button("BOptionsInstallBrowse", "BoxOptions", {456, 234, 38, 22}, "...", {}),
    Default(Button("BOptionsNext", "PnlOptions", kButtonLeft, "Next")),
    Cancel(Button("BOptionsExit", "PnlOptions", kButtonRight, "Exit")),

    // Status: progress of the install run or the build.
    Panel("PnlStatus"),
    Label("LStatusCaption", "PnlStatus", kHeadingCaption, "Installing: ", kHeading),
    Label("LStatusProgramName", "PnlStatus", kHeadingName, "Program Name", kHeading),
    Box("BoxStatus", "PnlStatus", kBox),
    Label("LStatusPleaseWait", "BoxStatus", {20, 50, 478, 48},
          "Please wait while the application is installed to your computer.", kCentredWrapped),
    Label("LStatusAction", "BoxStatus", {20, 120, 478, 22}, "Copying Files ...", kCentred),
    Of(ControlKind::ProgressBar, "CtrlStatusProgress", "BoxStatus", {20, 160, 478, 24}),
    // The file being packed or extracted, under the bar (set by the engine's progress).
    Label("TxtStatusFile", "BoxStatus", {20, 192, 478, 18}, "", kCentred),
    Default(Button("BStatusOK", "PnlStatus", kButtonLeft, "OK")),
    Cancel(Button("BStatusCancel", "PnlStatus", kButtonRight, "Cancel")),

    // Custom: an HTML page in place of a panel; the engine sets the buttons.
    Panel("PnlCustom"),
    Box("BoxCustom", "PnlCustom", {16, 16, 518, 302}),
    Of(ControlKind::HtmlView, "XCustomHTML", "BoxCustom", {2, 2, 514, 298}),
    Button("BCustom1", "PnlCustom", {102, 332, 110, 36}, "Next"),
    Default(Button("BCustom2", "PnlCustom", {220, 332, 110, 36}, "Back")),
    Cancel(Button("BCustom3", "PnlCustom", {338, 332, 110, 36}, "Cancel")),

    // Finished: the closing texts.
    Panel("PnlFinished"),
    Label("TxtFinishedCaption", "PnlFinished", kHeadingCaption, "Installing: ", kHeading),
    Label("LFinishedProgramName", "PnlFinished", kHeadingName, "Program Name", kHeading),
    Box("BoxFinished", "PnlFinished", kBox),
    Of(ControlKind::Memo, "MFinishedText", "BoxFinished", {20, 40, 478, 60},
       "Your installation is complete. You may now close \r\nthe installer and run your application.", kPlainMemo),
    Of(ControlKind::Memo, "MFinishedExtra", "BoxFinished", {20, 120, 478, 120}, "", kPlainMemo),
    Default(Button("BFinishedClose", "PnlFinished", kButtonMiddle, "Close")),

    // Uninstall: the confirmation and the uninstaller's notice.
    Panel("PnlUninstall"),
    // "Uninstalling: " is wider than the other panels' "Installing: ".
    Label("TxtUninstallCaption", "PnlUninstall", {16, 12, 136, 28}, "Uninstalling: ", kHeading),
    Label("LUninstallProgramName", "PnlUninstall", {152, 12, 382, 28}, "Program Name", kHeading),
    Box("BoxUninstall", "PnlUninstall", {16, 48, 518, 200}),
    Label("LUninstallQuestion", "BoxUninstall", {20, 24, 478, 80}, "", kCentredWrapped),
    Default(Button("BUninstallYes", "BoxUninstall", {140, 130, 110, 36}, "Yes")),
    Cancel(Button("BUninstallNo", "BoxUninstall", {268, 130, 110, 36}, "No")),
    Of(ControlKind::Image, "ImgUninstallLogo", "PnlUninstall", {16, 266, 48, 48}, "logo"),
    Label("TxtUninstallProduct", "PnlUninstall", {76, 266, 440, 20}, "Brevion Uninstaller 3", kBold),
    Label("TxtUninstallMaker", "PnlUninstall", {76, 288, 440, 18}, "Copyright (c) Brevion Software"),
    Label("LUninstallLink", "PnlUninstall", {76, 310, 440, 18}, "www.brevion.example"),

    // About: shown behind the archive modes' dialogs.
    Panel("PnlAbout"),
    Of(ControlKind::Image, "ImgAboutProduct", "PnlAbout", {175, 24, 200, 150}, "product"),
    Label("TxtAboutName", "PnlAbout", {0, 190, 550, 34}, "Brevion Archiver", kBig),
    Label("TxtAboutVersion", "PnlAbout", {0, 230, 550, 20}, "Version 1.0", kCentred),
    Label("TxtAboutMaker", "PnlAbout", {0, 256, 550, 20}, "Copyright (c) Brevion Software", kCentred),
    Hidden(Button("BAboutOK", "PnlAbout", kButtonMiddle, "OK")),

    {.kind = ControlKind::Timer, .name = "CtrlAppTimer", .enabled = false, .intervalMs = 1000},
});

}  // namespace

std::span<const ui::ControlDef> MainWindowDefinition() { return kMainWindow; }

}  // namespace app
