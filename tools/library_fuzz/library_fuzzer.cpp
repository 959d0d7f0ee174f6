#include "library_fuzz/library_fuzzer.hpp"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>
#include <vector>

#include "library_fuzz/exporter_run.hpp"
#include "library_fuzz/library_damage.hpp"
#include "library_fuzz/library_integrity.hpp"
#include "library_fuzz/package_snapshot.hpp"
#include "sample_library/sample_random.hpp"

namespace lumenfolio::fuzz {
namespace fs = std::filesystem;
namespace {

std::string firstLine(const std::string& text) {
  const auto end = text.find('\n');
  return text.substr(0, end);
}

constexpr const char* kSearchIndex = "database/search/psi.sqlite";
constexpr const char* kLeo = "database/search/leo.sqlite";

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += (text.empty() ? "" : "; ") + line;
  return text;
}

std::string joined(const LibraryIntegrity::Failures& failures) {
  std::vector<std::string> lines;
  for (const auto& [database, what] : failures) lines.push_back(database.string() + ": " + what);
  return joined(lines);
}

void removeWithSideFiles(const fs::path& database) {
  for (const char* suffix : {"", "-wal", "-shm"}) {
    fs::path file = database;
    file += suffix;
    fs::remove(file);
  }
}

// Each case draws from a stream of its own, so case N is the same whether it
// runs alone or after others.
sample::SampleRandom randomFor(std::uint64_t seed, int number) {
  const auto mixedIn = static_cast<std::uint64_t>(number) * 0xD1B54A32D192ED03ULL;
  return sample::SampleRandom(sample::SampleRandom(seed ^ mixedIn).next());
}

}  // namespace

std::string LibraryFuzzer::Summary::describe() const {
  return "Damaged libraries tried: " + std::to_string(tried) + " (" + std::to_string(succeeded) +
         " exported); crashes: " + std::to_string(crashes) + ", hangs: " + std::to_string(hangs) +
         ", sanitizer reports: " + std::to_string(reports) +
         ", package changes: " + std::to_string(packageChanges) +
         ", shrunken successes: " + std::to_string(shrunkenSuccesses);
}

LibraryFuzzer::LibraryFuzzer(Options options, std::ostream& log)
    : options_(std::move(options)), log_(log) {
  for (const auto& entry : fs::directory_iterator(options_.corpus)) {
    if (entry.path().extension() == ".photoslibrary") references_[entry.path()] = {};
  }
  if (references_.empty()) {
    throw std::runtime_error("no library packages in " + options_.corpus.string());
  }
}

LibraryFuzzer::Summary LibraryFuzzer::run() {
  exportUndamaged();
  Summary summary;
  for (int number = options_.first; number < options_.first + options_.count; ++number) {
    runCase(number, summary);
  }
  log_ << summary.describe() << std::endl;
  return summary;
}

// What each corpus library gives undamaged is the measure of a damaged success.
void LibraryFuzzer::exportUndamaged() {
  for (auto& [library, reference] : references_) {
    auto whole = exportedCopy(library, "undamaged", false);
    reference.whole = whole.census;
    reference.settings = std::move(whole.settings);
    if (fs::exists(library / kSearchIndex) && fs::exists(library / kLeo)) {
      reference.withoutSearchIndex = exportedCopy(library, "without-psi", true).census;
    }
  }
}

LibraryFuzzer::Exported LibraryFuzzer::exportedCopy(const fs::path& library,
                                                    const std::string& variant,
                                                    bool withoutSearchIndex) const {
  const auto dir = options_.work / (variant + "-" + library.stem().string());
  const auto package = dir / library.filename();
  fs::create_directories(package);
  fs::copy(library, package, fs::copy_options::recursive);
  if (withoutSearchIndex) removeWithSideFiles(package / kSearchIndex);
  const auto outcome = ExporterRun(options_.exporter, options_.limit)
                           .exportLibrary(package, dir / "shared", dir / "home");
  const auto found = SharedFileCensus::inFolder(dir / "shared");
  if (!outcome.succeeded() || !found) {
    throw std::runtime_error("the " + variant + " " + library.filename().string() +
                             " does not export: " + outcome.describe() + "\n" + outcome.err);
  }
  log_ << library.filename().string() << " " << variant << ": " << found->describe() << std::endl;
  std::ifstream settingsFile(ExporterRun::settingsFile(dir / "home"), std::ios::binary);
  std::string settings((std::istreambuf_iterator<char>(settingsFile)),
                       std::istreambuf_iterator<char>());
  fs::remove_all(dir);
  return {*found, std::move(settings)};
}

