// Where the program's log lines go: one line per event, with its level. The
// core writes through this interface, so it never learns whether a line ends
// on a terminal, in the journal or in a test's list.
#pragma once

#include <string_view>

namespace lumenfolio {

enum class LogLevel { error, warning, info, debug };

class LogSink {
 public:
  virtual ~LogSink() = default;

  // May be called from any thread; a sink writes each line whole.
  virtual void write(LogLevel level, std::string_view line) = 0;

  // Drops every line: for whoever was given no sink.
  static LogSink& discard();
};

}  // namespace lumenfolio
