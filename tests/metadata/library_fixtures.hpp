// Small Photos library databases written with a few SQL statements, in the
// journal states a real library can be found in, and a record of a package's
// files for checking that reading it changed nothing.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>

#include "sqlite/sqlite_database.hpp"

namespace lumenfolio::testing {

// The tables and columns of Photos.sqlite the features and measures read.
inline constexpr const char* kPhotosSchema = R"sql(
CREATE TABLE ZASSET (Z_PK INTEGER PRIMARY KEY, ZUUID VARCHAR, ZISDETECTEDSCREENSHOT INTEGER,
  ZOVERALLAESTHETICSCORE FLOAT, ZCURATIONSCORE FLOAT, ZICONICSCORE FLOAT, ZFAVORITE INTEGER,
  ZAVALANCHEUUID VARCHAR, ZDUPLICATEASSETVISIBILITYSTATE INTEGER, ZHDRTYPE INTEGER,
  ZDEPTHTYPE INTEGER, ZKIND INTEGER, ZLATITUDE FLOAT, ZWIDTH INTEGER, ZHEIGHT INTEGER);
CREATE TABLE ZCOMPUTEDASSETATTRIBUTES (Z_PK INTEGER PRIMARY KEY, ZASSET INTEGER,
  ZPLEASANTCOMPOSITIONSCORE FLOAT, ZPLEASANTLIGHTINGSCORE FLOAT, ZINTERESTINGSUBJECTSCORE FLOAT,
  ZWELLCHOSENSUBJECTSCORE FLOAT, ZWELLFRAMEDSUBJECTSCORE FLOAT, ZWELLTIMEDSHOTSCORE FLOAT,
  ZSHARPLYFOCUSEDSUBJECTSCORE FLOAT, ZLIVELYCOLORSCORE FLOAT, ZHARMONIOUSCOLORSCORE FLOAT,
  ZTASTEFULLYBLURREDSCORE FLOAT, ZPLEASANTPERSPECTIVESCORE FLOAT, ZPLEASANTSYMMETRYSCORE FLOAT,
  ZPLEASANTPATTERNSCORE FLOAT, ZPLEASANTREFLECTIONSSCORE FLOAT, ZPLEASANTPOSTPROCESSINGSCORE FLOAT,
  ZPLEASANTCAMERATILTSCORE FLOAT, ZNOISESCORE FLOAT, ZFAILURESCORE FLOAT,
  ZINTRUSIVEOBJECTPRESENCESCORE FLOAT, ZLOWLIGHT FLOAT, ZIMMERSIVENESSSCORE FLOAT);
CREATE TABLE ZMEDIAANALYSISASSETATTRIBUTES (Z_PK INTEGER PRIMARY KEY, ZASSET INTEGER,
  ZBLURRINESSSCORE FLOAT, ZEXPOSURESCORE FLOAT, ZFACECOUNT INTEGER, ZACTIVITYSCORE FLOAT,
  ZWALLPAPERSCORE FLOAT);
CREATE TABLE ZADDITIONALASSETATTRIBUTES (Z_PK INTEGER PRIMARY KEY, ZASSET INTEGER,
  ZVIEWCOUNT INTEGER, ZSHARECOUNT INTEGER, ZHASPEOPLESCENEMIDORGREATERCONFIDENCE INTEGER);
CREATE TABLE ZDETECTEDFACE (Z_PK INTEGER PRIMARY KEY, ZASSETFORFACE INTEGER,
  ZISLEFTEYECLOSED INTEGER, ZISRIGHTEYECLOSED INTEGER, ZHASSMILE INTEGER);
)sql";

// How the database's side files are left once it is written.
enum class Journal {
  rollback,       // the default journal: no side files
  walTidy,        // WAL mode, checkpointed: no "-wal", no "-shm"
  walLive,        // WAL mode, `rows` only in the "-wal", with its "-shm"
  walWithoutShm,  // as walLive, but the "-shm" is gone
};

inline std::filesystem::path sideFile(const std::filesystem::path& file, const char* suffix) {
  auto side = file;
  side += suffix;
  return side;
}

inline void execOrThrow(const SqliteDatabase& db, const std::string& sql) {
  if (db.exec(sql) != SQLITE_OK) {
    throw std::runtime_error(std::string("fixture SQL failed: ") + sqlite3_errmsg(db.handle()) +
                             "\n" + sql);
  }
}

// Runs `schema` and then `rows` in a new database at `file` (folders made as
// needed) and leaves it in the `journal` state.
inline void writeDatabase(const std::filesystem::path& file, const std::string& schema,
                          const std::string& rows = {}, Journal journal = Journal::rollback) {
  std::filesystem::create_directories(file.parent_path());
  auto db = SqliteDatabase::open(file.string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  if (!db) throw std::runtime_error("cannot create " + file.string());
  execOrThrow(db, "PRAGMA synchronous=OFF");  // fixtures need no durability
  if (journal != Journal::rollback) execOrThrow(db, "PRAGMA journal_mode=WAL");
  execOrThrow(db, schema);
  if (journal == Journal::walLive || journal == Journal::walWithoutShm) {
    execOrThrow(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    // Closing would otherwise move the rows into the main file and drop the side files.
    sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  }
  execOrThrow(db, rows);
  db.close();
  if (journal == Journal::walWithoutShm) std::filesystem::remove(sideFile(file, "-shm"));
}

inline std::string contentsOf(const std::filesystem::path& file) {
  std::ifstream stream(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& file, const std::string& contents) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << contents;
}

// Every entry under `root` by relative path, with the bytes of each file
// (folders map to "<folder>"), to compare a package before and after reading.
inline std::map<std::string, std::string> packageContents(const std::filesystem::path& root) {
  std::map<std::string, std::string> contents;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const auto relative = entry.path().lexically_relative(root).string();
    contents[relative] = entry.is_directory() ? "<folder>" : contentsOf(entry.path());
  }
  return contents;
}

// Names only, for readable failure messages.
inline std::string listing(const std::map<std::string, std::string>& contents) {
  std::string names;
  for (const auto& [name, bytes] : contents)
    names += name + " (" + std::to_string(bytes.size()) + ")\n";
  return names;
}

}  // namespace lumenfolio::testing
