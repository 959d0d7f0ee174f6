// The command line of a developer tool, read option by option: each option
// takes the argument after it as its value, numbers are whole and in range,
// and a mistake becomes a UsageError for the tool to print with its usage.
#pragma once

#include <charconv>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace lumenfolio::tools {

// A mistake in a tool's command line; the message names the argument at fault.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ToolArguments {
 public:
  ToolArguments(int argc, char** argv) : argc_(argc), argv_(argv) {}

  bool done() const { return next_ >= argc_; }
  std::string_view next() { return argv_[next_++]; }
  // The argument after `option`; a usage error when `option` came last.
  std::string_view valueOf(std::string_view option);

  // `text` as a whole number of at least `least`, or a usage error naming `option`.
  template <typename Number>
  static Number number(std::string_view option, std::string_view text,
                       Number least = std::numeric_limits<Number>::lowest()) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < least) {
      throw UsageError(std::string(option) + " needs a number, not \"" + std::string(text) + "\"");
    }
    return value;
  }

  // Prints the tool's mistake and its usage on stderr; returns the exit status 2.
  static int usageFailure(std::string_view program, const UsageError& error,
                          std::string_view usage);

 private:
  int argc_;
  char** argv_;
  int next_ = 1;
};

}  // namespace lumenfolio::tools
