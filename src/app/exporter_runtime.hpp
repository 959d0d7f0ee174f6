// The real parts the controller runs on, wired once for both front ends: the
// tray application (ExporterApp) and the headless command (HeadlessCommand).
//
// The front end brings what differs between them, the main queue (Qt's event
// loop, or the plain run loop) and the desktop services (the Qt desktop, or the
// headless stand-in); the runtime builds the rest: the preferences, the library
// reader confined to its own worker thread, the write worker, the photo
// platform over the same library, the wall clock, the shared-file writer that
// holds the per-user write lock, and the Exporter itself.
//
// Keep the runtime alive while its main queue runs; destroy it before the main
// queue and the desktop services.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>

#include "base/log_sink.hpp"
#include "exporter/desktop_services.hpp"
#include "exporter/exporter.hpp"
#include "exporter/main_queue.hpp"
#include "sync/photo_platform.hpp"
#include "sync/preferences.hpp"

namespace lumenfolio {

class LibraryPhotoPlatform;

class ExporterRuntime {
 public:
  struct Options {
    // Read this library package instead of the one in the Pictures folder.
    std::optional<std::filesystem::path> libraryPackage;
    // False for a one-off export: no authorisation, observer or first export.
    bool runsStartUp = true;
    // Requested to end the work in progress soon: a read of the library ends
    // (the run ends as stopped, neither failed nor exported), a write of the
    // shared file stops before its rename (leaving no ".part") and a wait for
    // another process's write lock ends. The runtime requests it itself as it goes
    // away, so quitting never waits on another process.
    std::stop_source stop{};
    // Where the controller writes each failure with its cause.
    LogSink& log = LogSink::discard();
    // Told of each phase of an export run (reading, matching, writing), from
    // the thread that ran it; empty: the phases are not measured.
    PhaseSink phases = {};
  };

  ExporterRuntime(MainQueue& mainQueue, DesktopServices& desktop, Options options);
  ~ExporterRuntime();
  ExporterRuntime(const ExporterRuntime&) = delete;
  ExporterRuntime& operator=(const ExporterRuntime&) = delete;

  Exporter& exporter() const { return *exporter_; }
  Preferences& preferences() const { return *preferences_; }
  PhotoPlatform& photos() const;
  const std::filesystem::path& picturesFolder() const { return picturesFolder_; }
  // The package given in the options, else the one found in the Pictures folder.
  std::optional<std::filesystem::path> libraryPackage() const {
    return libraryPackage(libraryOption_, picturesFolder_);
  }
  static std::optional<std::filesystem::path> libraryPackage(
      const std::optional<std::filesystem::path>& given, const std::filesystem::path& pictures);

  // The user's own settings file, the one every process of the user shares.
  static std::unique_ptr<Preferences> userPreferences();

 private:
  // Declared in the order they are built; they go away in reverse, so the
  // workers have joined before the store and the platform they use are gone.
  std::stop_source stop_;
  std::optional<std::filesystem::path> libraryOption_;
  std::filesystem::path picturesFolder_;
  std::unique_ptr<Clock> clock_;
  std::unique_ptr<Preferences> preferences_;
  std::unique_ptr<LibraryPhotoPlatform> photos_;
  std::unique_ptr<LibraryStore> store_;  // hands its listings to the platform
  std::unique_ptr<Worker> storeWorker_;
  std::unique_ptr<Worker> writeWorker_;
  std::shared_ptr<Exporter> exporter_;
};

}  // namespace lumenfolio
