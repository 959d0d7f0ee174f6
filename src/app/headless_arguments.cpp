#include "app/headless_arguments.hpp"

#include <algorithm>
#include <map>
#include <set>

namespace lumenfolio {

namespace {

using Command = HeadlessArguments::Command;

const std::map<std::string_view, Command> kCommands = {
    {"export", Command::exportNow},  {"watch", Command::watch}, {"status", Command::status},
    {"help", Command::help},         {"--help", Command::help}, {"-h", Command::help},
    {"--version", Command::version},
};

// The options each command accepts.
std::set<std::string_view> optionsOf(Command command) {
  switch (command) {
    case Command::exportNow:
      return {"--library", "--folder"};
    case Command::watch:
    case Command::status:
      return {"--library"};
    case Command::help:
    case Command::version:
      break;
  }
  return {};
}

std::string_view nameOf(Command command) {
  for (const auto& [name, known] : kCommands) {
    if (known == command && !name.starts_with("-")) return name;
  }
  return "--version";
}

bool asksForHelp(const std::vector<std::string>& arguments) {
  return std::any_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
    return argument == "--help" || argument == "-h";
  });
}

}  // namespace

HeadlessArguments HeadlessArguments::parse(const std::vector<std::string>& arguments) {
  HeadlessArguments parsed;
  if (arguments.empty() || asksForHelp(arguments)) return parsed;

  const auto command = kCommands.find(arguments.front());
  if (command == kCommands.end()) throw UsageError("unknown command '" + arguments.front() + "'");
  parsed.command = command->second;

  const auto accepted = optionsOf(parsed.command);
  for (std::size_t index = 1; index < arguments.size(); ++index) {
    std::string name = arguments[index];
    std::optional<std::string> value;
    if (const auto equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    if (!accepted.contains(name)) {
      throw UsageError("'" + std::string(nameOf(parsed.command)) + "' does not take '" + name +
                       "'");
    }
    if (!value) {
      if (index + 1 == arguments.size()) throw UsageError(name + " needs a value");
      value = arguments[++index];
    }
    if (value->empty()) throw UsageError(name + " needs a value");
    (name == "--library" ? parsed.library : parsed.folder) = std::filesystem::path(*value);
  }
  return parsed;
}

std::string HeadlessArguments::usage(std::string_view programName) {
  const std::string program(programName);
  return "Usage: " + program +
         " [COMMAND [OPTIONS]]\n"
         "\n"
         "Without a command the exporter runs as a tray application.\n"
         "\n"
         "Commands:\n"
         "  export [--library PATH] [--folder DIR]\n"
         "      Export now and print each step. --folder remembers DIR as the shared\n"
         "      folder; --library reads that Photos library package for this run only.\n"
         "  watch [--library PATH]\n"
         "      Keep the shared file current without a tray: export at start when the\n"
         "      last export is over an hour old, and 300 s after library changes.\n"
         "      Stops on SIGINT or SIGTERM.\n"
         "  status [--library PATH]\n"
         "      Show the last export, the shared folder, the device identifier and\n"
         "      whether the Photos library can be read.\n"
         "  --help      Show this text.\n"
         "  --version   Show the version.\n"
         "\n"
         "Exit status: 0 on success, 1 when the export or the command failed,\n"
         "2 on bad usage.\n";
}

}  // namespace lumenfolio
