#include "app/headless_command.hpp"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/exit_status.hpp"
#include "app/headless_arguments.hpp"
#include "app/headless_export.hpp"
#include "app/headless_output.hpp"
#include "app/headless_status.hpp"
#include "app/headless_watch.hpp"
#include "platform/linux/console_log.hpp"

namespace lumenfolio {

using headless::failure;
using headless::kProgram;

namespace {

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

// One line saying what is wrong and one saying where to read more, as other
// command-line programs do; the whole usage would bury the mistake.
int usageError(const std::string& message) {
  ConsoleLog log(std::string(kProgram), ConsoleLog::Verbosity::normal);
  log.write(LogLevel::error, message);
  std::fputs((HeadlessArguments::tryHelp(kProgram) + "\n").c_str(), stderr);
  return code(ExitStatus::usage);
}

int runCommand(const HeadlessArguments& arguments, ConsoleLog& log) {
  switch (arguments.command) {
    case HeadlessArguments::Command::help:
      std::fputs(HeadlessArguments::usage(kProgram).c_str(), stdout);
      return code(ExitStatus::success);
    case HeadlessArguments::Command::version:
      log.result(std::string(kProgram) + " " + LUMENFOLIO_VERSION);
      return code(ExitStatus::success);
    case HeadlessArguments::Command::exportNow:
      return headless::exportNow(arguments, log);
    case HeadlessArguments::Command::watch:
      return headless::watch(arguments, log);
    case HeadlessArguments::Command::status:
      return headless::status(arguments, log);
  }
  return code(ExitStatus::exportFailed);
}

}  // namespace

int HeadlessCommand::run(int argc, char** argv) {
  HeadlessArguments arguments;
  try {
    arguments = HeadlessArguments::parse(argumentsOf(argc, argv));
    // Absolute from here on, so every line the command prints names it in full.
    if (arguments.library) arguments.library = std::filesystem::absolute(*arguments.library);
  } catch (const HeadlessArguments::UsageError& error) {
    return usageError(error.what());
  }

  ConsoleLog log(std::string(kProgram), arguments.verbosity);
  if (arguments.json) log.hideProgress();
  try {
    // A library given on the command line must be there: the store would
    // otherwise report that none was found in the Pictures folder, which misleads.
    if (isCommand(arguments.command) && arguments.library &&
        !std::filesystem::is_directory(*arguments.library)) {
      return failure(log, ExitStatus::noLibrary,
                     "no Photos library package at " + arguments.library->string());
    }
    return runCommand(arguments, log);
  } catch (const std::exception& error) {
    return failure(log, ExitStatus::exportFailed, error.what());
  }
}

}  // namespace lumenfolio
