#include "app/shared_file_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <utility>

#include "base/xdg_locations.hpp"

namespace lumenfolio {

namespace {

std::system_error lastError(const std::string& what) {
  return std::system_error(errno, std::generic_category(), what);
}

// The user's runtime folder as the login manager makes it, when it is there and ours.
std::filesystem::path sessionRuntimeFolder(const std::filesystem::path& root) {
  const auto folder = root / std::to_string(::getuid());
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return {};
  return status.st_uid == ::getuid() ? folder : std::filesystem::path{};
}

}  // namespace

std::filesystem::path SharedFileLock::defaultPath(const std::filesystem::path& systemRuntimeRoot) {
  constexpr const char* kRuntimeName = "lumenfolio-exporter.lock";
  if (auto runtime = XdgLocations::runtimeDirectory()) return *runtime / kRuntimeName;
  if (auto session = sessionRuntimeFolder(systemRuntimeRoot); !session.empty()) {
    return session / kRuntimeName;
  }
  return XdgLocations::cacheHome() / "lumenfolio" / "exporter.lock";
}

SharedFileLock::SharedFileLock(const std::filesystem::path& lockFile, std::stop_token stop) {
  std::error_code ignored;
  std::filesystem::create_directories(lockFile.parent_path(), ignored);
  // A link in the lock's place could make this process create or lock a file
  // elsewhere; the lock is a plain file of ours or nothing.
  descriptor_.reset(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!descriptor_) throw lastError("Couldn't open the lock file " + lockFile.string());
  struct stat status {};
  if (::fstat(descriptor_.get(), &status) != 0) {
    throw lastError("Couldn't look at " + lockFile.string());
  }
  if (!S_ISREG(status.st_mode)) {
    errno = EINVAL;
    throw lastError("The lock file " + lockFile.string() + " is not a regular file");
  }
  waitForLock(lockFile, stop);
}

void SharedFileLock::waitForLock(const std::filesystem::path& lockFile,
                                 const std::stop_token& stop) const {
  // flock cannot be woken by a stop request, so while another process holds
  // the lock it is tried again now and then, and the wait ends on a request.
  constexpr auto kRetry = std::chrono::milliseconds(50);
  std::mutex mutex;
  std::condition_variable_any asleep;
  while (::flock(descriptor_.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) throw lastError("Couldn't lock " + lockFile.string());
    std::unique_lock hold(mutex);
    asleep.wait_for(hold, stop, kRetry, [] { return false; });
    if (stop.stop_requested()) {
      errno = ECANCELED;
      throw lastError("Stopped while waiting for the lock " + lockFile.string());
    }
  }
}

Exporter::SharedFileWriter SharedFileLock::guarding(Exporter::SharedFileWriter writer,
                                                    std::filesystem::path lockFile,
                                                    std::stop_token stop) {
  return [writer = std::move(writer), lockFile = std::move(lockFile), stop = std::move(stop)](
             const SyncFile::Payload& payload, const std::filesystem::path& destination,
             const Exporter::WrittenAction& written) {
    const SharedFileLock lock(lockFile, stop);
    writer(payload, destination, written);
  };
}

}  // namespace lumenfolio
