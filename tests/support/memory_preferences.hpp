// Preferences held in memory, so a test never touches the user's settings.
#pragma once

#include <map>

#include "sync/preferences.hpp"

namespace lumenfolio::testing {

class MemoryPreferences : public Preferences {
 public:
  std::optional<PreferenceValue> value(const std::string& key) const override {
    const auto found = values.find(key);
    if (found == values.end()) return std::nullopt;
    return found->second;
  }
  void setValue(const std::string& key, const PreferenceValue& value) override {
    refuseIfAsked();
    values[key] = value;
  }
  void remove(const std::string& key) override {
    refuseIfAsked();
    values.erase(key);
  }

  std::map<std::string, PreferenceValue> values;
  // As a store on a full disk, or with a folder in its file's place.
  bool refusesChanges = false;

 private:
  void refuseIfAsked() const {
    if (refusesChanges) throw PreferencesError("Couldn't save the settings in memory: refused");
  }
};

}  // namespace lumenfolio::testing
