#include "app/status_printer.hpp"

#include <cstdio>

namespace lumenfolio {

namespace {

std::string seconds(std::chrono::steady_clock::duration elapsed) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", std::chrono::duration<double>(elapsed).count());
  return text;
}

}  // namespace

void StatusPrinter::changed() {
  const auto& status = exporter_.status();
  if (status == shown_) return;
  const auto now = std::chrono::steady_clock::now();
  if (shown_) log_.write(LogLevel::debug, *shown_ + " took " + seconds(now - shownAt_));
  if (status && !exporter_.failure()) log_.write(LogLevel::info, *status);
  shown_ = status;
  shownAt_ = now;
}

}  // namespace lumenfolio
