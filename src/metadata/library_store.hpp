// What the export run asks of the library reader. The Photos library reader
// implements it; tests give the controller a fake.
#pragma once

#include <optional>
#include <string>

#include "metadata/asset_features.hpp"
#include "model/asset_uuid.hpp"
#include "model/bytes.hpp"

namespace lumenfolio {

class LibraryStore {
 public:
  virtual ~LibraryStore() = default;

  // Each read throws (SqliteError, for the reader of the real library) when
  // it can't read its tables to the end; a missing table gives nothing.
  //
  // Keyed by the asset UUID text as Photos.sqlite stores it (cleaned).
  virtual ByAssetUuid<AssetFeatures> features() = 0;
  virtual ByAssetUuid<Bytes> measures() = 0;
  // Keyed by the upper-case asset UUID text.
  virtual ByAssetUuid<std::string> searchTerms() = 0;
  // Each asset's panel record as its text (AssetMetadata::json), the only
  // form the export keeps; an asset whose record has no text is absent.
  virtual ByAssetUuid<std::string> panels() = 0;

  // The run has fetched its photos and mapped them to cloud identifiers, which
  // a photo platform reading this library may have been lent the library's
  // listing for: the listing can go before the largest tables are read.
  virtual void photosMapped() = 0;

  // Tells the library's database files as they are on disk now, without
  // opening them: for each database and its "-wal", its FileStamp. Two equal
  // fingerprints mean files that nobody wrote, replaced or touched in
  // between. Nothing when there is no library.
  virtual std::optional<std::string> fingerprint() = 0;

  virtual std::optional<std::string> currentFailure() = 0;
  virtual bool currentNeedsFullDiskAccess() = 0;

  // False when the library's files changed since the run's first read (a
  // newer copy in their place, a write): what was read may mix versions.
  virtual bool libraryUnchanged() = 0;

  // Runs SQLite's integrity check on each table the run's reads went
  // through, in the run's own reading of them, and throws SqliteError
  // (SQLITE_CORRUPT, naming the database and what the check found) at the
  // first that fails. As slow as reading those tables again.
  virtual void checkIntegrity() = 0;

  // Closes the library's connections once a run is over; the next read
  // locates the library and opens it afresh. A long-running exporter then
  // reads the library as it is now, and never holds it open while the
  // library's owner starts up.
  virtual void release() = 0;
};

}  // namespace lumenfolio