// Less than the whole library is a fault of a damaged library's success,
// unless it is exactly leo.sqlite standing in for a psi.sqlite that fails.
bool LibraryFuzzer::isShrunken(const std::optional<SharedFileCensus>& census,
                               const Reference& reference,
                               const LibraryIntegrity::Failures& integrityFailures) {
  if (integrityFailures.empty()) return false;
  if (!census) return true;
  if (!census->holdsLessThan(reference.whole)) return false;
  const bool searchIndexFails = integrityFailures.contains(kSearchIndex);
  return !(searchIndexFails && reference.withoutSearchIndex &&
           census->holdsSearchFallbackOf(reference.whole, *reference.withoutSearchIndex));
}

void LibraryFuzzer::runCase(int number, Summary& summary) {
  auto random = randomFor(options_.seed, number);
  std::vector<fs::path> libraries;
  for (const auto& [library, reference] : references_) libraries.push_back(library);
  const auto& library = random.pick(libraries);
  const auto dir = options_.work / ("case-" + std::to_string(number));
  const auto package = dir / library.filename();
  fs::create_directories(package);
  fs::copy(library, package, fs::copy_options::recursive);

  const auto damage = LibraryDamage::applyTo(package, random);
  const auto before = PackageSnapshot::of(package);
  const auto integrityFailures = LibraryIntegrity::failures(package, dir / "check");
  const auto settings = ExporterRun::settingsFile(dir / "home");
  fs::create_directories(settings.parent_path());
  std::ofstream(settings, std::ios::binary) << references_.at(library).settings;
  const auto outcome = ExporterRun(options_.exporter, options_.limit)
                           .exportLibrary(package, dir / "shared", dir / "home");
  const auto changes = before.differencesIn(PackageSnapshot::of(package));

  ++summary.tried;
  std::vector<std::string> faults;
  const auto fault = [&](bool found, int& counter, const std::string& what) {
    if (!found) return;
    ++counter;
    faults.push_back(what);
  };
  fault(outcome.end == ExporterRun::End::signalled, summary.crashes, "crash");
  fault(outcome.end == ExporterRun::End::hung, summary.hangs, "hang");
  fault(outcome.hasSanitizerReport(), summary.reports, "sanitizer report");
  fault(!changes.empty(), summary.packageChanges, "package changed");
  if (outcome.succeeded()) {
    ++summary.succeeded;
    const auto census = SharedFileCensus::inFolder(dir / "shared");
    const auto& reference = references_.at(library);
    fault(isShrunken(census, reference, integrityFailures), summary.shrunkenSuccesses,
          "shrunken success: " + (census ? census->describe() : "no shared file") + " against " +
              reference.whole.describe());
  }

  log_ << "case " << number << " (" << library.filename().string() << "): " << damage << " -> "
       << outcome.describe();
  if (!outcome.succeeded() && !outcome.err.empty()) log_ << " \"" << firstLine(outcome.err) << '"';
  if (!integrityFailures.empty()) log_ << "; integrity check: " << joined(integrityFailures);
  log_ << '\n';
  if (!faults.empty()) {
    log_ << "  FAULT (seed " << options_.seed << ", case " << number << "): " << joined(faults)
         << '\n'
         << changes << "  exporter output:\n"
         << outcome.out << outcome.err;
    return;  // kept for a look
  }
  fs::remove_all(dir);
}

}  // namespace lumenfolio::fuzz
