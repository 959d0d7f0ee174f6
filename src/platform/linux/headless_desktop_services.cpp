#include "platform/linux/headless_desktop_services.hpp"

#include "base/xdg_locations.hpp"
#include "platform/linux/host_name.hpp"
#include "platform/linux/property_list_reader.hpp"

namespace lumenfolio {

HeadlessDesktopServices::HeadlessDesktopServices(XdgLoginItem loginItem)
    : loginItem_(std::move(loginItem)) {}

std::optional<std::filesystem::path> HeadlessDesktopServices::chooseFolder(const std::string&,
                                                                           const std::string&) {
  return std::nullopt;
}

bool HeadlessDesktopServices::loginItemEnabled() {
  return loginItem_.enabled();
}

void HeadlessDesktopServices::registerLoginItem() {
  loginItem_.registerItem();
}

void HeadlessDesktopServices::unregisterLoginItem() {
  loginItem_.unregisterItem();
}

void HeadlessDesktopServices::openFullDiskAccessSettings() {}

std::optional<std::string> HeadlessDesktopServices::hostName() {
  return HostName::localizedName();
}

std::filesystem::path HeadlessDesktopServices::homeDirectory() {
  return XdgLocations::home();
}

std::optional<std::map<std::string, PreferenceValue>> HeadlessDesktopServices::readPropertyList(
    const std::filesystem::path& file) {
  return PropertyListReader::read(file);
}

}  // namespace lumenfolio
