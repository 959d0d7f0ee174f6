#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "sqlite/sqlite_database.hpp"
#include "sqlite/sqlite_statement.hpp"
#include "support/temp_dir.hpp"
#include "sync/sync_file.hpp"

namespace lumenfolio {
namespace {

namespace fs = std::filesystem;

SyncFile::Payload payload(const std::string& device, int features) {
  SyncFile::Payload payload;
  payload.writtenAt = 1700000000;
  payload.deviceName = device;
  for (int i = 0; i < features; ++i) {
    SyncFile::Features row;
    row.assetID = device + "-" + std::to_string(i);
    row.measures.assign(100, static_cast<std::uint8_t>(i));
    row.terms.assign(300, 't');
    row.panel.assign(150, 'p');
    payload.features.push_back(std::move(row));
  }
  return payload;
}

std::string firstText(const SqliteDatabase& db, const std::string& sql) {
  SqliteStatement statement(db, sql);
  if (!statement.step()) return "no row";
  const auto text = statement.columnText(0);
  return text ? std::string(*text) : "NULL";
}

// Writes over the same file until killed.
[[noreturn]] void writeForever(const fs::path& destination,
                               const std::vector<SyncFile::Payload>& payloads) {
  for (std::size_t round = 0;; ++round) {
    try {
      SyncFile::write(payloads[round % payloads.size()], destination);
    } catch (...) {
      _exit(2);
    }
  }
}

TEST(SyncFileCrash, writerKilledAtAnyMomentLeavesACompleteFileUnderTheFinalName) {
  testing::TempDir dir;
  const auto destination = dir / "pixdeck-1a2b3c4d-features.pdsync";
  const std::map<std::string, int> rowsOf = {{"initial", 10}, {"even", 600}, {"odd", 400}};
  SyncFile::write(payload("initial", rowsOf.at("initial")), destination);
  const std::vector<SyncFile::Payload> payloads = {payload("even", rowsOf.at("even")),
                                                   payload("odd", rowsOf.at("odd"))};

  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> delayMicroseconds(0, 150000);
  std::map<std::string, int> seen;
  for (int kill = 0; kill < 50; ++kill) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) writeForever(destination, payloads);
    // Real time on purpose: the kill must land at unforeseen points of a real write.
    std::this_thread::sleep_for(std::chrono::microseconds(delayMicroseconds(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself with " << status;

    const auto db = SqliteDatabase::open(destination.string(), SQLITE_OPEN_READONLY);
    ASSERT_TRUE(db) << "no readable file under the final name after kill " << kill;
    ASSERT_EQ(firstText(db, "PRAGMA integrity_check"), "ok") << "after kill " << kill;
    const auto device = firstText(db, "SELECT value FROM meta WHERE key = 'device'");
    ASSERT_TRUE(rowsOf.count(device)) << device;
    EXPECT_EQ(firstText(db, "SELECT count(*) FROM feature"), std::to_string(rowsOf.at(device)));
    EXPECT_EQ(firstText(db, "SELECT count(*) FROM meta"), "4");
    ++seen[device];
  }
  // The kills fell both before the first replacement and after later ones.
  EXPECT_GE(seen.size(), 2u);
}

}  // namespace
}  // namespace lumenfolio
