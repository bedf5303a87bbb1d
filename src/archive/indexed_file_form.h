// TDIndexedFile: the archive engine's progress and overwrite-question
// window, as a form model shown through a ui::Toolkit.
//
// Two panels share the window: PnlProgress (status label, bar, Abort) while
// an operation runs without a caller's progress hook, and PnlQuery (the
// question and one of two button sets) while an overwrite question waits.
// Creating the window registers it as the module's dialog (Module().dialog);
// destroying it unregisters it.
#pragma once

#include <string>
#include <vector>

#include "archive/archive_dialog.h"
#include "ui/form.h"
#include "ui/toolkit.h"

namespace archive {

class TDIndexedFile : public ArchiveDialog {
 public:
  // FormCreate: builds the form (hidden), sets the progress step to 0 and
  // fills the no-compress list.
  explicit TDIndexedFile(ui::Toolkit& toolkit);
  // FormDestroy.
  ~TDIndexedFile() override;
  TDIndexedFile(const TDIndexedFile&) = delete;
  TDIndexedFile& operator=(const TDIndexedFile&) = delete;

  ui::Form& form() { return form_; }
  int progressStep() const { return progressStep_; }
  const std::string& successMessage() const { return successMessage_; }
  const std::string& failureMessage() const { return failureMessage_; }

  // The hook form of ShowProgress, with this window as its context.
  static bool ShowProgressHook(void* context, const std::string& text, int percent);

  // ---- ArchiveDialog ----------------------------------------------------------
  void SetMessages(const std::string& title, const std::string& successMessage, const std::string& failureMessage,
                   int progressStep) override;
  void BeginProgress() override;
  // Skips the display (but still answers) when the progress step is set and
  // the advance since the bar's position is smaller, below 99 percent.
  // Shows "Processing (P%)" with a step, "Processing (P%): text" without.
  bool ShowProgress(const std::string& text, int percent) override;
  void EndProgress(bool showClosingMessage) override;
  // Shows the question (keeping the caption, which reads "Overwrite Prompt"
  // meanwhile), waits for a button and restores the window as it was. When
  // the window is closed without an answer the reply is Cancel.
  int Query(const std::string& question, int buttonSet) override;
  void ShowMessage(const std::string& text) override;
  const std::vector<std::string>& NoCompressList() const override { return noCompress_; }

 private:
  void FormShow();
  void WireButtons();
  void SetAnswer(int answer);
  void Set(const char* name, bool visible) { form_.Get(name).SetVisible(visible); }

  ui::Toolkit& toolkit_;
  ui::Form form_;
  std::string successMessage_;
  std::string failureMessage_;
  int progressStep_ = 0;
  int answer_ = kNotAsked;
  std::vector<std::string> noCompress_;
};

}  // namespace archive
