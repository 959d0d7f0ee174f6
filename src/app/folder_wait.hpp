// Waits for a shared folder that is remembered but not there (a disk or a
// share not mounted yet after boot): while the last run ended without it, it
// looks for the folder at an interval and runs an export once it is back.
// Mounting makes no inotify event in the folder above, so it asks instead.
#pragma once

#include <chrono>
#include <optional>

#include "base/log_sink.hpp"
#include "exporter/exporter.hpp"
#include "exporter/main_queue.hpp"
#include "sync/preferences.hpp"

namespace lumenfolio {

class FolderWait {
 public:
  static constexpr std::chrono::milliseconds kInterval = std::chrono::seconds(10);

  FolderWait(Exporter& exporter, Preferences& preferences, MainQueue& queue, LogSink& log,
             std::chrono::milliseconds interval = kInterval);
  ~FolderWait();
  FolderWait(const FolderWait&) = delete;
  FolderWait& operator=(const FolderWait&) = delete;

 private:
  void changed();
  void look();
  bool endedForTheFolder() const;
  // Whether the remembered folder is a directory now; nothing when none is remembered.
  std::optional<bool> folderIsThere() const;

  Exporter& exporter_;
  Preferences& preferences_;
  MainQueue& queue_;
  LogSink& log_;
  std::chrono::milliseconds interval_;
  std::optional<MainQueue::Token> pending_;
  Exporter::ObserverID id_;
};

}  // namespace lumenfolio
