// bench_main_loop LIBRARY FOLDER
//
// One full export of LIBRARY into FOLDER by the exporter's own runtime, on the
// headless main queue, while a tick on that queue every 10 ms notes how late
// it came. Prints "STALL_MS TICKS SECONDS RESIDENT_MB": the longest time the
// main loop could not run a job during the export (a panel would freeze that
// long), the ticks seen, the export's wall time, and the resident memory a
// second after the export, the runtime still there as a tray item keeps it
// between exports. Run it in a fresh home (HOME, XDG_CONFIG_HOME, ...) so that
// nothing is unchanged.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "app/exporter_runtime.hpp"
#include "platform/linux/headless_desktop_services.hpp"
#include "platform/linux/plain_main_queue.hpp"
#include "sync/sync_folder.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kTick{10};
// Time for the workers to let go of what the export held.
constexpr std::chrono::seconds kSettling{1};

double residentMiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

// Posts itself again every tick until the export is done, noting the longest
// wait beyond the tick.
class Ticker {
 public:
  explicit Ticker(lumenfolio::MainQueue& queue) : queue_(queue) {}

  void start() { schedule(); }
  void stop() { stopped_ = true; }
  double longestStallMs() const { return longest_.count() * 1000.0; }
  int ticks() const { return ticks_; }

 private:
  void schedule() {
    due_ = Clock::now() + kTick;
    queue_.postAfter(kTick, [this] { tick(); });
  }
  void tick() {
    ++ticks_;
    longest_ = std::max<std::chrono::duration<double>>(longest_, Clock::now() - due_);
    if (!stopped_) schedule();
  }

  lumenfolio::MainQueue& queue_;
  Clock::time_point due_;
  std::chrono::duration<double> longest_{0};
  int ticks_ = 0;
  bool stopped_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: bench_main_loop LIBRARY FOLDER\n", stderr);
    return 2;
  }
  try {
    lumenfolio::PlainMainQueue queue;
    lumenfolio::HeadlessDesktopServices desktop;
    lumenfolio::ExporterRuntime runtime(queue, desktop,
                                        {.libraryPackage = std::filesystem::path(argv[1]),
                                         .runsStartUp = false,
                                         .stop = {},
                                         .log = lumenfolio::LogSink::discard()});
    lumenfolio::SyncFolder::remember(runtime.preferences(), std::filesystem::path(argv[2]));
    Ticker ticker(queue);
    const auto start = Clock::now();
    ticker.start();
    std::chrono::duration<double> took{0};
    runtime.exporter().runExport([&] {
      took = Clock::now() - start;
      ticker.stop();
      queue.postAfter(kSettling, [&queue] { queue.quit(); });
    });
    queue.run();
    if (runtime.exporter().status()) {
      std::fprintf(stderr, "bench_main_loop: %s\n", runtime.exporter().status()->c_str());
      return 1;
    }
    std::printf("%.1f %d %.2f %.0f\n", ticker.longestStallMs(), ticker.ticks(), took.count(),
                residentMiB());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_main_loop: %s\n", error.what());
    return 1;
  }
  return 0;
}
