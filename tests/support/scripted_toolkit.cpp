#include "support/scripted_toolkit.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace testsupport {

namespace {

std::string AnswerName(ui::Answer answer) {
  switch (answer) {
    case ui::Answer::Ok: return "Ok";
    case ui::Answer::Yes: return "Yes";
    case ui::Answer::No: return "No";
    case ui::Answer::Cancel: return "Cancel";
  }
  return "?";
}

}  // namespace

void ScriptedToolkit::QueueClick(const std::string& control) {
  actions_.push_back({"click " + control, [this, control] {
                        if (ui::Control* target = Reachable(control)) target->Click();
                      }});
}

void ScriptedToolkit::QueueSetText(const std::string& control, const std::string& text) {
  actions_.push_back({"text " + control, [this, control, text] {
                        if (ui::Control* target = Reachable(control)) target->SetText(text);
                      }});
}

void ScriptedToolkit::QueueAction(const std::string& label, std::function<void()> action) {
  actions_.push_back({label, std::move(action)});
}

void ScriptedToolkit::QueueClickDuringWork(const std::string& control) {
  work_actions_.push_back({"click " + control, [this, control] {
                             if (ui::Control* target = Reachable(control)) target->Click();
                           }});
}

void ScriptedToolkit::QueueActionDuringWork(const std::string& label, std::function<void()> action) {
  work_actions_.push_back({label, std::move(action)});
}

std::vector<std::string> ScriptedToolkit::MessageTexts() const {
  std::vector<std::string> texts;
  for (const Dialog& message : messages) texts.push_back(message.text);
  return texts;
}

std::vector<std::string> ScriptedToolkit::ShowingPanels(const ui::Form& form) {
  std::vector<std::string> panels;
  for (const ui::Control* control : form.controls()) {
    if (control->kind() == ui::ControlKind::Panel && control->name().starts_with("Pnl") &&
        control->IsShowing()) {
      panels.push_back(control->name());
    }
  }
  return panels;
}

ui::Control* ScriptedToolkit::Reachable(const std::string& name) {
  std::vector<ui::Form*> search;
  if (waiting_) search.push_back(waiting_);
  for (ui::Form* form : forms_) {
    if (form != waiting_) search.push_back(form);
  }
  bool exists = false;
  for (ui::Form* form : search) {
    ui::Control* control = form->Find(name);
    if (!control) continue;
    if (control->IsShowing() && control->enabled()) return control;
    exists = true;
  }
  if (exists) {
    ADD_FAILURE() << "scripted user cannot reach " << name << " (hidden or disabled)";
    return nullptr;
  }
  ADD_FAILURE() << "scripted user finds no control " << name;
  return nullptr;
}

void ScriptedToolkit::ShowForm(ui::Form& form) {
  if (form.observer() != this) form.SetObserver(this);
  std::erase(forms_, &form);
  forms_.insert(forms_.begin(), &form);
  shown_forms.push_back(form.name());
  form.Show();
}

void ScriptedToolkit::Dispatch(const std::string& label, const std::function<void()>& event) {
  ui::RunGuarded(*this, errorHandler_, event);
  ui::Form* main = main_ ? main_ : waiting_;
  steps.push_back({label, main ? ShowingPanels(*main) : std::vector<std::string>{}});
}

void ScriptedToolkit::Loop(ui::Form& form, const std::function<bool()>& done, bool untilClosed) {
  ui::Form* outer = waiting_;
  waiting_ = &form;
  auto finished = [&] { return done() || (untilClosed ? form.closed() : !form.visible()); };
  while (!finished()) {
    if (!timers_.empty()) {
      std::function<void()> tick = std::move(timers_.front());
      timers_.pop_front();
      Dispatch("timer", tick);
    } else if (!actions_.empty()) {
      Action action = std::move(actions_.front());
      actions_.pop_front();
      Dispatch(action.label, action.run);
    } else {
      ran_out_of_input = true;
      Dispatch("close " + form.name(), [&form] { form.Close(); });
    }
  }
  waiting_ = outer;
}

void ScriptedToolkit::Run(ui::Form& main) {
  main_ = &main;
  ShowForm(main);
  Loop(main, [] { return false; }, true);
}

void ScriptedToolkit::WaitUntil(ui::Form& form, const std::function<bool()>& done) { Loop(form, done, false); }

void ScriptedToolkit::ProcessMessages() {
  ++process_messages_calls;
  if (work_actions_.empty()) return;
  Action action = std::move(work_actions_.front());
  work_actions_.pop_front();
  Dispatch(action.label, action.run);
}

void ScriptedToolkit::StartTimer(int, std::function<void()> tick) { timers_.push_back(std::move(tick)); }

ScriptedToolkit::Dialog ScriptedToolkit::Record(const std::string& caption, const std::string& text,
                                                const std::string& initial) const {
  Dialog dialog;
  dialog.caption = caption;
  dialog.text = text;
  dialog.initial = initial;
  if (main_) {
    dialog.main_visible = main_->visible();
    dialog.panels = ShowingPanels(*main_);
  }
  return dialog;
}

ui::Answer ScriptedToolkit::MessageBox(const std::string& caption, const std::string& text, ui::Buttons buttons,
                                       ui::Icon icon) {
  ui::Answer answer = ClosedAnswer(buttons);
  if (buttons != ui::Buttons::Ok && !message_answers_.empty()) {
    answer = message_answers_.front();
    message_answers_.pop_front();
  }
  Dialog dialog = Record(caption, text, "");
  dialog.buttons = buttons;
  dialog.icon = icon;
  dialog.answer = AnswerName(answer);
  messages.push_back(std::move(dialog));
  return answer;
}

std::optional<std::string> ScriptedToolkit::InputBox(const std::string& caption, const std::string& prompt,
                                                     const std::string& answer) {
  std::optional<std::string> given;
  if (!input_answers_.empty()) {
    given = input_answers_.front();
    input_answers_.pop_front();
  }
  Dialog dialog = Record(caption, prompt, answer);
  dialog.answer = given.value_or("Cancel");
  inputs.push_back(std::move(dialog));
  return given;
}

std::string ScriptedToolkit::ChooseDirectory(const std::string& initialFolder, const std::string& prompt) {
  std::string folder;
  if (!chooser_answers_.empty()) {
    folder = chooser_answers_.front();
    chooser_answers_.pop_front();
  }
  Dialog dialog = Record("", prompt, initialFolder);
  dialog.answer = folder;
  choosers.push_back(std::move(dialog));
  return folder;
}

void ScriptedToolkit::Navigate(ui::Control& view, const std::string& file) {
  navigations.push_back(view.name() + " -> " + file);
  view.SetText(file);
}

}  // namespace testsupport
