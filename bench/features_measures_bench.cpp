// features() and measures() over a 100,000-asset sample library, the pair an
// export asks for in one visit to the store.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "metadata/metadata_store.hpp"
#include "sample_library/sample_library.hpp"
#include "temporary_folder.hpp"

namespace {

namespace fs = std::filesystem;
using lumenfolio::MetadataStore;
using lumenfolio::sample::SampleLibrary;

constexpr int kAssets = 100000;

// Written once per process, outside every timed loop, and removed at exit.
class SamplePictures {
 public:
  static const SamplePictures& shared() {
    static const SamplePictures pictures;
    return pictures;
  }

  const fs::path& folder() const { return folder_; }

 private:
  SamplePictures() : folder_(root_.path() / "Pictures") {
    SampleLibrary::write(folder_ / "Photos Library.photoslibrary", {kAssets, 1});
  }

  lumenfolio::TemporaryFolder root_;
  fs::path folder_;
};

// The kernel's peak resident size (VmHWM) restarts from the current size, so
// the figure after a run is the reading's own peak, not the generator's.
void restartPeakMemory() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

double peakMemoryMiB() {
  std::ifstream status("/proc/self/status");
  std::string field;
  double kib = 0;
  while (status >> field) {
    if (field == "VmHWM:") {
      status >> kib;
      break;
    }
  }
  return kib / 1024;
}

// Both readers, as one export asks for them; the sizes are reported with the timing.
void readBoth(benchmark::State& state, MetadataStore& store) {
  const auto features = store.features();
  const auto measures = store.measures();
  benchmark::DoNotOptimize(features);
  benchmark::DoNotOptimize(measures);
  state.counters["features"] = static_cast<double>(features.size());
  state.counters["measures"] = static_cast<double>(measures.size());
}

void reportRate(benchmark::State& state) {
  state.counters["peakMiB"] = peakMemoryMiB();
  state.counters["assets/s"] = benchmark::Counter(static_cast<double>(kAssets),
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

// The store as an export finds it after its first visit: databases open.
void BM_FeaturesAndMeasures(benchmark::State& state) {
  MetadataStore store(SamplePictures::shared().folder());
  store.currentFailure();
  restartPeakMemory();
  for (auto _ : state) readBoth(state, store);
  reportRate(state);
}
BENCHMARK(BM_FeaturesAndMeasures)->Unit(benchmark::kMillisecond)->UseRealTime();

// A new process's first export: locating and opening the library included.
void BM_OpenThenFeaturesAndMeasures(benchmark::State& state) {
  const auto& pictures = SamplePictures::shared().folder();
  restartPeakMemory();
  for (auto _ : state) {
    MetadataStore store(pictures);
    readBoth(state, store);
  }
  reportRate(state);
}
BENCHMARK(BM_OpenThenFeaturesAndMeasures)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
