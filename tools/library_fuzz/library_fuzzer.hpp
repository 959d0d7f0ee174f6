// The mutation fuzz run: each case copies one library of the corpus, damages
// it once, exports it with the real exporter and checks what must hold for
// any library, however damaged: no crash, no hang, no sanitizer report, every
// file of the package left as it was, and no success that holds less than the
// undamaged library when SQLite's integrity check fails on the damaged one.
// Case N of a seed is always the same damage, so a failure can be redone alone.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <string>

#include "library_fuzz/shared_file_census.hpp"

namespace lumenfolio::fuzz {

class LibraryFuzzer {
 public:
  struct Options {
    std::filesystem::path exporter;  // the lumenfolio-exporter binary
    std::filesystem::path corpus;    // a folder of undamaged library packages
    std::filesystem::path work;      // an empty folder for the cases
    std::uint64_t seed = 1;
    int first = 0;  // the first case's number
    int count = 100;
    std::chrono::seconds limit{60};  // one export's time before it counts as hung
    std::set<int> skipped;           // case numbers left out, each with its reason where set
  };

  struct Summary {
    int tried = 0;
    int succeeded = 0;  // exports that ended with status 0
    int crashes = 0;
    int hangs = 0;
    int reports = 0;  // sanitizer reports
    int packageChanges = 0;
    int shrunkenSuccesses = 0;

    int faults() const { return crashes + hangs + reports + packageChanges + shrunkenSuccesses; }
    std::string describe() const;
  };

  // `log` receives one line per case and the details of every fault.
  LibraryFuzzer(Options options, std::ostream& log);

  Summary run();

 private:
  void exportUndamaged();
  void runCase(int number, Summary& summary);

  Options options_;
  std::ostream& log_;
  std::map<std::filesystem::path, SharedFileCensus> wholeCensus_;  // per corpus library
};

}  // namespace lumenfolio::fuzz
