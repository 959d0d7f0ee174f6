// Logs each status text the controller publishes, once per appearance, as a
// progress line. Failures are not its business: the controller logs each one
// itself with its cause, so it is printed once. Each progress line also ends a
// phase, and the time the phase took is a debug line.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "base/log_sink.hpp"
#include "exporter/exporter.hpp"

namespace lumenfolio {

class StatusPrinter {
 public:
  StatusPrinter(Exporter& exporter, LogSink& log)
      : exporter_(exporter), log_(log), id_(exporter.addObserver([this] { changed(); })) {}
  ~StatusPrinter() { exporter_.removeObserver(id_); }
  StatusPrinter(const StatusPrinter&) = delete;
  StatusPrinter& operator=(const StatusPrinter&) = delete;

 private:
  void changed();

  Exporter& exporter_;
  LogSink& log_;
  std::optional<std::string> shown_;
  std::chrono::steady_clock::time_point shownAt_;
  Exporter::ObserverID id_;
};

}  // namespace lumenfolio
