// The headless command's arguments: which command, its options, and how much
// it says. Parsing is kept apart from running so bad usage is caught before
// anything touches the preferences or the library. Qt Core only: the headless
// path needs no display.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/console_log.hpp"

namespace lumenfolio {

struct HeadlessArguments {
  enum class Command { help, version, exportNow, watch, status };

  // A command or option the program does not know, an option the command does
  // not take, an option without its value, or options that contradict.
  class UsageError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };

  Command command = Command::help;
  std::optional<std::filesystem::path> library;
  std::optional<std::filesystem::path> folder;
  bool json = false;
  ConsoleLog::Verbosity verbosity = ConsoleLog::Verbosity::normal;

  // `arguments` excludes the program name. Options take their value as the
  // next argument or after "="; they may stand before or after the command.
  // "--help" anywhere asks for help.
  static HeadlessArguments parse(const std::vector<std::string>& arguments);

  // The text of --help.
  static std::string usage(std::string_view programName);
  // The line that follows a usage error: "Try 'PROGRAM --help'."
  static std::string tryHelp(std::string_view programName);
};

}  // namespace lumenfolio
