// The one interface between the program and a user-interface toolkit.
//
// A toolkit renders forms (ui::Form), runs the message loop on the single
// user-interface thread, and offers the few modal dialogs the program needs.
// Implementations: the native Win32 toolkit, the console toolkit (terminal or
// pipe, no display) and the scripted toolkit of the tests.
//
// Every event a toolkit dispatches from its loop (a click, a change, a timer
// tick, a form's show or close) runs guarded: an exception escaping it is
// handed to the error handler (by default: its text in an error message box,
// the application's default error box) and the loop carries on. Nothing is
// locked; handlers may re-enter the toolkit (ProcessMessages, dialogs).
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "system/failure.h"
#include "ui/form.h"

namespace ui {

enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };
enum class Icon { Information, Question, Warning, Error };

// The answer of a message box closed without one of its buttons.
inline Answer ClosedAnswer(Buttons buttons) {
  switch (buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::YesNo: return Answer::No;
    case Buttons::YesNoCancel: return Answer::Cancel;
  }
  return Answer::Cancel;
}

// An exception that escaped an event handler: its text, and the failure it
// carried (kind Other when it was untyped). Converts to its text, so that a
// handler may simply take the text.
struct EscapedError {
  std::string text;
  sys::Failure failure;
  operator const std::string&() const { return text; }
};

// Receives an exception that escaped an event handler.
using ErrorHandler = std::function<void(const EscapedError& error)>;

class Toolkit {
 public:
  virtual ~Toolkit() = default;

  // The application's title: the caption of message boxes whose caption is
  // empty and of the default error box.
  virtual void SetTitle(const std::string& title) = 0;
  virtual const std::string& title() const = 0;

  // Replaces the handler of exceptions escaping dispatched events; an empty
  // handler restores the default error box.
  virtual void SetErrorHandler(ErrorHandler handler) = 0;

  // Makes the toolkit the form's observer (if it is not yet) and shows it,
  // raising its show event (Form::Show).
  virtual void ShowForm(Form& form) = 0;
  // Hides the form; it stays attached and can be shown again.
  virtual void HideForm(Form& form) = 0;
  // Closes the form (Form::Close: close event, then hidden). Closing the form
  // passed to Run ends Run.
  virtual void CloseForm(Form& form) = 0;

  // Shows `main` and dispatches events until `main` is closed.
  virtual void Run(Form& main) = 0;
  // Modal wait: dispatches events, waiting for the user's input, until
  // `done()` is true or `form` is closed or hidden. When the user can give no
  // more input (end of input of a console or script) the toolkit closes
  // `form` as its close box would, so that a wait never hangs; the caller
  // tells the two endings apart by `done()`.
  virtual void WaitUntil(Form& form, const std::function<bool()>& done) = 0;
  // Lets pending events run once, without waiting for new ones.
  virtual void ProcessMessages() = 0;

  // Arms a one-shot timer: `tick` runs once, from the loop, after about
  // `intervalMs` milliseconds (a toolkit without a clock may run it as soon
  // as the loop is idle).
  virtual void StartTimer(int intervalMs, std::function<void()> tick) = 0;

  // Modal message box. An empty caption means the application's title.
  // Returns the button pressed; closing the box without one answers Cancel
  // for YesNoCancel, No for YesNo and Ok for Ok.
  virtual Answer MessageBox(const std::string& caption, const std::string& text, Buttons buttons,
                            Icon icon) = 0;
  // Modal one-line input box with `answer` as the initial text. Returns the
  // text entered, or nullopt when the box was cancelled.
  virtual std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                              const std::string& answer) = 0;
  // Modal folder selection starting at `initialFolder` (already checked to
  // exist by the caller), with `prompt` above the tree. Returns the chosen
  // folder (with or without a closing separator) or "" when cancelled.
  virtual std::string ChooseDirectory(const std::string& initialFolder, const std::string& prompt) = 0;

  // Browser view (a control of kind HtmlView): opens a local file; reports
  // whether the loaded document is complete; hides the document body's
  // horizontal and vertical scroll bars (overflow "hidden").
  virtual void Navigate(Control& view, const std::string& file) = 0;
  virtual bool DocumentComplete(Control& view) = 0;
  virtual void HideBodyOverflow(Control& view) = 0;
};

// An information box with the application's title as caption.
void ShowMessage(Toolkit& toolkit, const std::string& text);
// A Yes/No question; true for Yes.
bool AskYesNo(Toolkit& toolkit, const std::string& caption, const std::string& text);

// Shared by toolkits: runs one dispatched event, handing the text of any
// exception that escapes it to `handler`, or to the default error box of
// `toolkit` when `handler` is empty.
void RunGuarded(Toolkit& toolkit, const ErrorHandler& handler, const std::function<void()>& event);
// The text shown for an exception caught by RunGuarded.
std::string ExceptionText(std::exception_ptr error);

}  // namespace ui
