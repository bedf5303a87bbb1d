// The native toolkit under a real (virtual) display: rendering, events both
// ways, keyboard, timers, dialogs and the HTML view's text fallback.
#ifdef _WIN32

#include "ui/win32/win32_toolkit.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/main_window_def.h"
#include "archive/archive.h"
#include "archive/indexed_file_form.h"
#include "system/win32/wide_text.h"
#include "support/temp_dir.h"
#include "ui/win32/browser_view.h"

namespace {

using ui::ControlDef;
using ui::ControlKind;

constexpr auto kTestWindow = std::to_array<ControlDef>({
    {.kind = ControlKind::Window, .name = "DToolkitTest", .bounds = {0, 0, 320, 240}, .caption = "Toolkit Test"},
    {.kind = ControlKind::Panel, .name = "PnlMain", .bounds = {0, 0, 320, 240}},
    {.kind = ControlKind::Label, .name = "LStatus", .parent = "PnlMain", .bounds = {8, 8, 300, 16}, .caption = "Ready"},
    {.kind = ControlKind::Button, .name = "BGo", .parent = "PnlMain", .bounds = {8, 30, 80, 26}, .caption = "Go",
     .isDefault = true},
    {.kind = ControlKind::Button, .name = "BCancel", .parent = "PnlMain", .bounds = {96, 30, 80, 26},
     .caption = "Cancel", .isCancel = true},
    {.kind = ControlKind::CheckBox, .name = "CTick", .parent = "PnlMain", .bounds = {8, 62, 200, 20},
     .caption = "Tick me"},
    {.kind = ControlKind::Panel, .name = "BoxChoice", .parent = "PnlMain", .bounds = {8, 86, 300, 50}},
    {.kind = ControlKind::RadioButton, .name = "RFirst", .parent = "BoxChoice", .bounds = {4, 4, 200, 20},
     .caption = "First", .checked = true},
    {.kind = ControlKind::RadioButton, .name = "RSecond", .parent = "BoxChoice", .bounds = {4, 26, 200, 20},
     .caption = "Second"},
    {.kind = ControlKind::Edit, .name = "EFolder", .parent = "PnlMain", .bounds = {8, 140, 300, 22}},
    {.kind = ControlKind::ProgressBar, .name = "CtrlBar", .parent = "PnlMain", .bounds = {8, 168, 300, 18}},
    {.kind = ControlKind::HtmlView, .name = "XPage", .parent = "PnlMain", .bounds = {8, 190, 300, 44}},
});

std::string TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return sys::win32::Narrow(text);
}

std::string ClassOf(HWND window) {
  char name[128] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

class Win32ToolkitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    toolkit.SetErrorHandler([this](const std::string& text) { errors.push_back(text); });
    toolkit.ShowForm(form);
    toolkit.ProcessMessages();
  }
  HWND Handle(const char* name) { return toolkit.HandleOf(form.Get(name)); }
  // Runs the loop until `done`, with a timer as a safety net.
  void PumpUntil(const std::function<bool()>& done) {
    bool gave_up = false;
    toolkit.StartTimer(5000, [&gave_up] { gave_up = true; });
    toolkit.WaitUntil(form, [&] { return done() || gave_up; });
    EXPECT_FALSE(gave_up);
  }

  ui::Form form{kTestWindow};
  ui::Win32Toolkit toolkit;
  std::vector<std::string> errors;
};

TEST_F(Win32ToolkitTest, RendersEveryControlAtItsBoundsInAFixedCentredWindow) {
  HWND window = Handle("DToolkitTest");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(ClassOf(window), "TDToolkitTest");
  EXPECT_EQ(TextOf(window), "Toolkit Test");
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_FALSE(GetWindowLongA(window, GWL_STYLE) & WS_THICKFRAME);
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 320);
  EXPECT_EQ(client.bottom, 240);

  EXPECT_EQ(ClassOf(Handle("PnlMain")), "BrevionPanel");
  EXPECT_EQ(ClassOf(Handle("LStatus")), "Static");
  EXPECT_EQ(TextOf(Handle("BGo")), "&Go");  // with its access key
  EXPECT_EQ(ClassOf(Handle("EFolder")), "Edit");
  EXPECT_EQ(ClassOf(Handle("CtrlBar")), PROGRESS_CLASSA);
  EXPECT_EQ(ClassOf(Handle("XPage")), "BrevionBrowser");
  EXPECT_EQ(GetParent(Handle("RFirst")), Handle("BoxChoice"));
  EXPECT_EQ(SendMessageA(Handle("RFirst"), BM_GETCHECK, 0, 0), BST_CHECKED);

  RECT button;
  GetWindowRect(Handle("BGo"), &button);
  MapWindowPoints(nullptr, Handle("PnlMain"), reinterpret_cast<POINT*>(&button), 2);
  EXPECT_EQ(button.left, 8);
  EXPECT_EQ(button.top, 30);
  EXPECT_EQ(button.right - button.left, 80);
}

