// The desktop services of the tray application: a Qt folder dialog, and the
// file manager opened on the folder holding the Photos library, where the user
// can fix its permissions (Linux has no Full Disk Access pane).
#pragma once

#include <optional>

#include "platform/linux/headless_desktop_services.hpp"

namespace lumenfolio {

class LinuxDesktopServices final : public HeadlessDesktopServices {
 public:
  // The library is looked for in `picturesFolder` unless `libraryPackage` is given.
  explicit LinuxDesktopServices(std::filesystem::path picturesFolder,
                                std::optional<std::filesystem::path> libraryPackage = std::nullopt,
                                XdgLoginItem loginItem = XdgLoginItem());

  std::optional<std::filesystem::path> chooseFolder(const std::string& prompt,
                                                    const std::string& message) override;
  void openFullDiskAccessSettings() override;

  // The folder openFullDiskAccessSettings() shows: the one holding the
  // library package, else the Pictures folder.
  std::filesystem::path permissionsFolder() const;

 private:
  std::filesystem::path picturesFolder_;
  std::optional<std::filesystem::path> libraryPackage_;
};

}  // namespace lumenfolio
