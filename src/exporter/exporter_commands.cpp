#include <exception>

#include "exporter/exporter.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio {

namespace {

constexpr std::string_view kChoosePrompt = "Choose";
constexpr std::string_view kChooseMessage = "Choose the shared folder the lumenfolio apps use.";

}  // namespace

void Exporter::chooseFolder() {
  const auto chosen =
      deps_.desktop.chooseFolder(std::string(kChoosePrompt), std::string(kChooseMessage));
  if (!chosen) return;
  try {
    SyncFolder::remember(deps_.preferences, *chosen);
  } catch (const std::exception& error) {
    // The name below then shows whatever folder still resolves, if any; the
    // cause is for the log.
    deps_.log.write(LogLevel::warning,
                    std::string("Couldn't remember the chosen folder: ") + error.what());
  }
  setFolderName(resolveFolderName());
  setStatus(std::nullopt);
  auto self = shared_from_this();
  deps_.mainQueue.post([self] { self->runExport(); });
}

bool Exporter::opensAtLogin() const {
  return deps_.desktop.loginItemEnabled();
}

void Exporter::setOpensAtLogin(bool enabled) {
  try {
    if (enabled) {
      deps_.desktop.registerLoginItem();
    } else {
      deps_.desktop.unregisterLoginItem();
    }
  } catch (const std::exception& error) {
    // The menu shows the flag as it reads back; the cause is for the log.
    deps_.log.write(LogLevel::warning, std::string(enabled ? "Couldn't open at login: "
                                                           : "Couldn't stop opening at login: ") +
                                           error.what());
  }
  // The flag is read from the service, so this is its only change notice.
  changed();
}

void Exporter::openFullDiskAccessSettings() {
  deps_.desktop.openFullDiskAccessSettings();
}

}  // namespace lumenfolio
