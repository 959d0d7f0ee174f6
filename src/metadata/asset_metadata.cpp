#include "metadata/asset_metadata.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "metadata/unicode_text.hpp"

namespace lumenfolio {
namespace {

using Json = nlohmann::json;

void putList(Json& object, const char* key, const std::vector<std::string>& list) {
  if (!list.empty()) object[key] = list;
}

template <typename T>
void putValue(Json& object, const char* key, const std::optional<T>& value) {
  if (value) object[key] = *value;
}

bool isFiniteOrAbsent(const std::optional<double>& value) {
  return !value || std::isfinite(*value);
}

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

bool sameText(const std::optional<std::string>& a, const std::optional<std::string>& b) {
  if (!a || !b) return !a && !b;
  return UnicodeText::canonicallyEqual(*a, *b);
}

bool sameTexts(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const std::string& x, const std::string& y) {
                      return UnicodeText::canonicallyEqual(x, y);
                    });
}

// IEEE comparison: NaN equals nothing, 0 equals -0.
bool sameNumber(const std::optional<double>& a, const std::optional<double>& b) {
  if (!a || !b) return !a && !b;
  return *a == *b;
}

}  // namespace

bool AssetMetadata::isEmpty() const {
  return people.empty() && pets.empty() && place.empty() && scenes.empty() && occasion.empty() &&
         words.empty() && !camera && !lens && !iso && !aperture && !shutter && !focalLength &&
         !flash;
}

std::string AssetMetadata::json() const {
  if (isEmpty()) return {};
  // JSON has no form for NaN or infinity: such a record cannot be encoded.
  if (!isFiniteOrAbsent(aperture) || !isFiniteOrAbsent(shutter) || !isFiniteOrAbsent(focalLength)) {
    return {};
  }
  // nlohmann's default object keeps its members sorted by key, and its
  // shortest round-trip number form reads back as the same doubles.
  Json object = Json::object();
  putList(object, "people", people);
  putList(object, "pets", pets);
  putList(object, "place", place);
  putList(object, "scenes", scenes);
  putList(object, "occasion", occasion);
  putList(object, "words", words);
  putValue(object, "camera", camera);
  putValue(object, "lens", lens);
  putValue(object, "iso", iso);
  putValue(object, "aperture", aperture);
  putValue(object, "shutter", shutter);
  putValue(object, "focal", focalLength);
  putValue(object, "flash", flash);
  // Texts are valid UTF-8 when they come from the library; any other byte is
  // written as U+FFFD rather than losing the whole record.
  return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<AssetMetadata> AssetMetadata::decode(const std::string& json) {
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

bool AssetMetadata::operator==(const AssetMetadata& other) const {
  return sameText(filename, other.filename) && sameTexts(people, other.people) &&
         sameTexts(pets, other.pets) && sameTexts(place, other.place) &&
         sameTexts(scenes, other.scenes) && sameTexts(occasion, other.occasion) &&
         sameTexts(words, other.words) && sameText(camera, other.camera) &&
         sameText(lens, other.lens) && iso == other.iso && sameNumber(aperture, other.aperture) &&
         sameNumber(shutter, other.shutter) && sameNumber(focalLength, other.focalLength) &&
         flash == other.flash;
}

}  // namespace lumenfolio
