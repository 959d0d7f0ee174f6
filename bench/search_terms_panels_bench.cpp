// Search terms and panels of a 100,000-asset sample library, read through
// read-only connections as the store opens them. The library is written once,
// before the first measurement, and removed at exit.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "metadata/panels.hpp"
#include "metadata/search_terms.hpp"
#include "sample_library/sample_library.hpp"
#include "sqlite/sqlite_database.hpp"
#include "temporary_folder.hpp"

namespace lumenfolio {
namespace {

constexpr int kAssets = 100000;

class SampleFolder {
 public:
  SampleFolder() : package_(folder_.path() / "Sample.photoslibrary") {
    sample::SampleLibrary::write(
        package_,
        {.assets = kAssets, .seed = 1, .sideFiles = sample::SampleLibrary::SideFiles::none});
  }

  SqliteDatabase open(const std::string& relative) const {
    const auto file = package_ / relative;
    return SqliteDatabase::open("file:" + file.string() + "?mode=ro",
                                SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX);
  }

 private:
  TemporaryFolder folder_;
  std::filesystem::path package_;
};

const SampleFolder& sample() {
  static const SampleFolder folder;
  return folder;
}

// Heap bytes in use. The process's peak resident size also holds what the
// sample generator left behind, so the result's own size is reported apart.
std::size_t heapInUse() {
  return mallinfo2().uordblks;
}

template <typename Read>
void measure(benchmark::State& state, Read read) {
  std::size_t entries = 0;
  std::size_t heldBytes = 0;
  for (auto _ : state) {
    const auto before = heapInUse();
    const auto result = read();
    heldBytes = heapInUse() - before;
    entries = result.size();
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kAssets);
  state.counters["entries"] = static_cast<double>(entries);
  state.counters["resultMB"] = static_cast<double>(heldBytes) / (1024.0 * 1024.0);
}

void BM_SearchTermsFromPsi(benchmark::State& state) {
  const auto psi = sample().open("database/search/psi.sqlite");
  measure(state, [&psi] { return SearchTerms::read(&psi, nullptr); });
}
BENCHMARK(BM_SearchTermsFromPsi)->Unit(benchmark::kMillisecond);

void BM_SearchTermsFromLeo(benchmark::State& state) {
  const auto leo = sample().open("database/search/leo.sqlite");
  measure(state, [&leo] { return SearchTerms::read(nullptr, &leo); });
}
BENCHMARK(BM_SearchTermsFromLeo)->Unit(benchmark::kMillisecond);

void BM_Panels(benchmark::State& state) {
  const auto leo = sample().open("database/search/leo.sqlite");
  const auto library = sample().open("database/Photos.sqlite");
  measure(state, [&leo, &library] { return Panels::read(&leo, &library); });
}
BENCHMARK(BM_Panels)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumenfolio
