// The persistent key-value store behind the exporter's settings.
#pragma once

#include <cmath>
#include <compare>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>

#include "model/bytes.hpp"

namespace lumenfolio {

// A point in time as seconds since 1970-01-01 00:00:00 UTC.
struct PreferenceDate {
  double secondsSince1970 = 0;
  auto operator<=>(const PreferenceDate&) const = default;

  // Between the years 1 and 9999: a hand-edited "nan", "inf" or 1e300 is no
  // date anyone can show or compare, and casting it to a time is undefined.
  bool isPlausible() const {
    constexpr double kYear1 = -62135596800.0;
    constexpr double kYear10000 = 253402300800.0;
    return std::isfinite(secondsSince1970) && secondsSince1970 >= kYear1 &&
           secondsSince1970 < kYear10000;
  }
};

// A value that could not be kept: the message names the store and the cause.
class PreferencesError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
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
  // Both throw PreferencesError when the change could not be stored; the store
  // then holds what it held before, so a caller never goes on believing a value
  // is kept (a device identifier, above all) that the next run will not find.
  virtual void setValue(const std::string& key, const PreferenceValue& value) = 0;
  virtual void remove(const std::string& key) = 0;
};

}  // namespace lumenfolio
