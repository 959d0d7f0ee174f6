#include "sync/sync_file.hpp"

#include <fcntl.h>
#include <sqlite3.h>
#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <iterator>
#include <memory>
#include <numeric>
#include <stop_token>
#include <system_error>
#include <tuple>

#include "base/unique_fd.hpp"
#include "sqlite/sqlite_database.hpp"
#include "sqlite/sqlite_statement.hpp"
#include "sqlite/transaction.hpp"
#include "sync/sha256.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio {

namespace {

namespace fs = std::filesystem;

constexpr const char* kInsertMeta = "INSERT OR REPLACE INTO meta VALUES(?,?)";
constexpr const char* kInsertRating = "INSERT OR REPLACE INTO rating VALUES(?,?,?,?,?)";
constexpr const char* kInsertPrint = "INSERT OR REPLACE INTO print VALUES(?,?,?)";
constexpr const char* kInsertVerdict = "INSERT OR REPLACE INTO verdict VALUES(?,?,?,?,?)";

// The ".part" file exists already, made by this write alone; SQLite must open
// that very file and never follow a link someone put in its place meanwhile.
constexpr int kOpenFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;

// Every SQLite failure after the open ends the write: a file built from a
// failed step or commit (a full disk, say) must never replace a good one.
void require(bool succeeded) {
  if (!succeeded) throw SyncError(SyncError::Code::cannotWrite);
}

// Binds one row's parameters in order, failing the write on any refusal, so a
// row is never stepped with a value left over from the previous one.
class RowBinder {
 public:
  explicit RowBinder(SqliteStatement& statement) : statement_(statement) {}

  // Every value bound outlives the steps that read it (the records outlive
  // their statement, a meta value its own), so SQLite reads texts and blobs
  // where they are instead of copying each one.
  RowBinder& text(std::string_view value) {
    // A null pointer would bind NULL; an empty text still needs a real address.
    const char* data = value.data() != nullptr ? value.data() : "";
    return check(sqlite3_bind_text64(statement_.handle(), next(), data, value.size(), SQLITE_STATIC,
                                     SQLITE_UTF8));
  }
  RowBinder& blob(const Bytes& value) {
    // An empty blob stays an empty blob, never NULL.
    if (value.empty()) return check(sqlite3_bind_zeroblob(statement_.handle(), next(), 0));
    return check(sqlite3_bind_blob64(statement_.handle(), next(), value.data(), value.size(),
                                     SQLITE_STATIC));
  }
  RowBinder& real(double value) { return check(statement_.bindDouble(next(), value)); }
  RowBinder& integer(std::int32_t value) { return check(statement_.bindInt(next(), value)); }
  RowBinder& flag(bool value) { return integer(value ? 1 : 0); }
  RowBinder& optionalReal(const std::optional<double>& value) {
    return value ? real(*value) : null();
  }
  RowBinder& optionalText(const std::optional<std::string>& value) {
    return value ? text(*value) : null();
  }

 private:
  int next() { return ++index_; }
  RowBinder& null() { return check(statement_.bindNull(next())); }
  RowBinder& check(int resultCode) {
    require(resultCode == SQLITE_OK);
    return *this;
  }

  SqliteStatement& statement_;
  int index_ = 0;
};

void bindRow(RowBinder& row, const SyncFile::Rating& rating) {
  row.text(rating.assetID)
      .real(rating.weight)
      .flag(rating.isRated)
      .integer(rating.judgements)
      .real(rating.updatedAt);
}

void bindRow(RowBinder& row, const SyncFile::Features& features) {
  row.text(features.assetID)
      .real(features.sharpness)
      .real(features.exposure)
      .integer(features.faces)
      .integer(features.eyesClosed)
      .integer(features.smiles)
      .flag(features.isScreenshot)
      .blob(features.measures)
      .text(features.terms)
      .text(features.panel);
}

void bindRow(RowBinder& row, const SyncFile::Print& print) {
  row.text(print.assetID).blob(print.vector).real(print.takenAt);
}

void bindRow(RowBinder& row, const SyncFile::Verdict& verdict) {
  row.text(verdict.key)
      .optionalReal(verdict.resolvedAt)
      .flag(verdict.wasRejected)
      .optionalText(verdict.championID)
      .integer(verdict.challengerIndex);
}

// One prepared statement per table, rebound and reset for each record, so
// later records with the same key replace earlier ones.
template <typename Record>
void insertAll(const SqliteDatabase& db, const char* sql, const std::vector<Record>& records) {
  if (records.empty()) return;
  SqliteStatement statement(db, sql);
  require(static_cast<bool>(statement));
  for (const auto& record : records) {
    RowBinder row(statement);
    bindRow(row, record);
    require(statement.stepResult() == SQLITE_DONE);
    statement.reset();
  }
}

void insertMeta(const SqliteDatabase& db, std::string_view key, std::string_view value) {
  SqliteStatement statement(db, kInsertMeta);
  require(static_cast<bool>(statement));
  RowBinder(statement).text(key).text(value);
  require(statement.stepResult() == SQLITE_DONE);
}

// The shortest digits that read back to the same double, always positional
// and always with a fraction, so readers never meet an exponent or a bare integer.
std::string secondsText(double seconds) {
  std::array<char, 512> buffer{};
  const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), seconds,
                                          std::chars_format::fixed);
  std::string text(buffer.data(), error == std::errc() ? end : buffer.data());
  if (std::isfinite(seconds) && text.find('.') == std::string::npos) text += ".0";
  return text;
}

