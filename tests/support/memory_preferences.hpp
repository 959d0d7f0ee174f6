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
    values[key] = value;
  }
  void remove(const std::string& key) override { values.erase(key); }

  std::map<std::string, PreferenceValue> values;
};

}  // namespace lumenfolio::testing
