#include "metadata/snapshot_folder.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "base/failure.hpp"

namespace lumenfolio {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kPrefix = "lumenfolio-library-";
constexpr const char* kLockName = "in-use";
constexpr const char* kNewLockName = "in-use.new";

int openNoFollow(const fs::path& file, int flags) {
  return ::open(file.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0600);
}

// The lock file appears under its final name only once it is locked, so no
// other run can ever take the lock of a folder that is just being set up.
int lockedLockFile(const fs::path& folder) {
  const int descriptor = openNoFollow(folder / kNewLockName, O_RDWR | O_CREAT | O_EXCL);
  if (descriptor < 0) return -1;
  if (::flock(descriptor, LOCK_EX) != 0 ||
      ::rename((folder / kNewLockName).c_str(), (folder / kLockName).c_str()) != 0) {
    const int cause = errno;
    ::close(descriptor);
    errno = cause;
    return -1;
  }
  return descriptor;
}

// The temporary folder the system names; a Failure that names the folder
// asked for ($TMPDIR, else /tmp) when it is none.
fs::path temporaryFolder() {
  std::error_code error;
  auto folder = fs::temp_directory_path(error);
  if (!error) return folder;
  const char* named = std::getenv("TMPDIR");
  throw Failure("use as the temporary folder", named != nullptr ? named : "/tmp", error.message());
}

bool isOwnFolder(const fs::path& folder) {
  struct stat status {};
  return ::lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         status.st_uid == ::geteuid();
}

// True when the folder was left by a run that has ended: its lock file exists
// and nobody holds its lock. The lock is kept while the folder is removed.
bool removeIfAbandoned(const fs::path& folder) {
  if (!isOwnFolder(folder)) return false;
  const int descriptor = openNoFollow(folder / kLockName, O_RDONLY);
  if (descriptor < 0) return false;
  bool removed = false;
  if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
    std::error_code error;
    fs::remove_all(folder, error);
    removed = !error;
  }
  ::close(descriptor);
  return removed;
}

}  // namespace

SnapshotFolder::SnapshotFolder(fs::path path, int lockDescriptor) noexcept
    : path_(std::move(path)), lockDescriptor_(lockDescriptor) {}

SnapshotFolder::SnapshotFolder(SnapshotFolder&& other) noexcept
    : path_(std::exchange(other.path_, {})),
      lockDescriptor_(std::exchange(other.lockDescriptor_, -1)) {}

SnapshotFolder& SnapshotFolder::operator=(SnapshotFolder&& other) noexcept {
  if (this != &other) {
    release();
    path_ = std::exchange(other.path_, {});
    lockDescriptor_ = std::exchange(other.lockDescriptor_, -1);
  }
  return *this;
}

SnapshotFolder::~SnapshotFolder() {
  release();
}

void SnapshotFolder::release() noexcept {
  if (!path_.empty()) {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
    path_.clear();
  }
  if (lockDescriptor_ >= 0) ::close(lockDescriptor_);
  lockDescriptor_ = -1;
}

SnapshotFolder SnapshotFolder::create() {
  const auto base = temporaryFolder();
  std::string pattern = (base / (std::string(kPrefix) + "XXXXXX")).string();
  // mkdtemp creates the folder with mode 0700: the copies stay the user's own.
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw Failure::fromErrno("make a folder in", base, errno);
  }
  fs::path folder(pattern);
  const int lock = lockedLockFile(folder);
  if (lock < 0) {
    const int cause = errno;
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    throw Failure::fromErrno("lock", folder, cause);
  }
  return SnapshotFolder(std::move(folder), lock);
}

int SnapshotFolder::removeAbandoned() {
  std::error_code error;
  const auto base = fs::temp_directory_path(error);
  if (error) return 0;
  int removed = 0;
  fs::directory_iterator entry(base, error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    const auto& folder = entry->path();
    if (!folder.filename().string().starts_with(kPrefix)) continue;
    if (removeIfAbandoned(folder)) ++removed;
  }
  return removed;
}

}  // namespace lumenfolio
