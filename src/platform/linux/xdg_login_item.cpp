#include "platform/linux/xdg_login_item.hpp"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>

#include "base/key_value_file.hpp"
#include "base/xdg_locations.hpp"

namespace lumenfolio {

namespace {

constexpr std::string_view kEntryName = "lumenfolio-exporter.desktop";

// A desktop-entry string: a backslash and the control characters take escapes.
std::string entryString(std::string_view text) {
  std::string value;
  for (const char c : text) {
    switch (c) {
      case '\\':
        value += "\\\\";
        break;
      case '\n':
        value += "\\n";
        break;
      case '\t':
        value += "\\t";
        break;
      case '\r':
        value += "\\r";
        break;
      default:
        value += c;
    }
  }
  return value;
}

// An Exec argument in double quotes, where '"', '`', '$' and '\' take a
// backslash; the whole value is then a desktop-entry string, and '%' is
// doubled so it is not read as a field code.
std::string quotedExec(const std::string& program) {
  std::string argument = "\"";
  for (const char c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') argument += '\\';
    argument += c;
  }
  argument += '"';
  std::string value;
  for (const char c : entryString(argument)) {
    value += c;
    if (c == '%') value += '%';
  }
  return value;
}

}  // namespace

XdgLoginItem::XdgLoginItem() : XdgLoginItem(defaultEntryFile(), runningExecutable()) {}

XdgLoginItem::XdgLoginItem(std::filesystem::path entryFile, std::filesystem::path executable)
    : entryFile_(std::move(entryFile)), executable_(std::move(executable)) {}

bool XdgLoginItem::enabled() const {
  if (!std::ifstream(entryFile_)) return false;
  for (const auto& entry : KeyValueFile::read(entryFile_)) {
    if (entry.group != "[Desktop Entry]") continue;
    const auto value = KeyValueFile::trimmed(entry.value);
    if (entry.key == "Hidden" && value == "true") return false;
    if (entry.key == "X-GNOME-Autostart-enabled" && value == "false") return false;
  }
  return true;
}

bool XdgLoginItem::registerItem() const {
  std::error_code error;
  std::filesystem::create_directories(entryFile_.parent_path(), error);
  if (error) return false;
  const std::filesystem::path temporary =
      entryFile_.string() + ".tmp-" + std::to_string(static_cast<long>(getpid()));
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << entryText();
    out.flush();
    if (!out) {
      std::filesystem::remove(temporary, error);
      return false;
    }
  }
  std::filesystem::rename(temporary, entryFile_, error);
  if (error) std::filesystem::remove(temporary, error);
  return enabled();
}

bool XdgLoginItem::unregisterItem() const {
  std::error_code error;
  std::filesystem::remove(entryFile_, error);
  return !error;
}

std::string XdgLoginItem::entryText() const {
  std::ostringstream text;
  text << "[Desktop Entry]\n"
       << "Type=Application\n"
       << "Name=lumenfolio exporter\n"
       << "Comment=Writes photo measures from a Photos library for the lumenfolio apps\n"
       << "TryExec=" << entryString(executable_.string()) << "\n"
       << "Exec=" << quotedExec(executable_.string()) << "\n"
       << "Icon=lumenfolio-exporter\n"
       << "Terminal=false\n"
       << "StartupNotify=false\n"
       << "X-GNOME-Autostart-enabled=true\n";
  return text.str();
}

std::filesystem::path XdgLoginItem::defaultEntryFile() {
  return XdgLocations::configHome() / "autostart" / kEntryName;
}

std::filesystem::path XdgLoginItem::runningExecutable() {
  std::error_code error;
  auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : executable;
}

}  // namespace lumenfolio
