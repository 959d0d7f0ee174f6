// Reports changes of a Photos library package: inotify watches its "database"
// and "database/search" folders, and every burst of writes, creations or
// renames of the three databases or their "-wal" files makes one call of each
// registered observer's photoLibraryDidChange(), on the watcher's own thread.
//
// A burst ends once `quiet` passes without another such event, or `longest`
// after its first event, so a library that is written without pause is still
// reported now and then.
//
// A package is often replaced at the same path (restored from a backup,
// synced anew), and may not exist yet when watching starts. So the folder
// holding it and the package folder itself are watched too: when any watched
// folder goes away or is replaced, or a package appears in or leaves its
// folder, the watches are set up again on the folders found now, and that
// counts as a change.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/unique_fd.hpp"
#include "sync/photo_platform.hpp"

struct inotify_event;

namespace lumenfolio {

class InotifyChangeObserver {
 public:
  // Where the package is now, if anywhere; asked again whenever the watched
  // folders change shape.
  using Locator = std::function<std::optional<std::filesystem::path>()>;

  // Watches the package that `locate` finds in `folder`, following it as it
  // comes, goes and is replaced; any package appearing in or leaving `folder`
  // may be the one `locate` finds next. `locate` runs on the watcher's thread.
  InotifyChangeObserver(std::filesystem::path folder, Locator locate,
                        std::chrono::milliseconds quiet = std::chrono::seconds(1),
                        std::chrono::milliseconds longest = std::chrono::seconds(10));
  // Watches the package at this path, which need not exist yet.
  explicit InotifyChangeObserver(const std::filesystem::path& package,
                                 std::chrono::milliseconds quiet = std::chrono::seconds(1),
                                 std::chrono::milliseconds longest = std::chrono::seconds(10));
  // Stops the watcher thread (a call in progress ends first) and closes the watches.
  ~InotifyChangeObserver();
  InotifyChangeObserver(const InotifyChangeObserver&) = delete;
  InotifyChangeObserver& operator=(const InotifyChangeObserver&) = delete;

  // Any thread. Observers are kept until the watcher goes away.
  void add(std::shared_ptr<ChangeObserver> observer);

 private:
  struct Watch {
    int descriptor;
    std::vector<std::string> changes;   // files whose events are library changes
    std::vector<std::string> reshapes;  // entries whose events move the package's folders
    bool anyPackage = false;            // every "*.photoslibrary" entry reshapes too
  };
  enum class Outcome { nothing, changed, reshaped };

  InotifyChangeObserver(std::filesystem::path folder, Locator locate, bool anyPackage,
                        std::chrono::milliseconds quiet, std::chrono::milliseconds longest);

  void arm();
  void watchFolder(const std::filesystem::path& folder, Watch watch);
  void loop();
  Outcome readEvents();
  Outcome outcomeOf(const ::inotify_event& event) const;
  void report();

  const std::filesystem::path folder_;
  const Locator locate_;
  const bool anyPackage_;
  const std::chrono::milliseconds quiet_;
  const std::chrono::milliseconds longest_;
  UniqueFd inotifyFd_;  // replaced only on the watcher's thread once it runs
  UniqueFd stopFd_;
  std::vector<Watch> watches_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<ChangeObserver>> observers_;
  std::thread thread_;
};

}  // namespace lumenfolio
