// The controller of the whole program: the observable state the panel shows,
// start-up, the export run, the reaction to library changes, the folder choice,
// the login item and the recovery of settings left in an older location.
//
// Every member runs on the main thread; the library is read on the store's
// worker and the shared file is written on the write worker.
//
// The state and its notices are in exporter.cpp; each concern has a file of
// its own: exporter_start_up.cpp, export_run.cpp (with the run itself in
// export_run.hpp), exporter_library_changes.cpp, exporter_commands.cpp (folder,
// login item, Full Disk Access) and exporter_settings_recovery.cpp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/log_sink.hpp"
#include "base/phase_timer.hpp"
#include "exporter/clock.hpp"
#include "exporter/desktop_services.hpp"
#include "exporter/export_failure.hpp"
#include "exporter/main_queue.hpp"
#include "exporter/worker.hpp"
#include "metadata/library_store.hpp"
#include "sync/photo_platform.hpp"
#include "sync/preferences.hpp"
#include "sync/sync_file.hpp"

namespace lumenfolio {

class Exporter : public std::enable_shared_from_this<Exporter> {
 public:
  // Told which file the writer put in place, while the writer still keeps
  // other writers out, so what the run stores about it is about that file.
  using WrittenAction = std::function<void(const SharedFileIdentity&)>;
  using SharedFileWriter = std::function<void(const SyncFile::Payload&,
                                              const std::filesystem::path&, const WrittenAction&)>;

  struct Dependencies {
    MainQueue& mainQueue;
    Clock& clock;
    Worker& storeWorker;  // the store is touched only inside jobs run here
    LibraryStore& store;
    Worker& writeWorker;
    PhotoPlatform& photos;
    Preferences& preferences;
    DesktopServices& desktop;
    SharedFileWriter writeSharedFile =
        [](const SyncFile::Payload& payload, const std::filesystem::path& destination,
           const WrittenAction& written) { written(SyncFile::write(payload, destination)); };
    // The headless export runs one export of its own instead of the start-up.
    bool runsStartUp = true;
    // Each failure of a run is written here once, with its cause.
    LogSink& log = LogSink::discard();
    // Told of the run's own phases ("fetch", "cloud identifiers", "match",
    // "digest", "write") on the thread that ran each; empty: nobody is told.
    PhaseSink phases = {};
  };

  static constexpr std::string_view kLastExportKey = "exporter.lastExport";
  static constexpr std::string_view kLastCountKey = "exporter.lastCount";
  static constexpr std::string_view kDigestKey = "exporter.digest";
  // Which file the digest was written into (SharedFileIdentity::text()): an
  // unchanged export is skipped only while exactly that file is in place.
  static constexpr std::string_view kSharedFileKey = "exporter.sharedFile";
  // What the inputs of the last successful run were (the library's files,
  // the folder, the device identifier, this program's version, the shared
  // file), so that a run whose inputs are all the same ends at once.
  static constexpr std::string_view kFingerprintKey = "exporter.fingerprint";
  // How much the rows of the last written or unchanged export held
  // (ExportCensus::text()): a run whose rows hold less has the library
  // checked before it replaces that export's file.
  static constexpr std::string_view kCensusKey = "exporter.census";

  // Restores the state from the preferences (after the settings recovery) and
  // queues start() on the main queue. Always held by a shared_ptr, so queued
  // work can hold it weakly or strongly.
  static std::shared_ptr<Exporter> create(Dependencies dependencies);
  ~Exporter();

  bool isWorking() const { return isWorking_; }
  const std::optional<std::string>& status() const { return status_; }
  // Set while the status tells why the last run wrote nothing.
  std::optional<ExportFailure> failure() const { return failure_; }
  bool needsFullDiskAccess() const { return needsFullDiskAccess_; }
  std::optional<double> lastExport() const { return lastExport_; }
  std::int64_t lastCount() const { return lastCount_; }
  const std::optional<std::string>& folderName() const { return folderName_; }

  // Called on the main thread after every change of the state above and after
  // every write of opensAtLogin.
  using ObserverID = std::uint64_t;
  ObserverID addObserver(std::function<void()> observer);
  void removeObserver(ObserverID id);

  // One export run. `done` is queued when the run has ended (at once when a run
  // is already in progress and this call is dropped).
  void runExport(std::function<void()> done = {});

  void chooseFolder();
  bool opensAtLogin() const;
  void setOpensAtLogin(bool enabled);
  void openFullDiskAccessSettings();

  // The old preference file, relative to the home folder.
  static std::filesystem::path oldPreferencesFile(const std::filesystem::path& home);

 private:
  explicit Exporter(Dependencies dependencies);
  class Run;
  void start();
  void startWithStatus(AuthorizationStatus status);
  void libraryChanged();
  void recoverSettingsMovedIntoBrowserContainer();
  void restoreLastExport();
  std::optional<std::string> resolveFolderName();
  void waitForFolder();
  void lookForFolderLater();
  void folderMayBeBack();
  void queue(std::function<void()> done);

  // Each setter announces a real change to the observers.
  void setWorking(bool working);
  void setStatus(std::optional<std::string> status);
  // Shows `text` as the status and logs it once with `cause` (SQLite's
  // message, the system's error text, the path), which the user's text leaves out.
  void fail(ExportFailure kind, const std::string& text, const std::string& cause = {});
  void setNeedsFullDiskAccess(bool needs);
  void setFolderName(std::optional<std::string> name);
  void recordExport(std::int64_t count);
  void changed();
  template <typename T>
  void publish(T& field, T value) {
    if (field == value) return;
    field = std::move(value);
    changed();
  }

  // The order-independent digest of the rows of one export.
  static std::string digest(const std::vector<SyncFile::Features>& rows);

  Dependencies deps_;
  bool isWorking_ = false;
  std::optional<std::string> status_;
  std::optional<ExportFailure> failure_;
  bool needsFullDiskAccess_ = false;
  std::optional<double> lastExport_;
  std::int64_t lastCount_ = 0;
  std::optional<std::string> folderName_;
  std::shared_ptr<ChangeObserver> observer_;
  std::optional<MainQueue::Token> pending_;
  // The next look for a remembered folder that was not there at the last run.
  std::optional<MainQueue::Token> folderWait_;
  std::map<ObserverID, std::function<void()>> observers_;
  ObserverID nextObserverID_ = 1;
};

}  // namespace lumenfolio
