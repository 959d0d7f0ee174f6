#include "metadata/unicode_text.hpp"

#include <unicode/brkiter.h>
#include <unicode/bytestream.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace lumenfolio {
namespace {

icu::StringPiece piece(std::string_view text) {
  return icu::StringPiece(text.data(), static_cast<int32_t>(text.size()));
}

icu::UnicodeString decoded(std::string_view text) {
  return icu::UnicodeString::fromUTF8(piece(text));
}

std::string encoded(const icu::UnicodeString& text) {
  std::string result;
  text.toUTF8String(result);
  return result;
}

// Each form is looked up once for the process. The guarded start of a local
// static also orders it before every use on other threads in a way race
// checkers see, which ICU's own once-only start, built without them, is not.
template <const icu::Normalizer2* (*lookUp)(UErrorCode&)>
const icu::Normalizer2& normalizer() {
  static const icu::Normalizer2* const form = [] {
    UErrorCode status = U_ZERO_ERROR;
    return lookUp(status);
  }();
  return *form;
}

const icu::Normalizer2& nfc() {
  return normalizer<&icu::Normalizer2::getNFCInstance>();
}

const icu::Normalizer2& nfd() {
  return normalizer<&icu::Normalizer2::getNFDInstance>();
}

icu::UnicodeString normalized(const icu::Normalizer2& form, const icu::UnicodeString& text) {
  UErrorCode status = U_ZERO_ERROR;
  auto result = form.normalize(text, status);
  return U_SUCCESS(status) ? result : text;
}

icu::UnicodeString withoutNonspacingMarks(const icu::UnicodeString& text) {
  icu::UnicodeString result;
  for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
    const UChar32 c = text.char32At(i);
    if (u_charType(c) != U_NON_SPACING_MARK) result.append(c);
  }
  return result;
}

template <typename Map>
std::string mappedAscii(std::string_view text, Map map) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), map);
  return result;
}

char asciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

char asciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Creating a character break iterator loads its rules; one per thread is kept.
icu::BreakIterator* characterBreaks() {
  thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> made(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) made.reset();
    return made;
  }();
  return iterator.get();
}

// Runs `visit` with a character break iterator set on `text`; false when ICU
// could not provide one.
template <typename Visit>
bool withCharacterBreaks(std::string_view text, Visit visit) {
  auto* breaks = characterBreaks();
  if (breaks == nullptr) return false;
  UErrorCode status = U_ZERO_ERROR;
  UText utf8 = UTEXT_INITIALIZER;
  utext_openUTF8(&utf8, text.data(), static_cast<int64_t>(text.size()), &status);
  if (U_SUCCESS(status)) breaks->setText(&utf8, status);
  const bool ready = U_SUCCESS(status);
  if (ready) visit(*breaks);
  utext_close(&utf8);
  return ready;
}

// The byte length of the first `count` code points of UTF-8 text.
std::size_t codePointsEnd(std::string_view text, std::size_t count) {
  std::size_t end = 0;
  for (std::size_t seen = 0; seen < count && end < text.size(); ++seen) {
    ++end;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  }
  return end;
}

}  // namespace

bool UnicodeText::isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string UnicodeText::canonicalKey(std::string_view text) {
  if (isAscii(text)) return std::string(text);
  UErrorCode status = U_ZERO_ERROR;
  if (nfc().isNormalizedUTF8(piece(text), status) && U_SUCCESS(status)) return std::string(text);
  return encoded(normalized(nfc(), decoded(text)));
}

bool UnicodeText::canonicallyEqual(std::string_view a, std::string_view b) {
  if (a == b) return true;
  if (isAscii(a) && isAscii(b)) return false;
  return canonicalKey(a) == canonicalKey(b);
}