TEST_F(Win32ToolkitTest, NativeClicksAndTypingReachTheModel) {
  int go_clicks = 0;
  int tick_clicks = 0;
  int second_clicks = 0;
  std::string typed;
  form.Get("BGo").SetOnClick([&](ui::Control&) { ++go_clicks; });
  form.Get("CTick").SetOnClick([&](ui::Control&) { ++tick_clicks; });
  form.Get("RSecond").SetOnClick([&](ui::Control&) { ++second_clicks; });
  form.Get("EFolder").SetOnChange([&](ui::Control& edit) { typed = edit.text(); });

  SendMessageA(Handle("BGo"), BM_CLICK, 0, 0);
  EXPECT_EQ(go_clicks, 1);

  SendMessageA(Handle("CTick"), BM_CLICK, 0, 0);
  EXPECT_TRUE(form.Get("CTick").checked());
  EXPECT_EQ(tick_clicks, 1);
  EXPECT_EQ(SendMessageA(Handle("CTick"), BM_GETCHECK, 0, 0), BST_CHECKED);

  SendMessageA(Handle("RSecond"), BM_CLICK, 0, 0);
  EXPECT_TRUE(form.Get("RSecond").checked());
  EXPECT_FALSE(form.Get("RFirst").checked());
  EXPECT_EQ(second_clicks, 1);
  EXPECT_EQ(SendMessageA(Handle("RFirst"), BM_GETCHECK, 0, 0), BST_UNCHECKED);

  SetWindowTextA(Handle("EFolder"), "c:\\apps\\");
  EXPECT_EQ(form.Get("EFolder").text(), "c:\\apps\\");
  EXPECT_EQ(typed, "c:\\apps\\");

  // A disabled control the user could not reach raises nothing.
  form.Get("BGo").SetEnabled(false);
  SendMessageA(Handle("BGo"), WM_COMMAND, 0, 0);  // harmless stray command
  PostMessageA(Handle("PnlMain"), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Handle("BGo")), BN_CLICKED),
               reinterpret_cast<LPARAM>(Handle("BGo")));
  toolkit.ProcessMessages();
  EXPECT_EQ(go_clicks, 1);
}

TEST_F(Win32ToolkitTest, ModelChangesReachTheNativeControls) {
  form.Get("LStatus").SetText("Copying Files ...");
  EXPECT_EQ(TextOf(Handle("LStatus")), "Copying Files ...");
  form.SetCaption("Installing Demo");
  EXPECT_EQ(TextOf(Handle("DToolkitTest")), "Installing Demo");

  form.Get("CTick").SetChecked(true);
  EXPECT_EQ(SendMessageA(Handle("CTick"), BM_GETCHECK, 0, 0), BST_CHECKED);
  form.Get("RSecond").SetChecked(true);
  EXPECT_EQ(SendMessageA(Handle("RFirst"), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageA(Handle("RSecond"), BM_GETCHECK, 0, 0), BST_CHECKED);

  form.Get("CtrlBar").SetPosition(40);
  EXPECT_EQ(SendMessageA(Handle("CtrlBar"), PBM_GETPOS, 0, 0), 40);

  form.Get("BGo").SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(Handle("BGo")));
  form.Get("BoxChoice").SetVisible(false);
  EXPECT_FALSE(IsWindowVisible(Handle("RFirst")));
  form.Get("BoxChoice").SetVisible(true);
  EXPECT_TRUE(IsWindowVisible(Handle("RFirst")));

  form.Get("EFolder").SetText("d:\\games\\");
  EXPECT_EQ(TextOf(Handle("EFolder")), "d:\\games\\");

  form.Get("BCancel").SetBounds({200, 30, 100, 30});
  RECT moved;
  GetWindowRect(Handle("BCancel"), &moved);
  EXPECT_EQ(moved.right - moved.left, 100);

  toolkit.HideForm(form);
  EXPECT_FALSE(IsWindowVisible(Handle("DToolkitTest")));
}

