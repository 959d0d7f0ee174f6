#include "base/file_stamp.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <vector>

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
         std::to_string(status.st_size) + ' ' + std::to_string(nanoseconds(status.st_mtim)) +
         " ctime " + std::to_string(nanoseconds(status.st_ctim));
}

namespace {

// The words of `text`, separated by spaces and line feeds.
std::vector<std::string_view> wordsOf(std::string_view text) {
  std::vector<std::string_view> words;
  while (!text.empty()) {
    const auto end = text.find_first_of(" \n");
    if (end != 0) words.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return words;
}

}  // namespace

bool FileStamp::sameButForChangeTimes(std::string_view a, std::string_view b) {
  const auto first = wordsOf(a);
  const auto second = wordsOf(b);
  if (first.size() != second.size()) return false;
  for (std::size_t i = 0; i < first.size(); ++i) {
    const bool changeTime = i > 0 && first[i - 1] == "ctime";
    if (!changeTime && first[i] != second[i]) return false;
  }
  return true;
}

}  // namespace lumenfolio
