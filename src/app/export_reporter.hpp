// Reports each export that ends with a new last-export time.
#pragma once

#include <optional>

#include "app/exporter_runtime.hpp"
#include "base/log_sink.hpp"

namespace lumenfolio {

class ExportReporter {
 public:
  ExportReporter(ExporterRuntime& runtime, LogSink& log)
      : runtime_(runtime),
        log_(log),
        lastExport_(runtime.exporter().lastExport()),
        id_(runtime.exporter().addObserver([this] { changed(); })) {}
  ~ExportReporter() { runtime_.exporter().removeObserver(id_); }
  ExportReporter(const ExportReporter&) = delete;
  ExportReporter& operator=(const ExportReporter&) = delete;

 private:
  void changed();

  ExporterRuntime& runtime_;
  LogSink& log_;
  std::optional<double> lastExport_;
  Exporter::ObserverID id_;
};

}  // namespace lumenfolio
