#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include "sync/sync_file.hpp"
#include "temporary_folder.hpp"

namespace {

using lumenfolio::SyncFile;
using lumenfolio::TemporaryFolder;
namespace fs = std::filesystem;

constexpr int kRows = 100000;

// Rows shaped like an export of a large library: a packed measures blob of
// about 100 bytes, about 300 bytes of search terms and a 150-byte panel.
SyncFile::Payload realisticPayload() {
  std::mt19937 random(42);
  std::uniform_int_distribution<int> byte(0, 255);
  SyncFile::Payload payload;
  payload.writtenAt = 1733412345.678;
  payload.deviceName = "Benchmark Machine";
  payload.features.reserve(kRows);
  for (int i = 0; i < kRows; ++i) {
    SyncFile::Features row;
    row.assetID = "A1B2C3D4-0000-4000-8000-" + std::to_string(100000000000 + i) + ":001";
    row.sharpness = (i % 1000) / 1000.0;
    row.exposure = (i % 700) / 700.0 - 0.5;
    row.faces = i % 5;
    row.eyesClosed = i % 2;
    row.smiles = i % 3;
    row.isScreenshot = i % 50 == 0;
    row.measures.resize(100);
    for (auto& value : row.measures) value = static_cast<std::uint8_t>(byte(random));
    row.terms.reserve(300);
    while (row.terms.size() < 300) row.terms += "term" + std::to_string(byte(random)) + "\n";
    row.panel = R"({"camera":"Camera Model","iso":200,"people":["Anna","Ben"],"places":[")" +
                std::to_string(i) + R"("],"scenes":["beach","sunset","sky","sea","people"]})";
    payload.features.push_back(std::move(row));
  }
  return payload;
}

void BM_SyncFileWrite100kFeatures(benchmark::State& state) {
  const auto payload = realisticPayload();
  TemporaryFolder folder;
  const auto destination = folder.path() / "pixdeck-1a2b3c4d-features.pdsync";
  for (auto _ : state) {
    SyncFile::write(payload, destination);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  state.counters["file_MB"] = static_cast<double>(fs::file_size(destination)) / 1e6;
}
BENCHMARK(BM_SyncFileWrite100kFeatures)->Unit(benchmark::kMillisecond)->UseRealTime();

// The digest the export run takes of its rows before deciding to write.
void BM_SyncFileKey100kTexts(benchmark::State& state) {
  const auto payload = realisticPayload();
  std::vector<std::string> texts;
  texts.reserve(payload.features.size());
  for (const auto& row : payload.features) texts.push_back(row.assetID + "\t" + row.terms);
  for (auto _ : state) {
    benchmark::DoNotOptimize(SyncFile::key(texts));
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_SyncFileKey100kTexts)->Unit(benchmark::kMillisecond);

}  // namespace