// Posts a key press to the focused window, as the keyboard would.
void Press(ui::Win32Toolkit& toolkit, WPARAM key, bool alt = false) {
  if (alt) {
    PostMessageW(GetFocus(), WM_SYSCHAR, key, 1u << 29);
  } else {
    PostMessageW(GetFocus(), WM_KEYDOWN, key, 0);
  }
  toolkit.ProcessMessages();
}

bool LooksDefault(HWND button) { return (GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON; }

TEST_F(Win32ToolkitTest, KeysDoWhatTheFormModelSays) {
  int go_clicks = 0;
  int cancel_clicks = 0;
  form.Get("BGo").SetOnClick([&](ui::Control&) { ++go_clicks; });
  form.Get("BCancel").SetOnClick([&](ui::Control&) { ++cancel_clicks; });
  // Focus starts on the default button, which looks the part.
  EXPECT_EQ(GetFocus(), Handle("BGo"));
  EXPECT_TRUE(LooksDefault(Handle("BGo")));
  Press(toolkit, VK_RETURN);
  EXPECT_EQ(go_clicks, 1);

  // Tab walks the stops in table order, into and out of boxes; a focused
  // push button takes the default look.
  Press(toolkit, VK_TAB);
  EXPECT_EQ(GetFocus(), Handle("BCancel"));
  EXPECT_TRUE(LooksDefault(Handle("BCancel")));
  EXPECT_FALSE(LooksDefault(Handle("BGo")));
  Press(toolkit, VK_TAB);
  EXPECT_EQ(GetFocus(), Handle("CTick"));
  // Enter on a check box presses the default button and leaves the tick.
  Press(toolkit, VK_RETURN);
  EXPECT_EQ(go_clicks, 2);
  EXPECT_FALSE(form.Get("CTick").checked());
  EXPECT_TRUE(LooksDefault(Handle("BGo")));

  // The radio group is one stop; the arrows move and tick within it.
  Press(toolkit, VK_TAB);
  EXPECT_EQ(GetFocus(), Handle("RFirst"));
  Press(toolkit, VK_DOWN);
  EXPECT_EQ(GetFocus(), Handle("RSecond"));
  EXPECT_TRUE(form.Get("RSecond").checked());
  Press(toolkit, VK_TAB);
  EXPECT_EQ(GetFocus(), Handle("EFolder"));

  // Into the page text and out again; Escape there presses Cancel and the
  // panel and its buttons stay.
  Press(toolkit, VK_TAB);
  HWND page = GetFocus();
  EXPECT_TRUE(IsChild(Handle("XPage"), page) || page == Handle("XPage"));
  Press(toolkit, VK_ESCAPE);
  toolkit.ProcessMessages();
  EXPECT_EQ(cancel_clicks, 1);
  EXPECT_TRUE(IsWindow(Handle("PnlMain")));
  EXPECT_TRUE(IsWindowVisible(Handle("BGo")));
  // What a multi-line edit box sends its parent on Escape closes nothing.
  PostMessageW(GetParent(page), WM_CLOSE, 0, 0);
  toolkit.ProcessMessages();
  EXPECT_TRUE(IsWindow(page));
  SetFocus(page);
  Press(toolkit, VK_TAB);
  EXPECT_EQ(GetFocus(), Handle("BGo"));

  // Alt+letter: the access key of the check box ticks it.
  size_t key = form.AccessKeyIndex(form.Get("CTick"));
  ASSERT_NE(key, std::string::npos);
  Press(toolkit, static_cast<WPARAM>(form.Get("CTick").text()[key]), true);
  EXPECT_TRUE(form.Get("CTick").checked());
  EXPECT_EQ(GetFocus(), Handle("CTick"));

  // A hidden or disabled control is no stop; focus leaves a control that
  // is hidden.
  form.Get("BCancel").SetEnabled(false);
  SetFocus(Handle("BGo"));
  Press(toolkit, VK_TAB);
  EXPECT_EQ(GetFocus(), Handle("CTick"));
  form.Get("CTick").SetVisible(false);
  EXPECT_EQ(GetFocus(), Handle("BGo"));
}

TEST_F(Win32ToolkitTest, ANewResolutionScalesTheLayoutFromItsNinetySixDpiPixels) {
  HWND window = Handle("DToolkitTest");
  RECT suggested{10, 10, 700, 600};
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
  RECT button;
  GetWindowRect(Handle("BGo"), &button);
  EXPECT_EQ(button.right - button.left, 160);
  MapWindowPoints(nullptr, Handle("PnlMain"), reinterpret_cast<POINT*>(&button), 2);
  EXPECT_EQ(button.top, 60);
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 320);
}

