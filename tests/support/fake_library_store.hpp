// A library reader whose tables and failure the test sets, counting each read.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "metadata/library_store.hpp"

namespace lumenfolio::testing {

class FakeLibraryStore : public LibraryStore {
 public:
  std::unordered_map<std::string, AssetFeatures> features() override {
    ++featureReads;
    return featureTable;
  }
  std::unordered_map<std::string, Bytes> measures() override {
    ++measureReads;
    return measureTable;
  }
  std::unordered_map<std::string, std::string> searchTerms() override {
    ++termReads;
    return termTable;
  }
  std::unordered_map<std::string, AssetMetadata> panels() override {
    ++panelReads;
    return panelTable;
  }
  std::optional<std::string> currentFailure() override {
    ++failureReads;
    return failure;
  }
  bool currentNeedsFullDiskAccess() override {
    ++fullDiskAccessReads;
    return needsFullDiskAccess;
  }
  void release() override { ++releases; }

  std::unordered_map<std::string, AssetFeatures> featureTable;
  std::unordered_map<std::string, Bytes> measureTable;
  std::unordered_map<std::string, std::string> termTable;
  std::unordered_map<std::string, AssetMetadata> panelTable;
  std::optional<std::string> failure;
  bool needsFullDiskAccess = false;

  int featureReads = 0;
  int measureReads = 0;
  int termReads = 0;
  int panelReads = 0;
  int failureReads = 0;
  int fullDiskAccessReads = 0;
  int releases = 0;
};

}  // namespace lumenfolio::testing
