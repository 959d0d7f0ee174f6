#include "sample_library/sample_photos_database.hpp"

#include <cctype>
#include <optional>
#include <string_view>

#include "model/measure.hpp"

namespace lumenfolio::sample {

namespace {

// "{asset}", "{screenshot}" and "{faceAsset}" stand for the names that differ
// between the layouts (see `laidOut`).
const std::string tables = R"(
CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, Z_MAX INTEGER);
CREATE TABLE {asset} (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZUUID VARCHAR, ZCLOUDASSETGUID VARCHAR, ZKIND INTEGER, ZTRASHEDSTATE INTEGER, ZHIDDEN INTEGER,
  ZVISIBILITYSTATE INTEGER, {screenshot} INTEGER, ZOVERALLAESTHETICSCORE FLOAT,
  ZCURATIONSCORE FLOAT, ZICONICSCORE FLOAT, ZFAVORITE INTEGER, ZAVALANCHEUUID VARCHAR,
  ZDUPLICATEASSETVISIBILITYSTATE INTEGER, ZHDRTYPE INTEGER, ZDEPTHTYPE INTEGER,
  ZLATITUDE FLOAT, ZLONGITUDE FLOAT, ZWIDTH INTEGER, ZHEIGHT INTEGER,
  ZDATECREATED TIMESTAMP, ZFILENAME VARCHAR);
CREATE INDEX {asset}_ZUUID_INDEX ON {asset} (ZUUID);
CREATE TABLE ZMEDIAANALYSISASSETATTRIBUTES (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZASSET INTEGER, ZBLURRINESSSCORE FLOAT, ZEXPOSURESCORE FLOAT, ZFACECOUNT INTEGER,
  ZACTIVITYSCORE FLOAT, ZWALLPAPERSCORE FLOAT);
CREATE INDEX ZMEDIAANALYSISASSETATTRIBUTES_ZASSET_INDEX ON ZMEDIAANALYSISASSETATTRIBUTES (ZASSET);
CREATE TABLE ZADDITIONALASSETATTRIBUTES (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZASSET INTEGER, ZVIEWCOUNT INTEGER, ZSHARECOUNT INTEGER,
  ZHASPEOPLESCENEMIDORGREATERCONFIDENCE INTEGER);
CREATE INDEX ZADDITIONALASSETATTRIBUTES_ZASSET_INDEX ON ZADDITIONALASSETATTRIBUTES (ZASSET);
CREATE TABLE ZDETECTEDFACE (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  {faceAsset} INTEGER, ZISLEFTEYECLOSED INTEGER, ZISRIGHTEYECLOSED INTEGER, ZHASSMILE INTEGER);
CREATE INDEX ZDETECTEDFACE_{faceAsset}_INDEX ON ZDETECTEDFACE ({faceAsset});
CREATE TABLE ZEXTENDEDATTRIBUTES (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZASSET INTEGER, ZCAMERAMODEL VARCHAR, ZLENSMODEL VARCHAR, ZISO INTEGER, ZAPERTURE FLOAT,
  ZSHUTTERSPEED FLOAT, ZFOCALLENGTH FLOAT, ZFLASHFIRED INTEGER);
CREATE INDEX ZEXTENDEDATTRIBUTES_ZASSET_INDEX ON ZEXTENDEDATTRIBUTES (ZASSET);
INSERT INTO Z_PRIMARYKEY VALUES (1, 'Asset', 0, 0), (2, 'ComputedAssetAttributes', 0, 0),
  (3, 'MediaAnalysisAssetAttributes', 0, 0), (4, 'AdditionalAssetAttributes', 0, 0),
  (5, 'DetectedFace', 0, 0), (6, 'ExtendedAttributes', 0, 0);
)";

// The names an older system's library uses where a current one has ZASSET,
// ZISDETECTEDSCREENSHOT and ZDETECTEDFACE.ZASSETFORFACE.
struct Layout {
  std::string_view asset;
  std::string_view screenshot;
  std::string_view faceAsset;
};

