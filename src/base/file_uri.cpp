#include "base/file_uri.hpp"

#include <system_error>

#include "base/hex.hpp"

namespace lumenfolio {

namespace {

bool isUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

}  // namespace

std::string FileUri::of(const std::filesystem::path& file) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(file, error);
  if (error) absolute = file;
  std::string uri = "file://";
  for (const char byte : absolute.native()) {
    const auto c = static_cast<unsigned char>(byte);
    if (isUnreserved(c) || c == '/') {
      uri += byte;
    } else {
      uri += '%';
      Hex::appendUpper(uri, c);
    }
  }
  return uri;
}

}  // namespace lumenfolio
