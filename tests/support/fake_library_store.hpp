// A library reader whose tables and failure the test sets, counting each read.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "metadata/asset_metadata.hpp"
#include "metadata/library_store.hpp"
#include "sqlite/sqlite_error.hpp"

namespace lumenfolio::testing {

class FakeLibraryStore : public LibraryStore {
 public:
  ByAssetUuid<AssetFeatures> features() override {
    ++featureReads;
    return featureTable;
  }
  ByAssetUuid<Bytes> measures() override {
    ++measureReads;
    return measureTable;
  }
  ByAssetUuid<std::string> searchTerms() override {
    ++termReads;
    return termTable;
  }
  ByAssetUuid<std::string> panels() override {
    ++panelReads;
    if (panelFailure) throw *panelFailure;
    ByAssetUuid<std::string> texts;
    for (const auto& [key, record] : panelTable) {
      if (auto text = record.json(); !text.empty()) texts.emplace(key, std::move(text));
    }
    return texts;
  }
  void photosMapped() override { ++mappingsTold; }
  std::optional<std::string> fingerprint() override {
    ++fingerprintReads;
    return libraryFingerprint;
  }
  std::optional<std::string> currentFailure() override {
    ++failureReads;
    return failure;
  }
  bool currentNeedsFullDiskAccess() override {
    ++fullDiskAccessReads;
    return needsFullDiskAccess;
  }
  bool libraryUnchanged() override {
    ++identityChecks;
    if (changesToReport == 0) return true;
    --changesToReport;
    return false;
  }
  void checkIntegrity() override {
    ++integrityChecks;
    if (integrityFailure) throw *integrityFailure;
  }
  void release() override { ++releases; }

  ByAssetUuid<AssetFeatures> featureTable;
  ByAssetUuid<Bytes> measureTable;
  ByAssetUuid<std::string> termTable;
  std::unordered_map<std::string, AssetMetadata> panelTable;
  std::optional<std::string> failure;
  std::optional<std::string> libraryFingerprint;
  bool needsFullDiskAccess = false;
  // Thrown by panels(), as a scan that ends in an error throws it.
  std::optional<SqliteError> panelFailure;
  // Thrown by checkIntegrity(), as a library that fails SQLite's check throws it.
  std::optional<SqliteError> integrityFailure;
  // How many of the next identity checks find the library changed.
  int changesToReport = 0;

  int identityChecks = 0;
  int integrityChecks = 0;
  int featureReads = 0;
  int measureReads = 0;
  int termReads = 0;
  int panelReads = 0;
  int failureReads = 0;
  int fingerprintReads = 0;
  int fullDiskAccessReads = 0;
  int releases = 0;
  int mappingsTold = 0;
};

}  // namespace lumenfolio::testing
