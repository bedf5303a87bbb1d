#include "ui/default_toolkit.h"

#include "ui/win32/win32_toolkit.h"

namespace ui {

// The native windows show progress without a throughput figure.
std::unique_ptr<Toolkit> MakeDefaultToolkit(std::function<int64_t()>) { return std::make_unique<Win32Toolkit>(); }

}  // namespace ui
