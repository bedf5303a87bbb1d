#include "ui/win32/win32_toolkit.h"

#include <commctrl.h>
#include <ole2.h>

#include <algorithm>

#include "system/win32/wide_text.h"
#include "ui/win32/dialogs.h"
#include "ui/win32/font_set.h"
#include "ui/win32/native_form.h"

namespace ui {

namespace {

constexpr wchar_t kMessageWindowClass[] = L"BrevionToolkitMessages";

using sys::win32::Widen;

int ScreenPixelsPerInch() {
  HDC screen = GetDC(nullptr);
  int pixels = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return pixels;
}

UINT MessageBoxFlags(Buttons buttons, Icon icon) {
  UINT flags = MB_OK;
  switch (buttons) {
    case Buttons::Ok: flags = MB_OK; break;
    case Buttons::YesNo: flags = MB_YESNO; break;
    case Buttons::YesNoCancel: flags = MB_YESNOCANCEL; break;
  }
  switch (icon) {
    case Icon::Information: flags |= MB_ICONINFORMATION; break;
    case Icon::Question: flags |= MB_ICONQUESTION; break;
    case Icon::Warning: flags |= MB_ICONWARNING; break;
    case Icon::Error: flags |= MB_ICONERROR; break;
  }
  return flags;
}

}  // namespace

Win32Toolkit::Win32Toolkit() {
  oleInitialised_ = SUCCEEDED(OleInitialize(nullptr));
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  screenPixelsPerInch_ = ScreenPixelsPerInch();

  WNDCLASSW messageClass{};
  messageClass.lpfnWndProc = MessageWindowProc;
  messageClass.hInstance = GetModuleHandleW(nullptr);
  messageClass.lpszClassName = kMessageWindowClass;
  RegisterClassW(&messageClass);
  messageWindow_ = CreateWindowExW(0, kMessageWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(messageWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32Toolkit::~Win32Toolkit() {
  for (const auto& [id, tick] : timers_) KillTimer(messageWindow_, id);
  timers_.clear();
  // The forms may be gone already: the native windows go without touching
  // them (see ~NativeForm).
  forms_.clear();
  SetWindowLongPtrW(messageWindow_, GWLP_USERDATA, 0);
  DestroyWindow(messageWindow_);
  fonts_.clear();
  if (oleInitialised_) OleUninitialize();
}

const FontSet& Win32Toolkit::fonts(int pixelsPerInch) const {
  std::unique_ptr<FontSet>& set = fonts_[pixelsPerInch];
  if (!set) set = std::make_unique<FontSet>(pixelsPerInch);
  return *set;
}

NativeForm* Win32Toolkit::Find(const Form& form) const {
  auto found = forms_.find(&form);
  return found == forms_.end() ? nullptr : found->second.get();
}

NativeForm& Win32Toolkit::Native(Form& form) {
  if (NativeForm* native = Find(form)) return *native;
  NativeForm* first = firstForm_ ? Find(*firstForm_) : nullptr;
  HWND owner = first ? first->window() : nullptr;
  if (!firstForm_) firstForm_ = &form;
  auto native = std::make_unique<NativeForm>(*this, form, owner);
  NativeForm& result = *native;
  forms_.emplace(&form, std::move(native));
  form.SetObserver(this);
  return result;
}

HWND Win32Toolkit::HandleOf(const Control& control) const {
  NativeForm* native = Find(control.form());
  return native ? native->HandleOf(control) : nullptr;
}

HWND Win32Toolkit::DialogOwner() const {
  HWND active = GetActiveWindow();
  for (const auto& [form, native] : forms_) {
    if (native->window() == active) return active;
  }
  for (const auto& [form, native] : forms_) {
    if (IsWindowVisible(native->window())) return native->window();
  }
  return active;
}

void Win32Toolkit::Dispatch(const std::function<void()>& event) { RunGuarded(*this, errorHandler_, event); }

void Win32Toolkit::ControlChanged(Control& control, Property what) {
  if (NativeForm* native = Find(control.form())) native->Apply(control, what);
}

void Win32Toolkit::ShowForm(Form& form) {
  NativeForm& native = Native(form);
  if (form.visible()) {
    SetForegroundWindow(native.window());
    form.Show();  // clears a closed state; raises nothing on a visible form
    return;
  }
  form.Show();
}

void Win32Toolkit::DispatchNative(MSG& message) {
  HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  NativeForm* form = nullptr;
  if (root) {
    for (const auto& [model, native] : forms_) {
      if (native->window() == root) form = native.get();
    }
  }
  if (form && form->HandleKey(message)) return;
  if (!root || !GetPropW(root, kDialogProperty) || !IsDialogMessageW(root, &message)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // The focus may have moved (a click, the dialog manager): the button that
  // Enter would press shows it. The form may be gone after the message.
  if (form) {
    for (const auto& [model, native] : forms_) {
      if (native.get() == form) form->RefreshDefaultLook();
    }
  }
}

bool Win32Toolkit::DispatchNextMessage() {
  MSG message;
  BOOL got = GetMessageW(&message, nullptr, 0, 0);
  if (got <= 0) {
    PostQuitMessage(got == 0 ? static_cast<int>(message.wParam) : 1);
    return false;
  }
  DispatchNative(message);
  return true;
}

void Win32Toolkit::Run(Form& main) {
  ShowForm(main);
  while (!main.closed()) {
    if (!DispatchNextMessage()) {
      Dispatch([&main] { main.Close(); });
      break;
    }
  }
}

void Win32Toolkit::WaitUntil(Form& form, const std::function<bool()>& done) {
  while (!done() && form.visible() && !form.closed()) {
    if (!DispatchNextMessage()) {
      Dispatch([&form] { form.Close(); });
      break;
    }
  }
}

void Win32Toolkit::ProcessMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    DispatchNative(message);
  }
}

void Win32Toolkit::StartTimer(int intervalMs, std::function<void()> tick) {
  UINT_PTR id = nextTimerId_++;
  timers_.emplace(id, std::move(tick));
  SetTimer(messageWindow_, id, static_cast<UINT>(std::max(intervalMs, 1)), nullptr);
}

void Win32Toolkit::TimerTicked(UINT_PTR id) {
  KillTimer(messageWindow_, id);
  auto found = timers_.find(id);
  if (found == timers_.end()) return;
  std::function<void()> tick = std::move(found->second);
  timers_.erase(found);
  Dispatch(tick);
}

LRESULT CALLBACK Win32Toolkit::MessageWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* toolkit = reinterpret_cast<Win32Toolkit*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (toolkit && message == WM_TIMER) {
    toolkit->TimerTicked(wparam);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

Answer Win32Toolkit::MessageBox(const std::string& caption, const std::string& text, Buttons buttons, Icon icon) {
  const std::string& heading = caption.empty() ? title_ : caption;
  HWND owner = DialogOwner();
  // A box without a window of ours to sit on (the archive modes hide the
  // main window) must not open behind other programs.
  UINT flags = MessageBoxFlags(buttons, icon) | (owner ? 0 : MB_SETFOREGROUND | MB_TOPMOST);
  int pressed = MessageBoxW(owner, Widen(text).c_str(), Widen(heading).c_str(), flags);
  switch (pressed) {
    case IDOK: return Answer::Ok;
    case IDYES: return Answer::Yes;
    case IDNO: return Answer::No;
    case IDCANCEL: return buttons == Buttons::YesNoCancel ? Answer::Cancel : ClosedAnswer(buttons);
    default: return ClosedAnswer(buttons);
  }
}

std::optional<std::string> Win32Toolkit::InputBox(const std::string& caption, const std::string& prompt,
                                                  const std::string& answer) {
  return RunInputBox(*this, DialogOwner(), caption.empty() ? title_ : caption, prompt, answer);
}

std::string Win32Toolkit::ChooseDirectory(const std::string& initialFolder, const std::string& prompt) {
  return BrowseForFolder(DialogOwner(), initialFolder, prompt);
}

void Win32Toolkit::Navigate(Control& view, const std::string& file) {
  view.SetText(file);
  if (BrowserView* browser = Native(view.form()).BrowserOf(view)) browser->Navigate(file);
}

bool Win32Toolkit::DocumentComplete(Control& view) {
  BrowserView* browser = Native(view.form()).BrowserOf(view);
  return !browser || browser->DocumentComplete();
}

void Win32Toolkit::HideBodyOverflow(Control& view) {
  if (BrowserView* browser = Native(view.form()).BrowserOf(view)) browser->HideBodyOverflow();
}

}  // namespace ui
