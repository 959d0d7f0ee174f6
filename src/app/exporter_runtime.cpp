#include "app/exporter_runtime.hpp"

#include "app/shared_file_lock.hpp"
#include "base/xdg_locations.hpp"
#include "metadata/metadata_store.hpp"
#include "platform/linux/library_photo_platform.hpp"
#include "platform/linux/system_clock.hpp"
#include "platform/linux/worker_thread.hpp"
#include "platform/qt/settings_preferences.hpp"

namespace lumenfolio {

ExporterRuntime::ExporterRuntime(MainQueue& mainQueue, DesktopServices& desktop, Options options)
    : stop_(std::move(options.stop)),
      libraryOption_(std::move(options.libraryPackage)),
      picturesFolder_(XdgLocations::pictures()),
      clock_(std::make_unique<SystemClock>()),
      preferences_(userPreferences()),
      photos_(std::make_unique<LibraryPhotoPlatform>(picturesFolder_, libraryOption_)),
      // The platform lists the assets a run's store read in that run's transaction.
      // A stop ends a long read of the library too, not only the write.
      store_(std::make_unique<MetadataStore>(
          picturesFolder_, libraryOption_, XdgLocations::home(), photos_->listingSink(),
          MetadataStore::Options{
              .phases = options.phases, .log = options.log, .stop = stop_.get_token()})),
      storeWorker_(std::make_unique<WorkerThread>(mainQueue)),
      writeWorker_(std::make_unique<WorkerThread>(mainQueue)) {
  exporter_ = Exporter::create({
      .mainQueue = mainQueue,
      .clock = *clock_,
      .storeWorker = *storeWorker_,
      .store = *store_,
      .writeWorker = *writeWorker_,
      .photos = *photos_,
      .preferences = *preferences_,
      .desktop = desktop,
      .writeSharedFile = SharedFileLock::guarding(
          [stop = stop_.get_token()](const SyncFile::Payload& payload,
                                     const std::filesystem::path& destination,
                                     const Exporter::WrittenAction& written) {
            written(SyncFile::write(payload, destination, stop));
          },
          SharedFileLock::defaultPath(), stop_.get_token()),
      .runsStartUp = options.runsStartUp,
      .log = options.log,
      .phases = options.phases,
  });
}

ExporterRuntime::~ExporterRuntime() {
  // Before the workers join: a write waiting for another process's lock, or
  // still filling its ".part", ends now instead of holding up the exit.
  stop_.request_stop();
}

PhotoPlatform& ExporterRuntime::photos() const {
  return *photos_;
}

std::optional<std::filesystem::path> ExporterRuntime::libraryPackage(
    const std::optional<std::filesystem::path>& given, const std::filesystem::path& pictures) {
  return given ? given : MetadataStore::libraryURL(pictures);
}

std::unique_ptr<Preferences> ExporterRuntime::userPreferences() {
  return std::make_unique<SettingsPreferences>();
}

}  // namespace lumenfolio
