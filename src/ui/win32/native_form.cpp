#include "ui/win32/native_form.h"

#include <commctrl.h>

#include <algorithm>
#include <cctype>

#include "system/win32/wide_text.h"
#include "ui/win32/font_set.h"
#include "ui/win32/win32_toolkit.h"

namespace ui {

namespace {

constexpr int kFirstId = 100;  // below are IDOK and IDCANCEL, which the dialog manager sends
constexpr wchar_t kPanelClass[] = L"BrevionPanel";
constexpr DWORD kTopStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kTopExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

using sys::win32::Narrow;
using sys::win32::Widen;

std::string WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

void SetText(HWND window, const std::string& text) { SetWindowTextW(window, Widen(text).c_str()); }

// A caption as a button shows it: "&" doubled (a literal ampersand) and the
// access key, if any, marked by a "&" before it.
std::string MarkedCaption(const std::string& caption, size_t accessKey) {
  std::string marked;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (i == accessKey) marked += '&';
    marked += caption[i];
    if (caption[i] == '&') marked += '&';
  }
  return marked;
}

bool IsClickable(ControlKind kind) {
  return kind == ControlKind::Button || kind == ControlKind::CheckBox || kind == ControlKind::RadioButton;
}

// The resolution of the monitor a window is on where the system tells it per
// window (Windows 10 and later), else the screen's.
int WindowPixelsPerInch(HWND window) {
  using GetDpi = UINT(WINAPI*)(HWND);
  static const auto getDpi = reinterpret_cast<GetDpi>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpi && window) {
    if (UINT dpi = getDpi(window)) return static_cast<int>(dpi);
  }
  HDC screen = GetDC(nullptr);
  int pixels = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// The outer size for a client size, with the frame metrics of the given
// resolution where the system offers them.
void AdjustForFrame(RECT& area, DWORD style, DWORD exStyle, int pixelsPerInch) {
  using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjustForDpi = reinterpret_cast<AdjustForDpi>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
  if (adjustForDpi && adjustForDpi(&area, style, FALSE, exStyle, static_cast<UINT>(pixelsPerInch))) return;
  AdjustWindowRectEx(&area, style, FALSE, exStyle);
}

DWORD LabelStyle(const Style& style) {
  DWORD bits = SS_NOTIFY | SS_NOPREFIX;
  switch (style.align) {
    case Align::Center: bits |= SS_CENTER; break;
    case Align::Right: bits |= SS_RIGHT; break;
    case Align::Left: bits |= style.wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP; break;
  }
  if (style.border == Border::Lowered) bits |= SS_SUNKEN;
  if (style.border == Border::Single) bits |= WS_BORDER;
  return bits;
}

DWORD EditAlignment(const Style& style) {
  switch (style.align) {
    case Align::Center: return ES_CENTER;
    case Align::Right: return ES_RIGHT;
    case Align::Left: break;
  }
  return ES_LEFT;
}

struct NativeKind {
  const wchar_t* windowClass;
  DWORD style;
  DWORD exStyle;
};

// The window class and styles that render a control of the given kind.
NativeKind NativeKindOf(const Control& control) {
  const Style& style = control.style();
  switch (control.kind()) {
    case ControlKind::Panel:
      return {kPanelClass, WS_CLIPSIBLINGS | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT};
    case ControlKind::Label:
      return {L"STATIC", LabelStyle(style), 0};
    case ControlKind::Button:
      return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP | (style.wordWrap ? BS_MULTILINE : 0u), 0};
    case ControlKind::CheckBox:
      return {L"BUTTON", BS_CHECKBOX | WS_TABSTOP, 0};
    case ControlKind::RadioButton:
      return {L"BUTTON", BS_RADIOBUTTON | WS_TABSTOP, 0};
    case ControlKind::Edit:
      return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP | EditAlignment(style), WS_EX_CLIENTEDGE};
    case ControlKind::Memo:
      // A memo without a border shows text on the panel (no tab stop: it is
      // read like a label); one with a border is a text area the user may edit.
      if (style.border == Border::None) return {L"EDIT", ES_MULTILINE | ES_READONLY | EditAlignment(style), 0};
      return {L"EDIT", ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP | EditAlignment(style),
              WS_EX_CLIENTEDGE};
    case ControlKind::ProgressBar:
      return {PROGRESS_CLASSW, 0, 0};
    case ControlKind::Image:
      return {L"STATIC", SS_OWNERDRAW | SS_NOTIFY, 0};
    case ControlKind::Window:
    case ControlKind::HtmlView:
    case ControlKind::Timer:
      break;
  }
  return {nullptr, 0, 0};
}

