#include "app/status_printer.hpp"

#include "app/headless_output.hpp"

namespace lumenfolio {

void StatusPrinter::changed() {
  const auto& status = exporter_.status();
  if (status && status != shown_) headless::printLine(stdout, *status);
  shown_ = status;
}

}  // namespace lumenfolio
