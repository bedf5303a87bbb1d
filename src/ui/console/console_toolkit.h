// The console toolkit: runs the program's forms without a display, on a
// terminal or on pipes (unattended runs, CI).
//
// Output: message boxes are printed, errors and warnings on the error
// stream; a showing progress bar is drawn on a terminal as one line redrawn
// in place at most ten times a second, with the percentage, the throughput
// (bytes read and written by the program's file streams per second), the
// time left (from the pace so far) and the current item, and as one plain
// line per tenth of progress ("  40%  item") when the output is not a
// terminal. The current item is the bar's own text when it has one, else
// the latest text of a showing label.
//
// Input, one line at a time from the input stream (terminal or pipe):
//   - Yes/No questions: "y"/"yes", "n"/"no", "c"/"cancel"; an empty line
//     answers the default;
//   - the input box and the chooser: the text or folder; an empty line keeps
//     the proposed one;
//   - while the loop waits for the user: a line is given to the line handler
//     (see SetLineHandler); by default a control's name, a button's caption
//     (any letter case) or the number of a listed button clicks it, and
//     NAME=VALUE sets an edit box's text or ticks (1, true, yes) or unticks
//     a check box or radio button, raising the same events as a user would.
// While the main window (the form given to Run) waits for a line, its screen
// is printed whenever it changed (other panels, another page, other
// buttons): the title, the showing labels and memos, check boxes and radio
// buttons as "[x] caption (NAME)", edit boxes as "NAME = text", the page of
// a showing HTML view as plain text (tags stripped), and the showing,
// enabled buttons numbered from 1.
// At the end of input a question takes its default answer, the input box and
// the chooser are cancelled, and a window that waits for a click is closed as
// its close box would close it, so that nothing ever hangs.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "ui/toolkit.h"

namespace ui {

// True when standard output is a terminal.
bool StdoutIsTerminal();

class ConsoleToolkit : public Toolkit, private FormObserver {
 public:
  // `in`, `out` and `err` must outlive the toolkit. `terminal` selects the
  // redrawn progress bar (true) or plain progress lines (false). Without
  // `err`, errors go to standard error.
  ConsoleToolkit(std::istream& in, std::ostream& out, std::ostream& err, bool terminal);
  ConsoleToolkit(std::istream& in, std::ostream& out, bool terminal);

  // Receives a line read while the loop waits for the user, with the form
  // being waited for; returns true when it understood the line. A handler
  // that returns false falls back to the default (click / NAME=VALUE).
  using LineHandler = std::function<bool(const std::string& line, Form& waiting)>;
  void SetLineHandler(LineHandler handler) { lineHandler_ = std::move(handler); }

  // The bytes the program has read and written so far, for the bar's
  // throughput; without a source the throughput reads 0 B/s.
  using ByteCounter = std::function<int64_t()>;
  void SetThroughputSource(ByteCounter bytesSoFar) { bytesSoFar_ = std::move(bytesSoFar); }

  // The default handling of a line described above; false when no showing,
  // enabled control of a shown form matches it.
  Control* ShortAnswerButton(const std::string& text, Form& waiting);
  static Control* OnlyOkButton(Form& form);
  bool ApplyLine(const std::string& line, Form& waiting);

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
  void Navigate(Control& view, const std::string& file) override { view.SetText(file); }
  bool DocumentComplete(Control&) override { return true; }
  void HideBodyOverflow(Control&) override {}

 private:
  void ControlChanged(Control& control, Property what) override;
  void Loop(Form& form, const std::function<bool()>& done, bool untilClosed);
  void PrintPrompt(Form& form);
  void PrintScreenIfChanged(Form& form);
  std::string ScreenKey(const Form& form) const;
  void RunTimers();
  std::optional<std::string> ReadLine();
  void Print(const std::string& text);
  void DrawProgress(const Control& bar);
  Control* FindReachable(const std::string& nameOrCaption, Form& waiting);

  std::istream& in_;
  std::ostream& out_;
  std::ostream& err_;
  bool terminal_;
  // The run of the bar being drawn: where it started, for its pace.
  const Control* bar_ = nullptr;
  int barPosition_ = 0;
  std::chrono::steady_clock::time_point barStarted_{};
  std::chrono::steady_clock::time_point barDrawn_{};
  int64_t barBytes_ = 0;
  ByteCounter bytesSoFar_;
  int64_t BytesSoFar() const { return bytesSoFar_ ? bytesSoFar_() : 0; }
  bool inputEnded_ = false;
  bool barOpen_ = false;      // a terminal bar line is waiting for its newline
  int lastPlainTenth_ = -1;  // tenth of progress last printed as a plain line
  std::string status_;         // latest text of a showing label
  std::string title_;
  ErrorHandler errorHandler_;
  LineHandler lineHandler_;
  std::deque<std::function<void()>> timers_;
  std::vector<Form*> forms_;   // shown at least once, most recent first
  std::string pressedScreen_;  // the screen whose only OK was pressed for the user
  std::string lastScreen_;    // ScreenKey of the main window when last printed
  std::vector<Control*> numberedButtons_;  // the buttons listed with numbers
};

}  // namespace ui
