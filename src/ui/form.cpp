#include "ui/form.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace ui {

namespace {

bool IsTextEntry(ControlKind kind) { return kind == ControlKind::Edit || kind == ControlKind::Memo; }

bool IsCheckable(ControlKind kind) { return kind == ControlKind::CheckBox || kind == ControlKind::RadioButton; }

bool IsClickable(ControlKind kind) { return kind == ControlKind::Button || IsCheckable(kind); }

char Folded(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool IsLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

// The panel a control belongs to for access keys: the window's direct child
// holding it.
const Control* PanelOf(const Control& control) {
  const Control* panel = &control;
  while (panel->parent() && panel->parent()->parent()) panel = panel->parent();
  return panel;
}

}  // namespace

Control::Control(Form& form, const ControlDef& def, Control* parent)
    : form_(form),
      parent_(parent),
      kind_(def.kind),
      name_(def.name),
      text_(def.caption),
      style_(def.style),
      bounds_(def.bounds),
      visible_(def.visible),
      enabled_(def.enabled),
      checked_(IsCheckable(def.kind) && def.checked),
      intervalMs_(def.intervalMs),
      isDefault_(def.isDefault),
      isCancel_(def.isCancel) {}

void Control::Notify(Property what) {
  if (FormObserver* observer = form_.observer()) observer->ControlChanged(*this, what);
}

void Control::SetText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  Notify(Property::Text);
  if (IsTextEntry(kind_)) RaiseChange();
}

void Control::UntickSiblingRadios() {
  if (!parent_) return;
  for (Control* sibling : form_.ChildrenOf(*parent_)) {
    if (sibling != this && sibling->kind_ == ControlKind::RadioButton && sibling->checked_) {
      sibling->checked_ = false;
      sibling->Notify(Property::Checked);
    }
  }
}

void Control::SetChecked(bool checked) {
  if (!IsCheckable(kind_) || checked == checked_) return;
  if (kind_ == ControlKind::RadioButton && checked) UntickSiblingRadios();
  checked_ = checked;
  Notify(Property::Checked);
  // A native radio button reports only being ticked; a check box reports
  // every change of state.
  if (kind_ == ControlKind::CheckBox || checked) RaiseClick();
}

void Control::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Notify(Property::Enabled);
}

void Control::SetVisibleFlag(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  Notify(Property::Visible);
}

void Control::SetVisible(bool visible) {
  if (kind_ == ControlKind::Window) {
    if (visible) {
      form_.Show();
    } else {
      form_.Hide();
    }
    return;
  }
  SetVisibleFlag(visible);
}

bool Control::IsShowing() const {
  for (const Control* control = this; control; control = control->parent_) {
    if (!control->visible_) return false;
  }
  return true;
}

void Control::SetBounds(const Rect& bounds) {
  if (bounds == bounds_) return;
  bounds_ = bounds;
  Notify(Property::Bounds);
}

void Control::SetStyle(const Style& style) {
  if (style == style_) return;
  style_ = style;
  Notify(Property::Style);
}

void Control::SetPosition(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (percent == position_) return;
  position_ = percent;
  Notify(Property::Position);
}

void Control::Click() {
  switch (kind_) {
    case ControlKind::CheckBox:
      SetChecked(!checked_);
      return;
    case ControlKind::RadioButton:
      if (checked_) {
        RaiseClick();
      } else {
        SetChecked(true);
      }
      return;
    default:
      RaiseClick();
  }
}

void Control::RaiseClick() {
  // Copy first: the handler may replace itself while it runs.
  if (EventHandler handler = onClick_) handler(*this);
}

void Control::RaiseChange() {
  if (EventHandler handler = onChange_) handler(*this);
}

Form::Form(std::span<const ControlDef> table) {
  if (table.empty() || table.front().kind != ControlKind::Window || !table.front().parent.empty()) {
    throw std::invalid_argument("form table must begin with its window");
  }
  for (const ControlDef& def : table) {
    if (def.name.empty()) throw std::invalid_argument("form table: a control has no name");
    if (byName_.contains(def.name)) {
      throw std::invalid_argument("form table: duplicate control name " + std::string(def.name));
    }
    Control* parent = nullptr;
    if (window_) {
      if (def.kind == ControlKind::Window) throw std::invalid_argument("form table: a second window");
      parent = def.parent.empty() ? window_ : Find(def.parent);
      if (!parent) {
        throw std::invalid_argument("form table: " + std::string(def.name) + " has unknown parent " +
                                    std::string(def.parent));
      }
    }
    owned_.push_back(std::make_unique<Control>(*this, def, parent));
    Control* control = owned_.back().get();
    byName_.emplace(control->name(), control);
    if (window_) {
      controls_.push_back(control);
    } else {
      window_ = control;
      window_->visible_ = false;
    }
  }
}

Control* Form::Find(std::string_view name) const {
  auto found = byName_.find(name);
  return found == byName_.end() ? nullptr : found->second;
}

Control& Form::Get(std::string_view name) const {
  if (Control* control = Find(name)) return *control;
  throw std::out_of_range(this->name() + " has no control " + std::string(name));
}

std::vector<Control*> Form::ChildrenOf(const Control& parent) const {
  std::vector<Control*> children;
  for (Control* control : controls_) {
    if (control->parent() == &parent) children.push_back(control);
  }
  return children;
}

