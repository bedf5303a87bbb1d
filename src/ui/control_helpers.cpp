#include "ui/control_helpers.h"

#include <array>
#include <functional>

#include "system/settings.h"
#include "system/text.h"

namespace ui {

namespace {

constexpr int kButtonGap = 8;

sys::StringList SplitNameList(std::string_view names, std::string_view defaultSeparators) {
  sys::StringList list;
  sys::SplitListValue(names, list, defaultSeparators);
  return list;
}

void ForEachNamed(Form* form, std::string_view names, std::string_view defaultSeparators,
                  const std::function<void(Control&)>& apply) {
  if (!form) return;
  for (const std::string& name : SplitNameList(names, defaultSeparators)) {
    if (Control* control = FindNamedComponent(form, name)) apply(*control);
  }
}

void PlaceButton(Control& button, const std::string& caption, int left) {
  button.SetText(caption);
  Rect bounds = button.bounds();
  bounds.left = left;
  button.SetBounds(bounds);
  button.SetVisible(true);
}

void HideButton(Control& button) {
  button.SetText("");
  button.SetVisible(false);
}

}  // namespace

Control* FindNamedComponent(const Form* form, std::string_view name) {
  if (!form) return nullptr;
  if (Control* exact = form->Find(name); exact && exact != &form->window()) return exact;
  for (Control* control : form->controls()) {
    if (sys::SameTextAscii(control->name(), name)) return control;
  }
  return nullptr;
}

void SetControlValue(Control* control, const std::string& value) {
  if (control && control->kind() == ControlKind::Label) control->SetText(value);
}

void SetNamedControlValue(Form* form, std::string_view name, const std::string& value) {
  SetControlValue(FindNamedComponent(form, name), value);
}

void SetControlsEnabled(Form* form, std::string_view names, bool enabled, std::string_view defaultSeparators) {
  ForEachNamed(form, names, defaultSeparators, [enabled](Control& control) { control.SetEnabled(enabled); });
}

void SetControlsVisible(Form* form, std::string_view names, bool visible, std::string_view defaultSeparators) {
  ForEachNamed(form, names, defaultSeparators, [visible](Control& control) { control.SetVisible(visible); });
}

void ArrangeButtonBar(Form* form, std::string_view buttonNames, std::string_view captions) {
  if (!form) return;
  sys::StringList names;
  sys::SplitDelimited(buttonNames, "|,", names);
  if (names.size() < 3) return;
  std::array<Control*, 3> buttons{};
  for (size_t i = 0; i < buttons.size(); ++i) {
    buttons[i] = FindNamedComponent(form, names[i]);
    if (!buttons[i] || buttons[i]->kind() != ControlKind::Button) return;
  }
  sys::StringList texts;
  sys::SplitDelimited(captions, "|,", texts);
  const Control* parent = buttons[0]->parent();
  const int room = parent ? parent->bounds().width : 0;
  const int w = buttons[0]->bounds().width;
  auto [first, second, third] = buttons;
  switch (texts.size()) {
    case 0:
      for (Control* button : buttons) HideButton(*button);
      return;
    case 1:
      HideButton(*first);
      HideButton(*third);
      PlaceButton(*second, texts[0], (room - w - kButtonGap) / 2);
      return;
    case 2: {
      HideButton(*first);
      const int left = (room - 2 * w - kButtonGap) / 2;
      PlaceButton(*second, texts[0], left);
      PlaceButton(*third, texts[1], left + w + kButtonGap);
      return;
    }
    default: {
      const int left = (room - 3 * w - 2 * kButtonGap) / 2;
      PlaceButton(*first, texts[0], left);
      PlaceButton(*second, texts[1], left + w + kButtonGap);
      PlaceButton(*third, texts[2], left + 2 * (w + kButtonGap));
    }
  }
}

}  // namespace ui
