#include "app/headless_output.hpp"

#include <ctime>

#include "sync/cloud_identity.hpp"

namespace lumenfolio::headless {

namespace {

// Why an export found nothing to share, told from the photo platform's side.
std::string whyNoPhotos(PhotoPlatform& platform) {
  const auto images = platform.fetchImageAssetIdentifiers();
  if (images.empty()) return "the library holds no images";
  const auto mapped = CloudIdentity::cloudIDs(images, platform).size();
  const auto count = std::to_string(images.size());
  if (mapped == 0) return "none of the library's " + count + " images has an iCloud identifier";
  return "none of the library's " + std::to_string(mapped) +
         " images with an iCloud identifier has data in the library databases";
}

using BrokenDownTime = std::tm* (*)(const std::time_t*, std::tm*);

std::string formatted(double secondsSince1970, BrokenDownTime brokenDown, const char* format) {
  const auto seconds = static_cast<std::time_t>(secondsSince1970);
  std::tm parts{};
  brokenDown(&seconds, &parts);
  char text[64];
  std::strftime(text, sizeof text, format, &parts);
  return text;
}

}  // namespace

int failure(LogSink& log, ExitStatus status, const std::string& message) {
  log.write(LogLevel::error, message);
  return code(status);
}

std::string photos(std::int64_t count) {
  return std::to_string(count) + " photos";
}

std::string withReason(std::string line, std::int64_t count, PhotoPlatform& platform) {
  if (count == 0) line += " (" + whyNoPhotos(platform) + ")";
  return line;
}

std::string localTime(double secondsSince1970) {
  return formatted(secondsSince1970, localtime_r, "%Y-%m-%d %H:%M:%S %z");
}

std::string utcTime(double secondsSince1970) {
  return formatted(secondsSince1970, gmtime_r, "%Y-%m-%dT%H:%M:%SZ");
}

}  // namespace lumenfolio::headless
