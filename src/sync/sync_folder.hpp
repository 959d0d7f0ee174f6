// The shared folder the user picked, and this device's identifier.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "sync/preferences.hpp"
#include "sync/shared_file_identity.hpp"

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

  // The remembered folder while it is an existing directory. On Linux the
  // "bookmark" is the folder's absolute path as UTF-8 bytes, and `release` has
  // nothing to close. A path that is not a directory right now (an unmounted
  // disk, a share not yet mounted after boot) is kept, since it often comes
  // back; only a new choice replaces it.
  static std::optional<FolderAccess> resolve(Preferences& preferences);
  // The remembered folder whether or not it is there right now. Bytes that are
  // no absolute path are forgotten; a value of another kind than bytes is left
  // alone and reads as no folder.
  static std::optional<std::filesystem::path> remembered(Preferences& preferences);
  // Stores the folder's absolute, normalised path; throws std::system_error
  // when it is not an existing directory, and then stores nothing, and
  // PreferencesError when the path could not be stored.
  static void remember(Preferences& preferences, const std::filesystem::path& folder);
  // The stored text, unchanged whatever its form; else 8 new random lowercase
  // hex digits, stored. A value of another kind (bytes, say) cannot name the
  // shared file, so it is replaced by a new identifier once, which then stays.
  // Throws PreferencesError when a new identifier could not be stored: a run
  // must not write under a name the next run will not know.
  static std::string deviceID(Preferences& preferences);
  // The shared file this device writes: "pixdeck-" + deviceID + "-features.pdsync".
  static std::string sharedFileName(const std::string& deviceID);
  // The file, or its iCloud placeholder "." + name + ".icloud", is in the folder.
  static bool contains(const std::string& name, const std::filesystem::path& folder);
  // The file written then is still what is under its name: a regular file of
  // exactly that identity, or, with nothing under the name, its iCloud
  // placeholder. A file truncated, rewritten by someone else, or replaced by
  // a link or a folder is not.
  static bool holdsWrittenFile(const SharedFileIdentity& written);
  // The folder's last path component, as the user knows the folder.
  static std::string displayName(const std::filesystem::path& folder);
  // True when `name` can stand as one file name inside a folder: not empty,
  // not "." or "..", and without '/' or NUL.
  static bool isSafeFileName(std::string_view name);
};

}  // namespace lumenfolio
