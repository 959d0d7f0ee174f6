#include "app/headless_report.hpp"

#include <nlohmann/json.hpp>

#include "app/headless_output.hpp"

namespace lumenfolio::headless {

namespace {

template <typename T>
nlohmann::json orNull(const std::optional<T>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

nlohmann::json orNull(const std::optional<std::filesystem::path>& path) {
  return path ? nlohmann::json(path->string()) : nlohmann::json(nullptr);
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
