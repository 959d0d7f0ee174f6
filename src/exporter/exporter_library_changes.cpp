#include <chrono>

#include "exporter/exporter.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio {

namespace {

// A burst of library changes is answered once, this long after its last report.
constexpr std::chrono::milliseconds kChangeDelay = std::chrono::seconds(300);
// How often a remembered folder that was not there (an unmounted disk, a share
// not yet mounted after boot) is looked for again. A look costs one stat;
// mounting makes no inotify event in the folder above, so it has to ask.
constexpr std::chrono::milliseconds kFolderRecheck = std::chrono::seconds(10);

}  // namespace

void Exporter::libraryChanged() {
  if (pending_) deps_.mainQueue.cancel(*pending_);
  auto self = shared_from_this();
  pending_ = deps_.mainQueue.postAfter(kChangeDelay, [self] { self->runExport(); });
}

// The one wait for the folder: whatever front end runs the controller (the
// tray, `watch`) relies on it, so a folder that comes back gives one export.
void Exporter::waitForFolder() {
  // A one-off export ends with its run; only a long-running exporter waits.
  if (!deps_.runsStartUp || folderWait_) return;
  if (const auto folder = SyncFolder::remembered(deps_.preferences)) {
    deps_.log.write(LogLevel::info,
                    "Waiting for the shared folder " + folder->string() + " to be there.");
  }
  lookForFolderLater();
}

void Exporter::lookForFolderLater() {
  auto self = shared_from_this();
  folderWait_ = deps_.mainQueue.postAfter(kFolderRecheck, [self] { self->folderMayBeBack(); });
}

void Exporter::folderMayBeBack() {
  folderWait_.reset();
  if (SyncFolder::resolve(deps_.preferences)) {
    runExport();
  } else if (SyncFolder::remembered(deps_.preferences)) {
    lookForFolderLater();
  }
}

}  // namespace lumenfolio
