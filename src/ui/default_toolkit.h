// The toolkit the program runs on when nothing else is asked for: the
// native one on Windows, the console one (terminal or pipes) elsewhere. Each
// toolkit folder that can be the default defines MakeDefaultToolkit; the
// build links the platform's one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "ui/toolkit.h"

namespace ui {

// `bytesSoFar` counts the bytes the program has read and written, for a
// toolkit that shows throughput (may be empty).
std::unique_ptr<Toolkit> MakeDefaultToolkit(std::function<int64_t()> bytesSoFar);

}  // namespace ui
