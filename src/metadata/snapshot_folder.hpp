// A private folder in the temporary directory that holds copies of library
// databases while one run reads them, removed when the object goes away.
//
// A run that is killed cannot remove its folder, so the folder carries the
// proof of its use: a lock held on a file inside for as long as the object
// lives. A later run removes this user's folders whose lock nobody holds, and
// never one whose lock is held or that has no lock file yet.
#pragma once

#include <filesystem>

namespace lumenfolio {

class SnapshotFolder {
 public:
  // A new folder (mode 0700) under the temporary directory, already locked.
  // Throws a Failure that says why when it cannot be made.
  static SnapshotFolder create();

  SnapshotFolder(SnapshotFolder&& other) noexcept;
  SnapshotFolder& operator=(SnapshotFolder&& other) noexcept;
  SnapshotFolder(const SnapshotFolder&) = delete;
  SnapshotFolder& operator=(const SnapshotFolder&) = delete;
  ~SnapshotFolder();  // removes the folder, then lets go of the lock

  const std::filesystem::path& path() const noexcept { return path_; }

  // Removes the folders under the temporary directory that earlier runs of
  // this user left behind and that no running process holds. Returns how many
  // went.
  static int removeAbandoned();

 private:
  SnapshotFolder(std::filesystem::path path, int lockDescriptor) noexcept;
  void release() noexcept;

  std::filesystem::path path_;
  int lockDescriptor_ = -1;
};

}  // namespace lumenfolio