Layout layoutOf(SampleLibrary::Schema schema) {
  switch (schema) {
    case SampleLibrary::Schema::macos10_15:
      return {"ZGENERICASSET", "ZKINDSUBTYPE", "ZASSET"};
    case SampleLibrary::Schema::macos12:
      return {"ZASSET", "ZKINDSUBTYPE", "ZASSET"};
    case SampleLibrary::Schema::macos14:
      return {"ZASSET", "ZKINDSUBTYPE", "ZASSETFORFACE"};
    case SampleLibrary::Schema::current:
      break;
  }
  return {"ZASSET", "ZISDETECTEDSCREENSHOT", "ZASSETFORFACE"};
}

void replaceAll(std::string& text, std::string_view marker, std::string_view name) {
  for (auto at = text.find(marker); at != std::string::npos; at = text.find(marker, at)) {
    text.replace(at, marker.size(), name);
    at += name.size();
  }
}

std::string laidOut(std::string sql, SampleLibrary::Schema schema) {
  const auto layout = layoutOf(schema);
  replaceAll(sql, "{asset}", layout.asset);
  replaceAll(sql, "{screenshot}", layout.screenshot);
  replaceAll(sql, "{faceAsset}", layout.faceAsset);
  return sql;
}

// The screenshot column's value: the detection flag, or in a library that has
// none the kind subtype, 10 for a screenshot and 0 for any other photo. A
// screenshot whose flag was never set stays a plain photo in both.
std::optional<int> screenshotValue(const SampleAsset& asset, SampleLibrary::Schema schema) {
  if (schema == SampleLibrary::Schema::current) return asset.detectedScreenshot;
  return asset.detectedScreenshot.value_or(0) != 0 ? 10 : 0;
}

std::string computedTable() {
  std::string sql =
      "CREATE TABLE ZCOMPUTEDASSETATTRIBUTES (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, "
      "Z_OPT INTEGER, ZASSET INTEGER";
  for (const auto& column : SamplePhotosDatabase::computedScoreColumns()) {
    sql += ", " + column + " FLOAT";
  }
  return sql +
         ");\nCREATE INDEX ZCOMPUTEDASSETATTRIBUTES_ZASSET_INDEX ON "
         "ZCOMPUTEDASSETATTRIBUTES (ZASSET);";
}

std::string computedInsert() {
  std::string columns = "Z_ENT, Z_OPT, ZASSET";
  std::string values = "2, 1, ?";
  for (const auto& column : SamplePhotosDatabase::computedScoreColumns()) {
    columns += ", " + column;
    values += ", ?";
  }
  return "INSERT INTO ZCOMPUTEDASSETATTRIBUTES (" + columns + ") VALUES (" + values + ")";
}

}  // namespace

const std::vector<std::string>& SamplePhotosDatabase::computedScoreColumns() {
  static const std::vector<std::string> columns = [] {
    std::vector<std::string> names;
    for (const auto& measure : Measure::all()) {
      const auto& expression = measure.expression;
      for (auto at = expression.find("c.Z"); at != std::string::npos;
           at = expression.find("c.Z", at + 1)) {
        if (at > 0 && std::isalnum(static_cast<unsigned char>(expression[at - 1])) != 0) continue;
        auto end = at + 2;
        while (end < expression.size() &&
               (std::isalnum(static_cast<unsigned char>(expression[end])) != 0 ||
                expression[end] == '_')) {
          ++end;
        }
        names.push_back(expression.substr(at + 2, end - at - 2));
      }
    }
    return names;
  }();
  return columns;
}

