#include "app/headless_watch.hpp"

#include <memory>

#include "app/exit_status.hpp"
#include "app/export_reporter.hpp"
#include "app/exporter_runtime.hpp"
#include "app/headless_output.hpp"
#include "app/status_printer.hpp"
#include "app/stop_signals.hpp"
#include "exporter/exporter_change_observer.hpp"
#include "platform/linux/headless_desktop_services.hpp"
#include "platform/linux/plain_main_queue.hpp"

namespace lumenfolio::headless {

int watch(const HeadlessArguments& arguments, ConsoleLog& log) {
  PlainMainQueue queue;  // starts no thread
  // Before any other thread starts, so the signals reach only the watcher.
  const StopSignals stopSignals([&queue](int) { queue.quit(); });
  HeadlessDesktopServices desktop;
  ExporterRuntime runtime(
      queue, desktop,
      {.libraryPackage = arguments.library, .runsStartUp = true, .stop = {}, .log = log});
  const StatusPrinter printer(runtime.exporter(), log);
  const ExportReporter reporter(runtime, log);
  // The controller keeps its own reaction to changes to itself; this line is
  // for whoever reads the log and wonders whether a change was seen.
  runtime.photos().registerChangeObserver(std::make_shared<ExporterChangeObserver>([&] {
    queue.post([&log] {
      log.write(LogLevel::info,
                "The library changed; the next export runs 300 s after the last change.");
    });
  }));

  const auto library = runtime.libraryPackage();
  log.write(LogLevel::info, "Watching " + (library ? library->string()
                                                   : "for a Photos library in " +
                                                         runtime.picturesFolder().string()));
  queue.run();
  log.write(LogLevel::info, "Stopped.");
  return code(ExitStatus::success);
}

}  // namespace lumenfolio::headless
