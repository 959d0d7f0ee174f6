#include "app/folder_wait.hpp"

#include <filesystem>

#include "sync/sync_folder.hpp"

namespace lumenfolio {

FolderWait::FolderWait(Exporter& exporter, Preferences& preferences, MainQueue& queue, LogSink& log,
                       std::chrono::milliseconds interval)
    : exporter_(exporter),
      preferences_(preferences),
      queue_(queue),
      log_(log),
      interval_(interval),
      id_(exporter.addObserver([this] { changed(); })) {}

FolderWait::~FolderWait() {
  exporter_.removeObserver(id_);
  if (pending_) queue_.cancel(*pending_);
}

bool FolderWait::endedForTheFolder() const {
  const auto failure = exporter_.failure();
  return failure == ExportFailure::folderUnavailable || failure == ExportFailure::noFolder;
}

std::optional<bool> FolderWait::folderIsThere() const {
  const auto folder = SyncFolder::remembered(preferences_);
  if (!folder) return std::nullopt;
  return std::filesystem::is_directory(*folder);
}

void FolderWait::changed() {
  if (pending_ || exporter_.isWorking() || !endedForTheFolder()) return;
  if (folderIsThere() != false) return;  // none to wait for, or there already
  log_.write(LogLevel::info, "Waiting for the shared folder " +
                                 SyncFolder::remembered(preferences_)->string() + " to be there.");
  pending_ = queue_.postAfter(interval_, [this] { look(); });
}

void FolderWait::look() {
  pending_.reset();
  // Another run may have ended otherwise meanwhile, or another folder been chosen.
  if (!endedForTheFolder() || !folderIsThere().has_value()) return;
  if (*folderIsThere()) {
    exporter_.runExport();
  } else {
    pending_ = queue_.postAfter(interval_, [this] { look(); });
  }
}

}  // namespace lumenfolio