// How many SQLite virtual machine steps pass between two looks at the stop
// request: often enough to end within milliseconds, rarely enough to cost nothing.
constexpr int kStepsBetweenStopChecks = 10000;

int stopRequested(void* stop) {
  return static_cast<const std::stop_token*>(stop)->stop_requested() ? 1 : 0;
}

void insertRecords(const SqliteDatabase& db, const SyncFile::Payload& payload) {
  Transaction transaction(db);
  insertMeta(db, "schema", SyncFile::kSchemaVersion);
  insertMeta(db, "minReader", SyncFile::kMinReaderVersion);
  insertMeta(db, "writtenAt", secondsText(payload.writtenAt));
  insertMeta(db, "device", payload.deviceName);
  insertAll(db, kInsertRating, payload.ratings);
  insertAll(db, SyncFile::kInsertFeature, payload.features);
  insertAll(db, kInsertPrint, payload.prints);
  insertAll(db, kInsertVerdict, payload.verdicts);
  transaction.commit();
}

// What SQLite keeps in memory per key of a table's index besides the key's
// own bytes (rowid, cell header and pointer, the free part of a page), and
// what it keeps for everything else.
constexpr std::size_t kIndexBytesPerKey = 32;
constexpr std::size_t kBaseCacheKiB = 2048;

std::size_t indexBytes(const SyncFile::Payload& payload) {
  std::size_t bytes = 0;
  const auto add = [&bytes](const std::string& key) { bytes += key.size() + kIndexBytesPerKey; };
  for (const auto& rating : payload.ratings) add(rating.assetID);
  for (const auto& features : payload.features) add(features.assetID);
  for (const auto& print : payload.prints) add(print.assetID);
  for (const auto& verdict : payload.verdicts) add(verdict.key);
  return bytes;
}

// The writer flushes the finished file to disk itself before it takes the
// final name, so SQLite's own flushes after each schema statement and at the
// commit would only repeat that one. The cache holds the key indexes whole:
// records arrive in no order of their keys, and with a smaller cache the
// same index pages would go out to the file and come back again and again.
// Neither setting changes a byte of the file.
std::string writeSettings(const SyncFile::Payload& payload) {
  const auto cacheKiB = kBaseCacheKiB + indexBytes(payload) / 1024;
  return "PRAGMA synchronous=OFF; PRAGMA cache_size=-" + std::to_string(cacheKiB) + ";";
}

void fill(const fs::path& location, const SyncFile::Payload& payload, const std::stop_token& stop) {
  auto db = SqliteDatabase::open(location.string(), kOpenFlags);
  require(static_cast<bool>(db));
  require(db.exec(writeSettings(payload)) == SQLITE_OK);
  // A stop request interrupts the statement at hand; its failure ends the write.
  sqlite3_progress_handler(db.handle(), kStepsBetweenStopChecks, stopRequested,
                           const_cast<std::stop_token*>(&stop));
  require(db.exec(SyncFile::kSchema) == SQLITE_OK);
  try {
    insertRecords(db, payload);
  } catch (const SqliteError& error) {
    throw SyncError(SyncError::Code::cannotWrite, error);
  }
  sqlite3_progress_handler(db.handle(), 0, nullptr, nullptr);
  require(db.close() == SQLITE_OK);
}

bool syncPath(const fs::path& path, int flags) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags));
  return fd && ::fsync(fd.get()) == 0;
}

