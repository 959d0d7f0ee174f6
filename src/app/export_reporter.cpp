#include "app/export_reporter.hpp"

#include "app/headless_output.hpp"
#include "app/headless_settings.hpp"

namespace lumenfolio {

void ExportReporter::changed() {
  const Exporter& exporter = runtime_.exporter();
  if (exporter.lastExport() == lastExport_) return;
  lastExport_ = exporter.lastExport();
  const auto file = headless::sharedFileOf(runtime_.preferences());
  log_.write(LogLevel::info,
             headless::withReason(
                 "Exported " + headless::photos(exporter.lastCount()) + " to " + file.string(),
                 exporter.lastCount(), runtime_.photos()));
}

}  // namespace lumenfolio
