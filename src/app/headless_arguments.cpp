#include "app/headless_arguments.hpp"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <algorithm>
#include <map>
#include <set>

namespace lumenfolio {

namespace {

using Command = HeadlessArguments::Command;

const std::map<std::string_view, Command> kCommands = {
    {"export", Command::exportNow},
    {"watch", Command::watch},
    {"status", Command::status},
    {"help", Command::help},
};

// The options each command takes besides --verbose and --quiet.
std::set<std::string_view> optionsOf(Command command) {
  switch (command) {
    case Command::exportNow:
      return {"library", "folder", "json"};
    case Command::status:
      return {"library", "json"};
    case Command::watch:
      return {"library"};
    case Command::help:
    case Command::version:
      break;
  }
  return {};
}

bool asksForHelp(const std::vector<std::string>& arguments) {
  return std::any_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
    return argument == "--help" || argument == "-h";
  });
}

QString text(std::string_view value) {
  return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

std::string text(const QString& value) {
  return value.toStdString();
}

// The parser of every option any command takes; each command's own set is
// checked afterwards, so a misplaced option is named as such.
class Parser {
 public:
  Parser() {
    // No short names for the valued options: "-l" or "-f" are easy to mistype
    // into something that parses.
    parser_.addOption(QCommandLineOption(QStringList{"library"}, {}, "PATH"));
    parser_.addOption(QCommandLineOption(QStringList{"folder"}, {}, "DIR"));
    parser_.addOption(QCommandLineOption(QStringList{"json"}));
    parser_.addOption(QCommandLineOption(QStringList{"v", "verbose"}));
    parser_.addOption(QCommandLineOption(QStringList{"q", "quiet"}));
    parser_.addOption(QCommandLineOption(QStringList{"version"}));
    parser_.addPositionalArgument("command", {});
  }

  void parse(const std::vector<std::string>& arguments) {
    QStringList list{"lumenfolio-exporter"};
    for (const auto& argument : arguments) list.append(text(argument));
    if (!parser_.parse(list)) throw HeadlessArguments::UsageError(text(parser_.errorText()));
  }

  bool isSet(std::string_view name) const { return parser_.isSet(text(name)); }
  // The option's value; "--folder=" counts as no value.
  std::filesystem::path path(std::string_view name) const {
    const auto values = parser_.values(text(name));
    if (values.size() > 1) {
      throw HeadlessArguments::UsageError("--" + std::string(name) + " is given more than once");
    }
    if (values.front().isEmpty()) {
      throw HeadlessArguments::UsageError("--" + std::string(name) + " needs a value");
    }
    return std::filesystem::path(text(values.front()));
  }
  QStringList positional() const { return parser_.positionalArguments(); }
  // Every option given, by its long name.
  std::vector<std::string> given() const {
    std::vector<std::string> names;
    for (const auto& name : parser_.optionNames()) {
      if (name.size() == 1) continue;  // the short name of -v or -q
      names.push_back(text(name));
    }
    return names;
  }

 private:
  QCommandLineParser parser_;
};

Command commandOf(const Parser& parser) {
  const auto positional = parser.positional();
  if (parser.isSet("version")) {
    if (!positional.isEmpty()) throw HeadlessArguments::UsageError("--version takes no command");
    return Command::version;
  }
  if (positional.isEmpty()) throw HeadlessArguments::UsageError("no command given");
  if (positional.size() > 1) {
    throw HeadlessArguments::UsageError("unexpected argument '" + text(positional[1]) + "'");
  }
  const auto found = kCommands.find(text(positional.front()));
  if (found == kCommands.end()) {
    throw HeadlessArguments::UsageError("unknown command '" + text(positional.front()) + "'");
  }
  return found->second;
}

std::string nameOf(Command command) {
  for (const auto& [name, known] : kCommands) {
    if (known == command) return std::string(name);
  }
  return "--version";
}

void checkOptions(const Parser& parser, Command command) {
  const auto accepted = optionsOf(command);
  for (const auto& name : parser.given()) {
    if (name == "verbose" || name == "quiet" || name == "version") continue;
    if (!accepted.contains(name)) {
      throw HeadlessArguments::UsageError("'" + nameOf(command) + "' does not take '--" + name +
                                          "'");
    }
  }
  if (parser.isSet("verbose") && parser.isSet("quiet")) {
    throw HeadlessArguments::UsageError("--verbose and --quiet contradict each other");
  }
}

}  // namespace

HeadlessArguments HeadlessArguments::parse(const std::vector<std::string>& arguments) {
  HeadlessArguments parsed;
  if (arguments.empty() || asksForHelp(arguments)) return parsed;

  Parser parser;
  parser.parse(arguments);
  parsed.command = commandOf(parser);
  checkOptions(parser, parsed.command);
  if (parser.isSet("library")) parsed.library = parser.path("library");
  if (parser.isSet("folder")) parsed.folder = parser.path("folder");
  parsed.json = parser.isSet("json");
  if (parser.isSet("verbose")) parsed.verbosity = ConsoleLog::Verbosity::verbose;
  if (parser.isSet("quiet")) parsed.verbosity = ConsoleLog::Verbosity::quiet;
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
         "  export [--library PATH] [--folder DIR] [--json]\n"
         "      Export now and print each step, then a line with the photo count and\n"
         "      the shared file's path. --folder remembers DIR as the shared folder;\n"
         "      --library reads that Photos library package for this run only.\n"
         "  watch [--library PATH]\n"
         "      Keep the shared file current without a tray: export at start when the\n"
         "      last export is over an hour old, and 300 s after library changes. Waits\n"
         "      for a library that does not exist yet and for a shared folder that is\n"
         "      not mounted yet. Stops on SIGINT or SIGTERM.\n"
         "  status [--library PATH] [--json]\n"
         "      Show the last export, the shared folder, the device identifier and\n"
         "      whether the Photos library can be read.\n"
         "\n"
         "Options:\n"
         "  --json          Print one JSON object instead of lines (export, status).\n"
         "  -v, --verbose   Also print debug lines: the time each phase took.\n"
         "  -q, --quiet     Print only errors and the final line.\n"
         "  -h, --help      Show this text.\n"
         "  --version       Show the version.\n"
         "\n"
         "Status lines and the final line go to stdout; warnings and errors go to\n"
         "stderr, one line each with its cause.\n"
         "\n"
         "Exit status:\n"
         "  0  the shared file was written, or was unchanged (status: all is well)\n"
         "  1  the export failed otherwise\n"
         "  2  bad usage\n"
         "  3  no Photos library found\n"
         "  4  the Photos library can't be read\n"
         "  5  no shared folder chosen, or the folder isn't available\n"
         "  6  the shared file couldn't be written\n";
}

std::string HeadlessArguments::tryHelp(std::string_view programName) {
  return "Try '" + std::string(programName) + " --help'.";
}

}  // namespace lumenfolio
