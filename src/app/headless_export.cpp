#include "app/headless_export.hpp"

#include <sys/stat.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>

#include "app/exit_status.hpp"
#include "app/exporter_runtime.hpp"
#include "app/headless_output.hpp"
#include "app/headless_report.hpp"
#include "app/headless_settings.hpp"
#include "app/status_printer.hpp"
#include "app/stop_signals.hpp"
#include "platform/linux/headless_desktop_services.hpp"
#include "platform/linux/plain_main_queue.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio::headless {

namespace {

// Added to the number of the signal that stopped an export, as shells do.
constexpr int kStoppedStatus = 128;

// What identifies one version of the shared file on disk, to tell a write from
// a skipped, unchanged export.
struct FileIdentity {
  ino_t inode = 0;
  timespec modified{};

  static std::optional<FileIdentity> of(const std::filesystem::path& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) return std::nullopt;
    return FileIdentity{status.st_ino, status.st_mtim};
  }
  bool operator==(const FileIdentity& other) const {
    return inode == other.inode && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec;
  }
};

std::optional<std::filesystem::path> existingFolder(const std::filesystem::path& folder) {
  std::error_code error;
  auto absolute = std::filesystem::canonical(folder, error);
  if (error || !std::filesystem::is_directory(absolute)) return std::nullopt;
  return absolute;
}

std::optional<std::string> rememberFolder(Preferences& preferences,
                                          const std::filesystem::path& folder) {
  try {
    SyncFolder::remember(preferences, folder);
  } catch (const std::exception& rememberError) {
    return std::string("couldn't remember the folder: ") + rememberError.what();
  }
  return std::nullopt;
}

// "phase fetch: 0.21 s, 180 MB (peak 210 MB)": how long a phase took, and the
// memory the process held when it ended and at most so far.
std::string phaseLine(const PhaseReport& report) {
  const auto megabytes = [](std::int64_t kib) { return std::to_string((kib + 512) / 1024); };
  std::array<char, 32> seconds{};
  std::snprintf(seconds.data(), seconds.size(), "%.2f", report.seconds);
  return "phase " + std::string(report.phase) + ": " + seconds.data() + " s, " +
         megabytes(report.residentKiB) + " MB (peak " + megabytes(report.peakResidentKiB) + " MB)";
}

// With --verbose, each phase of the run as a debug line; otherwise nothing is measured.
PhaseSink phaseLines(ConsoleLog& log) {
  if (log.verbosity() != ConsoleLog::Verbosity::verbose) return {};
  return [&log](const PhaseReport& report) { log.write(LogLevel::debug, phaseLine(report)); };
}

// Logs the command's own failure and keeps it for the report.
int failed(ConsoleLog& log, HeadlessReport& report, ExitStatus status, std::string_view error,
           const std::string& message) {
  report.status = message;
  report.error = std::string(error);
  return failure(log, status, message);
}

// What the preferences and the controller say after the run, for the report.
void describe(ExporterRuntime& runtime, HeadlessReport& report) {
  Preferences& preferences = runtime.preferences();
  const Exporter& exporter = runtime.exporter();
  report.folder = SyncFolder::remembered(preferences);
  report.device = storedDeviceID(preferences);
  if (report.folder && report.device) report.path = sharedFile(*report.folder, *report.device);
  report.library = runtime.libraryPackage();
  report.lastExport = exporter.lastExport();
  if (exporter.lastExport()) report.count = exporter.lastCount();
  report.status = exporter.status();
}

int run(const HeadlessArguments& arguments, ConsoleLog& log, HeadlessReport& report) {
  std::optional<std::filesystem::path> folder;
  if (arguments.folder) {
    folder = existingFolder(*arguments.folder);
    if (!folder) {
      return failed(log, report, ExitStatus::noFolder, nameOf(ExportFailure::folderUnavailable),
                    "the folder " + arguments.folder->string() + " does not exist");
    }
  }

  PlainMainQueue queue;  // starts no thread
  // A stop (systemd, Ctrl-C, `timeout` in a cron job) ends the run through the
  // destructors below, so no ".part" and no private snapshot copy stays behind.
  std::stop_source stop;
  std::atomic<int> stoppedBy = 0;
  // Before any other thread starts, so the signals reach only the watcher.
  const StopSignals stopSignals([&](int signal) {
    stoppedBy = signal;
    stop.request_stop();
    queue.quit();
  });
  HeadlessDesktopServices desktop;
  // The folder is remembered only once the controller is built: building it
  // takes back the settings an older version left behind, which it skips as
  // soon as a folder is known.
  ExporterRuntime runtime(queue, desktop,
                          {.libraryPackage = arguments.library,
                           .runsStartUp = false,
                           .stop = stop,
                           .log = log,
                           .phases = phaseLines(log)});
  if (folder) {
    if (auto problem = rememberFolder(runtime.preferences(), *folder)) {
      return failed(log, report, ExitStatus::exportFailed, "settingsNotSaved", *problem);
    }
  }
  Exporter& exporter = runtime.exporter();
  const StatusPrinter printer(exporter, log);

  const auto file = sharedFileOf(runtime.preferences());
  const auto before = FileIdentity::of(file);
  const auto lastExportBefore = exporter.lastExport();

  exporter.runExport([&queue] { queue.quit(); });
  queue.run();
  describe(runtime, report);

  if (stoppedBy != 0) {
    failed(log, report, ExitStatus::exportFailed, "stopped",
           "stopped by a signal; the previous shared file is kept");
    return kStoppedStatus + stoppedBy;
  }
  if (const auto kind = exporter.failure()) {
    // The controller has logged it, with its cause.
    report.error = std::string(nameOf(*kind));
    return code(exitStatusOf(*kind));
  }
  if (exporter.status()) {
    return failed(log, report, ExitStatus::exportFailed, "exportFailed", *exporter.status());
  }
  if (exporter.lastExport() == lastExportBefore) {
    return failed(log, report, ExitStatus::exportFailed, "exportFailed", "the export did not run");
  }
  const auto count = exporter.lastCount();
  const bool written = !before || !(FileIdentity::of(file) == *before);
  report.result = written ? "written" : "unchanged";
  report.path = file;
  if (!arguments.json) {
    log.result(withReason(written ? "Wrote " + photos(count) + " to " + file.string()
                                  : "Unchanged: " + photos(count) + " in " + file.string(),
                          count, runtime.photos()));
  }
  return code(ExitStatus::success);
}

}  // namespace

int exportNow(const HeadlessArguments& arguments, ConsoleLog& log) {
  HeadlessReport report;
  report.result = "failed";
  report.library = arguments.library;
  const int status = run(arguments, log, report);
  if (arguments.json) log.result(report.json());
  return status;
}

}  // namespace lumenfolio::headless
