// What the headless command prints: one flushed line at a time, the failure
// line on stderr, and the counts and dates as the lines phrase them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "sync/photo_platform.hpp"

namespace lumenfolio::headless {

inline constexpr std::string_view kProgram = "lumenfolio-exporter";

// Writes `text` and a line feed, flushed at once.
void printLine(std::FILE* stream, const std::string& text);
// Prints "lumenfolio-exporter: " + message on stderr; returns the exit status 1.
int failure(const std::string& message);
// "N photos".
std::string photos(std::int64_t count);
// A line about an export of `count` photos, saying why when there are none.
std::string withReason(std::string line, std::int64_t count, PhotoPlatform& platform);
// The moment as local time, "2026-01-31 12:00:00 +0100".
std::string localTime(double secondsSince1970);

}  // namespace lumenfolio::headless
