#include "platform/linux/library_photo_platform.hpp"

#include <set>
#include <utility>

#include "metadata/library_schema.hpp"
#include "metadata/metadata_store.hpp"
#include "metadata/text_cleaning.hpp"
#include "metadata/unicode_text.hpp"
#include "sqlite/sqlite_statement.hpp"

namespace lumenfolio {

namespace {

constexpr std::size_t kUUIDLength = 36;
constexpr const char* kAssetColumns = "PRAGMA table_info(ZASSET)";
constexpr const char* kCloudGUIDs = "SELECT ZUUID, ZCLOUDASSETGUID FROM ZASSET ORDER BY Z_PK";

// Images only, and only those the library shows: not trashed, not hidden, not
// kept out of sight. A library without one of these columns is not filtered by it.
constexpr std::pair<const char*, const char*> kImageConditions[] = {
    {"ZKIND", "ZKIND = 0"},
    {"ZTRASHEDSTATE", "ZTRASHEDSTATE = 0"},
    {"ZHIDDEN", "ZHIDDEN = 0"},
    {"ZVISIBILITYSTATE", "ZVISIBILITYSTATE = 0"},
};

std::set<std::string> assetColumns(const SqliteDatabase& db) {
  std::set<std::string> columns;
  SqliteStatement statement(db, kAssetColumns);
  while (statement.step()) {
    if (auto name = statement.columnText(1)) columns.emplace(*name);
  }
  return columns;
}

std::string imageAssetsQuery(const std::set<std::string>& columns) {
  std::string sql = "SELECT ZUUID FROM ZASSET";
  const char* joiner = " WHERE ";
  for (const auto& [column, condition] : kImageConditions) {
    if (!columns.contains(column)) continue;
    sql += joiner;
    sql += condition;
    joiner = " AND ";
  }
  return sql + " ORDER BY Z_PK";
}

}  // namespace

LibraryPhotoPlatform::LibraryPhotoPlatform(std::filesystem::path picturesFolder,
                                           std::optional<std::filesystem::path> libraryPackage)
    : picturesFolder_(std::move(picturesFolder)), libraryPackage_(std::move(libraryPackage)) {}

LibraryPhotoPlatform::~LibraryPhotoPlatform() = default;

AuthorizationStatus LibraryPhotoPlatform::authorizationStatus() {
  return AuthorizationStatus::authorized;
}

void LibraryPhotoPlatform::requestAuthorization(std::function<void(AuthorizationStatus)> answer) {
  answer(AuthorizationStatus::authorized);
}

void LibraryPhotoPlatform::registerChangeObserver(std::shared_ptr<ChangeObserver> observer) {
  if (!watcher_) {
    // Watched from the folder that holds it, so a library that appears later,
    // or replaces this one at the same path, is followed.
    if (libraryPackage_) {
      watcher_ = std::make_unique<InotifyChangeObserver>(*libraryPackage_);
    } else {
      watcher_ = std::make_unique<InotifyChangeObserver>(
          picturesFolder_,
          [pictures = picturesFolder_] { return MetadataStore::libraryURL(pictures); });
    }
  }
  watcher_->add(std::move(observer));
}

std::vector<std::string> LibraryPhotoPlatform::fetchImageAssetIdentifiers() {
  // Each fetch opens the library afresh, so it sees the library as it is now,
  // even one whose database was replaced by a newer copy; the cloud GUIDs are
  // read in the same visit, and the library is not held open afterwards.
  cloudGUIDs_.reset();
  std::vector<std::string> identifiers;
  const auto database = openLibrary();
  if (!database) return identifiers;
  const auto& db = database->connection();
  {
    SqliteStatement statement(db, imageAssetsQuery(assetColumns(db)));
    while (statement.step()) {
      if (auto uuid = cleaned(statement.columnText(0))) {
        identifiers.push_back(*uuid + std::string(kLocalIdentifierSuffix));
      }
    }
  }
  cloudGUIDs_ = readCloudGUIDs(db);
  return identifiers;
}

std::vector<CloudIdentifierMapping> LibraryPhotoPlatform::cloudIdentifierMappings(
    const std::vector<std::string>& localIdentifiers) {
  if (!cloudGUIDs_) {
    const auto database = openLibrary();
    cloudGUIDs_ = database ? readCloudGUIDs(database->connection())
                           : std::unordered_map<std::string, std::string>();
  }
  std::vector<CloudIdentifierMapping> answers;
  answers.reserve(localIdentifiers.size());
  for (const std::string& local : localIdentifiers) {
    CloudIdentifierMapping answer{local, std::nullopt};
    if (answers.size() < kMaximumMappingRequest) {
      // The UUID is the first 36 characters as a person reads them, as the
      // export run keys the library's rows.
      const auto found =
          cloudGUIDs_->find(std::string(UnicodeText::firstCharacters(local, kUUIDLength)));
      if (found != cloudGUIDs_->end()) answer.cloudIdentifier = found->second;
    }
    answers.push_back(std::move(answer));
  }
  return answers;
}

std::optional<std::filesystem::path> LibraryPhotoPlatform::libraryPackage() const {
  if (libraryPackage_) return libraryPackage_;
  return MetadataStore::libraryURL(picturesFolder_);
}

std::optional<LibraryDatabase> LibraryPhotoPlatform::openLibrary() const {
  const auto package = libraryPackage();
  if (!package) return std::nullopt;
  auto database = LibraryDatabase::open(*package / "database" / "Photos.sqlite");
  // An older library's assets are read under the current table name.
  if (database) LibrarySchema::adapt(database->connection());
  return database;
}

// Every asset's cloud GUID by its UUID, in one pass; a row without a GUID maps
// to nothing, and a later row of the same UUID replaces an earlier one.
std::unordered_map<std::string, std::string> LibraryPhotoPlatform::readCloudGUIDs(
    const SqliteDatabase& db) {
  std::unordered_map<std::string, std::string> guids;
  SqliteStatement statement(db, kCloudGUIDs);
  while (statement.step()) {
    auto uuid = cleaned(statement.columnText(0));
    if (!uuid) continue;
    if (auto guid = cleaned(statement.columnText(1))) {
      guids.insert_or_assign(std::move(*uuid), std::move(*guid));
    } else {
      guids.erase(*uuid);
    }
  }
  return guids;
}

}  // namespace lumenfolio
