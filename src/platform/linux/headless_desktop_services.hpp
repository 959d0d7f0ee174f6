// The desktop services of a process without a display: no folder dialog and
// nothing to open, but the real login item, host name, home folder and
// property-list reading. The tray application's services build on it.
#pragma once

#include "exporter/desktop_services.hpp"
#include "platform/linux/xdg_login_item.hpp"

namespace lumenfolio {

class HeadlessDesktopServices : public DesktopServices {
 public:
  explicit HeadlessDesktopServices(XdgLoginItem loginItem = XdgLoginItem());

  // Nothing to show a dialog on: the choice is always cancelled.
  std::optional<std::filesystem::path> chooseFolder(const std::string& prompt,
                                                    const std::string& message) override;
  bool loginItemEnabled() override;
  void registerLoginItem() override;
  void unregisterLoginItem() override;
  // Nothing to open without a desktop.
  void openFullDiskAccessSettings() override;
  std::optional<std::string> hostName() override;
  std::filesystem::path homeDirectory() override;
  std::optional<std::map<std::string, PreferenceValue>> readPropertyList(
      const std::filesystem::path& file) override;

 private:
  XdgLoginItem loginItem_;
};

}  // namespace lumenfolio
