// What the archive operations need from their progress and question window
// (TDIndexedFile). The operations talk to it only through this interface so
// that they stay free of any toolkit.
#pragma once

#include <string>
#include <vector>

namespace archive {

// Answer codes of the overwrite questions.
enum Answer : int {
  kNotAsked = 0,
  kYes = 1,
  kNo = 2,
  kYesToAll = 3,
  kNoToAll = 4,
  kYesOnNewer = 5,
  kCancel = 6,
};

// Button sets of a question.
inline constexpr int kSixButtons = 5;
inline constexpr int kThreeButtons = 3;

class ArchiveDialog {
 public:
  virtual ~ArchiveDialog() = default;

  // Stores the window title, the closing messages and the progress step.
  virtual void SetMessages(const std::string& title, const std::string& successMessage,
                           const std::string& failureMessage, int progressStep) = 0;
  // Shows the window with its progress panel (clearing the abort flag) and
  // lets pending window messages run once.
  virtual void BeginProgress() = 0;
  // The progress hook of an operation run with this window: displays the
  // text and percentage and answers false once the abort flag is set.
  virtual bool ShowProgress(const std::string& text, int percent) = 0;
  // Hides the window and lets pending messages run; then, with
  // `showClosingMessage`, shows the success message (abort flag clear) or
  // the failure message (set); empty ones are not shown. A success with
  // warnings recorded in the module shows WarningsSummary instead.
  virtual void EndProgress(bool showClosingMessage) = 0;
  // Asks `question` with the six- or three-button set and returns the answer
  // code 1..6; Cancel also sets the abort flag.
  virtual int Query(const std::string& question, int buttonSet) = 0;
  // Shows an information message box.
  virtual void ShowMessage(const std::string& text) = 0;
  // Extensions (lower case, without the dot) stored without compression.
  virtual const std::vector<std::string>& NoCompressList() const = 0;
};

}  // namespace archive
