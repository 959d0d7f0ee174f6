// The persistent key-value store behind the exporter's settings.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "model/bytes.hpp"

namespace lumenfolio {

// A point in time as seconds since 1970-01-01 00:00:00 UTC.
struct PreferenceDate {
  double secondsSince1970 = 0;
  auto operator<=>(const PreferenceDate&) const = default;
};

// Bytes, text, date and integer are the kinds the exporter stores; a real and a
// flag arrive only from an older preference file and are kept as they were.
using PreferenceValue =
    std::variant<Bytes, std::string, PreferenceDate, std::int64_t, double, bool>;

class Preferences {
 public:
  virtual ~Preferences() = default;
  virtual std::optional<PreferenceValue> value(const std::string& key) const = 0;
  // Written through at once, so other processes of the same user see it.
  virtual void setValue(const std::string& key, const PreferenceValue& value) = 0;
  virtual void remove(const std::string& key) = 0;
};

}  // namespace lumenfolio
