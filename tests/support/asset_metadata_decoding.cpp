#include "support/asset_metadata_decoding.hpp"

#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>

namespace lumenfolio::testing {
namespace {

using Json = nlohmann::json;

// The member under `key`, or nothing when it is missing or null: both leave
// the field empty.
const Json* member(const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return nullptr;
  return &*found;
}

bool readList(const Json& object, const char* key, std::vector<std::string>& list) {
  const auto* value = member(object, key);
  if (value == nullptr) return true;
  if (!value->is_array()) return false;
  for (const auto& element : *value) {
    if (!element.is_string()) return false;
    list.push_back(element.get<std::string>());
  }
  return true;
}

// A value of one JSON type, told by `isType`.
template <typename T, typename IsType>
bool readValue(const Json& object, const char* key, std::optional<T>& field, IsType isType) {
  const auto* value = member(object, key);
  if (value == nullptr) return true;
  if (!isType(*value)) return false;
  field = value->template get<T>();
  return true;
}

bool readText(const Json& object, const char* key, std::optional<std::string>& text) {
  return readValue(object, key, text, [](const Json& value) { return value.is_string(); });
}

// An integer, or a number without a fraction that fits 64 signed bits
// (100.0 reads as 100; 100.5 is refused).
bool readInteger(const Json& object, const char* key, std::optional<std::int64_t>& integer) {
  const auto* value = member(object, key);
  if (value == nullptr) return true;
  if (value->is_number_unsigned()) {
    const auto unsignedValue = value->get<std::uint64_t>();
    if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return false;
    }
    integer = static_cast<std::int64_t>(unsignedValue);
    return true;
  }
  if (value->is_number_integer()) {
    integer = value->get<std::int64_t>();
    return true;
  }
  if (!value->is_number_float()) return false;
  const double number = value->get<double>();
  // -2^63 is exact as a double; 2^63 is the first value past the range.
  constexpr double kLimit = 9223372036854775808.0;
  if (number != std::trunc(number) || number < -kLimit || number >= kLimit) return false;
  integer = static_cast<std::int64_t>(number);
  return true;
}

bool readNumber(const Json& object, const char* key, std::optional<double>& number) {
  return readValue(object, key, number, [](const Json& value) { return value.is_number(); });
}

bool readFlag(const Json& object, const char* key, std::optional<bool>& flag) {
  return readValue(object, key, flag, [](const Json& value) { return value.is_boolean(); });
}

}  // namespace

std::optional<AssetMetadata> decodedAssetMetadata(const std::string& json) {
  const auto object = Json::parse(json, nullptr, false);
  if (!object.is_object()) return std::nullopt;
  AssetMetadata record;
  const bool read =
      readList(object, "people", record.people) && readList(object, "pets", record.pets) &&
      readList(object, "place", record.place) && readList(object, "scenes", record.scenes) &&
      readList(object, "occasion", record.occasion) && readList(object, "words", record.words) &&
      readText(object, "camera", record.camera) && readText(object, "lens", record.lens) &&
      readInteger(object, "iso", record.iso) && readNumber(object, "aperture", record.aperture) &&
      readNumber(object, "shutter", record.shutter) &&
      readNumber(object, "focal", record.focalLength) && readFlag(object, "flash", record.flash);
  if (!read) return std::nullopt;
  return record;
}

}  // namespace lumenfolio::testing
