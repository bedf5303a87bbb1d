// The silent toolkit: runs the program's forms without showing anything and
// without asking anyone, for unattended installs, uninstalls and
// extractions. The engine runs unchanged on it:
//   - a message box is handed to the message receiver and answers as if it
//     had been closed (Ok, No for Yes/No, Cancel for Yes/No/Cancel);
//   - the input box answers its proposed text (cancelled when there is none);
//   - the directory chooser answers its initial folder;
//   - a modal wait that is not over at once is closed, as its close box
//     would close it;
//   - the message loop runs armed timers, then asks the idle handler to act
//     (see SetIdleHandler); when it does not, the main window is closed.
// Timers run as soon as the loop is idle; pages are "loaded" at once.
#pragma once

#include <deque>
#include <functional>
#include <string>

#include "ui/toolkit.h"

namespace ui {

class SilentToolkit : public Toolkit {
 public:
  // Receives each message box's caption (the title when it had none), text
  // and icon.
  using MessageReceiver = std::function<void(const std::string& caption, const std::string& text, Icon icon)>;
  // Acts for the user on the main window; returns true when it did
  // something (the loop then goes on), false when there is nothing left.
  using IdleHandler = std::function<bool(Form& main)>;

  void SetMessageReceiver(MessageReceiver receiver) { receiver_ = std::move(receiver); }
  void SetIdleHandler(IdleHandler handler) { idle_ = std::move(handler); }

  // ---- Toolkit ----------------------------------------------------------------
  void SetTitle(const std::string& title) override { title_ = title; }
  const std::string& title() const override { return title_; }
  void SetErrorHandler(ErrorHandler handler) override { errorHandler_ = std::move(handler); }
  void ShowForm(Form& form) override { form.Show(); }
  void HideForm(Form& form) override { form.Hide(); }
  void CloseForm(Form& form) override { form.Close(); }
  void Run(Form& main) override;
  void WaitUntil(Form& form, const std::function<bool()>& done) override;
  void ProcessMessages() override { RunTimers(); }
  void StartTimer(int, std::function<void()> tick) override { timers_.push_back(std::move(tick)); }
  Answer MessageBox(const std::string& caption, const std::string& text, Buttons buttons, Icon icon) override;
  std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                      const std::string& answer) override;
  std::string ChooseDirectory(const std::string& initialFolder, const std::string&) override {
    return initialFolder;
  }
  void Navigate(Control& view, const std::string& file) override { view.SetText(file); }
  bool DocumentComplete(Control&) override { return true; }
  void HideBodyOverflow(Control&) override {}

  // Steps after which the loop stops asking the idle handler, so that a
  // handler that keeps answering true cannot run forever.
  static constexpr int kMaxIdleSteps = 1000;

 private:
  void RunTimers();

  std::string title_;
  ErrorHandler errorHandler_;
  MessageReceiver receiver_;
  IdleHandler idle_;
  std::deque<std::function<void()>> timers_;
};

}  // namespace ui
