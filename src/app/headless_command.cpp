#include "app/headless_command.hpp"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/headless_arguments.hpp"
#include "app/headless_export.hpp"
#include "app/headless_output.hpp"
#include "app/headless_status.hpp"
#include "app/headless_watch.hpp"

namespace lumenfolio {

using headless::failure;
using headless::kProgram;
using headless::printLine;

namespace {

// A library given on the command line must be there: the store would otherwise
// report that none was found in the Pictures folder, which misleads.
std::optional<std::string> checkLibrary(const HeadlessArguments& arguments) {
  if (arguments.library && !std::filesystem::is_directory(*arguments.library)) {
    return "no Photos library package at " + arguments.library->string();
  }
  return std::nullopt;
}

// Export, watch and status; help and version run without the library.
bool isCommand(HeadlessArguments::Command command) {
  return command != HeadlessArguments::Command::help &&
         command != HeadlessArguments::Command::version;
}

std::vector<std::string> argumentsOf(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int index = 1; index < argc; ++index) arguments.emplace_back(argv[index]);
  return arguments;
}

}  // namespace

int HeadlessCommand::run(int argc, char** argv) {
  HeadlessArguments arguments;
  try {
    arguments = HeadlessArguments::parse(argumentsOf(argc, argv));
    // Absolute from here on, so every line the command prints names it in full.
    if (arguments.library) arguments.library = std::filesystem::absolute(*arguments.library);
  } catch (const HeadlessArguments::UsageError& error) {
    printLine(stderr, std::string(kProgram) + ": " + error.what());
    std::fputs(HeadlessArguments::usage(kProgram).c_str(), stderr);
    return 2;
  }

  try {
    if (isCommand(arguments.command)) {
      if (auto problem = checkLibrary(arguments)) return failure(*problem);
    }
    switch (arguments.command) {
      case HeadlessArguments::Command::help:
        std::fputs(HeadlessArguments::usage(kProgram).c_str(), stdout);
        return 0;
      case HeadlessArguments::Command::version:
        printLine(stdout, std::string(kProgram) + " " + LUMENFOLIO_VERSION);
        return 0;
      case HeadlessArguments::Command::exportNow:
        return headless::exportNow(arguments);
      case HeadlessArguments::Command::watch:
        return headless::watch(arguments);
      case HeadlessArguments::Command::status:
        return headless::status(arguments);
    }
  } catch (const std::exception& error) {
    return failure(error.what());
  }
  return 1;
}

}  // namespace lumenfolio
