// The shared file: its records, its writer and the order-independent digest key.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.hpp"
#include "model/bytes.hpp"

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
  // as destination + ".part" beside it (a stale one is removed first), flushed
  // to disk, then renamed over the previous file, so readers only ever find a
  // complete file under the final name. Folders are never created.
  // Throws SyncError(cannotWrite) when the file cannot be built (the folder is
  // missing or unwritable, SQLite fails at any step, the disk fills up) or when
  // the destination's file name is not a safe single name; the ".part" is then
  // removed. Throws std::system_error with the system's own error when the
  // rename fails; the ".part" then stays until the next write. In every failure
  // the previous file stays as it was.
  static void write(const Payload& payload, const std::filesystem::path& destination);

  // Lowercase hex SHA-256 of the texts, as given, joined with line feeds in the
  // order of the Unicode scalar values of their NFC forms.
  static std::string key(std::vector<std::string> texts);
};

}  // namespace lumenfolio