bool IsTextEntry(ControlKind kind) { return kind == ControlKind::Edit || kind == ControlKind::Memo; }

NativeForm* FormOfWindow(HWND window) {
  return reinterpret_cast<NativeForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace

NativeForm::NativeForm(Win32Toolkit& toolkit, Form& form, HWND owner) : toolkit_(toolkit), form_(form) {
  pixelsPerInch_ = WindowPixelsPerInch(nullptr);
  RegisterClasses();
  CreateTopWindow(owner);
  const std::vector<Control*>& controls = form.controls();
  entries_.reserve(controls.size());
  for (size_t index = 0; index < controls.size(); ++index) {
    Control& control = *controls[index];
    // Radio buttons in a row form one group; any other control ends it.
    const Control* previous = nullptr;
    for (size_t back = index; back-- > 0;) {
      if (controls[back]->parent() == control.parent()) {
        previous = controls[back];
        break;
      }
    }
    bool startsGroup = control.kind() != ControlKind::RadioButton || !previous ||
                        previous->kind() != ControlKind::RadioButton;
    CreateChild(control, index, startsGroup);
  }
  RefreshCaptions();
  if (form.visible()) ShowTopWindow(true);
}

NativeForm::~NativeForm() {
  // The form may already be gone: nothing here reads the model, and the
  // windows stop calling back before they are destroyed.
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  for (Entry& entry : entries_) {
    if (entry.browser) {
      entry.browser.reset();
    } else if (entry.handle) {
      SetWindowLongPtrW(entry.handle, GWLP_USERDATA, 0);  // panels point back here
    }
  }
  DestroyWindow(window_);
}

void NativeForm::RegisterClasses() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  std::wstring topClass = Widen("T" + form_.name());
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (!GetClassInfoExW(instance, topClass.c_str(), &existing)) {
    WNDCLASSEXW top{};
    top.cbSize = sizeof top;
    top.lpfnWndProc = TopWindowProc;
    top.hInstance = instance;
    top.hCursor = SystemCursor(IDC_ARROW);
    top.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    top.hIcon = LoadIconW(instance, L"MAINICON");
    top.lpszClassName = topClass.c_str();
    RegisterClassExW(&top);
  }
  if (!GetClassInfoExW(instance, kPanelClass, &existing)) {
    WNDCLASSEXW panel{};
    panel.cbSize = sizeof panel;
    panel.style = CS_HREDRAW | CS_VREDRAW;
    panel.lpfnWndProc = PanelProc;
    panel.hInstance = instance;
    panel.hCursor = SystemCursor(IDC_ARROW);
    panel.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    panel.lpszClassName = kPanelClass;
    RegisterClassExW(&panel);
  }
}

int NativeForm::Scale(int pixels) const { return MulDiv(pixels, pixelsPerInch_, 96); }

RECT NativeForm::ScaledBounds(const Rect& bounds) const {
  RECT area{Scale(bounds.left), Scale(bounds.top), 0, 0};
  area.right = area.left + Scale(bounds.width);
  area.bottom = area.top + Scale(bounds.height);
  return area;
}

DWORD NativeForm::TopStyle() const { return form_.frame().closeBox ? kTopStyle : kTopStyle & ~WS_SYSMENU; }

DWORD NativeForm::TopExStyle() const { return kTopExStyle | (form_.frame().staysOnTop ? WS_EX_TOPMOST : 0); }

HFONT NativeForm::FontOf(const Control& control) const {
  return toolkit_.fonts(pixelsPerInch_).Get(control.style().font);
}

