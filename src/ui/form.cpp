#include "ui/form.h"

#include <algorithm>
#include <stdexcept>

namespace ui {

namespace {

bool IsTextEntry(ControlKind kind) { return kind == ControlKind::Edit || kind == ControlKind::Memo; }

bool IsCheckable(ControlKind kind) { return kind == ControlKind::CheckBox || kind == ControlKind::RadioButton; }

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
      interval_ms_(def.interval_ms) {}

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
  if (EventHandler handler = on_click_) handler(*this);
}

void Control::RaiseChange() {
  if (EventHandler handler = on_change_) handler(*this);
}

Form::Form(std::span<const ControlDef> table) {
  if (table.empty() || table.front().kind != ControlKind::Window || !table.front().parent.empty()) {
    throw std::invalid_argument("form table must begin with its window");
  }
  for (const ControlDef& def : table) {
    if (def.name.empty()) throw std::invalid_argument("form table: a control has no name");
    if (by_name_.contains(def.name)) {
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
    by_name_.emplace(control->name(), control);
    if (window_) {
      controls_.push_back(control);
    } else {
      window_ = control;
      window_->visible_ = false;
    }
  }
}

Control* Form::Find(std::string_view name) const {
  auto found = by_name_.find(name);
  return found == by_name_.end() ? nullptr : found->second;
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

void Form::Show() {
  closed_ = false;
  if (window_->visible_) return;
  window_->SetVisibleFlag(true);
  if (FormHandler handler = on_show_) handler(*this);
}

void Form::Hide() { window_->SetVisibleFlag(false); }

void Form::Close() {
  if (closed_) return;
  if (FormHandler handler = on_close_) handler(*this);
  window_->SetVisibleFlag(false);
  closed_ = true;
}

}  // namespace ui
