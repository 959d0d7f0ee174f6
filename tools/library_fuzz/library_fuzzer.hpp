// The mutation fuzz run: each case copies one library of the corpus, damages
// it once, and exports it with the real exporter, as a user who exported the
// undamaged library before (with the settings that export left). It checks
// what must hold for any library, however damaged: no crash, no hang, no
// sanitizer report, every file of the package left as it was, and no success
// that holds less than the undamaged library when SQLite's integrity check
// fails on the damaged one, save where leo.sqlite stands in for a psi.sqlite
// that can't be read: that success holds the terms the library gives without
// its psi.sqlite.
// Case N of a seed is always the same damage, so a failure can be redone alone.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>

#include "library_fuzz/library_integrity.hpp"
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
  // What an undamaged corpus library exports whole, and without its
  // psi.sqlite when it has a leo.sqlite to stand in.
  struct Reference {
    SharedFileCensus whole;
    std::optional<SharedFileCensus> withoutSearchIndex;
    std::string settings;  // the settings file the whole export left
  };

  struct Exported {
    SharedFileCensus census;
    std::string settings;
  };

  void exportUndamaged();
  Exported exportedCopy(const std::filesystem::path& library, const std::string& variant,
                        bool withoutSearchIndex) const;
  void runCase(int number, Summary& summary);
  static bool isShrunken(const std::optional<SharedFileCensus>& census, const Reference& reference,
                         const LibraryIntegrity::Failures& integrityFailures);

  Options options_;
  std::ostream& log_;
  std::map<std::filesystem::path, Reference> references_;  // per corpus library
};

}  // namespace lumenfolio::fuzz
