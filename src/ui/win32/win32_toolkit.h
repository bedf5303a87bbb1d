// The native Win32 toolkit: renders form models with the system's controls
// and runs the Windows message loop on the user-interface thread.
//
// Each form gets a top-level window of the class "T" + the form's name
// (e.g. "TDInstallMain"): fixed size with a dialog border, its client area
// the window's bounds, centred on the screen. Controls become native child
// windows at their bounds (scaled from 96 dpi to the screen's): panels are
// "BrevionPanel" windows, labels STATIC, buttons, check boxes and radio
// buttons BUTTON, edit boxes and memos EDIT, progress bars the common
// progress bar, images owner-drawn STATIC, HTML views a "BrevionBrowser"
// host around the system's web-browser control (or, where that control
// cannot be created, a read-only EDIT showing the page's text). A driver
// finds a control by its class and caption.
//
// Model changes are mirrored through the form's observer; user actions are
// fed back with Control::Click() (clicks, ticks) and Control::SetText()
// (typing), each dispatched event guarded by RunGuarded. Keyboard: what Tab,
// Enter, Escape, the arrows and Alt+letter mean is the form model's
// (Form::NextTabStop, EnterTarget, EscapeTarget, NextInGroup,
// AccessKeyTarget); the toolkit reports the key and shows the result (the
// focus, the default-button look, the access key's underline).
//
// Text crosses to the system as UTF-16 (W calls) only. The process is
// per-monitor DPI aware (manifest): layouts are scaled from 96-dpi pixels to
// the resolution of the monitor each window is on, again when it moves.
//
// A form must live while the toolkit dispatches messages; the toolkit may
// outlive its forms (their windows are destroyed without reading them).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ui/toolkit.h"
#include "ui/win32/win32_api.h"

namespace ui {

class NativeForm;
class FontSet;

class Win32Toolkit : public Toolkit, private FormObserver {
 public:
  // Initialises OLE on the calling thread (the browser control and the
  // shell's folder dialog need it) and the common controls.
  Win32Toolkit();
  ~Win32Toolkit() override;
  Win32Toolkit(const Win32Toolkit&) = delete;
  Win32Toolkit& operator=(const Win32Toolkit&) = delete;

  // The native window of a control (or of the form's window) of a form this
  // toolkit has rendered; nullptr otherwise. For tests and drivers.
  HWND HandleOf(const Control& control) const;

  // The window property that marks a top-level window whose keyboard input
  // goes through the dialog manager (Tab, Enter, Escape).
  static constexpr const wchar_t* kDialogProperty = L"BrevionDialogKeys";

  // Waits for one message and dispatches it; false when WM_QUIT arrived
  // (it is posted again, so that every loop up the stack ends).
  bool DispatchNextMessage();

  // Runs `event` as a dispatched event: exceptions go to the error handler.
  void Dispatch(const std::function<void()>& event);
  // The fonts at the screen's resolution, and at another one (a window on a
  // monitor with its own scale); each set is made once.
  const FontSet& fonts() const { return fonts(screenPixelsPerInch_); }
  const FontSet& fonts(int pixelsPerInch) const;
  // The window that owns message boxes and dialogs: the active form window.
  HWND DialogOwner() const;

  // ---- Toolkit ----------------------------------------------------------------
  void SetTitle(const std::string& title) override { title_ = title; }
  const std::string& title() const override { return title_; }
  void SetErrorHandler(ErrorHandler handler) override { errorHandler_ = std::move(handler); }
  void ShowForm(Form& form) override;
  void HideForm(Form& form) override { form.Hide(); }
  void CloseForm(Form& form) override { form.Close(); }
  void Run(Form& main) override;
  void WaitUntil(Form& form, const std::function<bool()>& done) override;
  void ProcessMessages() override;
  void StartTimer(int intervalMs, std::function<void()> tick) override;
  Answer MessageBox(const std::string& caption, const std::string& text, Buttons buttons, Icon icon) override;
  std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                      const std::string& answer) override;
  std::string ChooseDirectory(const std::string& initialFolder, const std::string& prompt) override;
  void Navigate(Control& view, const std::string& file) override;
  bool DocumentComplete(Control& view) override;
  void HideBodyOverflow(Control& view) override;

 private:
  void ControlChanged(Control& control, Property what) override;
  NativeForm& Native(Form& form);
  NativeForm* Find(const Form& form) const;
  void DispatchNative(MSG& message);
  void TimerTicked(UINT_PTR id);
  static LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  std::string title_;
  ErrorHandler errorHandler_;
  int screenPixelsPerInch_ = 96;
  mutable std::map<int, std::unique_ptr<FontSet>> fonts_;
  std::map<const Form*, std::unique_ptr<NativeForm>> forms_;
  const Form* firstForm_ = nullptr;  // owner of the later forms' windows
  HWND messageWindow_ = nullptr;     // receives the timers' WM_TIMER
  UINT_PTR nextTimerId_ = 1;
  std::map<UINT_PTR, std::function<void()>> timers_;
  bool oleInitialised_ = false;
};

}  // namespace ui
