#include "exporter/digest_line.hpp"

#include <array>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace lumenfolio {

namespace {

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr char kSeparator = '|';

// The two Base64 digits of every 12-bit value: three bytes take two lookups.
constexpr auto kDigitPairs = [] {
  std::array<char, 2 * 4096> pairs{};
  for (std::size_t value = 0; value < 4096; ++value) {
    pairs[2 * value] = kBase64Alphabet[value >> 6];
    pairs[2 * value + 1] = kBase64Alphabet[value & 0x3F];
  }
  return pairs;
}();

bool isPlainInteger(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

void appendInteger(std::int32_t value, std::string& text) {
  std::array<char, 16> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  text.append(buffer.data(), result.ptr);
}

}  // namespace

std::string DigestLine::of(const SyncFile::Features& row) {
  std::string line;
  append(row, line);
  return line;
}

void DigestLine::append(const SyncFile::Features& row, std::string& line) {
  line += row.assetID;
  line += kSeparator;
  appendNumber(row.sharpness, line);
  line += kSeparator;
  appendNumber(row.exposure, line);
  line += kSeparator;
  appendInteger(row.faces, line);
  line += kSeparator;
  appendInteger(row.eyesClosed, line);
  line += kSeparator;
  appendInteger(row.smiles, line);
  line += kSeparator;
  line += row.isScreenshot ? "true" : "false";
  line += kSeparator;
  appendBase64(row.measures, line);
  line += kSeparator;
  line += row.terms;
  line += kSeparator;
  line += row.panel;
}

void DigestLine::appendNumber(double value, std::string& text) {
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  const std::string_view digits(buffer.data(),
                                static_cast<std::size_t>(result.ptr - buffer.data()));
  text += digits;
  if (isPlainInteger(digits)) text += ".0";
}

void DigestLine::appendBase64(std::span<const std::uint8_t> bytes, std::string& text) {
  const auto start = text.size();
  text.resize(start + (bytes.size() + 2) / 3 * 4);
  char* out = text.data() + start;
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t group =
        (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    std::memcpy(out, &kDigitPairs[2 * (group >> 12)], 2);
    std::memcpy(out + 2, &kDigitPairs[2 * (group & 0xFFF)], 2);
    out += 4;
  }
  const auto rest = bytes.size() - i;
  if (rest == 0) return;
  const std::uint32_t group =
      (std::uint32_t{bytes[i]} << 16) | (rest == 2 ? std::uint32_t{bytes[i + 1]} << 8 : 0U);
  *out++ = kBase64Alphabet[(group >> 18) & 0x3F];
  *out++ = kBase64Alphabet[(group >> 12) & 0x3F];
  *out++ = rest == 2 ? kBase64Alphabet[(group >> 6) & 0x3F] : '=';
  *out = '=';
}

}  // namespace lumenfolio
