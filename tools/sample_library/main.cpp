// lumenfolio-sample-library OUT_DIR [--assets N] [--seed S] [--side-files live|none|wal-only]
//                           [--schema macos10.15|macos12|macos14|current]
#include <array>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "sample_library/sample_library.hpp"
#include "tool_arguments/tool_arguments.hpp"

namespace {

using lumenfolio::sample::SampleLibrary;
using lumenfolio::tools::ToolArguments;
using lumenfolio::tools::UsageError;

constexpr int maximumAssets = 10'000'000;

const char* const usage =
    "usage: lumenfolio-sample-library OUT_DIR [--assets N] [--seed S]"
    " [--side-files live|none|wal-only]\n"
    "                                [--schema macos10.15|macos12|macos14|current]\n"
    "Writes a synthetic Photos library package at OUT_DIR.\n"
    "  --assets N       number of assets, 0 to 10000000 (default 1000)\n"
    "  --seed S         unsigned 64-bit seed; the same seed writes the same rows (default 1)\n"
    "  --side-files     live: recent rows only in a \"-wal\", with a \"-shm\" (default)\n"
    "                   none: everything in the main files, no side files\n"
    "                   wal-only: recent rows only in a \"-wal\", no \"-shm\"\n"
    "  --schema         whose Photos.sqlite layout to write, with the same assets (default "
    "current)\n"
    "                   macos10.15: ZGENERICASSET, ZKINDSUBTYPE, faces on ZDETECTEDFACE.ZASSET\n"
    "                   macos12:    ZASSET, ZKINDSUBTYPE, faces on ZDETECTEDFACE.ZASSET\n"
    "                   macos14:    ZASSET, ZKINDSUBTYPE, faces on ZDETECTEDFACE.ZASSETFORFACE\n"
    "                   current:    ZASSET, ZISDETECTEDSCREENSHOT, faces on ZASSETFORFACE\n";

SampleLibrary::SideFiles sideFilesNamed(std::string_view name) {
  if (name == "live") return SampleLibrary::SideFiles::live;
  if (name == "none") return SampleLibrary::SideFiles::none;
  if (name == "wal-only") return SampleLibrary::SideFiles::walWithoutShm;
  throw UsageError("--side-files takes live, none or wal-only, not \"" + std::string(name) + "\"");
}

std::string_view sideFilesName(SampleLibrary::SideFiles sideFiles) {
  switch (sideFiles) {
    case SampleLibrary::SideFiles::live:
      return "live";
    case SampleLibrary::SideFiles::none:
      return "none";
    case SampleLibrary::SideFiles::walWithoutShm:
      return "wal-only";
  }
  return {};
}

// The option's names, in the order of SampleLibrary::Schema.
constexpr std::array<std::pair<std::string_view, SampleLibrary::Schema>, 4> schemaNames = {{
    {"macos10.15", SampleLibrary::Schema::macos10_15},
    {"macos12", SampleLibrary::Schema::macos12},
    {"macos14", SampleLibrary::Schema::macos14},
    {"current", SampleLibrary::Schema::current},
}};

SampleLibrary::Schema schemaNamed(std::string_view name) {
  for (const auto& [known, schema] : schemaNames) {
    if (name == known) return schema;
  }
  throw UsageError("--schema takes macos10.15, macos12, macos14 or current, not \"" +
                   std::string(name) + "\"");
}

std::string_view schemaName(SampleLibrary::Schema schema) {
  for (const auto& [name, known] : schemaNames) {
    if (schema == known) return name;
  }
  return {};
}

struct Arguments {
  std::string package;
  SampleLibrary::Options options;
};

Arguments parsedArguments(ToolArguments commandLine) {
  Arguments arguments;
  std::optional<std::string> package;
  while (!commandLine.done()) {
    const std::string_view argument = commandLine.next();
    if (argument.starts_with("--")) {
      const std::string_view value = commandLine.valueOf(argument);
      if (argument == "--assets") {
        arguments.options.assets = ToolArguments::number<int>(argument, value);
        if (arguments.options.assets < 0 || arguments.options.assets > maximumAssets) {
          throw UsageError("--assets must lie between 0 and 10000000");
        }
      } else if (argument == "--seed") {
        arguments.options.seed = ToolArguments::number<std::uint64_t>(argument, value);
      } else if (argument == "--side-files") {
        arguments.options.sideFiles = sideFilesNamed(value);
      } else if (argument == "--schema") {
        arguments.options.schema = schemaNamed(value);
      } else {
        throw UsageError("unknown option " + std::string(argument));
      }
    } else if (package) {
      throw UsageError("only one OUT_DIR, please (also got \"" + std::string(argument) + "\")");
    } else if (argument.empty()) {
      throw UsageError("OUT_DIR is empty");
    } else {
      package = std::string(argument);
    }
  }
  if (!package) throw UsageError("OUT_DIR is missing");
  arguments.package = *package;
  return arguments;
}

void report(const Arguments& arguments, const SampleLibrary::Summary& summary) {
  std::cout << "Wrote " << arguments.package << " (seed " << arguments.options.seed
            << ", side files " << sideFilesName(arguments.options.sideFiles) << ", schema "
            << schemaName(arguments.options.schema) << ")\n"
            << "  assets:                     " << summary.assets << '\n'
            << "  listed images:              " << summary.images << '\n'
            << "  listed images with a GUID:  " << summary.imagesWithCloudID << '\n'
            << "  analysed assets:            " << summary.analysed << '\n'
            << "  detected faces:             " << summary.faces << '\n'
            << "  search term links (psi):    " << summary.psiTerms << '\n'
            << "  lexemes (leo):              " << summary.lexemes << '\n'
            << "  items (leo):                " << summary.items << '\n'
            << "  recent assets (after the last checkpoint): " << summary.recentAssets << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::cout << usage;
      return 0;
    }
  }
  Arguments arguments;
  try {
    arguments = parsedArguments(ToolArguments(argc, argv));
  } catch (const UsageError& error) {
    return ToolArguments::usageFailure("lumenfolio-sample-library", error, usage);
  }
  try {
    report(arguments, SampleLibrary::write(arguments.package, arguments.options));
  } catch (const std::exception& error) {
    std::cerr << "lumenfolio-sample-library: cannot write the sample library: " << error.what()
              << '\n';
    return 1;
  }
  return 0;
}
