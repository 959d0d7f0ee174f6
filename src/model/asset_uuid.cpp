#include "model/asset_uuid.hpp"

#include <cstring>
#include <functional>
#include <ostream>

namespace lumenfolio {
namespace {

constexpr std::size_t kTextLength = 36;
constexpr std::array<std::size_t, 4> kDashes = {8, 13, 18, 23};
constexpr const char* kUpperDigits = "0123456789ABCDEF";
constexpr const char* kLowerDigits = "0123456789abcdef";

bool isDash(std::size_t at) {
  return at == kDashes[0] || at == kDashes[1] || at == kDashes[2] || at == kDashes[3];
}

struct Digit {
  std::uint8_t value = 0;
  bool upper = false;  // a letter in upper case
  bool lower = false;  // a letter in lower case
};

std::optional<Digit> digitOf(char c) {
  if (c >= '0' && c <= '9') return Digit{static_cast<std::uint8_t>(c - '0')};
  if (c >= 'A' && c <= 'F') return Digit{static_cast<std::uint8_t>(c - 'A' + 10), true};
  if (c >= 'a' && c <= 'f') return Digit{static_cast<std::uint8_t>(c - 'a' + 10), false, true};
  return std::nullopt;
}

std::uint64_t halfAt(const std::array<std::uint8_t, 16>& bytes, std::size_t offset) {
  std::uint64_t half = 0;
  std::memcpy(&half, bytes.data() + offset, sizeof half);
  return half;
}

}  // namespace

AssetUuid::AssetUuid(std::string_view text) {
  bool upper = false;
  bool lower = false;
  bool usual = text.size() == kTextLength;
  std::size_t nibble = 0;
  for (std::size_t at = 0; usual && at < text.size(); ++at) {
    if (isDash(at)) {
      usual = text[at] == '-';
      continue;
    }
    const auto digit = digitOf(text[at]);
    if (!digit) {
      usual = false;
      break;
    }
    upper = upper || digit->upper;
    lower = lower || digit->lower;
    auto& byte = bytes_[nibble / 2];
    byte = static_cast<std::uint8_t>(nibble % 2 == 0 ? digit->value << 4 : byte | digit->value);
    ++nibble;
  }
  if (usual && !(upper && lower)) {
    // Digits alone read the same in either case.
    form_ = lower ? Form::lowerCase : Form::upperCase;
    return;
  }
  bytes_ = {};
  form_ = Form::asGiven;
  given_ = std::make_unique<std::string>(text);
}

AssetUuid::AssetUuid(const AssetUuid& other)
    : bytes_(other.bytes_),
      form_(other.form_),
      given_(other.given_ ? std::make_unique<std::string>(*other.given_) : nullptr) {}

AssetUuid& AssetUuid::operator=(const AssetUuid& other) {
  if (this != &other) *this = AssetUuid(other);
  return *this;
}

std::string_view AssetUuid::given() const noexcept {
  return given_ ? std::string_view(*given_) : std::string_view();
}

std::string AssetUuid::text() const {
  if (form_ == Form::asGiven) return std::string(given());
  const char* digits = form_ == Form::upperCase ? kUpperDigits : kLowerDigits;
  std::string text;
  text.reserve(kTextLength);
  for (std::size_t at = 0; at < bytes_.size(); ++at) {
    if (isDash(text.size())) text += '-';
    text += digits[bytes_[at] >> 4];
    text += digits[bytes_[at] & 0x0F];
  }
  return text;
}

std::optional<AssetUuid> AssetUuid::inUpperCase() const {
  if (form_ == Form::asGiven) return std::nullopt;
  auto upper = *this;
  upper.form_ = Form::upperCase;
  return upper;
}

bool AssetUuid::operator==(const AssetUuid& other) const noexcept {
  if (form_ != other.form_) return false;
  if (form_ != Form::asGiven) return bytes_ == other.bytes_;
  return given() == other.given();
}

std::size_t AssetUuid::Hash::operator()(const AssetUuid& uuid) const noexcept {
  if (uuid.form_ == Form::asGiven) return std::hash<std::string_view>{}(uuid.given());
  // Most UUIDs are random, but a library may number them: both halves are mixed in.
  std::uint64_t hash = halfAt(uuid.bytes_, 0) * 0x9E3779B97F4A7C15ULL;
  hash ^= halfAt(uuid.bytes_, 8) + static_cast<std::uint64_t>(uuid.form_);
  hash *= 0xD6E8FEB86659FD93ULL;
  return static_cast<std::size_t>(hash ^ (hash >> 32));
}

std::ostream& operator<<(std::ostream& out, const AssetUuid& uuid) {
  return out << uuid.text();
}

}  // namespace lumenfolio
