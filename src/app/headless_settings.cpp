#include "app/headless_settings.hpp"

#include <variant>

#include "sync/sync_folder.hpp"

namespace lumenfolio::headless {

std::optional<std::filesystem::path> rememberedFolder(const Preferences& preferences) {
  const auto stored = preferences.value(std::string(SyncFolder::kFolderBookmarkKey));
  if (!stored) return std::nullopt;
  const auto* bytes = std::get_if<Bytes>(&*stored);
  if (bytes == nullptr) return std::nullopt;
  return std::filesystem::path(std::string(bytes->begin(), bytes->end()));
}

std::optional<std::string> storedDeviceID(const Preferences& preferences) {
  const auto stored = preferences.value(std::string(SyncFolder::kDeviceIDKey));
  if (!stored) return std::nullopt;
  if (const auto* text = std::get_if<std::string>(&*stored)) return *text;
  return std::nullopt;
}

std::filesystem::path sharedFile(const std::filesystem::path& folder, const std::string& deviceID) {
  return folder / SyncFolder::sharedFileName(deviceID);
}

std::filesystem::path sharedFileOf(Preferences& preferences) {
  return sharedFile(rememberedFolder(preferences).value_or(""), SyncFolder::deviceID(preferences));
}

}  // namespace lumenfolio::headless
