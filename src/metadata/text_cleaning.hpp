// The one rule for every key and text read from the library databases.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/asset_uuid.hpp"

namespace lumenfolio {

// Cuts the text at its first NUL, decodes it as UTF-8 (an invalid sequence
// becomes U+FFFD) and trims white space and line breaks from both ends. A NULL
// column (nothing) and a text that is empty afterwards both give nothing.
std::optional<std::string> cleaned(std::optional<std::string_view> text);

// The asset UUID a cleaned text names, read without a copy of the text when
// it is plain ASCII.
std::optional<AssetUuid> cleanedUuid(std::optional<std::string_view> text);

}  // namespace lumenfolio
