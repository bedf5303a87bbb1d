#include "ui/win32/dialogs.h"

#include <shlobj.h>

#include <algorithm>

#include "system/win32/shell_path.h"
#include "system/win32/wide_text.h"
#include "ui/win32/font_set.h"
#include "ui/win32/win32_toolkit.h"

namespace ui {

namespace {

constexpr wchar_t kInputBoxClass[] = L"BrevionInputBox";

using sys::win32::Narrow;
using sys::win32::Widen;
constexpr int kInputEditId = 100;

// Client layout of the input box at 96 dpi.
constexpr int kBoxWidth = 360;
constexpr int kBoxHeight = 108;
constexpr RECT kPromptArea{10, 10, 350, 28};
constexpr RECT kEditArea{10, 32, 350, 54};
constexpr RECT kOkArea{180, 70, 260, 96};
constexpr RECT kCancelArea{270, 70, 350, 96};

struct InputBoxState {
  HWND edit = nullptr;
  bool done = false;
  std::optional<std::string> result;
};

std::string WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

LRESULT CALLBACK InputBoxProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<InputBoxState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (state && message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
    if (LOWORD(wparam) == IDOK) state->result = WindowText(state->edit);
    state->done = true;
    return 0;
  }
  if (state && message == WM_CLOSE) {
    state->done = true;
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void RegisterInputBoxClass() {
  WNDCLASSW existing{};
  if (GetClassInfoW(GetModuleHandleW(nullptr), kInputBoxClass, &existing)) return;
  WNDCLASSW box{};
  box.lpfnWndProc = InputBoxProc;
  box.hInstance = GetModuleHandleW(nullptr);
  box.hCursor = SystemCursor(IDC_ARROW);
  box.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  box.lpszClassName = kInputBoxClass;
  RegisterClassW(&box);
}

class Scaler {
 public:
  Scaler() {
    HDC screen = GetDC(nullptr);
    pixelsPerInch_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  int operator()(int pixels) const { return MulDiv(pixels, pixelsPerInch_, 96); }

 private:
  int pixelsPerInch_ = 96;
};

HWND AddChild(HWND parent, const wchar_t* windowClass, const std::string& text, DWORD style, DWORD exStyle,
              const RECT& area, int id, HFONT font, const Scaler& scale) {
  HWND child = CreateWindowExW(exStyle, windowClass, Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                               scale(area.left), scale(area.top), scale(area.right - area.left),
                               scale(area.bottom - area.top), parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

HWND CreateInputBox(const std::string& caption, HWND owner, const Scaler& scale) {
  constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT outer{0, 0, scale(kBoxWidth), scale(kBoxHeight)};
  AdjustWindowRectEx(&outer, kStyle, FALSE, kExStyle);
  int width = outer.right - outer.left;
  int height = outer.bottom - outer.top;
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return CreateWindowExW(kExStyle | (owner ? 0 : WS_EX_TOPMOST), kInputBoxClass, Widen(caption).c_str(), kStyle,
                         work.left + (work.right - work.left - width) / 2,
                         work.top + (work.bottom - work.top - height) / 2, width, height, owner, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

// Centres a window on the work area of the screen (of its owner's monitor
// when it has an owner).
void CentreWindow(HWND window) {
  RECT area;
  GetWindowRect(window, &area);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  HWND anchor = GetWindow(window, GW_OWNER);
  if (!GetMonitorInfoW(MonitorFromWindow(anchor ? anchor : window, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
  const RECT& work = monitor.rcWork;
  int width = area.right - area.left;
  int height = area.bottom - area.top;
  int left = work.left + std::max(0L, (work.right - work.left - width) / 2);
  int top = work.top + std::max(0L, (work.bottom - work.top - height) / 2);
  SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Starts the folder browser's selection at the wanted folder, with the
// dialog in the middle of the screen (the shell opens an ownerless one in a
// corner).
int CALLBACK SelectInitialFolder(HWND dialog, UINT message, LPARAM, LPARAM folder) {
  if (message == BFFM_INITIALIZED) {
    CentreWindow(dialog);
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, folder);
  }
  return 0;
}

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::optional<std::string> RunInputBox(Win32Toolkit& toolkit, HWND owner, const std::string& caption,
                                       const std::string& prompt, const std::string& answer) {
  RegisterInputBoxClass();
  Scaler scale;
  HFONT font = toolkit.fonts().Get(Font::Normal);
  InputBoxState state;
  HWND box = CreateInputBox(caption, owner, scale);
  if (!box) return std::nullopt;
  SetPropW(box, Win32Toolkit::kDialogProperty, reinterpret_cast<HANDLE>(1));
  AddChild(box, L"STATIC", prompt, SS_LEFT | SS_NOPREFIX, 0, kPromptArea, -1, font, scale);
  state.edit = AddChild(box, L"EDIT", answer, ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, WS_EX_CLIENTEDGE, kEditArea,
                        kInputEditId, font, scale);
  AddChild(box, L"BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, kOkArea, IDOK, font, scale);
  AddChild(box, L"BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 0, kCancelArea, IDCANCEL, font, scale);
  SetWindowLongPtrW(box, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));

  bool ownerWasEnabled = owner && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  ShowWindow(box, SW_SHOW);
  SetForegroundWindow(box);
  SetFocus(state.edit);
  SendMessageW(state.edit, EM_SETSEL, 0, -1);
  while (!state.done && toolkit.DispatchNextMessage()) {
  }
  // The owner is enabled again before the box goes, so that it, not some
  // other program, becomes the active window.
  if (ownerWasEnabled) EnableWindow(owner, TRUE);
  SetWindowLongPtrW(box, GWLP_USERDATA, 0);
  DestroyWindow(box);
  return state.result;
}

std::string BrowseForFolder(HWND owner, const std::string& initialFolder, const std::string& prompt) {
  std::string start = !initialFolder.empty() && IsFolder(initialFolder) ? initialFolder : "c:\\";
  // The shell selects "c:\foo" but not always "c:\foo\"; a drive keeps its backslash.
  if (start.size() > 3 && (start.back() == '\\' || start.back() == '/')) start.pop_back();
  std::wstring wide_start = Widen(start);
  std::wstring wide_prompt = Widen(prompt);
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.lpszTitle = wide_prompt.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
  info.lpfn = SelectInitialFolder;
  info.lParam = reinterpret_cast<LPARAM>(wide_start.c_str());
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (!chosen) return "";
  std::string path = sys::win32::PathOfItemList(chosen);
  CoTaskMemFree(chosen);
  return path;
}

}  // namespace ui
