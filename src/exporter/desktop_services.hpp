// What the controller asks of the desktop: the folder dialog, the login item,
// the place where library permissions are fixed, the host's name, the home
// folder and the older preference file.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "sync/preferences.hpp"

namespace lumenfolio {

class DesktopServices {
 public:
  virtual ~DesktopServices() = default;

  // Brings the application forward and asks for one existing directory, modally.
  virtual std::optional<std::filesystem::path> chooseFolder(const std::string& prompt,
                                                            const std::string& message) = 0;

  virtual bool loginItemEnabled() = 0;
  // Throw a Failure (what, where, why) when the item cannot be written or
  // removed; the flag then simply reads back as it is.
  virtual void registerLoginItem() = 0;
  virtual void unregisterLoginItem() = 0;

  // Opens the place where the user grants the exporter access to the library.
  virtual void openFullDiskAccessSettings() = 0;

  // The computer's user-visible name, when it has one.
  virtual std::optional<std::string> hostName() = 0;

  virtual std::filesystem::path homeDirectory() = 0;

  // A property-list dictionary with text keys, or nothing when there is no
  // file; throws a Failure (the path, why) when it cannot be read as one.
  virtual std::optional<std::map<std::string, PreferenceValue>> readPropertyList(
      const std::filesystem::path& file) = 0;
};

}  // namespace lumenfolio
