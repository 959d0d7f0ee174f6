// Reports each export that ends with a new last-export time.
#pragma once

#include <optional>

#include "app/exporter_runtime.hpp"

namespace lumenfolio {

class ExportReporter {
 public:
  explicit ExportReporter(ExporterRuntime& runtime)
      : runtime_(runtime),
        lastExport_(runtime.exporter().lastExport()),
        id_(runtime.exporter().addObserver([this] { changed(); })) {}
  ~ExportReporter() { runtime_.exporter().removeObserver(id_); }
  ExportReporter(const ExportReporter&) = delete;
  ExportReporter& operator=(const ExportReporter&) = delete;

 private:
  void changed();

  ExporterRuntime& runtime_;
  std::optional<double> lastExport_;
  Exporter::ObserverID id_;
};

}  // namespace lumenfolio
