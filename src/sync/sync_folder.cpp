#include "sync/sync_folder.hpp"

#include <sys/random.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <random>
#include <system_error>

#include "base/hex.hpp"

namespace lumenfolio {

namespace {

namespace fs = std::filesystem;

const std::string kFolderBookmark(SyncFolder::kFolderBookmarkKey);
const std::string kDeviceID(SyncFolder::kDeviceIDKey);

// The stored path, whether or not it is there right now. Bytes that cannot be
// a path here (empty, relative, holding a NUL) never name a folder.
std::optional<fs::path> storedFolder(const Bytes& bookmark) {
  if (bookmark.empty() || std::find(bookmark.begin(), bookmark.end(), 0) != bookmark.end()) {
    return std::nullopt;
  }
  fs::path folder(std::string(bookmark.begin(), bookmark.end()));
  if (!folder.is_absolute()) return std::nullopt;
  return folder;
}

const Bytes* storedBookmark(const std::optional<PreferenceValue>& stored) {
  return stored ? std::get_if<Bytes>(&*stored) : nullptr;
}

// The same folder the way it is stored: absolute, without "." or ".." steps
// and without a trailing separator, so names formed from it stay inside it.
fs::path storedForm(const fs::path& folder) {
  auto normal = fs::absolute(folder).lexically_normal();
  if (!normal.has_filename() && normal.has_relative_path()) normal = normal.parent_path();
  return normal;
}

std::uint32_t randomBits() {
  std::uint32_t bits = 0;
  ssize_t got = -1;
  do {
    got = ::getrandom(&bits, sizeof bits, 0);
  } while (got < 0 && errno == EINTR);
  if (got == static_cast<ssize_t>(sizeof bits)) return bits;
  // Kernels without getrandom still offer the system source through random_device.
  return static_cast<std::uint32_t>(std::random_device()());
}

std::string newDeviceID() {
  const auto bits = randomBits();
  const std::array<std::uint8_t, 4> bytes{
      static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
      static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
  return Hex::lower(bytes);
}

}  // namespace

std::optional<FolderAccess> SyncFolder::resolve(Preferences& preferences) {
  auto folder = remembered(preferences);
  std::error_code error;
  if (!folder || !fs::is_directory(*folder, error)) return std::nullopt;
  // A plain path opens no access scope, so there is nothing to close.
  return FolderAccess{std::move(*folder), [] {}};
}

std::optional<fs::path> SyncFolder::remembered(Preferences& preferences) {
  const auto stored = preferences.value(kFolderBookmark);
  const auto* bookmark = storedBookmark(stored);
  if (bookmark == nullptr) return std::nullopt;
  auto folder = storedFolder(*bookmark);
  if (folder) return folder;
  try {
    preferences.remove(kFolderBookmark);
  } catch (const PreferencesError&) {
    // Unusable either way; the next look forgets it again.
  }
  return std::nullopt;
}

void SyncFolder::remember(Preferences& preferences, const fs::path& folder) {
  const auto path = storedForm(folder);
  std::error_code error;
  const auto status = fs::status(path, error);
  if (error) throw std::system_error(error, path.string());
  if (status.type() == fs::file_type::not_found) {
    throw std::system_error(std::make_error_code(std::errc::no_such_file_or_directory),
                            path.string());
  }
  if (status.type() != fs::file_type::directory) {
    throw std::system_error(std::make_error_code(std::errc::not_a_directory), path.string());
  }
  const auto& text = path.native();
  preferences.setValue(kFolderBookmark, Bytes(text.begin(), text.end()));
}

std::string SyncFolder::deviceID(Preferences& preferences) {
  const auto stored = preferences.value(kDeviceID);
  if (stored) {
    if (const auto* text = std::get_if<std::string>(&*stored)) return *text;
  }
  auto created = newDeviceID();
  preferences.setValue(kDeviceID, created);
  return created;
}

std::string SyncFolder::sharedFileName(const std::string& deviceID) {
  return "pixdeck-" + deviceID + "-features.pdsync";
}

bool SyncFolder::contains(const std::string& name, const fs::path& folder) {
  std::error_code error;
  return fs::exists(folder / name, error) || fs::exists(folder / ("." + name + ".icloud"), error);
}

bool SyncFolder::holdsWrittenFile(const SharedFileIdentity& written) {
  std::error_code error;
  const auto entry = fs::symlink_status(written.file, error);
  if (entry.type() == fs::file_type::not_found) {
    return contains(written.file.filename().string(), written.file.parent_path());
  }
  return SharedFileIdentity::of(written.file) == written;
}

std::string SyncFolder::displayName(const fs::path& folder) {
  const auto name = folder.filename();
  return (name.empty() ? folder.parent_path().filename() : name).string();
}

bool SyncFolder::isSafeFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

}  // namespace lumenfolio