// Made in one step that fails rather than open whatever is under the name: a
// link or a file planted there after the stale one was removed could
// otherwise send the write into someone else's file.
int createPart(const fs::path& part) {
  const int created =
      ::open(part.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (created < 0) {
    throw SyncError(SyncError::Code::cannotWrite, Failure::fromErrno("create", part, errno));
  }
  return created;
}

// The rename must not reach the disk before the contents it names. The
// identity is that of the file this write created; if the name now holds
// another file, that file is not ours to move into place.
SharedFileIdentity flushToDisk(const UniqueFd& created, const fs::path& part,
                               const fs::path& destination) {
  require(::fsync(created.get()) == 0);
  auto identity = SharedFileIdentity::ofDescriptor(created.get(), destination);
  const auto underName = SharedFileIdentity::of(part);
  require(identity && underName && identity->device == underName->device &&
          identity->inode == underName->inode);
  return *identity;
}

void throwIfStopped(const std::stop_token& stop) {
  if (stop.stop_requested()) {
    throw std::system_error(std::make_error_code(std::errc::operation_canceled),
                            "The write of the shared file was stopped");
  }
}

// Readers of the folder see the old complete file or the new complete one,
// never a gap between a removal and a move.
void replace(const fs::path& part, const fs::path& destination) {
  if (::rename(part.c_str(), destination.c_str()) != 0) {
    throw std::system_error(errno, std::generic_category(),
                            "Couldn't put the shared file in place as " + destination.string());
  }
  // Makes the new name durable. The file is already in place for readers, and
  // some file systems refuse to sync a folder, so a failure changes nothing.
  const auto folder = destination.parent_path();
  syncPath(folder.empty() ? fs::path(".") : folder, O_DIRECTORY);
}

// The caller builds the name from a stored device identifier; a name that
// could step out of the chosen folder is refused rather than followed.
bool isSafeDestination(const fs::path& destination) {
  if (!SyncFolder::isSafeFileName(destination.filename().string())) return false;
  return std::none_of(destination.begin(), destination.end(),
                      [](const fs::path& component) { return component == ".."; });
}

// The text in NFC, or nothing when it already is, as most texts are.
std::optional<std::string> composedForm(const std::string& text) {
  UErrorCode status = U_ZERO_ERROR;
  const auto* normalizer = icu::Normalizer2::getNFCInstance(status);
  // Without ICU's data the text orders as it stands; the key stays defined.
  if (U_FAILURE(status)) return std::nullopt;
  if (normalizer->isNormalizedUTF8(text, status) && U_SUCCESS(status)) return std::nullopt;
  std::string composed;
  icu::StringByteSink<std::string> sink(&composed);
  status = U_ZERO_ERROR;
  normalizer->normalizeUTF8(0, text, sink, nullptr, status);
  if (U_FAILURE(status)) return std::nullopt;
  return composed;
}

}  // namespace

SharedFileIdentity SyncFile::write(const Payload& payload, const fs::path& destination,
                                   const std::stop_token& stop) {
  if (!isSafeDestination(destination)) throw SyncError(SyncError::Code::cannotWrite);
  auto part = destination;
  part += ".part";
  std::error_code ignored;
  fs::remove(part, ignored);
  const UniqueFd created(createPart(part));
  try {
    fill(part, payload, stop);
    auto identity = flushToDisk(created, part, destination);
    throwIfStopped(stop);
    replace(part, destination);
    return identity;
  } catch (...) {
    // Whatever ended the write, the half-built file goes with it. The name may
    // hold someone else's file by now, so only this write's own file is removed.
    const auto underName = SharedFileIdentity::of(part);
    const auto ours = SharedFileIdentity::ofDescriptor(created.get(), part);
    if (underName && ours && underName->inode == ours->inode && underName->device == ours->device) {
      fs::remove(part, ignored);
    }
    throw;
  }
}

void SyncFile::sortForKey(std::vector<std::string>& texts) {
  std::vector<std::optional<std::string>> composed;
  composed.reserve(texts.size());
  for (const auto& text : texts) composed.push_back(composedForm(text));
  const auto sortForm = [&](std::size_t i) -> const std::string& {
    return composed[i] ? *composed[i] : texts[i];
  };
  // The key covers the texts as given, so a text that changes only its normal
  // form changes the key. Canonically equal texts with different bytes order
  // by their bytes, so the key never depends on the order of the list.
  // std::string compares as unsigned bytes, and UTF-8 byte order is the order
  // of the Unicode scalar values it encodes.
  std::vector<std::size_t> order(texts.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return std::tie(sortForm(a), texts[a]) < std::tie(sortForm(b), texts[b]);
  });
  std::vector<std::string> sorted;
  sorted.reserve(texts.size());
  for (const auto i : order) sorted.push_back(std::move(texts[i]));
  texts = std::move(sorted);
}

std::string SyncFile::key(std::vector<std::string> texts) {
  sortForKey(texts);
  Sha256 digest;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) digest.update("\n");
    digest.update(texts[i]);
  }
  return digest.finalHex();
}

}  // namespace lumenfolio
