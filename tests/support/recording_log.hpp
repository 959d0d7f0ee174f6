// A log sink that keeps every line it is given, with its level.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/log_sink.hpp"

namespace lumenfolio::testing {

class RecordingLog final : public LogSink {
 public:
  void write(LogLevel level, std::string_view line) override {
    const std::lock_guard lock(mutex_);
    lines_.emplace_back(level, std::string(line));
  }

  std::vector<std::pair<LogLevel, std::string>> lines() const {
    const std::lock_guard lock(mutex_);
    return lines_;
  }

  // The lines of one level, in order.
  std::vector<std::string> at(LogLevel level) const {
    std::vector<std::string> found;
    for (const auto& [lineLevel, line] : lines()) {
      if (lineLevel == level) found.push_back(line);
    }
    return found;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<LogLevel, std::string>> lines_;
};

}  // namespace lumenfolio::testing
