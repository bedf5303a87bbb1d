// A toolkit for tests: plays queued user actions, answers dialogs from
// queues and records what the program showed, so that a whole window flow
// (the wizard, the archive dialogs) runs headless inside a unit test.
//
// The loop (Run, WaitUntil) first runs armed timers (at once, no clock),
// then the next queued action; when both queues are empty the user has
// nothing more to say, and the form being waited for is closed as its close
// box would close it (ran_out_of_input becomes true). Each dispatched event
// is recorded as a Step with the panels showing on the main form afterwards.
//
// A queued click or text on a control that a user could not reach (unknown,
// hidden or disabled) fails the current test and is skipped.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/toolkit.h"

namespace testsupport {

class ScriptedToolkit : public ui::Toolkit, private ui::FormObserver {
 public:
  // ---- the script ----------------------------------------------------------
  // User actions, performed one per loop turn in queue order. A control is
  // looked up on the form being waited for, then on every other shown form.
  void QueueClick(const std::string& control);
  void QueueSetText(const std::string& control, const std::string& text);
  void QueueAction(const std::string& label, std::function<void()> action);
  // Clicks performed by ProcessMessages, one per call: a user acting while a
  // long operation keeps the interface alive (e.g. pressing Cancel).
  void QueueClickDuringWork(const std::string& control);
  // Any action so performed (e.g. a signal arriving, the process killed).
  void QueueActionDuringWork(const std::string& label, std::function<void()> action);

  // Answers to the next dialogs, consumed in order. Without a queued answer
  // a message box answers as if closed (Ok, No or Cancel), an input box and
  // the chooser as if cancelled.
  void AnswerMessage(ui::Answer answer) { message_answers_.push_back(answer); }
  void AnswerInput(std::optional<std::string> answer) { input_answers_.push_back(std::move(answer)); }
  void AnswerChooser(const std::string& folder) { chooser_answers_.push_back(folder); }

  // ---- what was shown ------------------------------------------------------
  struct Dialog {
    std::string caption;                   // as given (message box: "" = title)
    std::string text;                      // message text or prompt
    std::string initial;                   // input default / chooser's initial folder
    ui::Buttons buttons = ui::Buttons::Ok;
    ui::Icon icon = ui::Icon::Information;
    std::string answer;                    // "Ok", "Yes", "No", "Cancel", or the text / folder given
    bool main_visible = false;             // main form visible while the dialog was up
    std::vector<std::string> panels;       // panels showing on the main form then
  };
  struct Step {
    std::string event;                     // "timer", "click BIntroInstall", "close DInstallMain", ...
    std::vector<std::string> panels;       // panels showing on the main form afterwards
  };

  std::vector<Dialog> messages;            // message boxes (error boxes included)
  std::vector<Dialog> inputs;              // input boxes
  std::vector<Dialog> choosers;            // directory choosers
  std::vector<std::string> shown_forms;    // names, each time a form was shown
  std::vector<Step> steps;                 // dispatched events in order
  std::vector<std::string> navigations;    // "view -> file"
  std::vector<std::string> overflow_hidden;  // views whose scroll bars were hidden
  int process_messages_calls = 0;
  bool ran_out_of_input = false;

  // The message texts, in order (a convenience for assertions).
  std::vector<std::string> MessageTexts() const;
  // Names of the panels (controls of kind Panel named "Pnl...") showing on `form`.
  static std::vector<std::string> ShowingPanels(const ui::Form& form);

  // ---- ui::Toolkit ---------------------------------------------------------
  void SetTitle(const std::string& title) override { title_ = title; }
  const std::string& title() const override { return title_; }
  void SetErrorHandler(ui::ErrorHandler handler) override { errorHandler_ = std::move(handler); }
  void ShowForm(ui::Form& form) override;
  void HideForm(ui::Form& form) override { form.Hide(); }
  void CloseForm(ui::Form& form) override { form.Close(); }
  void Run(ui::Form& main) override;
  void WaitUntil(ui::Form& form, const std::function<bool()>& done) override;
  void ProcessMessages() override;
  void StartTimer(int intervalMs, std::function<void()> tick) override;
  ui::Answer MessageBox(const std::string& caption, const std::string& text, ui::Buttons buttons,
                        ui::Icon icon) override;
  std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                      const std::string& answer) override;
  std::string ChooseDirectory(const std::string& initialFolder, const std::string& prompt) override;
  void Navigate(ui::Control& view, const std::string& file) override;
  bool DocumentComplete(ui::Control&) override { return true; }
  void HideBodyOverflow(ui::Control& view) override { overflow_hidden.push_back(view.name()); }

 private:
  struct Action {
    std::string label;
    std::function<void()> run;
  };
  void ControlChanged(ui::Control&, ui::Property) override {}
  void Loop(ui::Form& form, const std::function<bool()>& done, bool untilClosed);
  void Dispatch(const std::string& label, const std::function<void()>& event);
  ui::Control* Reachable(const std::string& name);
  Dialog Record(const std::string& caption, const std::string& text, const std::string& initial) const;

  std::string title_;
  ui::ErrorHandler errorHandler_;
  std::deque<Action> actions_;
  std::deque<Action> work_actions_;
  std::deque<std::function<void()>> timers_;
  std::deque<ui::Answer> message_answers_;
  std::deque<std::optional<std::string>> input_answers_;
  std::deque<std::string> chooser_answers_;
  std::vector<ui::Form*> forms_;           // shown at least once, most recent first
  ui::Form* main_ = nullptr;               // the form given to Run
  ui::Form* waiting_ = nullptr;            // the form the loop waits for
};

}  // namespace testsupport
