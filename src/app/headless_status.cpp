#include "app/headless_status.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>

#include "app/exit_status.hpp"
#include "app/exporter_runtime.hpp"
#include "app/headless_output.hpp"
#include "app/headless_report.hpp"
#include "app/headless_settings.hpp"
#include "base/failure.hpp"
#include "base/xdg_locations.hpp"
#include "metadata/metadata_store.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio::headless {

namespace {

// The library an export would read, and whether it can.
struct LibraryCheck {
  std::optional<std::filesystem::path> package;
  std::optional<ExportFailure> failure;
  std::string line;  // after "Photos library: "
};

// Reads the library the way an export would, without building the controller:
// its construction would forget a remembered folder that has vanished.
LibraryCheck checkLibrary(const HeadlessArguments& arguments) {
  const auto pictures = XdgLocations::pictures();
  const auto library = ExporterRuntime::libraryPackage(arguments.library, pictures);
  if (!library) return {library, ExportFailure::noLibrary, "not found in " + pictures.string()};
  MetadataStore store(pictures, library, XdgLocations::home());
  const auto unreadable = [&](const std::string& why) {
    return LibraryCheck{library, ExportFailure::libraryUnreadable,
                        library->string() + " (not readable: " + why + ")"};
  };
  try {
    if (const auto failureText = store.currentFailure()) return unreadable(*failureText);
    // Read whole, as an export would: a scan that ends in an error names its database.
    store.features();
    store.measures();
    store.searchTerms();
    store.panels();
  } catch (const Failure& error) {
    return unreadable(error.path().string() + ": " + error.cause());
  }
  return {library, std::nullopt, library->string() + " (readable)"};
}

std::optional<double> lastExportOf(const Preferences& preferences) {
  const auto lastExport = preferences.value(std::string(Exporter::kLastExportKey));
  const auto* stored = lastExport ? std::get_if<PreferenceDate>(&*lastExport) : nullptr;
  // A date no clock can show counts as never exported, as the controller has it.
  if (!stored || !stored->isPlausible()) return std::nullopt;
  return stored->secondsSince1970;
}

std::int64_t lastCountOf(const Preferences& preferences) {
  const auto lastCount = preferences.value(std::string(Exporter::kLastCountKey));
  const auto* count = lastCount ? std::get_if<std::int64_t>(&*lastCount) : nullptr;
  return count ? *count : 0;
}

// What an export now would stumble on first among what status can see: the
// library, then the folder.
std::optional<ExportFailure> firstFailure(const LibraryCheck& library,
                                          const std::optional<std::filesystem::path>& folder) {
  if (library.failure) return library.failure;
  if (!folder) return ExportFailure::noFolder;
  if (!std::filesystem::is_directory(*folder)) return ExportFailure::folderUnavailable;
  return std::nullopt;
}

void printLines(ConsoleLog& log, const HeadlessReport& report, const LibraryCheck& library) {
  log.result("Last export: " + (report.lastExport ? localTime(*report.lastExport) + ", " +
                                                        photos(report.count.value_or(0))
                                                  : std::string("never")));
  std::string folderLine = report.folder ? report.folder->string() : "none chosen";
  if (report.folder && !std::filesystem::is_directory(*report.folder)) folderLine += " (missing)";
  log.result("Shared folder: " + folderLine);
  log.result("Device identifier: " + report.device.value_or("none yet"));
  if (report.path) {
    const bool present =
        SyncFolder::contains(report.path->filename().string(), report.path->parent_path());
    log.result("Shared file: " + report.path->string() + (present ? "" : " (missing)"));
  }
  log.result("Photos library: " + library.line);
}

}  // namespace

int status(const HeadlessArguments& arguments, ConsoleLog& log) {
  const auto preferences = ExporterRuntime::userPreferences();
  HeadlessReport report;
  report.lastExport = lastExportOf(*preferences);
  if (report.lastExport) report.count = lastCountOf(*preferences);
  report.folder = rememberedFolder(*preferences);
  report.device = storedDeviceID(*preferences);
  if (report.folder && report.device) report.path = sharedFile(*report.folder, *report.device);

  const auto library = checkLibrary(arguments);
  report.library = library.package;
  const auto failure = firstFailure(library, report.folder);
  report.result = failure ? "failed" : "ready";
  if (failure) report.error = std::string(nameOf(*failure));
  if (library.failure) report.status = library.line;

  if (arguments.json) {
    log.result(report.json());
  } else {
    printLines(log, report, library);
  }
  return code(failure ? exitStatusOf(*failure) : ExitStatus::success);
}

}  // namespace lumenfolio::headless
