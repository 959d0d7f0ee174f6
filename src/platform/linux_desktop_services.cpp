#include "platform/linux_desktop_services.hpp"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QString>
#include <QUrl>
#include <QWidget>

#include "metadata/metadata_store.hpp"

namespace lumenfolio {

namespace {

QString fromPath(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

// Brings the application's own windows forward, so the dialog opens in front
// even when the click came from a tray menu without a focused window.
void activateApplication() {
  if (QWidget* window = QApplication::activeWindow()) {
    window->raise();
    window->activateWindow();
  }
}

}  // namespace

LinuxDesktopServices::LinuxDesktopServices(std::filesystem::path picturesFolder,
                                           std::optional<std::filesystem::path> libraryPackage,
                                           XdgLoginItem loginItem)
    : HeadlessDesktopServices(std::move(loginItem)),
      picturesFolder_(std::move(picturesFolder)),
      libraryPackage_(std::move(libraryPackage)) {}

std::optional<std::filesystem::path> LinuxDesktopServices::chooseFolder(
    const std::string& prompt, const std::string& message) {
  activateApplication();
  QFileDialog dialog(nullptr, QString::fromStdString(message));
  dialog.setObjectName("chooseFolderDialog");
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setLabelText(QFileDialog::Accept, QString::fromStdString(prompt));
  dialog.setWindowModality(Qt::ApplicationModal);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  return std::filesystem::path(chosen.front().toStdString());
}

void LinuxDesktopServices::openFullDiskAccessSettings() {
  QDesktopServices::openUrl(QUrl::fromLocalFile(fromPath(permissionsFolder())));
}

std::filesystem::path LinuxDesktopServices::permissionsFolder() const {
  const auto package =
      libraryPackage_ ? libraryPackage_ : MetadataStore::libraryURL(picturesFolder_);
  if (!package) return picturesFolder_;
  std::error_code error;
  auto normal = std::filesystem::absolute(*package, error).lexically_normal();
  if (error) normal = package->lexically_normal();
  if (!normal.has_filename()) normal = normal.parent_path();  // a trailing slash
  return normal.parent_path();
}

}  // namespace lumenfolio
