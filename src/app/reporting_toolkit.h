// The toolkit an application run talks to: it reports every message box to
// the activity log, and a silent run's errors to standard error.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "system/text_writer.h"
#include "ui/toolkit.h"

namespace app {

// A toolkit in front of another that reports every message box to the
// activity log ("Error: ", "Warning: " or no prefix, by its icon) and, when
// given an error stream, writes errors and warnings there too (the silent
// run's standard error). Everything else goes to the toolkit behind it.
class ReportingToolkit : public ui::Toolkit {
 public:
  ReportingToolkit(ui::Toolkit& inner, sys::TextWriter* errors) : inner_(inner), errors_(errors) {}

  // The text of the last message box, and whether it went to the error stream.
  const std::string& lastMessage() const { return lastMessage_; }
  bool lastMessageEchoed() const { return lastEchoed_; }

  void SetTitle(const std::string& title) override { inner_.SetTitle(title); }
  const std::string& title() const override { return inner_.title(); }
  void SetErrorHandler(ui::ErrorHandler handler) override { inner_.SetErrorHandler(std::move(handler)); }
  void ShowForm(ui::Form& form) override { inner_.ShowForm(form); }
  void HideForm(ui::Form& form) override { inner_.HideForm(form); }
  void CloseForm(ui::Form& form) override { inner_.CloseForm(form); }
  void Run(ui::Form& main) override { inner_.Run(main); }
  void WaitUntil(ui::Form& form, const std::function<bool()>& done) override { inner_.WaitUntil(form, done); }
  void ProcessMessages() override { inner_.ProcessMessages(); }
  void StartTimer(int intervalMs, std::function<void()> tick) override {
    inner_.StartTimer(intervalMs, std::move(tick));
  }
  ui::Answer MessageBox(const std::string& caption, const std::string& text, ui::Buttons buttons,
                        ui::Icon icon) override;
  std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                      const std::string& answer) override {
    return inner_.InputBox(caption, prompt, answer);
  }
  std::string ChooseDirectory(const std::string& initialFolder, const std::string& prompt) override {
    return inner_.ChooseDirectory(initialFolder, prompt);
  }
  void Navigate(ui::Control& view, const std::string& file) override { inner_.Navigate(view, file); }
  bool DocumentComplete(ui::Control& view) override { return inner_.DocumentComplete(view); }
  void HideBodyOverflow(ui::Control& view) override { inner_.HideBodyOverflow(view); }

 private:
  ui::Toolkit& inner_;
  sys::TextWriter* errors_;
  std::string lastMessage_;
  bool lastEchoed_ = false;
};

}  // namespace app
