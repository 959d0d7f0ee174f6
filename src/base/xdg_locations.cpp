#include "base/xdg_locations.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "base/key_value_file.hpp"

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
    return rest.empty() ? XdgLocations::home()
                        : XdgLocations::home() / std::filesystem::path(rest).relative_path();
  }
  std::filesystem::path path(text);
  if (!path.is_absolute()) return std::nullopt;
  return path;
}

std::optional<std::filesystem::path> xdgPicturesDirectory() {
  const auto value =
      KeyValueFile::lastValue(XdgLocations::configHome() / "user-dirs.dirs", "XDG_PICTURES_DIR");
  if (!value) return std::nullopt;
  return userDirectory(*value);
}

}  // namespace

std::filesystem::path XdgLocations::home() {
  if (auto home = absoluteFromEnvironment("HOME")) return *home;
  const passwd* entry = getpwuid(getuid());
  if (entry != nullptr && entry->pw_dir != nullptr) return entry->pw_dir;
  return "/";
}

std::filesystem::path XdgLocations::configHome() {
  return absoluteFromEnvironment("XDG_CONFIG_HOME").value_or(home() / ".config");
}

std::filesystem::path XdgLocations::cacheHome() {
  return absoluteFromEnvironment("XDG_CACHE_HOME").value_or(home() / ".cache");
}

std::optional<std::filesystem::path> XdgLocations::runtimeDirectory() {
  return absoluteFromEnvironment("XDG_RUNTIME_DIR");
}

std::filesystem::path XdgLocations::pictures() {
  return xdgPicturesDirectory().value_or(home() / "Pictures");
}

}  // namespace lumenfolio
