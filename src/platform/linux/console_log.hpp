// The log of a process without a window: progress lines on stdout, warnings,
// errors and debug lines on stderr, one line each. When stderr is the journal
// (systemd says so in JOURNAL_STREAM), each stderr line starts with the
// sd-daemon priority prefix, so `journalctl -p err` finds the errors.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "base/log_sink.hpp"

namespace lumenfolio {

class ConsoleLog final : public LogSink {
 public:
  enum class Verbosity {
    quiet,    // errors only
    normal,   // errors, warnings and progress
    verbose,  // and debug lines
  };

  struct Streams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
  };

  // `program` starts each stderr line on a terminal; the journal names the
  // program itself. `journalStream` is the value of JOURNAL_STREAM, if any.
  ConsoleLog(std::string program, Verbosity verbosity, Streams streams, const char* journalStream);
  // On the process's own stdout and stderr, with its own JOURNAL_STREAM.
  ConsoleLog(std::string program, Verbosity verbosity);

  void write(LogLevel level, std::string_view line) override;

  // A command's result: on stdout at every verbosity.
  void result(std::string_view line);
  // Keeps stdout for the result alone, as when it is one JSON object.
  void hideProgress() { showsProgress_ = false; }

  Verbosity verbosity() const { return verbosity_; }

  // True when `journalStream` ("DEVICE:INODE") names the file open as `fd`.
  static bool isJournal(int fd, const char* journalStream);

 private:
  bool shows(LogLevel level) const;
  void put(std::FILE* stream, std::string_view text);

  std::string program_;
  Verbosity verbosity_;
  Streams streams_;
  bool journal_;
  bool showsProgress_ = true;
  std::mutex mutex_;  // one line at a time, whichever thread writes it
};

}  // namespace lumenfolio
