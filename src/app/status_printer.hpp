// Prints each status text the controller publishes, once per appearance.
#pragma once

#include <optional>
#include <string>

#include "exporter/exporter.hpp"

namespace lumenfolio {

class StatusPrinter {
 public:
  explicit StatusPrinter(Exporter& exporter)
      : exporter_(exporter), id_(exporter.addObserver([this] { changed(); })) {}
  ~StatusPrinter() { exporter_.removeObserver(id_); }
  StatusPrinter(const StatusPrinter&) = delete;
  StatusPrinter& operator=(const StatusPrinter&) = delete;

 private:
  void changed();

  Exporter& exporter_;
  std::optional<std::string> shown_;
  Exporter::ObserverID id_;
};

}  // namespace lumenfolio
