// ScopedValue: gives a variable a value for the life of a scope and puts
// the earlier value back on every way out, an exception included. The
// engine's runs use it for flags other code reads while they work (busy,
// the archive module's settings), which must never stay set after a run
// that threw.
#pragma once

#include <utility>

namespace installer {

template <typename T>
class ScopedValue {
 public:
  ScopedValue(T& variable, T value) : variable_(variable), before_(std::exchange(variable, std::move(value))) {}
  ~ScopedValue() { variable_ = std::move(before_); }
  ScopedValue(const ScopedValue&) = delete;
  ScopedValue& operator=(const ScopedValue&) = delete;

 private:
  T& variable_;
  T before_;
};

}  // namespace installer
