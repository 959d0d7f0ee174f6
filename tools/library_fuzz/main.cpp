// lumenfolio-library-fuzz --exporter BIN --corpus DIR [--seed S] [--first N] [--count N]
//                         [--limit SECONDS] [--work DIR]
#include <stdlib.h>

#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

#include "library_fuzz/library_fuzzer.hpp"
#include "tool_arguments/tool_arguments.hpp"

namespace {

using lumenfolio::fuzz::LibraryFuzzer;
using lumenfolio::tools::ToolArguments;
using lumenfolio::tools::UsageError;

const char* const usage =
    "usage: lumenfolio-library-fuzz --exporter BIN --corpus DIR [--seed S] [--first N]"
    " [--count N] [--limit SECONDS] [--work DIR]\n"
    "Damages copies of the libraries in DIR and exports each with the exporter BIN.\n"
    "  --seed S       the run's seed; case N of a seed is always the same damage (default 1)\n"
    "  --first N      the first case's number (default 0)\n"
    "  --count N      how many cases (default 100)\n"
    "  --limit S      seconds before an export counts as hung (default 60)\n"
    "  --work DIR     where the cases are made and failing ones kept (default: a new\n"
    "                 folder under $TMPDIR, removed when no case failed)\n"
    "Exits with 0 when no case crashed, hung, gave a sanitizer report, changed its package\n"
    "or exported less than the undamaged library from a library failing SQLite's integrity\n"
    "check; with 1 otherwise, and with 2 on bad usage.\n";

LibraryFuzzer::Options parsedOptions(ToolArguments arguments) {
  LibraryFuzzer::Options options;
  while (!arguments.done()) {
    const std::string_view option = arguments.next();
    const std::string_view value = arguments.valueOf(option);
    if (option == "--exporter") {
      options.exporter = value;
    } else if (option == "--corpus") {
      options.corpus = value;
    } else if (option == "--work") {
      options.work = value;
    } else if (option == "--seed") {
      options.seed = ToolArguments::number<std::uint64_t>(option, value);
    } else if (option == "--first") {
      options.first = ToolArguments::number(option, value, 0);
    } else if (option == "--count") {
      options.count = ToolArguments::number(option, value, 0);
    } else if (option == "--limit") {
      options.limit = std::chrono::seconds(ToolArguments::number(option, value, 0));
    } else {
      throw UsageError("unknown option " + std::string(option));
    }
  }
  if (options.exporter.empty() || options.corpus.empty()) {
    throw UsageError("--exporter and --corpus are needed");
  }
  return options;
}

std::filesystem::path newWorkFolder() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "lumenfolio-library-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make " + pattern);
  return pattern;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    std::cout << usage;
    return 0;
  }
  try {
    auto options = parsedOptions(ToolArguments(argc, argv));
    const bool ownWork = options.work.empty();
    if (ownWork) options.work = newWorkFolder();
    const auto summary = LibraryFuzzer(options, std::cout).run();
    if (summary.faults() > 0) {
      std::cout << "Failing cases are kept in " << options.work.string() << '\n';
      return 1;
    }
    if (ownWork) std::filesystem::remove_all(options.work);
    return 0;
  } catch (const UsageError& error) {
    return ToolArguments::usageFailure("lumenfolio-library-fuzz", error, usage);
  } catch (const std::exception& error) {
    std::cerr << "lumenfolio-library-fuzz: " << error.what() << '\n';
    return 1;
  }
}
