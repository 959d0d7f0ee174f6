// What a headless command found, as the one JSON object "--json" prints:
// a script reads the result and the failure by name, and the paths, the
// device identifier and the last export without parsing lines.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace lumenfolio::headless {

struct HeadlessReport {
  // export: "written", "unchanged" or "failed"; status: "ready" or "failed".
  std::string result;
  std::optional<std::int64_t> count;
  std::optional<std::filesystem::path> path;  // the shared file
  std::optional<std::filesystem::path> folder;
  std::optional<std::filesystem::path> library;
  std::optional<std::string> device;
  std::optional<double> lastExport;   // seconds since 1970
  std::optional<std::string> status;  // the text the user reads
  std::optional<std::string> error;   // the failure's name, e.g. "noLibrary"

  // One line; absent values are null. The last export is written in UTC as
  // "2026-01-31T12:00:00Z".
  std::string json() const;
};

}  // namespace lumenfolio::headless
