// Bytes as hexadecimal digits, two a byte, the high half first.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace lumenfolio {

class Hex {
 public:
  static std::string lower(std::span<const std::uint8_t> bytes);
  static std::string upper(std::span<const std::uint8_t> bytes);
  // Appends the two upper-case digits of one byte.
  static void appendUpper(std::string& text, std::uint8_t byte);
};

}  // namespace lumenfolio
