#include "platform/qt/linux_desktop_services.hpp"

#include <QByteArray>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QString>
#include <QUrl>

#include "metadata/metadata_store.hpp"

namespace lumenfolio {

namespace {

// File names are bytes on Linux; these keep a name that is not UTF-8 as it is.
QString fromPath(const std::filesystem::path& path) {
  return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

std::filesystem::path toPath(const QString& name) {
  return QFile::encodeName(name).toStdString();
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
  QFileDialog dialog(nullptr, QString::fromStdString(message));
  dialog.setObjectName("chooseFolderDialog");
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setLabelText(QFileDialog::Accept, QString::fromStdString(prompt));
  dialog.setWindowModality(Qt::ApplicationModal);
  // Raising and activating the dialog brings the application forward, even
  // when the request came from the tray, where no window of it has the focus.
  dialog.show();
  dialog.raise();
  dialog.activateWindow();
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  return toPath(chosen.front());
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
