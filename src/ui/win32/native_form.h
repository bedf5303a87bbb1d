// The native windows of one form: its top-level window and one child window
// per control, created once (hidden with the form) and kept in step with the
// model for the form's life in the toolkit.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/form.h"
#include "ui/win32/browser_view.h"
#include "ui/win32/win32_api.h"

namespace ui {

class Win32Toolkit;

class NativeForm {
 public:
  // Creates the windows for `form`'s current state; `owner` (may be null)
  // owns the top-level window, keeping it above its owner.
  NativeForm(Win32Toolkit& toolkit, Form& form, HWND owner);
  ~NativeForm();
  NativeForm(const NativeForm&) = delete;
  NativeForm& operator=(const NativeForm&) = delete;

  HWND window() const { return window_; }
  // The native window of a control of this form (the window itself for the
  // form's window control); nullptr for a control without one (a timer).
  HWND HandleOf(const Control& control) const;
  // The browser view of an HtmlView control; nullptr for other controls.
  BrowserView* BrowserOf(const Control& control) const;

  // Mirrors one model change on screen.
  void Apply(Control& control, Property what);

  // The keys whose meaning the form model decides (Tab, Shift+Tab, Enter,
  // Escape, arrows in a radio group, Alt+letter), taken before the dialog
  // manager or the focused control sees them. True when the key was used.
  bool HandleKey(const MSG& message);
  // Gives the default-button look to the button Enter would press now.
  void RefreshDefaultLook();
  // The screen resolution the form is laid out for.
  int pixelsPerInch() const { return pixelsPerInch_; }

 private:
  struct Entry {
    Control* control;
    HWND handle;
    std::unique_ptr<BrowserView> browser;
    std::string shownCaption;  // the caption as shown, with its access key marker
    bool defaultLook = false;
  };

  void RegisterClasses();
  void CreateTopWindow(HWND owner);
  void CreateChild(Control& control, size_t index, bool startsGroup);
  RECT ScaledBounds(const Rect& bounds) const;
  int Scale(int pixels) const;
  void PlaceTopWindow();
  void FitClientArea();
  void ShowTopWindow(bool visible);
  void ApplyText(const Entry& entry);
  Entry* EntryOf(const Control& control);
  Entry* EntryOf(HWND handle);
  // The control holding the keyboard focus (an HTML view for the page
  // inside it), or nullptr.
  Control* FocusedControl();
  void FocusControl(Control& control);
  // Moves the focus to the panel's initial control when the focused one can
  // no longer be used (hidden, disabled, on a panel that went away).
  // `activating`: the window is becoming the active one.
  void EnsureFocus(bool activating = false);
  // Marks each button's, check box's and radio button's access key.
  void RefreshCaptions();
  DWORD TopStyle() const;
  DWORD TopExStyle() const;
  void ApplyFrame();
  // Lays everything out again for a new resolution (WM_DPICHANGED).
  void Rescale(int pixelsPerInch, const RECT* suggested);
  HFONT FontOf(const Control& control) const;

  // Window procedures' work: a command, a notification or a drawing request
  // from a child of this form.
  bool OnCommand(WPARAM wparam, LPARAM lparam);
  void OnDrawImage(const DRAWITEMSTRUCT& item);
  // A user's click on a control that is enabled and showing.
  void Act(Control& control);
  static LRESULT CALLBACK TopWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static bool HandleShared(NativeForm& form, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
  static void PaintPanel(HWND window, const Control& panel);

  Win32Toolkit& toolkit_;
  Form& form_;
  HWND window_ = nullptr;
  int pixelsPerInch_ = 96;
  HWND lastFocus_ = nullptr;  // the focus when the window was last deactivated
  std::vector<Entry> entries_;  // in table order; index + kFirstId is the control's id
};

}  // namespace ui
