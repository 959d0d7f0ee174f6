#include "platform/pictures_folder.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

namespace lumenfolio {

namespace {

std::optional<std::filesystem::path> absoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  std::filesystem::path path(value);
  if (!path.is_absolute()) return std::nullopt;
  return path;
}

// The value as xdg-user-dirs writes it: in double quotes, backslash escapes,
// "$HOME" standing for the home folder at its start.
std::optional<std::filesystem::path> userDirectory(std::string_view value) {
  std::string text;
  if (value.starts_with('"')) {
    for (std::size_t at = 1; at < value.size() && value[at] != '"'; ++at) {
      if (value[at] == '\\' && at + 1 < value.size()) ++at;
      text += value[at];
    }
  } else {
    text = std::string(value.substr(0, value.find_last_not_of(" \t\r") + 1));
  }
  constexpr std::string_view kHome = "$HOME";
  if (text.starts_with(kHome)) {
    const std::string rest = text.substr(kHome.size());
    if (!rest.empty() && rest.front() != '/') return std::nullopt;
    return rest.empty() ? PicturesFolder::home()
                        : PicturesFolder::home() / std::filesystem::path(rest).relative_path();
  }
  std::filesystem::path path(text);
  if (!path.is_absolute()) return std::nullopt;
  return path;
}

std::optional<std::filesystem::path> xdgPicturesDirectory() {
  std::ifstream dirs(PicturesFolder::configHome() / "user-dirs.dirs");
  constexpr std::string_view kKey = "XDG_PICTURES_DIR=";
  std::optional<std::filesystem::path> found;
  for (std::string line; std::getline(dirs, line);) {
    const auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos) continue;
    const std::string_view entry = std::string_view(line).substr(start);
    if (entry.starts_with(kKey)) found = userDirectory(entry.substr(kKey.size()));
  }
  return found;
}

}  // namespace

std::filesystem::path PicturesFolder::locate() {
  return xdgPicturesDirectory().value_or(home() / "Pictures");
}

std::filesystem::path PicturesFolder::home() {
  if (auto home = absoluteFromEnvironment("HOME")) return *home;
  const passwd* entry = getpwuid(getuid());
  if (entry != nullptr && entry->pw_dir != nullptr) return entry->pw_dir;
  return "/";
}

std::filesystem::path PicturesFolder::configHome() {
  return absoluteFromEnvironment("XDG_CONFIG_HOME").value_or(home() / ".config");
}

}  // namespace lumenfolio