void NativeForm::CreateTopWindow(HWND owner) {
  std::wstring topClass = Widen("T" + form_.name());
  window_ = CreateWindowExW(TopExStyle() | (owner ? 0 : WS_EX_APPWINDOW), topClass.c_str(),
                            Widen(form_.caption()).c_str(), TopStyle(), 0, 0, 100, 100, owner, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetPropW(window_, Win32Toolkit::kDialogProperty, reinterpret_cast<HANDLE>(1));
  // The window may have opened on a monitor with another resolution.
  pixelsPerInch_ = WindowPixelsPerInch(window_);
  SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(toolkit_.fonts(pixelsPerInch_).Get(Font::Normal)),
               FALSE);
  PlaceTopWindow();
}

void NativeForm::ApplyFrame() {
  LONG_PTR kept = GetWindowLongPtrW(window_, GWL_EXSTYLE) & WS_EX_APPWINDOW;
  SetWindowLongPtrW(window_, GWL_STYLE, (GetWindowLongPtrW(window_, GWL_STYLE) & WS_VISIBLE) | TopStyle());
  SetWindowLongPtrW(window_, GWL_EXSTYLE, kept | TopExStyle());
  SetWindowPos(window_, form_.frame().staysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  PlaceTopWindow();
}

void NativeForm::PlaceTopWindow() {
  const Rect& bounds = form_.window().bounds();
  RECT outer{0, 0, Scale(bounds.width), Scale(bounds.height)};
  AdjustForFrame(outer, TopStyle(), TopExStyle(), pixelsPerInch_);
  int width = outer.right - outer.left;
  int height = outer.bottom - outer.top;
  if (form_.frame().outerHeight > 0) height = Scale(form_.frame().outerHeight);
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  int left = work.left + std::max(0L, (work.right - work.left - width) / 2);
  int top = work.top + std::max(0L, (work.bottom - work.top - height) / 2);
  SetWindowPos(window_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  FitClientArea();
}

void NativeForm::FitClientArea() {
  // The frame the system draws may differ from the one computed for the
  // resolution (a window that has not taken its new metrics yet): the
  // client area, which the layout fills, gets exactly its size.
  if (form_.frame().outerHeight > 0) return;
  const Rect& bounds = form_.window().bounds();
  RECT client;
  RECT outer;
  GetClientRect(window_, &client);
  GetWindowRect(window_, &outer);
  int extraWidth = Scale(bounds.width) - client.right;
  int extraHeight = Scale(bounds.height) - client.bottom;
  if (extraWidth == 0 && extraHeight == 0) return;
  SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left + extraWidth, outer.bottom - outer.top + extraHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void NativeForm::Rescale(int pixelsPerInch, const RECT* suggested) {
  if (pixelsPerInch <= 0) return;
  pixelsPerInch_ = pixelsPerInch;
  SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(toolkit_.fonts(pixelsPerInch_).Get(Font::Normal)),
               FALSE);
  for (Entry& entry : entries_) {
    if (!entry.handle) continue;
    RECT area = ScaledBounds(entry.control->bounds());
    MoveWindow(entry.handle, area.left, area.top, area.right - area.left, area.bottom - area.top, FALSE);
    if (entry.browser) {
      entry.browser->SetFont(FontOf(*entry.control));
    } else {
      SendMessageW(entry.handle, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(*entry.control)), FALSE);
    }
  }
  const Rect& bounds = form_.window().bounds();
  RECT outer{0, 0, Scale(bounds.width), Scale(bounds.height)};
  AdjustForFrame(outer, TopStyle(), TopExStyle(), pixelsPerInch_);
  int width = outer.right - outer.left;
  int height = form_.frame().outerHeight > 0 ? Scale(form_.frame().outerHeight) : outer.bottom - outer.top;
  // The system's suggestion keeps the window under the mouse on the monitor
  // it moved to; the size is the layout's own.
  RECT place{};
  if (suggested) {
    place = *suggested;
  } else {
    GetWindowRect(window_, &place);
  }
  SetWindowPos(window_, nullptr, place.left, place.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  FitClientArea();
  RedrawWindow(window_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void NativeForm::CreateChild(Control& control, size_t index, bool startsGroup) {
  Entry entry{&control, nullptr, nullptr, {}, false};
  HWND parent = control.parent() ? HandleOf(*control.parent()) : window_;
  if (!parent) parent = window_;
  RECT area = ScaledBounds(control.bounds());
  HFONT font = FontOf(control);
  if (control.kind() == ControlKind::HtmlView) {
    entry.browser = std::make_unique<BrowserView>(parent, area, control.visible(), font);
    entry.handle = entry.browser->window();
  } else if (NativeKind native = NativeKindOf(control); native.windowClass) {
    DWORD style = WS_CHILD | native.style | (control.visible() ? WS_VISIBLE : 0u) | (startsGroup ? WS_GROUP : 0u);
    auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + index));
    // Captions of clickable controls are set with their access keys once
    // the whole form exists (RefreshCaptions).
    std::wstring text = IsClickable(control.kind()) ? std::wstring() : Widen(control.text());
    entry.handle = CreateWindowExW(native.exStyle, native.windowClass, text.c_str(), style, area.left, area.top,
                                   area.right - area.left, area.bottom - area.top, parent, id,
                                   GetModuleHandleW(nullptr), nullptr);
  }
  if (entry.handle) {
    if (control.kind() == ControlKind::Panel) {
      SetWindowLongPtrW(entry.handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    SendMessageW(entry.handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (!control.enabled()) EnableWindow(entry.handle, FALSE);
    if (control.checked()) SendMessageW(entry.handle, BM_SETCHECK, BST_CHECKED, 0);
    if (control.kind() == ControlKind::ProgressBar) {
      SendMessageW(entry.handle, PBM_SETRANGE32, 0, 100);
      SendMessageW(entry.handle, PBM_SETPOS, control.position(), 0);
    }
  }
  entries_.push_back(std::move(entry));
}

HWND NativeForm::HandleOf(const Control& control) const {
  if (&control == &form_.window()) return window_;
  for (const Entry& entry : entries_) {
    if (entry.control == &control) return entry.handle;
  }
  return nullptr;
}

BrowserView* NativeForm::BrowserOf(const Control& control) const {
  for (const Entry& entry : entries_) {
    if (entry.control == &control) return entry.browser.get();
  }
  return nullptr;
}

NativeForm::Entry* NativeForm::EntryOf(const Control& control) {
  for (Entry& entry : entries_) {
    if (entry.control == &control) return &entry;
  }
  return nullptr;
}

NativeForm::Entry* NativeForm::EntryOf(HWND handle) {
  for (Entry& entry : entries_) {
    if (entry.handle == handle) return &entry;
  }
  return nullptr;
}

void NativeForm::ShowTopWindow(bool visible) {
  if (!visible) {
    ShowWindow(window_, SW_HIDE);
    return;
  }
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  EnsureFocus();
}

Control* NativeForm::FocusedControl() {
  HWND focus = GetFocus();
  if (!focus || !IsChild(window_, focus)) return nullptr;
  for (HWND at = focus; at && at != window_; at = GetParent(at)) {
    if (Entry* entry = EntryOf(at)) return entry->control;
  }
  return nullptr;
}

void NativeForm::FocusControl(Control& control) {
  HWND handle = HandleOf(control);
  if (!handle) return;
  // An HTML view takes the focus in the page (or text) it holds.
  if (control.kind() == ControlKind::HtmlView) {
    while (HWND inner = GetWindow(handle, GW_CHILD)) handle = inner;
  }
  SetFocus(handle);
  if (control.kind() == ControlKind::Edit) SendMessageW(handle, EM_SETSEL, 0, -1);
  RefreshDefaultLook();
}

void NativeForm::EnsureFocus(bool activating) {
  // Never taken from another window: only when this one is becoming active,
  // is active, or holds the focus already (on a control that went away).
  HWND focus = GetFocus();
  bool ours = activating || GetActiveWindow() == window_ || (focus && IsChild(window_, focus));
  if (!IsWindowVisible(window_) || !ours) return;
  // The system hands the focus of a control being hidden to its parent, a
  // panel, which takes no keys: that counts as lost too.
  Control* focused = FocusedControl();
  bool takesKeys = focused && focused->kind() != ControlKind::Panel && focused->kind() != ControlKind::Label &&
                    focused->kind() != ControlKind::Image;
  if (takesKeys && focused->usable() && IsWindowVisible(GetFocus())) return;
  if (Control* first = form_.InitialFocus()) FocusControl(*first);
}

void NativeForm::RefreshCaptions() {
  for (Entry& entry : entries_) {
    if (!entry.handle || !IsClickable(entry.control->kind())) continue;
    std::string shown = MarkedCaption(entry.control->text(), form_.AccessKeyIndex(*entry.control));
    if (shown == entry.shownCaption && !shown.empty()) continue;
    entry.shownCaption = shown;
    SetText(entry.handle, shown);
  }
}

void NativeForm::RefreshDefaultLook() {
  Control* target = form_.EnterTarget(FocusedControl());
  for (Entry& entry : entries_) {
    if (!entry.handle || entry.control->kind() != ControlKind::Button) continue;
    bool wanted = entry.control == target;
    if (wanted == entry.defaultLook) continue;
    entry.defaultLook = wanted;
    SendMessageW(entry.handle, BM_SETSTYLE, wanted ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  }
}

bool NativeForm::HandleKey(const MSG& message) {
  bool alt = GetKeyState(VK_MENU) < 0;
  bool controlKey = GetKeyState(VK_CONTROL) < 0;
  Control* focused = FocusedControl();
  // Alt+letter, or a plain letter while a button has the focus (it types
  // nothing there), presses the control with that access key. The dialog
  // manager is not asked: it would find keys on hidden panels too.
  bool letter = message.wParam < 0x80 && std::isalnum(static_cast<int>(message.wParam));
  bool onButton = focused && (focused->kind() == ControlKind::Button || focused->kind() == ControlKind::CheckBox ||
                               focused->kind() == ControlKind::RadioButton);
  if ((message.message == WM_SYSCHAR || (message.message == WM_CHAR && onButton)) && letter) {
    if (Control* target = form_.AccessKeyTarget(static_cast<char>(message.wParam))) {
      FocusControl(*target);
      Act(*target);
    }
    return true;
  }
  if (message.message != WM_KEYDOWN || alt || controlKey) return false;
  switch (message.wParam) {
    case VK_TAB:
      if (Control* next = form_.NextTabStop(focused, GetKeyState(VK_SHIFT) < 0)) FocusControl(*next);
      return true;
    case VK_RETURN: {
      if (focused && focused->kind() == ControlKind::Memo && focused->style().border != Border::None) return false;
      if (Control* target = form_.EnterTarget(focused)) Act(*target);
      return true;
    }
    case VK_ESCAPE:
      // Never passed on: a multi-line edit box answers Escape by closing
      // its parent window.
      if (Control* target = form_.EscapeTarget()) Act(*target);
      return true;
    case VK_UP:
    case VK_DOWN:
    case VK_LEFT:
    case VK_RIGHT: {
      if (!focused || focused->kind() != ControlKind::RadioButton) return false;
      bool backward = message.wParam == VK_UP || message.wParam == VK_LEFT;
      Control* next = form_.NextInGroup(*focused, backward);
      if (next && next != focused) {
        FocusControl(*next);
        Act(*next);
      }
      return true;
    }
    default:
      return false;
  }
}

void NativeForm::ApplyText(const Entry& entry) {
  Control& control = *entry.control;
  switch (control.kind()) {
    case ControlKind::HtmlView:
    case ControlKind::Timer:
      return;
    case ControlKind::Image:
    case ControlKind::Panel:
      InvalidateRect(entry.handle, nullptr, TRUE);
      return;
    default:
      break;
  }
  if (IsClickable(control.kind())) {
    RefreshCaptions();
    return;
  }
  // Typing raised this change: the edit box already shows the text, and
  // setting it again would move the caret.
  if (IsTextEntry(control.kind()) && WindowText(entry.handle) == control.text()) return;
  SetText(entry.handle, control.text());
}

void NativeForm::Apply(Control& control, Property what) {
  if (&control == &form_.window()) {
    switch (what) {
      case Property::Text: SetText(window_, control.text()); break;
      case Property::Visible: ShowTopWindow(control.visible()); break;
      case Property::Bounds: ApplyFrame(); break;
      case Property::Enabled: EnableWindow(window_, control.enabled()); break;
      default: break;
    }
    return;
  }
  Entry* entry = EntryOf(control);
  if (!entry || !entry->handle) return;
  HWND handle = entry->handle;
  switch (what) {
    case Property::Text:
      ApplyText(*entry);
      break;
    case Property::Checked:
      SendMessageW(handle, BM_SETCHECK, control.checked() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case Property::Enabled:
      EnableWindow(handle, control.enabled());
      RefreshCaptions();
      EnsureFocus();
      break;
    case Property::Visible:
      ShowWindow(handle, control.visible() ? SW_SHOWNA : SW_HIDE);
      RefreshCaptions();
      EnsureFocus();
      break;
    case Property::Bounds: {
      RECT area = ScaledBounds(control.bounds());
      MoveWindow(handle, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
      break;
    }
    case Property::Position:
      SendMessageW(handle, PBM_SETPOS, control.position(), 0);
      break;
    case Property::Style:
      SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(control)), TRUE);
      if (control.kind() == ControlKind::Label) {
        LONG_PTR bits = GetWindowLongPtrW(handle, GWL_STYLE) &
                        ~static_cast<LONG_PTR>(SS_TYPEMASK | SS_SUNKEN | WS_BORDER);
        SetWindowLongPtrW(handle, GWL_STYLE, bits | LabelStyle(control.style()));
      }
      InvalidateRect(handle, nullptr, TRUE);
      break;
  }
}

void NativeForm::Act(Control& control) {
  if (!control.enabled() || !control.IsShowing()) return;
  toolkit_.Dispatch([&control] { control.Click(); });
}

bool NativeForm::OnCommand(WPARAM wparam, LPARAM) {
  int id = LOWORD(wparam);
  int code = HIWORD(wparam);
  if (id == IDOK || id == IDCANCEL) {
    // Enter and Escape as the dialog manager reports them (the keys are
    // normally taken before it sees them, see HandleKey).
    if (Control* button = id == IDOK ? form_.EnterTarget(FocusedControl()) : form_.EscapeTarget()) Act(*button);
    return true;
  }
  size_t index = static_cast<size_t>(id - kFirstId);
  if (id < kFirstId || index >= entries_.size()) return false;
  Entry& entry = entries_[index];
  Control& control = *entry.control;
  switch (control.kind()) {
    case ControlKind::Button:
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
      if (code == BN_CLICKED) Act(control);
      return true;
    case ControlKind::Label:
    case ControlKind::Image:
      if (code == STN_CLICKED) Act(control);
      return true;
    case ControlKind::Edit:
    case ControlKind::Memo:
      if (code == EN_CHANGE) {
        std::string text = WindowText(entry.handle);
        if (text != control.text()) toolkit_.Dispatch([&control, &text] { control.SetText(text); });
      }
      return true;
    default:
      return false;
  }
}

void NativeForm::OnDrawImage(const DRAWITEMSTRUCT& item) {
  Entry* entry = EntryOf(item.hwndItem);
  if (!entry || entry->control->kind() != ControlKind::Image) return;
  const RECT& area = item.rcItem;
  FillRect(item.hDC, &area, GetSysColorBrush(COLOR_BTNFACE));
  int size = std::min(area.right - area.left, area.bottom - area.top);
  // The picture is the icon resource named by the caption, else the
  // program's own icon.
  std::string name = entry->control->text();
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return static_cast<char>(toupper(c)); });
  HINSTANCE instance = GetModuleHandleW(nullptr);
  auto icon = static_cast<HICON>(LoadImageW(instance, Widen(name).c_str(), IMAGE_ICON, size, size, 0));
  if (!icon) icon = static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON, size, size, 0));
  if (!icon) return;
  int left = area.left + (area.right - area.left - size) / 2;
  int top = area.top + (area.bottom - area.top - size) / 2;
  DrawIconEx(item.hDC, left, top, icon, size, size, 0, nullptr, DI_NORMAL);
  DestroyIcon(icon);
}

void NativeForm::PaintPanel(HWND window, const Control& panel) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT area;
  GetClientRect(window, &area);
  switch (panel.style().border) {
    case Border::Lowered: DrawEdge(dc, &area, BDR_SUNKENOUTER, BF_RECT); break;
    case Border::Raised: DrawEdge(dc, &area, BDR_RAISEDINNER | BDR_RAISEDOUTER, BF_RECT); break;
    case Border::Single: FrameRect(dc, &area, GetSysColorBrush(COLOR_BTNSHADOW)); break;
    case Border::None: break;
  }
  if (!panel.text().empty()) {
    // A panel's caption is its group title, in the top left corner.
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
    RECT title{area.left + 8, area.top + 4, area.right - 8, area.top + 24};
    DrawTextW(dc, Widen(panel.text()).c_str(), -1, &title, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
  }
  EndPaint(window, &paint);
}

bool NativeForm::HandleShared(NativeForm& form, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  switch (message) {
    case WM_COMMAND:
      if (!form.OnCommand(wparam, lparam)) return false;
      result = 0;
      return true;
    case WM_DRAWITEM:
      form.OnDrawImage(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      result = TRUE;
      return true;
    case WM_SETCURSOR: {
      // A label that does something when clicked (a web address) shows the
      // link cursor.
      Entry* entry = form.EntryOf(reinterpret_cast<HWND>(wparam));
      if (!entry || entry->control->kind() != ControlKind::Label || !entry->control->hasClickHandler()) {
        return false;
      }
      SetCursor(SystemCursor(IDC_HAND));
      result = TRUE;
      return true;
    }
    default:
      return false;
  }
}

LRESULT CALLBACK NativeForm::TopWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  NativeForm* form = FormOfWindow(window);
  if (form) {
    LRESULT result = 0;
    if (HandleShared(*form, message, wparam, lparam, result)) return result;
    if (message == WM_CLOSE) {
      if (!form->form_.frame().closeBox) {
        // A window without a close box ends only through its own buttons:
        // Alt+F4 means its cancel button, as Escape does.
        if (Control* cancel = form->form_.EscapeTarget()) form->Act(*cancel);
        return 0;
      }
      // The close box closes the form as the model knows it; the window is
      // only hidden and can be shown again.
      Form& model = form->form_;
      form->toolkit_.Dispatch([&model] { model.Close(); });
      return 0;
    }
    if (message == WM_ACTIVATE) {
      // The focus comes back where the user left it (a message box, another
      // program), as in a dialog; the window itself never holds it.
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        form->lastFocus_ = focus && IsChild(window, focus) ? focus : nullptr;
        return 0;
      }
      HWND last = form->lastFocus_;
      if (last && IsWindow(last) && IsWindowVisible(last) && IsWindowEnabled(last)) {
        SetFocus(last);
      } else {
        form->EnsureFocus(true);
      }
      return 0;
    }
    if (message == WM_DPICHANGED) {
      form->Rescale(LOWORD(wparam), reinterpret_cast<const RECT*>(lparam));
      return 0;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK NativeForm::PanelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  NativeForm* form = FormOfWindow(window);
  if (form) {
    LRESULT result = 0;
    if (HandleShared(*form, message, wparam, lparam, result)) return result;
    if (message == WM_PAINT) {
      if (Entry* entry = form->EntryOf(window)) {
        PaintPanel(window, *entry->control);
        return 0;
      }
    }
  }
  // A multi-line edit box asks its parent to close on Escape; a panel is
  // never closed, whatever asks.
  if (message == WM_CLOSE) return 0;
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace ui
