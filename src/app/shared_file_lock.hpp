// A per-user exclusive lock held around each write of the shared file. The tray
// application and a headless export are separate processes with separate run
// guards; both build the same ".part" file, so without this lock one could
// remove or move the other's half-built file.
#pragma once

#include <filesystem>
#include <stop_token>

#include "base/unique_fd.hpp"
#include "exporter/exporter.hpp"

namespace lumenfolio {

class SharedFileLock {
 public:
  // "lumenfolio-exporter.lock" in $XDG_RUNTIME_DIR; else in the user's own
  // folder under `systemRuntimeRoot` (named by the user id), which exists while
  // the user has a session; else "lumenfolio/exporter.lock" in $XDG_CACHE_HOME
  // (default ~/.cache). The middle step matters: a cron job gets no
  // XDG_RUNTIME_DIR while the tray application beside it does, and both must
  // lock the same file.
  static std::filesystem::path defaultPath(
      const std::filesystem::path& systemRuntimeRoot = "/run/user");

  // Blocks until this process holds the lock, or until `stop` is requested
  // (then throws std::system_error with operation_canceled): a program that
  // quits never waits on another process's write. Creates the lock file (and
  // its folder) when needed, never through a link; throws std::system_error
  // naming the file when it cannot be opened or is not a regular file.
  explicit SharedFileLock(const std::filesystem::path& lockFile, std::stop_token stop = {});
  SharedFileLock(const SharedFileLock&) = delete;
  SharedFileLock& operator=(const SharedFileLock&) = delete;

  // The writer, run with the lock held for the whole of each call, its
  // `written` action included.
  static Exporter::SharedFileWriter guarding(Exporter::SharedFileWriter writer,
                                             std::filesystem::path lockFile,
                                             std::stop_token stop = {});

 private:
  void waitForLock(const std::filesystem::path& lockFile, const std::stop_token& stop) const;

  // Closing the only descriptor of this open file releases the lock.
  UniqueFd descriptor_;
};

}  // namespace lumenfolio
