// What the headless command prints besides the log's lines: a failure of the
// command itself, and the counts and dates as the lines phrase them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/exit_status.hpp"
#include "base/log_sink.hpp"
#include "sync/photo_platform.hpp"

namespace lumenfolio::headless {

inline constexpr std::string_view kProgram = "lumenfolio-exporter";

// Logs `message` as an error; returns `status` as the process's exit status.
int failure(LogSink& log, ExitStatus status, const std::string& message);
// "N photos".
std::string photos(std::int64_t count);
// A line about an export of `count` photos, saying why when there are none.
std::string withReason(std::string line, std::int64_t count, PhotoPlatform& platform);
// The moment as local time, "2026-01-31 12:00:00 +0100".
std::string localTime(double secondsSince1970);
// The moment in UTC, "2026-01-31T12:00:00Z".
std::string utcTime(double secondsSince1970);

}  // namespace lumenfolio::headless
