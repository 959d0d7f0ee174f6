#include "metadata/asset_metadata.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string_view>

#include "metadata/unicode_text.hpp"

namespace lumenfolio {
namespace {

using Json = nlohmann::json;

// The length of the valid UTF-8 sequence at the start of `text` (shortest
// form, no surrogates, at most U+10FFFF), or 0 when it is not one.
std::size_t sequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const auto continues = [&](std::size_t i, unsigned char low = 0x80, unsigned char high = 0xBF) {
    return i < text.size() && byte(i) >= low && byte(i) <= high;
  };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return continues(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
    return continues(1, low, high) && continues(2) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
    return continues(1, low, high) && continues(2) && continues(3) ? 4 : 0;
  }
  return 0;
}

bool isValidUtf8(std::string_view text) {
  // Most texts are ASCII, which this loop tells at the speed of memory.
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) return true;
  while (!text.empty()) {
    const auto length = sequenceLength(text);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

// Writes the panel text member by member, exactly as nlohmann's dump writes
// the same object (sorted keys, its escapes, its shortest numbers), without
// building the object first: an export writes a hundred thousand of them.
// Texts must be valid UTF-8; dump's replacement of bad bytes is left to dump.
class PanelWriter {
 public:
  // Written into room for most panel texts, then copied at its own size:
  // an export holds a hundred thousand of them.
  PanelWriter() { text_.reserve(kTypicalLength); }

  template <typename Value>
  void member(const char* key, const Value& value) {
    if (!present(value)) return;
    text_ += text_.empty() ? '{' : ',';
    text_ += '"';
    text_ += key;
    text_ += "\":";
    write(value);
  }

  std::string finished() {
    text_ += '}';
    return text_;
  }

 private:
  static constexpr std::size_t kTypicalLength = 512;

  static bool present(const std::vector<std::string>& list) { return !list.empty(); }
  template <typename T>
  static bool present(const std::optional<T>& value) {
    return value.has_value();
  }

  template <typename T>
  void write(const std::optional<T>& value) {
    write(*value);
  }
  void write(const std::vector<std::string>& list) {
    text_ += '[';
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (i > 0) text_ += ',';
      write(list[i]);
    }
    text_ += ']';
  }
  void write(bool flag) { text_ += flag ? "true" : "false"; }
  void write(std::int64_t integer) { text_ += std::to_string(integer); }
  void write(double number) {
    std::array<char, 64> buffer{};
    // The number form of nlohmann's dump, so the text stays as it was.
    const char* end =
        nlohmann::detail::to_chars(buffer.data(), buffer.data() + buffer.size(), number);
    text_.append(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
  }
  // Runs of characters that need no escape are copied whole.
  void write(const std::string& string) {
    text_ += '"';
    std::string_view rest = string;
    while (!rest.empty()) {
      const auto plain = std::find_if(rest.begin(), rest.end(), needsEscape) - rest.begin();
      text_.append(rest.data(), static_cast<std::size_t>(plain));
      rest.remove_prefix(static_cast<std::size_t>(plain));
      if (rest.empty()) break;
      writeEscaped(rest.front());
      rest.remove_prefix(1);
    }
    text_ += '"';
  }
  static bool needsEscape(char c) {
    return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20;
  }
  void writeEscaped(char c) {
    static constexpr char kHex[] = "0123456789abcdef";
    switch (c) {
      case '"':
        text_ += "\\\"";
        break;
      case '\\':
        text_ += "\\\\";
        break;
      case '\b':
        text_ += "\\b";
        break;
      case '\t':
        text_ += "\\t";
        break;
      case '\n':
        text_ += "\\n";
        break;
      case '\f':
        text_ += "\\f";
        break;
      case '\r':
        text_ += "\\r";
        break;
      default:
        text_ += "\\u00";
        text_ += kHex[(c >> 4) & 0x0F];
        text_ += kHex[c & 0x0F];
    }
  }

  std::string text_;
};

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
  if (hasOnlyValidTexts()) {
    PanelWriter writer;
    writer.member("aperture", aperture);
    writer.member("camera", camera);
    writer.member("flash", flash);
    writer.member("focal", focalLength);
    writer.member("iso", iso);
    writer.member("lens", lens);
    writer.member("occasion", occasion);
    writer.member("people", people);
    writer.member("pets", pets);
    writer.member("place", place);
    writer.member("scenes", scenes);
    writer.member("shutter", shutter);
    writer.member("words", words);
    return writer.finished();
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

bool AssetMetadata::hasOnlyValidTexts() const {
  const auto valid = [](const std::optional<std::string>& text) {
    return !text || isValidUtf8(*text);
  };
  const auto allValid = [](const std::vector<std::string>& list) {
    return std::all_of(list.begin(), list.end(),
                       [](const std::string& text) { return isValidUtf8(text); });
  };
  return valid(camera) && valid(lens) && allValid(people) && allValid(pets) && allValid(place) &&
         allValid(scenes) && allValid(occasion) && allValid(words);
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
