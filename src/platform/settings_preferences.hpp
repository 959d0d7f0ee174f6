// The exporter's settings on Linux: an INI file read and written through
// QSettings, shared by the tray application and the headless command.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "sync/preferences.hpp"

class QSettings;

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
  // reads as absent.
  std::optional<PreferenceValue> value(const std::string& key) const override;
  void setValue(const std::string& key, const PreferenceValue& value) override;
  void remove(const std::string& key) override;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  // Reading also syncs, to pick up what another process wrote since.
  std::unique_ptr<QSettings> settings_;
};

}  // namespace lumenfolio
