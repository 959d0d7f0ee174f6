// An Exporter wired to fakes in virtual time, with its shared folder in a
// temporary folder, and a recorder of what its observers are told.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "exporter/exporter.hpp"
#include "support/fake_clock.hpp"
#include "support/fake_desktop_services.hpp"
#include "support/fake_library_store.hpp"
#include "support/fake_photo_platform.hpp"
#include "support/inline_worker.hpp"
#include "support/manual_queue.hpp"
#include "support/memory_preferences.hpp"
#include "support/recording_log.hpp"
#include "support/temp_dir.hpp"
#include "sync/sync_file.hpp"

namespace lumenfolio::testing {

class ExporterHarness {
 public:
  // The real writer, for tests that swap it back after a failure.
  static void writeForReal(const SyncFile::Payload& payload,
                           const std::filesystem::path& destination) {
    SyncFile::write(payload, destination);
  }

  ExporterHarness();

  Exporter::Dependencies dependencies(bool runsStartUp = true);
  std::shared_ptr<Exporter> create(bool runsStartUp = true) {
    return Exporter::create(dependencies(runsStartUp));
  }

  // Makes a folder under the temporary folder and remembers it as the shared folder.
  std::filesystem::path chooseSharedFolder(const std::string& name = "Shared");
  // Where this device's shared file goes in the remembered folder.
  std::filesystem::path sharedFile();

  // An image asset of the platform; with a cloud identifier unless none is given.
  // Returns its local identifier.
  std::string addAsset(const std::string& uuid,
                       const std::optional<std::string>& cloudID = std::nullopt);

  // Runs one export to its end; true when its `done` was called.
  bool exportNow(Exporter& exporter);

  TempDir temp;
  FakeClock clock;
  ManualQueue queue{clock};
  InlineWorker storeWorker{queue};
  InlineWorker writeWorker{queue};
  FakeLibraryStore store;
  FakePhotoPlatform photos;
  MemoryPreferences preferences;
  FakeDesktopServices desktop;
  RecordingLog log;
  // Swapped by tests that need the write to fail; every call is counted, and
  // the last payload and destination handed over are kept.
  std::function<void(const SyncFile::Payload&, const std::filesystem::path&)> writer = writeForReal;
  int writes = 0;
  std::optional<SyncFile::Payload> lastPayload;
  std::filesystem::path lastDestination;
};

// The statuses an exporter showed, in order; nullopt where it showed none.
using Statuses = std::vector<std::optional<std::string>>;

// Follows an exporter's announcements: every status it shows after the
// recorder was made, in order, and every change of isWorking.
class StateRecorder {
 public:
  explicit StateRecorder(Exporter& exporter);
  ~StateRecorder();
  StateRecorder(const StateRecorder&) = delete;
  StateRecorder& operator=(const StateRecorder&) = delete;

  Statuses statuses;
  std::vector<bool> working;
  int announcements = 0;

 private:
  void record();

  Exporter& exporter_;
  std::optional<std::string> lastStatus_;
  bool lastWorking_;
  Exporter::ObserverID id_;
};

// The rows of the feature table of a shared file, in assetID order.
std::vector<SyncFile::Features> sharedFileRows(const std::filesystem::path& file);
// The value stored under `key` in the meta table of a shared file.
std::optional<std::string> sharedFileMeta(const std::filesystem::path& file,
                                          const std::string& key);

}  // namespace lumenfolio::testing