SamplePhotosDatabase::SamplePhotosDatabase(const SampleDatabase& database,
                                           SampleLibrary::Schema schema)
    : database_(database.withSchema(laidOut(tables, schema) + computedTable())),
      schema_(schema),
      asset_(database.prepare(laidOut(
          "INSERT INTO {asset} (Z_PK, Z_ENT, Z_OPT, ZUUID, ZCLOUDASSETGUID, ZKIND, ZTRASHEDSTATE, "
          "ZHIDDEN, ZVISIBILITYSTATE, {screenshot}, ZOVERALLAESTHETICSCORE, "
          "ZCURATIONSCORE, ZICONICSCORE, ZFAVORITE, ZAVALANCHEUUID, "
          "ZDUPLICATEASSETVISIBILITYSTATE, ZHDRTYPE, ZDEPTHTYPE, ZLATITUDE, ZLONGITUDE, ZWIDTH, "
          "ZHEIGHT, ZDATECREATED, ZFILENAME) VALUES (?, 1, 1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
          "?, ?, ?, ?, ?, ?, ?, ?, ?)",
          schema))),
      computed_(database.prepare(computedInsert())),
      analysis_(database.prepare(
          "INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (Z_ENT, Z_OPT, ZASSET, ZBLURRINESSSCORE, "
          "ZEXPOSURESCORE, ZFACECOUNT, ZACTIVITYSCORE, ZWALLPAPERSCORE) "
          "VALUES (3, 1, ?, ?, ?, ?, ?, ?)")),
      additional_(database.prepare(
          "INSERT INTO ZADDITIONALASSETATTRIBUTES (Z_ENT, Z_OPT, ZASSET, ZVIEWCOUNT, ZSHARECOUNT, "
          "ZHASPEOPLESCENEMIDORGREATERCONFIDENCE) VALUES (4, 1, ?, ?, ?, ?)")),
      face_(database.prepare(
          laidOut("INSERT INTO ZDETECTEDFACE (Z_ENT, Z_OPT, {faceAsset}, ZISLEFTEYECLOSED, "
                  "ZISRIGHTEYECLOSED, ZHASSMILE) VALUES (5, 1, ?, ?, ?, ?)",
                  schema))),
      extended_(database.prepare(
          "INSERT INTO ZEXTENDEDATTRIBUTES (Z_ENT, Z_OPT, ZASSET, ZCAMERAMODEL, ZLENSMODEL, ZISO, "
          "ZAPERTURE, ZSHUTTERSPEED, ZFOCALLENGTH, ZFLASHFIRED) "
          "VALUES (6, 1, ?, ?, ?, ?, ?, ?, ?, ?)")),
      primaryKey_(database.prepare(
          laidOut("UPDATE Z_PRIMARYKEY SET Z_MAX = CASE Z_ENT "
                  "WHEN 1 THEN (SELECT ifnull(max(Z_PK), 0) FROM {asset}) "
                  "WHEN 2 THEN (SELECT ifnull(max(Z_PK), 0) FROM ZCOMPUTEDASSETATTRIBUTES) "
                  "WHEN 3 THEN (SELECT ifnull(max(Z_PK), 0) FROM ZMEDIAANALYSISASSETATTRIBUTES) "
                  "WHEN 4 THEN (SELECT ifnull(max(Z_PK), 0) FROM ZADDITIONALASSETATTRIBUTES) "
                  "WHEN 5 THEN (SELECT ifnull(max(Z_PK), 0) FROM ZDETECTEDFACE) "
                  "ELSE (SELECT ifnull(max(Z_PK), 0) FROM ZEXTENDEDATTRIBUTES) END",
                  schema))) {}

void SamplePhotosDatabase::add(const SampleAsset& asset) {
  const std::int64_t pk = ++assets_;
  database_.insert(asset_, pk, asset.storedUuid, asset.cloudGuid, asset.kind, asset.trashedState,
                   asset.hidden, asset.visibilityState, screenshotValue(asset, schema_),
                   asset.overallAesthetic, asset.curation, asset.iconic, asset.favorite,
                   asset.avalancheUuid, asset.duplicateVisibilityState, asset.hdrType,
                   asset.depthType, asset.latitude, asset.longitude, asset.width, asset.height,
                   asset.dateCreated, asset.filename);
  if (asset.computedScores) {
    int index = 1;
    computed_.bindInt64(index, pk);
    for (const auto& score : *asset.computedScores) {
      ++index;
      if (score) {
        computed_.bindDouble(index, *score);
      } else {
        computed_.bindNull(index);
      }
    }
    database_.insert(computed_);
  }
  if (const auto& m = asset.analysis) {
    database_.insert(analysis_, pk, m->blurriness, m->exposure, m->faceCount, m->activity,
                     m->wallpaper);
  }
  if (const auto& x = asset.additional) {
    database_.insert(additional_, pk, x->viewCount, x->shareCount, x->peopleScene);
  }
  for (const auto& face : asset.faces) {
    database_.insert(face_, pk, face.leftEyeClosed, face.rightEyeClosed, face.smile);
  }
  if (const auto& e = asset.extended) {
    database_.insert(extended_, pk, e->cameraModel, e->lensModel, e->iso, e->aperture,
                     e->shutterSpeed, e->focalLength, e->flashFired);
  }
}

void SamplePhotosDatabase::recordPrimaryKeys() {
  database_.insert(primaryKey_);
}

}  // namespace lumenfolio::sample
