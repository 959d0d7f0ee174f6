// The headless command's arguments: which command, and the library and folder
// it was given. Parsing is kept apart from running so bad usage is caught
// before anything touches the preferences or the library.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lumenfolio {

struct HeadlessArguments {
  enum class Command { help, version, exportNow, watch, status };

  // A command or option the program does not know, or an option without its value.
  class UsageError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };

  Command command = Command::help;
  std::optional<std::filesystem::path> library;
  std::optional<std::filesystem::path> folder;

  // `arguments` excludes the program name. Options take their value as the next
  // argument or after "=". "--help" anywhere asks for help.
  static HeadlessArguments parse(const std::vector<std::string>& arguments);

  static std::string usage(std::string_view programName);
};

}  // namespace lumenfolio
