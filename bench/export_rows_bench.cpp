// The last two steps of an export, on the rows of a large library: the digest
// of the rows and the write of the shared file, beside the floor of that write
// (plain SQLite: the same schema and statement, one transaction, one flush).
//
// The rows come from the shared file that LUMENFOLIO_BENCH_SHARED_FILE names
// (one an export wrote), else they are made up in the shape of such a file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

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

std::string textAt(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
              : std::string();
}

std::vector<SyncFile::Features> rowsOf(const char* sharedFile) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(sharedFile, &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error(std::string("cannot open ") + sharedFile);
  }
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, "SELECT * FROM feature ORDER BY rowid", -1, &s, nullptr);
  std::vector<SyncFile::Features> rows;
  while (sqlite3_step(s) == SQLITE_ROW) {
    const auto* blob = static_cast<const std::uint8_t*>(sqlite3_column_blob(s, 7));
    rows.push_back({textAt(s, 0), sqlite3_column_double(s, 1), sqlite3_column_double(s, 2),
                    sqlite3_column_int(s, 3), sqlite3_column_int(s, 4), sqlite3_column_int(s, 5),
                    sqlite3_column_int(s, 6) != 0,
                    lumenfolio::Bytes(blob, blob + sqlite3_column_bytes(s, 7)), textAt(s, 8),
                    textAt(s, 9)});
  }
  sqlite3_finalize(s);
  sqlite3_close(db);
  return rows;
}

const SyncFile::Payload& payload() {
  static const SyncFile::Payload kPayload = [] {
    SyncFile::Payload made;
    const char* sharedFile = std::getenv("LUMENFOLIO_BENCH_SHARED_FILE");
    made.features = sharedFile != nullptr ? rowsOf(sharedFile) : madeUpRows();
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

void exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    throw std::runtime_error(sqlite3_errmsg(db));
  }
}

// The floor: what the write costs SQLite itself, without any of the checks.
void floorWrite(const fs::path& output) {
  fs::remove(output);
  sqlite3* db = nullptr;
  sqlite3_open_v2(output.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  exec(db, SyncFile::kSchema);
  exec(db, "BEGIN");
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, SyncFile::kInsertFeature, -1, &s, nullptr);
  for (const auto& row : payload().features) {
    sqlite3_bind_text(s, 1, row.assetID.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(s, 2, row.sharpness);
    sqlite3_bind_double(s, 3, row.exposure);
    sqlite3_bind_int(s, 4, row.faces);
    sqlite3_bind_int(s, 5, row.eyesClosed);
    sqlite3_bind_int(s, 6, row.smiles);
    sqlite3_bind_int(s, 7, row.isScreenshot ? 1 : 0);
    sqlite3_bind_blob(s, 8, row.measures.data(), static_cast<int>(row.measures.size()),
                      SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 9, row.terms.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 10, row.panel.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(s);
    sqlite3_reset(s);
  }
  sqlite3_finalize(s);
  exec(db, "COMMIT");
  sqlite3_close(db);
  const int fd = ::open(output.c_str(), O_RDONLY | O_CLOEXEC);
  ::fsync(fd);
  ::close(fd);
}

void BM_FloorWrite(benchmark::State& state) {
  TemporaryFolder folder;
  for (auto _ : state) floorWrite(folder.path() / "floor.sqlite");
  state.SetItemsProcessed(state.iterations() *
                          static_cast<std::int64_t>(payload().features.size()));
}
BENCHMARK(BM_FloorWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
