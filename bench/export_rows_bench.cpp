// The last two steps of an export, on the rows of a large library: the digest
// of the rows and the write of the shared file, beside the floor of that write
// (plain SQLite: the same schema and statement, one transaction, one flush).
//
// The rows come from the shared file that LUMENFOLIO_BENCH_SHARED_FILE names
// (one an export wrote), else they are made up in the shape of such a file.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include "export_scale/floor_sqlite.hpp"
#include "exporter/row_digest.hpp"
#include "sync/sync_file.hpp"
#include "temporary_folder.hpp"

namespace {

using lumenfolio::SyncFile;
using lumenfolio::TemporaryFolder;
namespace fs = std::filesystem;

constexpr int kMadeUpRows = 100000;

std::string uuid(std::mt19937_64& random) {
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  std::string text;
  for (const int length : {8, 4, 4, 4, 12}) {
    if (!text.empty()) text += '-';
    for (int i = 0; i < length; ++i) text += kDigits[random() % 16];
  }
  return text;
}

// Rows shaped like the export of the 100k-asset sample library: UUIDs, about
// 115 bytes of measures, 150 bytes of search terms and a 280-byte panel.
std::vector<SyncFile::Features> madeUpRows() {
  std::mt19937_64 random(42);
  std::vector<SyncFile::Features> rows(kMadeUpRows);
  for (auto& row : rows) {
    row.assetID = uuid(random);
    row.sharpness = static_cast<double>(random() % 1000000) / 999983.0;
    row.exposure = static_cast<double>(random() % 1000000) / 999979.0;
    row.faces = static_cast<int>(random() % 4);
    row.eyesClosed = static_cast<int>(random() % 2);
    row.smiles = static_cast<int>(random() % 2);
    row.isScreenshot = random() % 50 == 0;
    row.measures.resize(100 + random() % 40);
    for (auto& byte : row.measures) byte = static_cast<std::uint8_t>(random());
    while (row.terms.size() < 150) row.terms += "term" + std::to_string(random() % 500) + "\n";
    row.panel = R"({"aperture":4.0,"camera":"Pixel 7","flash":false,"focal":6.81,"iso":800,)"
                R"("place":["Belém Tower","1100-341"],"scenes":["Mountain","Café","Sunset"],)"
                R"("shutter":0.0015923566878980893,"words":[")" +
                std::to_string(random()) + R"("]})";
  }
  return rows;
}

const SyncFile::Payload& payload() {
  static const SyncFile::Payload kPayload = [] {
    SyncFile::Payload made;
    const char* sharedFile = std::getenv("LUMENFOLIO_BENCH_SHARED_FILE");
    made.features = sharedFile != nullptr ? lumenfolio::floor::rowsOf(sharedFile) : madeUpRows();
    made.writtenAt = 1796667848.0586445;
    made.deviceName = "Benchmark Machine";
    return made;
  }();
  return kPayload;
}

void BM_RowDigest(benchmark::State& state) {
  const auto& rows = payload().features;
  for (auto _ : state) benchmark::DoNotOptimize(lumenfolio::RowDigest::of(rows));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows.size()));
}
BENCHMARK(BM_RowDigest)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SyncFileWrite(benchmark::State& state) {
  const auto& rows = payload();
  TemporaryFolder folder;
  const auto destination = folder.path() / "pixdeck-1a2b3c4d-features.pdsync";
  for (auto _ : state) SyncFile::write(rows, destination);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows.features.size()));
}
BENCHMARK(BM_SyncFileWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FloorWrite(benchmark::State& state) {
  TemporaryFolder folder;
  for (auto _ : state)
    lumenfolio::floor::writeRows(folder.path() / "floor.sqlite", payload().features);
  state.SetItemsProcessed(state.iterations() *
                          static_cast<std::int64_t>(payload().features.size()));
}
BENCHMARK(BM_FloorWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