// The archive progress window: no close box, above other windows, 116
// pixels tall overall with its controls inside the client area left.
TEST(Win32ArchiveWindow, HasNoCloseBoxStaysOnTopAndIsShownAtItsHeight) {
  ui::Win32Toolkit toolkit;
  archive::TDIndexedFile dialog(toolkit);
  dialog.BeginProgress();
  HWND window = toolkit.HandleOf(dialog.form().window());
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(GetWindowLongW(window, GWL_STYLE) & WS_SYSMENU);
  EXPECT_TRUE(GetWindowLongW(window, GWL_STYLE) & WS_CAPTION);
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  RECT outer;
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.bottom - outer.top, MulDiv(116, dpi, 96));
  RECT client;
  GetClientRect(window, &client);
  EXPECT_LT(client.bottom, outer.bottom - outer.top);
  RECT abort;
  GetWindowRect(toolkit.HandleOf(dialog.form().Get("BAbort")), &abort);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&abort), 2);
  EXPECT_LE(abort.bottom, client.bottom);
  // Its close (Alt+F4) means Abort, never a half-done operation's end.
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(archive::Module().abort);
  EXPECT_TRUE(IsWindowVisible(window));
  dialog.EndProgress(false);
  EXPECT_FALSE(IsWindowVisible(window));
}

TEST_F(Win32ToolkitTest, TimersFireOnceAndHandlerErrorsGoToTheErrorHandler) {
  int ticks = 0;
  toolkit.StartTimer(20, [&ticks] { ++ticks; });
  PumpUntil([&] { return ticks > 0; });
  toolkit.ProcessMessages();
  EXPECT_EQ(ticks, 1);

  form.Get("BGo").SetOnClick([](ui::Control&) { throw std::runtime_error("TECLStream.LoadBlock - broken"); });
  SendMessageA(Handle("BGo"), BM_CLICK, 0, 0);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "TECLStream.LoadBlock - broken");
}

TEST_F(Win32ToolkitTest, TheCloseBoxClosesTheFormAndEndsRun) {
  bool close_event = false;
  form.SetOnClose([&](ui::Form&) { close_event = true; });
  toolkit.StartTimer(10, [this] { PostMessageA(Handle("DToolkitTest"), WM_CLOSE, 0, 0); });
  toolkit.Run(form);
  EXPECT_TRUE(form.closed());
  EXPECT_TRUE(close_event);
  EXPECT_FALSE(IsWindowVisible(Handle("DToolkitTest")));
}

// Finds the input box and answers it as a user would.
void AnswerInputBox(const char* text, int button) {
  HWND box = FindWindowA("BrevionInputBox", nullptr);
  ASSERT_NE(box, nullptr);
  if (text) SetWindowTextA(GetDlgItem(box, 100), text);
  SendMessageA(GetDlgItem(box, button), BM_CLICK, 0, 0);
}

