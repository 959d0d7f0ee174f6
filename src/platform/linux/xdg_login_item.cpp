#include "platform/linux/xdg_login_item.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>

#include "base/failure.hpp"
#include "base/key_value_file.hpp"
#include "base/unique_fd.hpp"
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

// Writes `text` whole into a new file at `path`, with the usual mode.
void writeNewFile(const std::filesystem::path& path, std::string_view text) {
  const UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!file) throw Failure::fromErrno("create", path, errno);
  while (!text.empty()) {
    const auto written = ::write(file.get(), text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) throw Failure::fromErrno("write", path, errno);
    text.remove_prefix(static_cast<std::size_t>(written));
  }
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

void XdgLoginItem::registerItem() const {
  std::error_code error;
  std::filesystem::create_directories(entryFile_.parent_path(), error);
  if (error) throw Failure("create the folder", entryFile_.parent_path(), error.message());
  const std::filesystem::path temporary =
      entryFile_.string() + ".tmp-" + std::to_string(static_cast<long>(getpid()));
  try {
    writeNewFile(temporary, entryText());
    std::filesystem::rename(temporary, entryFile_, error);
    if (error) throw Failure("rename into place", entryFile_, error.message());
  } catch (const Failure&) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw;
  }
}

void XdgLoginItem::unregisterItem() const {
  std::error_code error;
  std::filesystem::remove(entryFile_, error);
  if (error) throw Failure("remove", entryFile_, error.message());
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
