#include "app/shared_file_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

namespace lumenfolio {

namespace {

std::filesystem::path environmentPath(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return {};
  const std::filesystem::path path(value);
  // Relative values are invalid in the XDG rules and would lock a different
  // file depending on the working directory.
  return path.is_absolute() ? path : std::filesystem::path{};
}

std::filesystem::path cacheHome() {
  if (auto cache = environmentPath("XDG_CACHE_HOME"); !cache.empty()) return cache;
  return environmentPath("HOME") / ".cache";
}

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
  if (auto runtime = environmentPath("XDG_RUNTIME_DIR"); !runtime.empty())
    return runtime / kRuntimeName;
  if (auto session = sessionRuntimeFolder(systemRuntimeRoot); !session.empty()) {
    return session / kRuntimeName;
  }
  return cacheHome() / "lumenfolio" / "exporter.lock";
}

SharedFileLock::SharedFileLock(const std::filesystem::path& lockFile) {
  std::error_code ignored;
  std::filesystem::create_directories(lockFile.parent_path(), ignored);
  descriptor_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (descriptor_ < 0) throw lastError("Couldn't open the lock file " + lockFile.string());
  while (::flock(descriptor_, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    const auto error = lastError("Couldn't lock " + lockFile.string());
    ::close(descriptor_);
    throw error;
  }
}

SharedFileLock::~SharedFileLock() {
  // Closing the only descriptor of this open file releases the lock.
  ::close(descriptor_);
}

Exporter::SharedFileWriter SharedFileLock::guarding(Exporter::SharedFileWriter writer,
                                                    std::filesystem::path lockFile) {
  return [writer = std::move(writer), lockFile = std::move(lockFile)](
             const SyncFile::Payload& payload, const std::filesystem::path& destination) {
    const SharedFileLock lock(lockFile);
    writer(payload, destination);
  };
}

}  // namespace lumenfolio
