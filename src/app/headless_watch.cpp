#include "app/headless_watch.hpp"

#include <memory>

#include "app/export_reporter.hpp"
#include "app/exporter_runtime.hpp"
#include "app/headless_output.hpp"
#include "app/status_printer.hpp"
#include "app/stop_signals.hpp"
#include "exporter/exporter_change_observer.hpp"
#include "platform/linux/headless_desktop_services.hpp"
#include "platform/linux/plain_main_queue.hpp"

namespace lumenfolio::headless {

int watch(const HeadlessArguments& arguments) {
  PlainMainQueue queue;  // starts no thread
  // Before any other thread starts, so the signals reach only the watcher.
  const StopSignals stopSignals([&queue](int) { queue.quit(); });
  HeadlessDesktopServices desktop;
  ExporterRuntime runtime(queue, desktop,
                          {.libraryPackage = arguments.library, .runsStartUp = true});
  const StatusPrinter printer(runtime.exporter());
  const ExportReporter reporter(runtime);
  // The controller keeps its own reaction to changes to itself; this line is
  // for whoever reads the log and wonders whether a change was seen.
  runtime.photos().registerChangeObserver(std::make_shared<ExporterChangeObserver>([&queue] {
    queue.post([] {
      printLine(stdout, "The library changed; the next export runs 300 s after the last change.");
    });
  }));

  const auto library = runtime.libraryPackage();
  printLine(stdout, "Watching " +
                        (library ? library->string()
                                 : "for a Photos library in " + runtime.picturesFolder().string()));
  queue.run();
  printLine(stdout, "Stopped.");
  return 0;
}

}  // namespace lumenfolio::headless
