#include "metadata/metadata_store.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <system_error>
#include <utility>
#include <vector>

#include "base/file_stamp.hpp"
#include "metadata/panels.hpp"
#include "metadata/search_terms.hpp"
#include "metadata/snapshot_folder.hpp"
#include "metadata/text_cleaning.hpp"
#include "model/measure.hpp"
#include "model/measure_packing.hpp"
#include "sqlite/sqlite_statement.hpp"

namespace lumenfolio {
namespace fs = std::filesystem;
namespace {

// The analysis and face statements around the one column an older library
// names differently (LibrarySchema); for a current library they read
// a.ZISDETECTEDSCREENSHOT and d.ZASSETFORFACE.
constexpr const char* kAnalysisSelect = "SELECT a.ZUUID, m.ZBLURRINESSSCORE, m.ZEXPOSURESCORE, ";
constexpr const char* kAnalysisFrom =
    "\n"
    "FROM ZASSET a\n"
    "JOIN ZMEDIAANALYSISASSETATTRIBUTES m ON m.ZASSET = a.Z_PK\n"
    "WHERE a.ZUUID IS NOT NULL";

// Faces are counted per asset row in the order of the faces' own index, and
// only then named by the asset's UUID: grouped by UUID, every asset would be
// a lookup into the faces of a random other place of the file, which makes
// a large library's read several times slower than its size. Two asset rows
// of one UUID give two rows here, which the reader adds up.
constexpr const char* kFaceSelect =
    "SELECT a.ZUUID, COUNT(*),\n"
    "       SUM(CASE WHEN d.ZISLEFTEYECLOSED = 1 OR d.ZISRIGHTEYECLOSED = 1 THEN 1 ELSE 0 END),\n"
    "       SUM(CASE WHEN d.ZHASSMILE = 1 THEN 1 ELSE 0 END)\n"
    "FROM ZDETECTEDFACE d CROSS JOIN ZASSET a ON a.Z_PK = ";
constexpr const char* kFaceWhere =
    "\n"
    "WHERE a.ZUUID IS NOT NULL\n"
    "GROUP BY ";

// The aliases every catalogue expression is written against.
constexpr const char* kMeasuresFrom =
    "FROM ZASSET a\n"
    "LEFT JOIN ZCOMPUTEDASSETATTRIBUTES c ON c.ZASSET = a.Z_PK\n"
    "LEFT JOIN ZMEDIAANALYSISASSETATTRIBUTES m ON m.ZASSET = a.Z_PK\n"
    "LEFT JOIN ZADDITIONALASSETATTRIBUTES x ON x.ZASSET = a.Z_PK";

constexpr const char* kPreferredLibraryName = "Photos Library.photoslibrary";

constexpr int kIntegrityLinesTold = 3;

// The tables the reads go through, in each database; an older library has
// ZGENERICASSET where a newer one has ZASSET.
constexpr std::array<const char*, 7> kPhotosTables = {"ZASSET",
                                                      "ZGENERICASSET",
                                                      "ZMEDIAANALYSISASSETATTRIBUTES",
                                                      "ZCOMPUTEDASSETATTRIBUTES",
                                                      "ZADDITIONALASSETATTRIBUTES",
                                                      "ZDETECTEDFACE",
                                                      "ZEXTENDEDATTRIBUTES"};
constexpr std::array<const char*, 3> kSearchTables = {"ga", "groups", "assets"};
constexpr std::array<const char*, 2> kLeoTables = {"lexicon", "items"};

// A table an older library lacks, or a database that isn't there, was read
// as absent: there is nothing of it to check. Any other refusal to check is
// no pass.
void checkTables(const SqliteDatabase* database, std::span<const char* const> tables) {
  if (database == nullptr || !*database) return;
  for (const char* table : tables) {
    SqliteStatement check(*database, std::string("PRAGMA integrity_check(\"") + table + "\")");
    if (!check) {
      auto error = check.error(std::string("integrity check of ") + table);
      if (error.cause().starts_with("no such table")) continue;
      throw error;
    }
    // A damaged table gives up to a hundred lines: the first few say enough.
    std::string found;
    for (int lines = 0; lines < kIntegrityLinesTold && check.step(); ++lines) {
      const auto line = check.columnText(0).value_or("");
      if (line == "ok") break;
      found += (found.empty() ? "" : "; ") + std::string(line);
    }
    if (found.empty()) continue;
    throw SqliteError(std::string("integrity check of ") + table,
                      sqlite3_db_filename(database->handle(), "main"), SQLITE_CORRUPT,
                      SQLITE_CORRUPT, found);
  }
}

// A library whose schema lacks a table or column of an expression loses just that measure.
std::vector<const Measure*> usableMeasures(const SqliteDatabase& library) {
  std::vector<const Measure*> usable;
  for (const auto& measure : Measure::all()) {
    const SqliteStatement probe(library,
                                "SELECT " + measure.expression + " " + kMeasuresFrom + " LIMIT 0");
    if (probe) usable.push_back(&measure);
  }
  return usable;
}

std::string measuresQuery(const std::vector<const Measure*>& usable) {
  std::string query = "SELECT a.ZUUID";
  for (const auto* measure : usable) query += ", " + measure->expression;
  return query + " " + kMeasuresFrom + " WHERE a.ZUUID IS NOT NULL";
}

// Narrowing a double beyond the float range is undefined in C++; IEEE rounding
// to nearest takes everything from halfway past FLT_MAX on to infinity.
float narrowed(double value) {
  constexpr double kOverflow = 0x1.ffffffp127;
  if (std::fabs(value) >= kOverflow) {
    return std::copysign(std::numeric_limits<float>::infinity(), static_cast<float>(value));
  }
  return static_cast<float>(value);
}

}  // namespace

MetadataStore::MetadataStore(fs::path picturesFolder, std::optional<fs::path> libraryPackage,
                             fs::path home, ListingSink listingSink, Options options)
    : picturesFolder_(std::move(picturesFolder)),
      libraryPackage_(std::move(libraryPackage)),
      home_(std::move(home)),
      listingSink_(std::move(listingSink)),
      options_(std::move(options)) {}

std::string MetadataStore::notFoundFailure(const fs::path& searched, bool searchedIsPackage,
                                           const fs::path& home) {
  // Normal forms without a trailing separator, so "/home/ada/" is the home of "/home/ada/Pictures".
  const auto place = (searched / "").lexically_normal().parent_path();
  const auto homeFolder = (home / "").lexically_normal().parent_path();
  std::string told = place.string();
  if (homeFolder.has_relative_path()) {
    const auto inside = place.lexically_relative(homeFolder);
    const bool underHome = !inside.empty() && *inside.begin() != "..";
    if (underHome) told = inside == "." ? "~" : "~/" + inside.string();
  }
  return std::string("Couldn't find a Photos library ") + (searchedIsPackage ? "at " : "in ") +
         told + ".";
}

std::optional<fs::path> MetadataStore::libraryURL(const fs::path& picturesFolder) {
  std::error_code error;
  const auto preferred = picturesFolder / kPreferredLibraryName;
  if (fs::exists(preferred, error)) return preferred;

  // Taken in the order the folder lists its entries, on purpose unsorted.
  fs::directory_iterator entry(picturesFolder, error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    const auto& path = entry->path();
    if (path.extension() == ".photoslibrary") return path;
  }
  return std::nullopt;
}

// Each run locates the library once, at its start, and reads that package
// until release(): a library restored, moved or created in between is the
// next run's.
void MetadataStore::openIfNeeded() {
  if (opened_) return;
  opened_ = true;
  PhaseTimer timer(options_.phases);
  openLibrary();
  timer.ended("locate and open");
}

void MetadataStore::openLibrary() {
  searchIndex_.reset();
  panelsRead_.reset();
  view_.reset();
  expectedAssets_ = 0;
  const auto package = locateLibrary();
  if (!package) {
    failure_ = libraryPackage_ ? notFoundFailure(*libraryPackage_, true, home_)
                               : notFoundFailure(picturesFolder_, false, home_);
    needsFullDiskAccess_ = false;
    return;
  }
  // Copies that killed runs could not remove would otherwise pile up in the
  // temporary folder, which is often memory.
  SnapshotFolder::removeAbandoned();
  view_ = LibraryView::open(*package, options_.stop);
  for (const auto& file : view_->unopened()) {
    options_.log.write(LogLevel::warning,
                       file.string() + " is there but can't be opened; it is read as absent.");
  }
  for (const auto& [file, cause] : view_->missingWalRows()) {
    options_.log.write(LogLevel::warning,
                       file.string() +
                           " is read without its \"-wal\", which can't be read: the rows "
                           "written since its last checkpoint are left out (" +
                           cause + ").");
  }
  needsFullDiskAccess_ = view_->opensNothing();
  failure_ =
      needsFullDiskAccess_ ? std::optional<std::string>(kFullDiskAccessFailure) : std::nullopt;
  // Every run reads the search terms: they are read from the moment the
  // library is open, the listing below included.
  prefetchSearchIndex();
  if (listingSink_) {
    auto listing = std::make_shared<const ImageAssetListing>(
        view_->photos() ? ImageAssetListing::read(*view_->photos()) : ImageAssetListing());
    expectedAssets_ = std::max(listing->localIdentifiers.size(), listing->cloudGUIDs.size());
    listingSink_(std::move(listing));
  }
}

void MetadataStore::release() {
  // The thread reads this run's view: it ends before the view closes.
  searchIndex_.reset();
  panelsRead_.reset();
  if (listingSink_ && view_) listingSink_(nullptr);
  view_.reset();
  opened_ = false;
}

// The listing's cloud GUIDs weigh tens of megabytes in a large library, and
// nothing asks for them once the photos are mapped.
void MetadataStore::photosMapped() {
  told([this] {
    if (listingSink_ && view_) listingSink_(nullptr);
  });
}

void MetadataStore::checkIntegrity() {
  told([this] {
    if (!view_) return;
    PhaseTimer timer(options_.phases);
    checkTables(view_->photos(), kPhotosTables);
    settleSearchIndex();
    checkTables(view_->search(), kSearchTables);
    checkTables(view_->leo(), kLeoTables);
    timer.ended("integrity check");
  });
}

bool MetadataStore::libraryUnchanged() {
  return !view_ || view_->isUnchanged();
}

std::optional<fs::path> MetadataStore::locateLibrary() const {
  if (!libraryPackage_) return libraryURL(picturesFolder_);
  std::error_code error;
  if (fs::exists(*libraryPackage_, error)) return libraryPackage_;
  return std::nullopt;
}

std::string MetadataStore::analysisStatement(const LibrarySchema& schema) {
  return kAnalysisSelect + std::string(schema.screenshot()) + kAnalysisFrom;
}

std::string MetadataStore::faceStatement(const LibrarySchema& schema) {
  const std::string faceAsset(schema.faceAsset());
  return kFaceSelect + faceAsset + kFaceWhere + faceAsset;
}

std::optional<std::string> MetadataStore::currentFailure() {
  told([this] { openIfNeeded(); });
  return failure_;
}

bool MetadataStore::currentNeedsFullDiskAccess() {
  told([this] { openIfNeeded(); });
  return needsFullDiskAccess_;
}

// Telling the files never opens them: SQLite leaves no side file behind,
// and a run that finds them unchanged needs no connection at all.
std::optional<std::string> MetadataStore::fingerprint() {
  const auto package = view_ ? std::optional<fs::path>(view_->package()) : locateLibrary();
  if (!package) return std::nullopt;
  std::string text = package->string();
  for (const char* database :
       {LibraryView::kSearchPath, LibraryView::kPhotosPath, LibraryView::kLeoPath}) {
    const auto file = *package / database;
    text += '\n';
    text += database;
    text += ' ' + FileStamp::of(file) + " wal " + FileStamp::of(fs::path(file.string() + "-wal"));
  }
  return text;
}

template <typename Read>
auto MetadataStore::timed(std::string_view phase, Read read) {
  return told([this, phase, &read] {
    openIfNeeded();
    PhaseTimer timer(options_.phases);
    auto result = read();
    timer.ended(phase);
    return result;
  });
}

ByAssetUuid<MetadataStore::Features> MetadataStore::features() {
  return timed("features", [this] { return readFeatures(); });
}

ByAssetUuid<MetadataStore::Features> MetadataStore::readFeatures() {
  ByAssetUuid<Features> result;
  if (!view_ || !view_->photos()) return result;
  result.reserve(expectedAssets_);
  const auto& library = *view_->photos();

  if (SqliteStatement analysis(library, analysisStatement(view_->schema())); analysis) {
    while (analysis.step()) {
      auto key = cleanedUuid(analysis.columnText(0));
      if (!key) continue;
      Features features;
      features.sharpness = analysis.columnDouble(1);
      features.exposure = analysis.columnDouble(2);
      // Read whole: a 32-bit read would take 2^32 for zero.
      features.isScreenshot = analysis.columnInt64(3) != 0;
      result.insert_or_assign(std::move(*key), features);
    }
  }

  if (SqliteStatement faces(library, faceStatement(view_->schema())); faces) {
    while (faces.step()) {
      auto key = cleanedUuid(faces.columnText(0));
      if (!key) continue;
      // An asset without a media-analysis row starts from zero scores.
      auto& features = result[std::move(*key)];
      features.faces += faces.columnInt(1);
      features.eyesClosed += faces.columnInt(2);
      features.smiles += faces.columnInt(3);
    }
  }
  return result;
}

ByAssetUuid<Bytes> MetadataStore::measures() {
  return timed("measures", [this] { return readMeasures(); });
}

ByAssetUuid<Bytes> MetadataStore::readMeasures() {
  ByAssetUuid<Bytes> result;
  if (!view_ || !view_->photos()) return result;
  result.reserve(expectedAssets_);
  const auto& library = *view_->photos();

  const auto usable = usableMeasures(library);
  if (usable.empty()) return result;
  SqliteStatement rows(library, measuresQuery(usable));
  if (!rows) return result;

  // One buffer for all rows: entries arrive in catalogue order, which is code order.
  std::vector<MeasurePacking::Entry> entries;
  entries.reserve(usable.size());
  const int columns = static_cast<int>(usable.size());
  while (rows.step()) {
    auto key = cleanedUuid(rows.columnText(0));
    if (!key) continue;
    entries.clear();
    for (int i = 0; i < columns; ++i) {
      // NULL means the measure has no value for this asset; zero is a value.
      if (rows.isNull(i + 1)) continue;
      entries.emplace_back(usable[i]->code, narrowed(rows.columnDouble(i + 1)));
    }
    if (entries.empty()) continue;
    result.insert_or_assign(std::move(*key), MeasurePacking::pack(entries));
  }
  return result;
}

// With psi.sqlite's terms read on its thread, the panels are read here in
// the meantime (the camera details, then leo.sqlite's lexeme fields), so
// that both threads read at once; panels() then hands them over.
ByAssetUuid<std::string> MetadataStore::searchTerms() {
  return told([this] {
    openIfNeeded();
    PhaseTimer timer(options_.phases);
    if (searchIndex_ && leoOnWorker_ && !panelsRead_) {
      panelsRead_ = readPanels();
      timer.ended("panels");
    }
    auto terms = readSearchTerms();
    timer.ended("terms");
    return terms;
  });
}

ByAssetUuid<std::string> MetadataStore::readSearchTerms() {
  if (!view_) return {};
  if (searchIndex_) {
    std::optional<ByAssetUuid<std::string>> terms;
    try {
      terms = searchIndex_->takeTerms();
    } catch (const SqliteError& error) {
      // A psi.sqlite that can't be read gives way to leo.sqlite, as
      // SearchTerms::read does; the thread was given psi.sqlite alone.
      if (!leoOnWorker_ || !view_->leo()) throw;
      searchIndexPassedOver()(error);
      searchIndex_.reset();
      return SearchTerms::read(nullptr, view_->leo());
    }
    searchIndex_.reset();
    if (terms) return std::move(*terms);
  }
  settleSearchIndex();
  return SearchTerms::read(view_->search(), view_->leo(), searchIndexPassedOver());
}

ByAssetUuid<std::string> MetadataStore::panels() {
  return told([this]() -> ByAssetUuid<std::string> {
    openIfNeeded();
    if (panelsRead_) {
      auto texts = std::move(*panelsRead_);
      panelsRead_.reset();
      return texts;
    }
    PhaseTimer timer(options_.phases);
    auto texts = readPanels();
    timer.ended("panels");
    return texts;
  });
}

ByAssetUuid<std::string> MetadataStore::readPanels() {
  if (!view_) return {};
  // leo.sqlite is read here only once the thread has let go of it.
  if (!leoOnWorker_) settleSearchIndex();
  return Panels::read(view_->leo(), view_->photos(), expectedAssets_);
}

// Started as the library opens, as the run always reads the search terms
// after Photos.sqlite: in the run's own read transactions of psi.sqlite and
// leo.sqlite, whose connections only that thread uses until it has ended.
// With psi.sqlite the thread reads its terms alone, and leo.sqlite stays with
// this worker for the panels; without it, the thread reads leo.sqlite's terms
// and the panels wait for it.
void MetadataStore::prefetchSearchIndex() {
  if (options_.reading == Reading::inTurn || searchIndex_ || !view_ ||
      (!view_->search() && !view_->leo())) {
    return;
  }
  leoOnWorker_ = view_->search() != nullptr;
  searchIndex_.emplace(view_->search(), leoOnWorker_ ? nullptr : view_->leo());
}

void MetadataStore::settleSearchIndex() {
  if (searchIndex_) searchIndex_->wait();
}

// The search index that can't be read is no failure of the run, as
// leo.sqlite stands in for it, but someone should learn why.
SearchTerms::PassedOver MetadataStore::searchIndexPassedOver() const {
  return [this](const SqliteError& error) {
    options_.log.write(LogLevel::warning,
                       "The search terms come from leo.sqlite, as psi.sqlite can't be read: " +
                           std::string(retold(error).what()));
  };
}

SqliteError MetadataStore::retold(const SqliteError& error) const {
  if (!view_) return error;
  return SqliteError(error.operation(), view_->packagePathOf(error.path()), error.resultCode(),
                     error.extendedCode(), error.cause());
}

}  // namespace lumenfolio