TEST_F(Win32ToolkitTest, InputBoxAnswersTheTextOrNothingWhenCancelled) {
  toolkit.StartTimer(10, [] { AnswerInputBox("My Folder", IDOK); });
  EXPECT_EQ(toolkit.InputBox("New Folder", "Folder Name:", ""), "My Folder");

  toolkit.StartTimer(10, [] { AnswerInputBox("ignored", IDCANCEL); });
  EXPECT_EQ(toolkit.InputBox("New Folder", "Folder Name:", "proposed"), std::nullopt);
  EXPECT_TRUE(IsWindowEnabled(Handle("DToolkitTest")));
  EXPECT_EQ(FindWindowA("BrevionInputBox", nullptr), nullptr);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

// Presses a button of the shell's folder dialog once its folder field shows
// `folder_name`: the dialog opens its tree down to the initial folder a
// level at a time, and a press before it arrives would pick a folder on
// the way.
void PressFolderDialogButton(ui::Win32Toolkit& toolkit, const std::string& folder_name, int button, int tries = 50) {
  HWND dialog = FindWindowA("#32770", nullptr);
  HWND field = dialog ? FindWindowExA(dialog, nullptr, "Edit", nullptr) : nullptr;
  bool arrived = field && Lower(TextOf(field)) == Lower(folder_name);
  if (!arrived && tries > 0) {
    toolkit.StartTimer(200, [&toolkit, folder_name, button, tries] {
      PressFolderDialogButton(toolkit, folder_name, button, tries - 1);
    });
    return;
  }
  ASSERT_NE(dialog, nullptr);
  SendMessageA(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
}

TEST_F(Win32ToolkitTest, ChooseDirectoryStartsAtTheInitialFolder) {
  // A folder one level below a drive: Wine's dialog walks deep trees
  // unreliably, which is not what this checks.
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, MAX_PATH);
  std::string initial = std::string(windows) + "\\";
  std::string name = initial.substr(3, initial.size() - 4);
  toolkit.StartTimer(200, [this, name] { PressFolderDialogButton(toolkit, name, IDOK); });
  std::string chosen = toolkit.ChooseDirectory(initial, "Choose an installation directory");
  EXPECT_EQ(Lower(chosen), Lower(windows));

  toolkit.StartTimer(200, [this, name] { PressFolderDialogButton(toolkit, name, IDCANCEL); });
  EXPECT_EQ(toolkit.ChooseDirectory(initial, "Choose an installation directory"), "");
}

TEST_F(Win32ToolkitTest, HtmlViewShowsThePageTextWhenNoBrowserIsAvailable) {
  testsupport::TempDir temp;
  std::string page = temp.Write("license.htm",
                                "<html><head><title>T</title><style>p{color:red}</style></head><body>"
                                "<h1>License</h1><p>Use it &amp; enjoy.</p><script>var x = 1;</script>"
                                "<p>Line one<br>Line two</p></body></html>");
  ui::Control& view = form.Get("XPage");
  toolkit.Navigate(view, page);
  EXPECT_EQ(view.text(), page);
  PumpUntil([&] { return toolkit.DocumentComplete(view); });
  toolkit.HideBodyOverflow(view);
  HWND host = Handle("XPage");
  HWND text = FindWindowExA(host, nullptr, "Edit", nullptr);
  if (!text) GTEST_SKIP() << "the system's browser control is in use";
  EXPECT_EQ(TextOf(text), "License\r\n\r\nUse it & enjoy.\r\n\r\nLine one\r\nLine two");

  toolkit.Navigate(view, temp.dir() + "missing.htm");
  EXPECT_TRUE(toolkit.DocumentComplete(view));
  EXPECT_EQ(TextOf(text).rfind("This page cannot be displayed.", 0), 0u);

  std::string readme = temp.Write("Readme.txt", "First <line>\nSecond  line\n");
  toolkit.Navigate(view, readme);
  EXPECT_EQ(TextOf(text), "First <line>\r\nSecond  line\r\n");
}

// Writes the screen area of `window` as a 24-bit BMP file.
void SaveWindowPicture(HWND window, const std::string& file) {
  RECT area;
  GetWindowRect(window, &area);
  int width = area.right - area.left;
  int height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  int stride = (width * 3 + 3) & ~3;
  std::vector<char> pixels(static_cast<size_t>(stride) * height);
  GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  BITMAPFILEHEADER header{};
  header.bfType = 0x4D42;
  header.bfOffBits = sizeof header + sizeof info;
  header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

// Not a check: pictures of the main window's panels for a person to look
// at, written when BREVION_SNAPSHOT_DIR names a folder.
TEST(Win32ToolkitSnapshots, MainWindowPanels) {
  const char* folder = std::getenv("BREVION_SNAPSHOT_DIR");
  if (!folder) GTEST_SKIP() << "set BREVION_SNAPSHOT_DIR to write pictures of the panels";
  ui::Form main(app::MainWindowDefinition());
  ui::Win32Toolkit toolkit;
  toolkit.ShowForm(main);
  std::vector<ui::Control*> panels;
  for (ui::Control* control : main.controls()) {
    if (control->kind() == ControlKind::Panel && control->name().starts_with("Pnl")) panels.push_back(control);
  }
  main.Get("CtrlStatusProgress").SetPosition(60);
  for (ui::Control* panel : panels) {
    for (ui::Control* other : panels) other->SetVisible(other == panel);
    bool shown = false;
    toolkit.StartTimer(300, [&shown] { shown = true; });
    toolkit.WaitUntil(main, [&shown] { return shown; });
    SaveWindowPicture(toolkit.HandleOf(main.window()), std::string(folder) + "\\" + panel->name() + ".bmp");
  }
}

}  // namespace

#endif  // _WIN32
