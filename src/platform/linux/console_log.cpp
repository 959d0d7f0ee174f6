#include "platform/linux/console_log.hpp"

#include <sys/stat.h>

#include <charconv>
#include <cstdlib>
#include <string>
#include <utility>

namespace lumenfolio {

namespace {

// The sd-daemon prefixes: journald reads the line's priority from them.
std::string_view priorityPrefix(LogLevel level) {
  switch (level) {
    case LogLevel::error:
      return "<3>";
    case LogLevel::warning:
      return "<4>";
    case LogLevel::info:
      return "<6>";
    case LogLevel::debug:
      return "<7>";
  }
  return "<6>";
}

std::string_view levelName(LogLevel level) {
  switch (level) {
    case LogLevel::error:
      return "error";
    case LogLevel::warning:
      return "warning";
    case LogLevel::info:
      return "info";
    case LogLevel::debug:
      return "debug";
  }
  return "info";
}

template <typename Number>
bool parseNumber(std::string_view text, Number& number) {
  const auto* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, number);
  return error == std::errc() && stop == end && !text.empty();
}

}  // namespace

ConsoleLog::ConsoleLog(std::string program, Verbosity verbosity, Streams streams,
                       const char* journalStream)
    : program_(std::move(program)),
      verbosity_(verbosity),
      streams_(streams),
      journal_(isJournal(::fileno(streams.err), journalStream)) {}

ConsoleLog::ConsoleLog(std::string program, Verbosity verbosity)
    : ConsoleLog(std::move(program), verbosity, Streams{}, std::getenv("JOURNAL_STREAM")) {}

void ConsoleLog::write(LogLevel level, std::string_view line) {
  if (!shows(level)) return;
  if (level == LogLevel::info) {
    put(streams_.out, line);
    return;
  }
  std::string text(journal_ ? priorityPrefix(level) : program_ + ": ");
  text += levelName(level);
  text += ": ";
  text += line;
  put(streams_.err, text);
}

void ConsoleLog::result(std::string_view line) {
  put(streams_.out, line);
}

bool ConsoleLog::shows(LogLevel level) const {
  switch (level) {
    case LogLevel::error:
      return true;
    case LogLevel::warning:
      return verbosity_ != Verbosity::quiet;
    case LogLevel::info:
      return verbosity_ != Verbosity::quiet && showsProgress_;
    case LogLevel::debug:
      return verbosity_ == Verbosity::verbose;
  }
  return true;
}

// Every line is flushed at once: under systemd or a pipe, stdout is fully
// buffered, and a status line that shows up minutes late is no status line.
void ConsoleLog::put(std::FILE* stream, std::string_view text) {
  const std::lock_guard lock(mutex_);
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

bool ConsoleLog::isJournal(int fd, const char* journalStream) {
  if (journalStream == nullptr || fd < 0) return false;
  const std::string_view value(journalStream);
  const auto colon = value.find(':');
  if (colon == std::string_view::npos) return false;
  dev_t device = 0;
  ino_t inode = 0;
  if (!parseNumber(value.substr(0, colon), device) ||
      !parseNumber(value.substr(colon + 1), inode)) {
    return false;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0) return false;
  return status.st_dev == device && status.st_ino == inode;
}

}  // namespace lumenfolio
