// What the headless command reads from the preferences without building the
// controller: the remembered folder, the device identifier and the shared file they name.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "sync/preferences.hpp"

namespace lumenfolio::headless {

std::optional<std::filesystem::path> rememberedFolder(const Preferences& preferences);
std::optional<std::string> storedDeviceID(const Preferences& preferences);
std::filesystem::path sharedFile(const std::filesystem::path& folder, const std::string& deviceID);
// Where the last export put, or the next one puts, the shared file.
std::filesystem::path sharedFileOf(Preferences& preferences);

}  // namespace lumenfolio::headless
