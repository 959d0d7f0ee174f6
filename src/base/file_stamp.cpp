#include "base/file_stamp.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>

namespace lumenfolio {

namespace {

std::int64_t nanoseconds(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

}  // namespace

std::string FileStamp::of(const std::filesystem::path& file) {
  struct stat status {};
  if (::lstat(file.c_str(), &status) != 0) return errno == ENOENT ? "missing" : kUnknown;
  return std::to_string(status.st_dev) + ' ' + std::to_string(status.st_ino) + ' ' +
         std::to_string(status.st_size) + ' ' + std::to_string(nanoseconds(status.st_mtim)) + ' ' +
         std::to_string(nanoseconds(status.st_ctim));
}

}  // namespace lumenfolio
