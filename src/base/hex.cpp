#include "base/hex.hpp"

namespace lumenfolio {

namespace {

constexpr char kLowerDigits[] = "0123456789abcdef";
constexpr char kUpperDigits[] = "0123456789ABCDEF";

void append(std::string& text, std::uint8_t byte, const char* digits) {
  text += digits[byte >> 4];
  text += digits[byte & 0x0F];
}

std::string encoded(std::span<const std::uint8_t> bytes, const char* digits) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const auto byte : bytes) append(text, byte, digits);
  return text;
}

}  // namespace

std::string Hex::lower(std::span<const std::uint8_t> bytes) {
  return encoded(bytes, kLowerDigits);
}

std::string Hex::upper(std::span<const std::uint8_t> bytes) {
  return encoded(bytes, kUpperDigits);
}

void Hex::appendUpper(std::string& text, std::uint8_t byte) {
  append(text, byte, kUpperDigits);
}

}  // namespace lumenfolio
