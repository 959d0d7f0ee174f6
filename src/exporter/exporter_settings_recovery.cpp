#include <exception>
#include <map>
#include <optional>
#include <string>
#include <system_error>

#include "exporter/exporter.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio {

namespace {

constexpr std::string_view kOldPreferencesFolder =
    "Library/Containers/io.quillmere.lumenfolio/Data/Library/Preferences";
constexpr std::string_view kOldPreferencesName = "io.quillmere.lumenfolio.exporter.plist";

}  // namespace

std::filesystem::path Exporter::oldPreferencesFile(const std::filesystem::path& home) {
  return home / kOldPreferencesFolder / kOldPreferencesName;
}

void Exporter::recoverSettingsMovedIntoBrowserContainer() {
  auto& preferences = deps_.preferences;
  if (preferences.value(std::string(SyncFolder::kFolderBookmarkKey))) return;
  if (preferences.value(std::string(SyncFolder::kDeviceIDKey))) return;
  const auto file = oldPreferencesFile(deps_.desktop.homeDirectory());
  std::optional<std::map<std::string, PreferenceValue>> old;
  try {
    old = deps_.desktop.readPropertyList(file);
  } catch (const std::exception& error) {
    // The file is kept: nothing was taken from it.
    deps_.log.write(LogLevel::warning,
                    std::string("Couldn't read the settings of an older version: ") + error.what());
    return;
  }
  if (!old) return;
  try {
    for (const auto& [name, value] : *old) preferences.setValue(name, value);
  } catch (const PreferencesError& error) {
    // The file is kept for a later start that can store what it holds.
    deps_.log.write(LogLevel::warning, "Couldn't take back the settings of an older version from " +
                                           file.string() + ": " + error.what());
    return;
  }
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
}

}  // namespace lumenfolio
