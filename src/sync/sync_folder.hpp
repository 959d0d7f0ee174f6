// The shared folder the user picked, and this device's identifier.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "sync/preferences.hpp"

namespace lumenfolio {

// A resolved shared folder; whoever receives it calls `release` once.
struct FolderAccess {
  std::filesystem::path url;
  std::function<void()> release;
};

class SyncFolder {
 public:
  static constexpr std::string_view kFolderBookmarkKey = "sync.folderBookmark";
  static constexpr std::string_view kDeviceIDKey = "sync.deviceID";

  // The remembered folder while it is an existing directory; a folder that can
  // no longer be reached is forgotten.
  static std::optional<FolderAccess> resolve(Preferences& preferences);
  // Stores the folder's absolute path; throws std::system_error when it cannot.
  static void remember(Preferences& preferences, const std::filesystem::path& folder);
  // The stored identifier, else 8 new random lowercase hex digits, stored.
  static std::string deviceID(Preferences& preferences);
  // The file, or its iCloud placeholder "." + name + ".icloud", is in the folder.
  static bool contains(const std::string& name, const std::filesystem::path& folder);
  // True when `name` can stand as one file name inside a folder: not empty,
  // not "." or "..", and without '/' or NUL.
  static bool isSafeFileName(std::string_view name);
};

}  // namespace lumenfolio