void Form::SetFrame(const WindowFrame& frame) {
  if (frame == frame_) return;
  frame_ = frame;
  window_->Notify(Property::Bounds);
}

std::vector<Control*> Form::TabStops() const {
  std::vector<Control*> stops;
  for (Control* control : controls_) {
    if (!control->usable()) continue;
    switch (control->kind()) {
      case ControlKind::Button:
      case ControlKind::CheckBox:
      case ControlKind::Edit:
      case ControlKind::HtmlView:
        stops.push_back(control);
        break;
      case ControlKind::Memo:
        if (control->style().border != Border::None) stops.push_back(control);
        break;
      case ControlKind::RadioButton: {
        // One stop per group: the ticked radio button, else the first.
        const Control* stop = nullptr;
        for (Control* sibling : ChildrenOf(*control->parent())) {
          if (sibling->kind() != ControlKind::RadioButton || !sibling->usable()) continue;
          if (!stop || sibling->checked()) stop = sibling;
          if (sibling->checked()) break;
        }
        if (stop == control) stops.push_back(control);
        break;
      }
      default:
        break;
    }
  }
  return stops;
}

Control* Form::NextTabStop(const Control* from, bool backward) const {
  const std::vector<Control*> stops = TabStops();
  if (stops.empty()) return nullptr;
  auto at = std::find(stops.begin(), stops.end(), from);
  // A focused radio button that is not its group's stop (an unticked one
  // reached with the arrows) moves on from its group's stop.
  if (at == stops.end() && from && from->kind() == ControlKind::RadioButton) {
    at = std::find_if(stops.begin(), stops.end(), [from](const Control* stop) {
      return stop->kind() == ControlKind::RadioButton && stop->parent() == from->parent();
    });
  }
  const auto count = static_cast<std::ptrdiff_t>(stops.size());
  if (at == stops.end()) return backward ? stops.back() : stops.front();
  std::ptrdiff_t index = (at - stops.begin() + (backward ? count - 1 : 1)) % count;
  return stops[static_cast<size_t>(index)];
}

Control* Form::NextInGroup(const Control& radio, bool backward) const {
  std::vector<Control*> group;
  for (Control* sibling : ChildrenOf(*radio.parent())) {
    if (sibling->kind() == ControlKind::RadioButton && (sibling->usable() || sibling == &radio)) {
      group.push_back(sibling);
    }
  }
  auto at = std::find(group.begin(), group.end(), &radio);
  if (at == group.end()) return const_cast<Control*>(&radio);
  const auto count = static_cast<std::ptrdiff_t>(group.size());
  std::ptrdiff_t index = (at - group.begin() + (backward ? count - 1 : 1)) % count;
  return group[static_cast<size_t>(index)];
}

Control* Form::DefaultButton() const {
  for (Control* control : controls_) {
    if (control->kind() == ControlKind::Button && control->isDefault() && control->usable()) return control;
  }
  return nullptr;
}

Control* Form::InitialFocus() const {
  if (Control* button = DefaultButton()) return button;
  const std::vector<Control*> stops = TabStops();
  return stops.empty() ? nullptr : stops.front();
}

Control* Form::EnterTarget(const Control* focused) const {
  if (focused && focused->usable()) {
    if (focused->kind() == ControlKind::Button) return const_cast<Control*>(focused);
    if (focused->kind() == ControlKind::Memo && focused->style().border != Border::None) return nullptr;
  }
  return DefaultButton();
}

Control* Form::EscapeTarget() const {
  for (Control* control : controls_) {
    if (control->kind() == ControlKind::Button && control->isCancel() && control->usable()) return control;
  }
  return nullptr;
}

size_t Form::AccessKeyIndex(const Control& target) const {
  if (!IsClickable(target.kind())) return std::string::npos;
  const Control* panel = PanelOf(target);
  std::string taken;
  for (Control* control : controls_) {
    if (!IsClickable(control->kind()) || PanelOf(*control) != panel) continue;
    if (control != &target && !control->usable()) continue;
    const std::string& caption = control->text();
    size_t chosen = std::string::npos;
    for (int pass = 0; pass < 2 && chosen == std::string::npos; ++pass) {
      for (size_t i = 0; i < caption.size(); ++i) {
        bool wordStart = i == 0 || caption[i - 1] == ' ';
        if (IsLetter(caption[i]) && (pass == 1 || wordStart) &&
            taken.find(Folded(caption[i])) == std::string::npos) {
          chosen = i;
          break;
        }
      }
    }
    if (control == &target) return chosen;
    if (chosen != std::string::npos) taken += Folded(caption[chosen]);
  }
  return std::string::npos;
}

Control* Form::AccessKeyTarget(char letter) const {
  for (Control* control : controls_) {
    if (!IsClickable(control->kind()) || !control->usable()) continue;
    size_t index = AccessKeyIndex(*control);
    if (index != std::string::npos && Folded(control->text()[index]) == Folded(letter)) return control;
  }
  return nullptr;
}

void Form::Show() {
  closed_ = false;
  if (window_->visible_) return;
  window_->SetVisibleFlag(true);
  if (FormHandler handler = onShow_) handler(*this);
}

void Form::Hide() { window_->SetVisibleFlag(false); }

void Form::Close() {
  if (closed_) return;
  if (FormHandler handler = onClose_) handler(*this);
  window_->SetVisibleFlag(false);
  closed_ = true;
}

}  // namespace ui
