// The shared file: its records, its writer and the order-independent digest key.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.hpp"
#include "model/bytes.hpp"
#include "sync/shared_file_identity.hpp"

namespace lumenfolio {

class SyncError : public std::runtime_error {
 public:
  enum class Code { cannotWrite, noFolder };

  explicit SyncError(Code code);
  // The failure that made the write impossible, kept for the log.
  SyncError(Code code, Failure cause);
  Code code() const noexcept { return code_; }
  const std::optional<Failure>& cause() const noexcept { return cause_; }
  // "Couldn't write the shared file." or "No shared folder chosen."
  static std::string_view description(Code code) noexcept;

 private:
  Code code_;
  std::optional<Failure> cause_;
};

class SyncFile {
 public:
  // The script that makes a new shared file's tables; readers compare it
  // byte for byte, indentation included.
  static constexpr const char* kSchema =
      "PRAGMA journal_mode=OFF;\n"
      "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT);\n"
      "CREATE TABLE rating(assetID TEXT PRIMARY KEY, weight REAL, isRated INT,\n"
      "                    judgements INT, updatedAt REAL);\n"
      "CREATE TABLE feature(assetID TEXT PRIMARY KEY, sharpness REAL, exposure REAL,\n"
      "                     faces INT, eyesClosed INT, smiles INT, screenshot INT,\n"
      "                     measures BLOB, terms TEXT, panel TEXT);\n"
      "CREATE TABLE print(assetID TEXT PRIMARY KEY, vector BLOB, takenAt REAL);\n"
      "CREATE TABLE verdict(key TEXT PRIMARY KEY, resolvedAt REAL, wasRejected INT,\n"
      "                     championID TEXT, challengerIndex INT);";
  static constexpr const char* kInsertFeature =
      "INSERT OR REPLACE INTO feature VALUES(?,?,?,?,?,?,?,?,?,?)";
  // Stored in the meta table: this file's schema, and the oldest reader of it.
  static constexpr const char* kSchemaVersion = "6";
  static constexpr const char* kMinReaderVersion = "5";

  struct Rating {
    std::string assetID;
    double weight = 0;
    bool isRated = false;
    std::int32_t judgements = 0;
    double updatedAt = 0;  // seconds since 1970
  };

  struct Features {
    std::string assetID;
    double sharpness = 0;
    double exposure = 0;
    std::int32_t faces = 0;
    std::int32_t eyesClosed = 0;
    std::int32_t smiles = 0;
    bool isScreenshot = false;
    Bytes measures;
    std::string terms;
    std::string panel;
  };

  struct Print {
    std::string assetID;
    Bytes vector;
    double takenAt = 0;
  };

  struct Verdict {
    std::string key;
    std::optional<double> resolvedAt;
    bool wasRejected = false;
    std::optional<std::string> championID;
    std::int32_t challengerIndex = 0;
  };

  struct Payload {
    std::vector<Rating> ratings;
    std::vector<Features> features;
    std::vector<Print> prints;
    std::vector<Verdict> verdicts;
    double writtenAt = 0;  // seconds since 1970
    std::string deviceName;
  };

  // Writes the payload as a complete new shared file at `destination`: built
  // as destination + ".part" beside it (a stale one is removed first, and the
  // new one is created afresh without following links), flushed to disk, then
  // renamed over the previous file, so readers only ever find a complete file
  // under the final name. Folders are never created. Returns the identity of
  // the file now under the destination's name.
  // Throws SyncError(cannotWrite) when the file cannot be built (the folder is
  // missing or unwritable, something else took the ".part" name, SQLite fails
  // at any step, the disk fills up) or when the destination's file name is not
  // a safe single name. Throws std::system_error when `stop` is requested
  // before the rename (operation_canceled), and when the rename fails, naming
  // the destination, with the system's own error. In every failure the ".part"
  // this write made is removed and the previous file stays as it was.
  static SharedFileIdentity write(const Payload& payload, const std::filesystem::path& destination,
                                  const std::stop_token& stop = {});

  // Lowercase hex SHA-256 of the texts, as given, joined with line feeds in the
  // order of the Unicode scalar values of their NFC forms.
  static std::string key(std::vector<std::string> texts);

  // Sorts the texts into the order in which key() joins them.
  static void sortForKey(std::vector<std::string>& texts);
};

}  // namespace lumenfolio
