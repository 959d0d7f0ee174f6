// An asset's UUID as the library's tables key their rows. The usual form, 32
// hexadecimal digits in groups of 8-4-4-4-12 written in one case, is held in
// 16 bytes, so that a large library's tables hold no text of their own per
// asset; any other text, as an odd library may store, is kept as it is. Two
// UUIDs are equal exactly when their texts are.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace lumenfolio {

class AssetUuid {
 public:
  // Implicit, as the tables are looked up with the texts the library gives.
  AssetUuid(std::string_view text);   // NOLINT(google-explicit-constructor)
  AssetUuid(const std::string& text)  // NOLINT(google-explicit-constructor)
      : AssetUuid(std::string_view(text)) {}
  AssetUuid(const char* text)  // NOLINT(google-explicit-constructor)
      : AssetUuid(std::string_view(text)) {}
  AssetUuid(const AssetUuid& other);
  AssetUuid(AssetUuid&& other) noexcept = default;
  AssetUuid& operator=(const AssetUuid& other);
  AssetUuid& operator=(AssetUuid&& other) noexcept = default;
  ~AssetUuid() = default;

  std::string text() const;

  // The same UUID written in upper case, for one of the usual form; nothing
  // for any other text, whose upper case follows the rules of Unicode.
  std::optional<AssetUuid> inUpperCase() const;

  bool operator==(const AssetUuid& other) const noexcept;

  struct Hash {
    std::size_t operator()(const AssetUuid& uuid) const noexcept;
  };

 private:
  enum class Form : std::uint8_t { upperCase, lowerCase, asGiven };

  std::string_view given() const noexcept;

  std::array<std::uint8_t, 16> bytes_{};
  Form form_ = Form::asGiven;
  std::unique_ptr<std::string> given_;  // the text, in the form asGiven only
};

std::ostream& operator<<(std::ostream& out, const AssetUuid& uuid);

// A table of values by asset UUID.
template <typename Value>
using ByAssetUuid = std::unordered_map<AssetUuid, Value, AssetUuid::Hash>;

}  // namespace lumenfolio
