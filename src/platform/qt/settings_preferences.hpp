// The exporter's settings on Linux: an INI file read and written through
// QSettings, shared by the tray application and the headless command.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "sync/preferences.hpp"

class QSettings;
class QVariant;

namespace lumenfolio {

class SettingsPreferences final : public Preferences {
 public:
  // exporter.conf in the lumenfolio folder of the user's configuration folder
  // ($XDG_CONFIG_HOME, else ~/.config).
  static std::filesystem::path defaultPath();

  SettingsPreferences();
  explicit SettingsPreferences(const std::filesystem::path& file);
  ~SettingsPreferences() override;
  SettingsPreferences(const SettingsPreferences&) = delete;
  SettingsPreferences& operator=(const SettingsPreferences&) = delete;

  // Each value is stored as "kind:payload" text, since an INI file keeps no
  // types of its own: bytes (base64), text, date and real (shortest decimal),
  // integer (decimal), flag (true or false). A hand-written value without a
  // known kind reads as text; a known kind with a payload that does not parse
  // reads as absent, and so does a date that is not finite or lies outside the
  // years 1 to 9999.
  //
  // Every change is synced to the file at once and its outcome checked; one
  // that did not reach the file (a folder in the file's place, a read-only or
  // full disk) throws PreferencesError naming the file and the cause.
  // Safe to call from any thread.
  std::optional<PreferenceValue> value(const std::string& key) const override;
  void setValue(const std::string& key, const PreferenceValue& value) override;
  void remove(const std::string& key) override;

  const std::filesystem::path& path() const { return path_; }

 private:
  void startChange();
  void syncChange(const std::string& key, const QVariant& before);
  std::unique_ptr<QSettings> openSettings() const;

  std::filesystem::path path_;
  // QSettings is not safe to share between threads; the write worker stores
  // what it wrote while the main thread may read.
  mutable std::mutex mutex_;
  // Reading also syncs, to pick up what another process wrote since.
  std::unique_ptr<QSettings> settings_;
};

}  // namespace lumenfolio
