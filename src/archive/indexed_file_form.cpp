#include "archive/indexed_file_form.h"

#include "archive/archive.h"
#include "archive/names.h"
#include "system/activity_log.h"
#include "system/settings.h"

namespace archive {

using ui::ControlKind;
using ui::Font;

namespace {

constexpr int kShownHeight = 116;
constexpr const char* kOverwritePrompt = "Overwrite Prompt";

constexpr ui::Style kPlain{Font::Normal, ui::Align::Left, false, ui::Border::None};
constexpr ui::Style kBold{Font::Bold, ui::Align::Left, false, ui::Border::None};
constexpr ui::Style kQueryStyle{Font::Normal, ui::Align::Center, true, ui::Border::None};

// Both panels fill the client area. The window is shown 116 pixels tall
// overall, title bar included, which leaves a client area of about 80
// pixels on current systems: the controls sit within the top 75, the
// question above its buttons. The six buttons are listed in their keyboard
// order (Yes on Newer last) but placed left to right as Yes, Yes on Newer,
// Yes to All, No, No To All, Cancel.
using K = ControlKind;
using ui::Def;

constexpr int kButtonsTop = 40;

const ui::ControlDef kIndexedFileForm[] = {
    Def(K::Window, "DIndexedFile", "", {0, 0, 768, 134}, "Processing Files"),
    Def(K::Panel, "PnlProgress", "", {0, 0, 768, 134}, "", kPlain, false),
    Def(K::Label, "Label1", "PnlProgress", {8, 30, 60, 13}, "Progress", kBold),
    Def(K::Label, "LStatus", "PnlProgress", {80, 10, 545, 13}, "Status"),
    Def(K::ProgressBar, "CtrlProgress", "PnlProgress", {80, 28, 545, 17}, ""),
    Def(K::Button, "BAbort", "PnlProgress", {640, 24, 75, 25}, "Abort", kBold),
    Def(K::Panel, "PnlQuery", "", {0, 0, 768, 134}, "", kPlain, false),
    Def(K::Label, "LQuery", "PnlQuery", {8, 6, 752, kButtonsTop - 8}, "Do you want to overwrite the current file?",
        kQueryStyle),
    Def(K::Panel, "PnlBtns5", "PnlQuery", {0, kButtonsTop, 768, 36}, "", kPlain, false),
    Def(K::Button, "BYes", "PnlBtns5", {60, 4, 100, 25}, "Yes"),
    Def(K::Button, "BYestoAll", "PnlBtns5", {280, 4, 100, 25}, "Yes to All"),
    Def(K::Button, "BNo", "PnlBtns5", {390, 4, 100, 25}, "No"),
    Def(K::Button, "BNoToAll", "PnlBtns5", {500, 4, 100, 25}, "No To All"),
    Def(K::Button, "BCancel5", "PnlBtns5", {610, 4, 100, 25}, "Cancel"),
    Def(K::Button, "BYesNewer", "PnlBtns5", {170, 4, 100, 25}, "Yes on Newer"),
    Def(K::Panel, "PnlBtns3", "PnlQuery", {0, kButtonsTop, 768, 36}, "", kPlain, false),
    Def(K::Button, "BYes3", "PnlBtns3", {224, 4, 100, 25}, "Yes"),
    Def(K::Button, "BNo3", "PnlBtns3", {334, 4, 100, 25}, "No"),
    Def(K::Button, "BCancel3", "PnlBtns3", {444, 4, 100, 25}, "Cancel"),
};

// Enter answers Yes; Escape cancels the question or aborts the operation.
std::vector<ui::ControlDef> WithKeyRoles() {
  std::vector<ui::ControlDef> table(std::begin(kIndexedFileForm), std::end(kIndexedFileForm));
  for (ui::ControlDef& def : table) {
    def.isDefault = def.name == "BYes" || def.name == "BYes3";
    def.isCancel = def.name == "BCancel5" || def.name == "BCancel3" || def.name == "BAbort";
  }
  return table;
}

}  // namespace

TDIndexedFile::TDIndexedFile(ui::Toolkit& toolkit) : toolkit_(toolkit), form_(WithKeyRoles()) {
  progressStep_ = 0;
  // No close box (an operation ends through Abort or Cancel, never half-way
  // through a close), above other programs' windows while it works.
  form_.SetFrame({.closeBox = false, .staysOnTop = true, .outerHeight = 0});
  noCompress_ = sys::SplitOnBar(kNoCompressExtensions);
  form_.SetOnShow([this](ui::Form&) { FormShow(); });
  WireButtons();
  Module().dialog = this;
}

TDIndexedFile::~TDIndexedFile() {
  if (Module().dialog == this) Module().dialog = nullptr;
}

void TDIndexedFile::WireButtons() {
  auto answer = [this](int code) { return [this, code](ui::Control&) { SetAnswer(code); }; };
  for (const char* yes : {"BYes", "BYes3"}) form_.Get(yes).SetOnClick(answer(kYes));
  for (const char* no : {"BNo", "BNo3"}) form_.Get(no).SetOnClick(answer(kNo));
  form_.Get("BYestoAll").SetOnClick(answer(kYesToAll));
  form_.Get("BNoToAll").SetOnClick(answer(kNoToAll));
  form_.Get("BYesNewer").SetOnClick(answer(kYesOnNewer));
  for (const char* cancel : {"BCancel5", "BCancel3"}) {
    form_.Get(cancel).SetOnClick([this](ui::Control&) {
      Module().abort = true;
      SetAnswer(kCancel);
    });
  }
  form_.Get("BAbort").SetOnClick([](ui::Control&) { Module().abort = true; });
}

void TDIndexedFile::SetAnswer(int answer) { answer_ = answer; }

void TDIndexedFile::FormShow() {
  ui::WindowFrame frame = form_.frame();
  frame.outerHeight = kShownHeight;
  form_.SetFrame(frame);
  for (const char* panel : {"PnlQuery", "PnlBtns5", "PnlBtns3", "PnlProgress"}) Set(panel, false);
  Module().abort = false;
  form_.Get("LStatus").SetText("Initializing ...");
  form_.Get("CtrlProgress").SetPosition(0);
  form_.Get("CtrlProgress").SetText("");
}

void TDIndexedFile::SetMessages(const std::string& title, const std::string& successMessage,
                                const std::string& failureMessage, int progressStep) {
  form_.SetCaption(title);
  successMessage_ = successMessage;
  failureMessage_ = failureMessage;
  progressStep_ = progressStep;
}

void TDIndexedFile::BeginProgress() {
  toolkit_.ShowForm(form_);
  Set("PnlProgress", true);
  toolkit_.ProcessMessages();
}

bool TDIndexedFile::ShowProgressHook(void* context, const std::string& text, int percent) {
  return static_cast<TDIndexedFile*>(context)->ShowProgress(text, percent);
}

bool TDIndexedFile::ShowProgress(const std::string& text, int percent) {
  ui::Control& bar = form_.Get("CtrlProgress");
  if (progressStep_ > 0 && percent < 99 && percent - bar.position() < progressStep_) return !Module().abort;
  // The status first, so that a toolkit drawing the bar on its change shows
  // the matching text beside it.
  const std::string status = "Processing (" + std::to_string(percent) + "%)";
  form_.Get("LStatus").SetText(progressStep_ > 0 ? status : status + ": " + text);
  // The current item rides on the bar for displays that show it apart.
  if (text != bar.text()) {
    bar.SetText(text);
    sys::LogAction(form_.caption() + ": " + text);
  }
  bar.SetPosition(percent);
  toolkit_.ProcessMessages();
  return !Module().abort;
}

void TDIndexedFile::EndProgress(bool showClosingMessage) {
  toolkit_.HideForm(form_);
  toolkit_.ProcessMessages();
  if (!showClosingMessage) return;
  const ArchiveModule& module = Module();
  // A run that left something out has not simply succeeded: it says so,
  // naming what it left out.
  const std::string message = module.abort              ? failureMessage_
                              : module.warnings.empty() ? successMessage_
                                                        : WarningsSummary(module.warnings);
  if (!message.empty()) ui::ShowMessage(toolkit_, message);
}

int TDIndexedFile::Query(const std::string& question, int buttonSet) {
  const bool wasVisible = form_.visible();
  answer_ = kNotAsked;
  form_.Get("LQuery").SetText(question);
  const std::string keptCaption = form_.caption();
  form_.SetCaption(kOverwritePrompt);
  if (wasVisible) {
    Set("PnlProgress", false);
  } else {
    toolkit_.ShowForm(form_);
  }
  Set("PnlQuery", true);
  Set(buttonSet == kThreeButtons ? "PnlBtns3" : "PnlBtns5", true);
  toolkit_.WaitUntil(form_, [this] { return answer_ != kNotAsked; });
  const bool closedUnanswered = answer_ == kNotAsked;
  if (wasVisible) {
    if (!form_.visible()) toolkit_.ShowForm(form_);
    for (const char* panel : {"PnlQuery", "PnlBtns5", "PnlBtns3"}) Set(panel, false);
    Set("PnlProgress", true);
  } else {
    toolkit_.HideForm(form_);
  }
  if (closedUnanswered) {
    // Closed without a button (no more input): nothing may be overwritten.
    Module().abort = true;
    answer_ = kCancel;
  }
  form_.SetCaption(keptCaption);
  if (wasVisible) toolkit_.ProcessMessages();
  return answer_;
}

void TDIndexedFile::ShowMessage(const std::string& text) { ui::ShowMessage(toolkit_, text); }

}  // namespace archive
