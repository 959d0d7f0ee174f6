#include "metadata/text_cleaning.hpp"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>

namespace lumenfolio {
namespace {

// White space and line breaks: the Unicode separators (Zs, Zl, Zp), the
// control characters tab to carriage return, and NEXT LINE.
bool isSpaceOrNewline(UChar32 c) {
  if ((c >= 0x09 && c <= 0x0D) || c == 0x85) return true;
  const auto type = u_charType(c);
  return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

bool isPlainAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isAsciiSpace(char c) {
  return (c >= 0x09 && c <= 0x0D) || c == ' ';
}

std::optional<std::string> nonEmpty(std::string text) {
  if (text.empty()) return std::nullopt;
  return text;
}

std::string_view beforeNul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

std::string_view trimmedAscii(std::string_view text) {
  while (!text.empty() && isAsciiSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isAsciiSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<std::string> cleanedUnicode(std::string_view view) {
  const auto decoded = icu::UnicodeString::fromUTF8(
      icu::StringPiece(view.data(), static_cast<int32_t>(view.size())));
  int32_t start = 0;
  int32_t end = decoded.length();
  while (start < end && isSpaceOrNewline(decoded.char32At(start))) {
    start = decoded.moveIndex32(start, 1);
  }
  while (end > start) {
    const int32_t previous = decoded.moveIndex32(end, -1);
    if (!isSpaceOrNewline(decoded.char32At(previous))) break;
    end = previous;
  }
  std::string result;
  decoded.tempSubStringBetween(start, end).toUTF8String(result);
  return nonEmpty(std::move(result));
}

}  // namespace

std::optional<std::string> cleaned(std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  const auto view = beforeNul(*text);
  // Most keys and terms are plain ASCII: trim them without a round trip through UTF-16.
  if (isPlainAscii(view)) return nonEmpty(std::string(trimmedAscii(view)));
  return cleanedUnicode(view);
}

std::optional<AssetUuid> cleanedUuid(std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  const auto view = beforeNul(*text);
  // A UUID of the usual form is read in place, without a text of its own.
  if (isPlainAscii(view)) {
    const auto trimmed = trimmedAscii(view);
    if (trimmed.empty()) return std::nullopt;
    return AssetUuid(trimmed);
  }
  auto unicode = cleanedUnicode(view);
  if (!unicode) return std::nullopt;
  return AssetUuid(*unicode);
}

}  // namespace lumenfolio
