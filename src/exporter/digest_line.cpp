#include "exporter/digest_line.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstddef>

namespace lumenfolio {

namespace {

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool isPlainInteger(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  return !text.empty() && std::all_of(text.begin(), text.end(),
                                      [](unsigned char c) { return std::isdigit(c) != 0; });
}

}  // namespace

std::string DigestLine::of(const SyncFile::Features& row) {
  std::string line;
  append(row, line);
  return line;
}

void DigestLine::append(const SyncFile::Features& row, std::string& line) {
  const auto field = [&line](std::string_view text) {
    line += text;
    line += '|';
  };
  field(row.assetID);
  field(number(row.sharpness));
  field(number(row.exposure));
  field(std::to_string(row.faces));
  field(std::to_string(row.eyesClosed));
  field(std::to_string(row.smiles));
  field(row.isScreenshot ? "true" : "false");
  field(base64(row.measures));
  field(row.terms);
  line += row.panel;
}

std::string DigestLine::number(double value) {
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  std::string text(buffer.data(), result.ptr);
  if (isPlainInteger(text)) text += ".0";
  return text;
}

std::string DigestLine::base64(const Bytes& bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t start = 0; start < bytes.size(); start += 3) {
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - start);
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 3; ++i) {
      group = (group << 8) | (i < count ? bytes[start + i] : 0U);
    }
    for (std::size_t i = 0; i < 4; ++i) {
      const bool present = i <= count;
      text += present ? kBase64Alphabet[(group >> (18 - 6 * i)) & 0x3F] : '=';
    }
  }
  return text;
}

}  // namespace lumenfolio
