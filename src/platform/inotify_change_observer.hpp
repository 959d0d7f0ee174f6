// Reports changes of a Photos library package: inotify watches its "database"
// and "database/search" folders, and every burst of writes, creations or
// renames of the three databases or their "-wal" files makes one call of each
// registered observer's photoLibraryDidChange(), on the watcher's own thread.
//
// A burst ends once `quiet` passes without another such event, or `longest`
// after its first event, so a library that is written without pause is still
// reported now and then. Folders that do not exist are not watched; folders
// replaced after the start (the package moved away) are not followed.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sync/photo_platform.hpp"

namespace lumenfolio {

class InotifyChangeObserver {
 public:
  explicit InotifyChangeObserver(const std::filesystem::path& package,
                                 std::chrono::milliseconds quiet = std::chrono::seconds(1),
                                 std::chrono::milliseconds longest = std::chrono::seconds(10));
  // Stops the watcher thread (a call in progress ends first) and closes the watches.
  ~InotifyChangeObserver();
  InotifyChangeObserver(const InotifyChangeObserver&) = delete;
  InotifyChangeObserver& operator=(const InotifyChangeObserver&) = delete;

  // Any thread. Observers are kept until the watcher goes away.
  void add(std::shared_ptr<ChangeObserver> observer);

  // How many of the two folders are watched.
  int watchedFolders() const { return static_cast<int>(watches_.size()); }

 private:
  struct Watch {
    int descriptor;
    std::vector<std::string> names;  // the files of that folder that count
  };
  void watchFolder(const std::filesystem::path& folder, std::vector<std::string> names);
  void loop();
  bool readEvents();
  void report();

  const std::chrono::milliseconds quiet_;
  const std::chrono::milliseconds longest_;
  int inotifyFd_ = -1;
  int stopFd_ = -1;
  std::vector<Watch> watches_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<ChangeObserver>> observers_;
  std::thread thread_;
};

}  // namespace lumenfolio
