#include "app/headless_status.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>

#include "app/exporter_runtime.hpp"
#include "app/headless_output.hpp"
#include "app/headless_settings.hpp"
#include "metadata/metadata_store.hpp"
#include "base/xdg_locations.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio::headless {

namespace {

// Reads the library the way an export would, without building the controller:
// its construction would forget a remembered folder that has vanished.
std::string libraryLine(const HeadlessArguments& arguments) {
  const auto pictures = XdgLocations::pictures();
  const auto library = ExporterRuntime::libraryPackage(arguments.library, pictures);
  if (!library) return "not found in " + pictures.string();
  MetadataStore store(pictures, library, XdgLocations::home());
  const auto failureText = store.currentFailure();
  return library->string() +
         (failureText ? " (not readable: " + *failureText + ")" : " (readable)");
}

}  // namespace

int status(const HeadlessArguments& arguments) {
  const auto preferences = ExporterRuntime::userPreferences();
  const auto lastExport = preferences->value(std::string(Exporter::kLastExportKey));
  const auto* stored = lastExport ? std::get_if<PreferenceDate>(&*lastExport) : nullptr;
  // A date no clock can show counts as never exported, as the controller has it.
  const auto* date = stored && stored->isPlausible() ? stored : nullptr;
  const auto lastCount = preferences->value(std::string(Exporter::kLastCountKey));
  const auto* count = lastCount ? std::get_if<std::int64_t>(&*lastCount) : nullptr;
  printLine(stdout, "Last export: " + (date ? localTime(date->secondsSince1970) + ", " +
                                                  photos(count ? *count : 0)
                                            : std::string("never")));

  const auto folder = rememberedFolder(*preferences);
  const auto deviceID = storedDeviceID(*preferences);
  std::string folderLine = folder ? folder->string() : "none chosen";
  if (folder && !std::filesystem::is_directory(*folder)) folderLine += " (missing)";
  printLine(stdout, "Shared folder: " + folderLine);
  printLine(stdout, "Device identifier: " + deviceID.value_or("none yet"));
  if (folder && deviceID) {
    const auto file = sharedFile(*folder, *deviceID);
    const bool present = SyncFolder::contains(file.filename().string(), *folder);
    printLine(stdout, "Shared file: " + file.string() + (present ? "" : " (missing)"));
  }

  printLine(stdout, "Photos library: " + libraryLine(arguments));
  return 0;
}

}  // namespace lumenfolio::headless
