// Runs the real exporter's headless export for one library into one folder,
// as a user with a home of its own, and tells how it ended. A run that takes
// longer than its limit is killed and counts as hung.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace lumenfolio::fuzz {

class ExporterRun {
 public:
  enum class End { exited, signalled, hung };

  struct Outcome {
    End end = End::exited;
    int status = 0;  // the exit status, or the signal's number
    std::string out;
    std::string err;

    bool succeeded() const { return end == End::exited && status == 0; }
    // A sanitizer report ends the program with its own status, or at least
    // leaves its banner on standard error.
    bool hasSanitizerReport() const;
    std::string describe() const;
  };

  // The status a sanitizer report ends a program with in our sanitizer builds.
  static constexpr int kSanitizerExitCode = 86;

  ExporterRun(std::filesystem::path binary, std::chrono::seconds limit)
      : binary_(std::move(binary)), limit_(limit) {}

  // Where the exporter run with `home` keeps its settings.
  static std::filesystem::path settingsFile(const std::filesystem::path& home);

  // `lumenfolio-exporter export --library PACKAGE --folder FOLDER` with its
  // home, configuration, runtime, cache and temporary folders under `home`.
  Outcome exportLibrary(const std::filesystem::path& package, const std::filesystem::path& folder,
                        const std::filesystem::path& home) const;

 private:
  std::filesystem::path binary_;
  std::chrono::seconds limit_;
};

}  // namespace lumenfolio::fuzz
