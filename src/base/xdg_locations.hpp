// The current user's folders as the XDG base and user directories name them.
// Read afresh on each call from the environment, so tests steer them with
// HOME and the XDG_* variables. Relative values are invalid in the XDG rules
// and are ignored.
#pragma once

#include <filesystem>
#include <optional>

namespace lumenfolio {

class XdgLocations {
 public:
  // $HOME, else the home folder of the user's password entry.
  static std::filesystem::path home();
  // $XDG_CONFIG_HOME, else ~/.config.
  static std::filesystem::path configHome();
  // $XDG_CACHE_HOME, else ~/.cache.
  static std::filesystem::path cacheHome();
  // $XDG_RUNTIME_DIR, when it is set.
  static std::optional<std::filesystem::path> runtimeDirectory();
  // XDG_PICTURES_DIR from "user-dirs.dirs" in the configuration folder, else ~/Pictures.
  static std::filesystem::path pictures();
};

}  // namespace lumenfolio
