// The current user's home and Pictures folders, as the XDG user directories
// name them: XDG_PICTURES_DIR from "user-dirs.dirs" in the configuration folder
// ($XDG_CONFIG_HOME, else ~/.config), else ~/Pictures. Read afresh on each call
// from the environment, so tests steer them with HOME and XDG_CONFIG_HOME.
#pragma once

#include <filesystem>

namespace lumenfolio {

class PicturesFolder {
 public:
  static std::filesystem::path locate();

  // $HOME, else the home folder of the user's password entry.
  static std::filesystem::path home();
  // $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
  static std::filesystem::path configHome();
};

}  // namespace lumenfolio
