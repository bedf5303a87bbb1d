#include "ui/win32/native_form.h"

#include <commctrl.h>

#include <algorithm>

#include "ui/win32/font_set.h"
#include "ui/win32/win32_toolkit.h"

namespace ui {

namespace {

constexpr int kFirstId = 100;  // below are IDOK and IDCANCEL, which the dialog manager sends
constexpr char kPanelClass[] = "BrevionPanel";
constexpr DWORD kTopStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kTopExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

std::string WindowText(HWND window) {
  std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// A button caption without its accelerator marker.
std::string PlainCaption(const std::string& caption) {
  std::string plain;
  for (char c : caption) {
    if (c != '&') plain += c;
  }
  return plain;
}

DWORD LabelStyle(const Style& style) {
  DWORD bits = SS_NOTIFY | SS_NOPREFIX;
  switch (style.align) {
    case Align::Center: bits |= SS_CENTER; break;
    case Align::Right: bits |= SS_RIGHT; break;
    case Align::Left: bits |= style.word_wrap ? SS_LEFT : SS_LEFTNOWORDWRAP; break;
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
  const char* window_class;
  DWORD style;
  DWORD ex_style;
};

// The window class and styles that render a control of the given kind.
NativeKind NativeKindOf(const Control& control) {
  const Style& style = control.style();
  switch (control.kind()) {
    case ControlKind::Panel:
      return {kPanelClass, WS_CLIPSIBLINGS | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT};
    case ControlKind::Label:
      return {"STATIC", LabelStyle(style), 0};
    case ControlKind::Button:
      return {"BUTTON", BS_PUSHBUTTON | WS_TABSTOP | (style.word_wrap ? BS_MULTILINE : 0u), 0};
    case ControlKind::CheckBox:
      return {"BUTTON", BS_CHECKBOX | WS_TABSTOP, 0};
    case ControlKind::RadioButton:
      return {"BUTTON", BS_RADIOBUTTON | WS_TABSTOP, 0};
    case ControlKind::Edit:
      return {"EDIT", ES_AUTOHSCROLL | WS_TABSTOP | EditAlignment(style), WS_EX_CLIENTEDGE};
    case ControlKind::Memo:
      // A memo without a border shows text on the panel; one with a border
      // is a text area the user may edit.
      if (style.border == Border::None) return {"EDIT", ES_MULTILINE | ES_READONLY | EditAlignment(style), 0};
      return {"EDIT", ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP | EditAlignment(style),
              WS_EX_CLIENTEDGE};
    case ControlKind::ProgressBar:
      return {PROGRESS_CLASSA, 0, 0};
    case ControlKind::Image:
      return {"STATIC", SS_OWNERDRAW | SS_NOTIFY, 0};
    case ControlKind::Window:
    case ControlKind::HtmlView:
    case ControlKind::Timer:
      break;
  }
  return {nullptr, 0, 0};
}

bool IsTextEntry(ControlKind kind) { return kind == ControlKind::Edit || kind == ControlKind::Memo; }

NativeForm* FormOfWindow(HWND window) {
  return reinterpret_cast<NativeForm*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

}  // namespace

NativeForm::NativeForm(Win32Toolkit& toolkit, Form& form, HWND owner) : toolkit_(toolkit), form_(form) {
  HDC screen = GetDC(nullptr);
  pixels_per_inch_ = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
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
    bool starts_group = control.kind() != ControlKind::RadioButton || !previous ||
                        previous->kind() != ControlKind::RadioButton;
    CreateChild(control, index, starts_group);
  }
  if (form.visible()) ShowTopWindow(true);
}

NativeForm::~NativeForm() {
  // The form may already be gone: nothing here reads the model, and the
  // windows stop calling back before they are destroyed.
  SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
  for (Entry& entry : entries_) {
    if (entry.browser) {
      entry.browser.reset();
    } else if (entry.handle) {
      SetWindowLongPtrA(entry.handle, GWLP_USERDATA, 0);  // panels point back here
    }
  }
  DestroyWindow(window_);
}

void NativeForm::RegisterClasses() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  std::string top_class = "T" + form_.name();
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (!GetClassInfoExA(instance, top_class.c_str(), &existing)) {
    WNDCLASSEXA top{};
    top.cbSize = sizeof top;
    top.lpfnWndProc = TopWindowProc;
    top.hInstance = instance;
    top.hCursor = LoadCursor(nullptr, IDC_ARROW);
    top.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    top.hIcon = LoadIconA(instance, "MAINICON");
    top.lpszClassName = top_class.c_str();
    RegisterClassExA(&top);
  }
  if (!GetClassInfoExA(instance, kPanelClass, &existing)) {
    WNDCLASSEXA panel{};
    panel.cbSize = sizeof panel;
    panel.style = CS_HREDRAW | CS_VREDRAW;
    panel.lpfnWndProc = PanelProc;
    panel.hInstance = instance;
    panel.hCursor = LoadCursor(nullptr, IDC_ARROW);
    panel.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    panel.lpszClassName = kPanelClass;
    RegisterClassExA(&panel);
  }
}

int NativeForm::Scale(int pixels) const { return MulDiv(pixels, pixels_per_inch_, 96); }

RECT NativeForm::ScaledBounds(const Rect& bounds) const {
  RECT area{Scale(bounds.left), Scale(bounds.top), 0, 0};
  area.right = area.left + Scale(bounds.width);
  area.bottom = area.top + Scale(bounds.height);
  return area;
}

void NativeForm::CreateTopWindow(HWND owner) {
  std::string top_class = "T" + form_.name();
  window_ = CreateWindowExA(kTopExStyle | (owner ? 0 : WS_EX_APPWINDOW), top_class.c_str(), form_.caption().c_str(),
                            kTopStyle, 0, 0, 100, 100, owner, nullptr, GetModuleHandleA(nullptr), nullptr);
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetPropA(window_, Win32Toolkit::kDialogProperty, reinterpret_cast<HANDLE>(1));
  SendMessageA(window_, WM_SETFONT, reinterpret_cast<WPARAM>(toolkit_.fonts().Get(Font::Normal)), FALSE);
  PlaceTopWindow();
}

void NativeForm::PlaceTopWindow() {
  const Rect& bounds = form_.window().bounds();
  RECT outer{0, 0, Scale(bounds.width), Scale(bounds.height)};
  AdjustWindowRectEx(&outer, kTopStyle, FALSE, kTopExStyle);
  int width = outer.right - outer.left;
  int height = outer.bottom - outer.top;
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  int left = work.left + std::max(0L, (work.right - work.left - width) / 2);
  int top = work.top + std::max(0L, (work.bottom - work.top - height) / 2);
  SetWindowPos(window_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void NativeForm::CreateChild(Control& control, size_t index, bool starts_group) {
  Entry entry{&control, nullptr, nullptr};
  HWND parent = control.parent() ? HandleOf(*control.parent()) : window_;
  if (!parent) parent = window_;
  RECT area = ScaledBounds(control.bounds());
  HFONT font = toolkit_.fonts().Get(control.style().font);
  if (control.kind() == ControlKind::HtmlView) {
    entry.browser = std::make_unique<BrowserView>(parent, area, control.visible(), font);
    entry.handle = entry.browser->window();
  } else if (NativeKind native = NativeKindOf(control); native.window_class) {
    DWORD style = WS_CHILD | native.style | (control.visible() ? WS_VISIBLE : 0u) | (starts_group ? WS_GROUP : 0u);
    auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + index));
    entry.handle = CreateWindowExA(native.ex_style, native.window_class, control.text().c_str(), style, area.left,
                                   area.top, area.right - area.left, area.bottom - area.top, parent, id,
                                   GetModuleHandleA(nullptr), nullptr);
  }
  if (entry.handle) {
    if (control.kind() == ControlKind::Panel) {
      SetWindowLongPtrA(entry.handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    SendMessageA(entry.handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (!control.enabled()) EnableWindow(entry.handle, FALSE);
    if (control.checked()) SendMessageA(entry.handle, BM_SETCHECK, BST_CHECKED, 0);
    if (control.kind() == ControlKind::ProgressBar) {
      SendMessageA(entry.handle, PBM_SETRANGE32, 0, 100);
      SendMessageA(entry.handle, PBM_SETPOS, control.position(), 0);
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
  HWND focus = GetFocus();
  if (!focus || !IsChild(window_, focus) || !IsWindowVisible(focus)) {
    if (HWND first = GetNextDlgTabItem(window_, nullptr, FALSE)) SetFocus(first);
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
  // Typing raised this change: the edit box already shows the text, and
  // setting it again would move the caret.
  if (IsTextEntry(control.kind()) && WindowText(entry.handle) == control.text()) return;
  SetWindowTextA(entry.handle, control.text().c_str());
}

void NativeForm::Apply(Control& control, Property what) {
  if (&control == &form_.window()) {
    switch (what) {
      case Property::Text: SetWindowTextA(window_, control.text().c_str()); break;
      case Property::Visible: ShowTopWindow(control.visible()); break;
      case Property::Bounds: PlaceTopWindow(); break;
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
      SendMessageA(handle, BM_SETCHECK, control.checked() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case Property::Enabled:
      EnableWindow(handle, control.enabled());
      break;
    case Property::Visible:
      ShowWindow(handle, control.visible() ? SW_SHOWNA : SW_HIDE);
      if (control.visible() && IsWindowVisible(window_) && GetForegroundWindow() == window_) {
        HWND focus = GetFocus();
        if (!focus || !IsWindowVisible(focus)) {
          if (HWND first = GetNextDlgTabItem(window_, nullptr, FALSE)) SetFocus(first);
        }
      }
      break;
    case Property::Bounds: {
      RECT area = ScaledBounds(control.bounds());
      MoveWindow(handle, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
      break;
    }
    case Property::Position:
      SendMessageA(handle, PBM_SETPOS, control.position(), 0);
      break;
    case Property::Style:
      SendMessageA(handle, WM_SETFONT, reinterpret_cast<WPARAM>(toolkit_.fonts().Get(control.style().font)), TRUE);
      if (control.kind() == ControlKind::Label) {
        LONG_PTR bits = GetWindowLongPtrA(handle, GWL_STYLE) & ~static_cast<LONG_PTR>(SS_TYPEMASK | SS_SUNKEN | WS_BORDER);
        SetWindowLongPtrA(handle, GWL_STYLE, bits | LabelStyle(control.style()));
      }
      InvalidateRect(handle, nullptr, TRUE);
      break;
  }
}

Control* NativeForm::FocusedButton() {
  Entry* entry = EntryOf(GetFocus());
  if (!entry || !entry->control) return nullptr;
  ControlKind kind = entry->control->kind();
  bool clickable = kind == ControlKind::Button || kind == ControlKind::CheckBox || kind == ControlKind::RadioButton;
  return clickable ? entry->control : nullptr;
}

Control* NativeForm::CancelButton() {
  for (Entry& entry : entries_) {
    Control& control = *entry.control;
    if (control.kind() == ControlKind::Button && control.IsShowing() && control.enabled() &&
        PlainCaption(control.text()) == "Cancel") {
      return &control;
    }
  }
  return nullptr;
}

void NativeForm::Act(Control& control) {
  if (!control.enabled() || !control.IsShowing()) return;
  toolkit_.Dispatch([&control] { control.Click(); });
}

bool NativeForm::OnCommand(WPARAM wparam, LPARAM) {
  int id = LOWORD(wparam);
  int code = HIWORD(wparam);
  if (id == IDOK || id == IDCANCEL) {
    // Enter and Escape, as the dialog manager reports them.
    if (Control* button = id == IDOK ? FocusedButton() : CancelButton()) Act(*button);
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
  HINSTANCE instance = GetModuleHandleA(nullptr);
  auto icon = static_cast<HICON>(LoadImageA(instance, name.c_str(), IMAGE_ICON, size, size, 0));
  if (!icon) icon = static_cast<HICON>(LoadImageA(instance, "MAINICON", IMAGE_ICON, size, size, 0));
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
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(window, WM_GETFONT, 0, 0)));
    RECT title{area.left + 8, area.top + 4, area.right - 8, area.top + 24};
    DrawTextA(dc, panel.text().c_str(), -1, &title, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
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
      if (!entry || entry->control->kind() != ControlKind::Label || !entry->control->has_click_handler()) {
        return false;
      }
      SetCursor(LoadCursor(nullptr, IDC_HAND));
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
      // The close box closes the form as the model knows it; the window is
      // only hidden and can be shown again.
      Form& model = form->form_;
      form->toolkit_.Dispatch([&model] { model.Close(); });
      return 0;
    }
  }
  return DefWindowProcA(window, message, wparam, lparam);
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
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace ui
