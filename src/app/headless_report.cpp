#include "app/headless_report.hpp"

#include <ctime>
#include <nlohmann/json.hpp>

namespace lumenfolio::headless {

namespace {

template <typename T>
nlohmann::json orNull(const std::optional<T>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

nlohmann::json orNull(const std::optional<std::filesystem::path>& path) {
  return path ? nlohmann::json(path->string()) : nlohmann::json(nullptr);
}

std::string utcTime(double secondsSince1970) {
  const auto seconds = static_cast<std::time_t>(secondsSince1970);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

}  // namespace

std::string HeadlessReport::json() const {
  const nlohmann::json object = {
      {"result", result},
      {"count", orNull(count)},
      {"path", orNull(path)},
      {"folder", orNull(folder)},
      {"library", orNull(library)},
      {"device", orNull(device)},
      {"lastExport", lastExport ? nlohmann::json(utcTime(*lastExport)) : nlohmann::json(nullptr)},
      {"status", orNull(status)},
      {"error", orNull(error)},
  };
  // Paths are bytes on Linux; one that is not UTF-8 is written with U+FFFD
  // rather than failing the whole report.
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace lumenfolio::headless
