// Makes a folder refuse new entries for as long as the object lives, in a way
// that holds for root too (tests run as root, and file modes do not stop
// root): the immutable flag where the file system has one, else a read-only
// bind mount over the folder.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace lumenfolio::testing {

class UnwritableFolder {
 public:
  explicit UnwritableFolder(std::filesystem::path folder) : folder_(std::move(folder)) {
    if (setImmutable(true)) {
      how_ = How::immutable;
    } else if (mountReadOnly()) {
      how_ = How::readOnlyMount;
    }
    if (how_ != How::none && acceptsNewFiles()) undo();
  }

  ~UnwritableFolder() { undo(); }

  UnwritableFolder(const UnwritableFolder&) = delete;
  UnwritableFolder& operator=(const UnwritableFolder&) = delete;

  bool active() const { return how_ != How::none; }
  // Why the folder could not be made unwritable, for a skip message.
  const std::string& failure() const { return failure_; }

 private:
  enum class How { none, immutable, readOnlyMount };

  bool setImmutable(bool on) {
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return note("open");
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (!done) note("immutable flag");
    ::close(fd);
    return done;
  }

  bool mountReadOnly() {
    if (::mount(folder_.c_str(), folder_.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      return note("bind mount");
    }
    if (::mount(nullptr, folder_.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) !=
        0) {
      note("read-only remount");
      ::umount2(folder_.c_str(), MNT_DETACH);
      return false;
    }
    return true;
  }

  bool acceptsNewFiles() {
    const auto probe = folder_ / ".probe";
    const bool created = std::ofstream(probe).good();
    if (created) {
      std::filesystem::remove(probe);
      failure_ += "the folder still accepted a new file; ";
    }
    return created;
  }

  void undo() {
    if (how_ == How::immutable) setImmutable(false);
    if (how_ == How::readOnlyMount) ::umount2(folder_.c_str(), MNT_DETACH);
    how_ = How::none;
  }

  bool note(const char* step) {
    failure_ += std::string(step) + ": " + std::strerror(errno) + "; ";
    return false;
  }

  std::filesystem::path folder_;
  How how_ = How::none;
  std::string failure_;
};

}  // namespace lumenfolio::testing
