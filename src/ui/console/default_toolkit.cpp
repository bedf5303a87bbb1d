#include "ui/default_toolkit.h"

#include <iostream>

#include "ui/console/console_toolkit.h"

namespace ui {

std::unique_ptr<Toolkit> MakeDefaultToolkit(std::function<int64_t()> bytesSoFar) {
  auto toolkit = std::make_unique<ConsoleToolkit>(std::cin, std::cout, StdoutIsTerminal());
  toolkit->SetThroughputSource(std::move(bytesSoFar));
  return toolkit;
}

}  // namespace ui