// Foundation's folding with the case- and diacritic-insensitive options and no
// locale works one character at a time: it decomposes the character
// canonically, drops the combining marks that follow its base, then applies
// full case folding. The same steps here, in that order:
//   - NFD, then every nonspacing mark (Mn) removed: "é" and "e" + U+0301 give
//     "e"; "İ" (I with dot above) decomposes to "I" + U+0307 and loses the dot,
//     so it folds to "i" like Foundation without a Turkish locale. Spacing
//     marks (Mc) stay: they are vowel signs of Indic scripts, part of the
//     letter rather than an accent on it.
//   - full default case folding: "ß" and "ẞ" give "ss", the ligature "ﬁ" gives
//     "fi" (Foundation's case-insensitive comparison equates these too), and
//     the dotless "ı" stays as it is, since no default folding maps it.
//   - lower-casing without a locale, which only matters for the few scripts
//     whose folding lands on upper-case letters (Cherokee).
//   - NFC, so that Hangul and other recomposable text comes out in one form
//     and equal results are equal bytes.
std::string UnicodeText::folded(std::string_view text) {
  if (isAscii(text)) return mappedAscii(text, asciiLower);
  auto folding = withoutNonspacingMarks(normalized(nfd(), decoded(text)));
  folding.foldCase(U_FOLD_CASE_DEFAULT);
  folding.toLower(icu::Locale::getRoot());
  return encoded(normalized(nfc(), folding));
}

std::string UnicodeText::upper(std::string_view text) {
  if (isAscii(text)) return mappedAscii(text, asciiUpper);
  return encoded(decoded(text).toUpper(icu::Locale::getRoot()));
}

AssetUuid UnicodeText::upperUuid(const AssetUuid& uuid) {
  // Hexadecimal digits need no tables to be upper-cased.
  if (auto upperCase = uuid.inUpperCase()) return std::move(*upperCase);
  return AssetUuid(upper(uuid.text()));
}

std::string UnicodeText::lower(std::string_view text) {
  if (isAscii(text)) return mappedAscii(text, asciiLower);
  return encoded(decoded(text).toLower(icu::Locale::getRoot()));
}

std::size_t UnicodeText::graphemeCount(std::string_view text) {
  if (isAscii(text)) {
    // In ASCII only a carriage return followed by a line feed forms one character.
    std::size_t pairs = 0;
    for (auto at = text.find("\r\n"); at != std::string_view::npos;
         at = text.find("\r\n", at + 2)) {
      ++pairs;
    }
    return text.size() - pairs;
  }
  std::size_t count = 0;
  const bool counted = withCharacterBreaks(text, [&count](icu::BreakIterator& breaks) {
    breaks.first();
    while (breaks.next() != icu::BreakIterator::DONE) ++count;
  });
  // Without ICU's break data, code points are the closest count available.
  return counted ? count : static_cast<std::size_t>(decoded(text).countChar32());
}

std::string_view UnicodeText::firstCharacters(std::string_view text, std::size_t count) {
  std::size_t end = 0;
  bool walked = false;
  if (isAscii(text)) {
    // In ASCII only a carriage return followed by a line feed forms one
    // character, so a text without one is cut by bytes.
    if (text.find('\r') == std::string_view::npos) return text.substr(0, count);
    for (std::size_t seen = 0; seen < count && end < text.size(); ++seen) {
      end += text.compare(end, 2, "\r\n") == 0 ? 2 : 1;
    }
    walked = true;
  } else {
    walked = withCharacterBreaks(text, [&](icu::BreakIterator& breaks) {
      breaks.first();
      for (std::size_t seen = 0; seen < count; ++seen) {
        const auto next = breaks.next();
        if (next == icu::BreakIterator::DONE) break;
        end = static_cast<std::size_t>(next);
      }
    });
  }
  // Without ICU's break data, whole code points are the closest cut available.
  if (!walked) end = codePointsEnd(text, count);
  return text.substr(0, end);
}

bool UnicodeText::hasCharacterPrefix(std::string_view text, std::string_view prefix) {
  const auto key = canonicalKey(text);
  if (!std::string_view(key).starts_with(prefix)) return false;
  if (key.size() == prefix.size()) return true;
  bool boundary = false;
  withCharacterBreaks(key, [&](icu::BreakIterator& breaks) {
    boundary = breaks.isBoundary(static_cast<int32_t>(prefix.size()));
  });
  return boundary;
}

}  // namespace lumenfolio
