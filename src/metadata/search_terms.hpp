// The terms text per asset, from the library's search index: psi.sqlite when
// it opened, else leo.sqlite.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "model/asset_uuid.hpp"
#include "sqlite/sqlite_database.hpp"
#include "sqlite/sqlite_error.hpp"

namespace lumenfolio {

class SearchTerms {
 public:
  // Told why psi.sqlite, which opened, was passed over for leo.sqlite.
  using PassedOver = std::function<void(const SqliteError&)>;

  // Either connection may be absent (null). Keys are upper-case UUID texts.
  static ByAssetUuid<std::string> read(const SqliteDatabase* psi, const SqliteDatabase* leo,
                                       const PassedOver& passedOver = {});

  static ByAssetUuid<std::string> psiTerms(const SqliteDatabase& psi);
  static ByAssetUuid<std::string> leoTerms(const SqliteDatabase& leo);

  // The UUID text of two 64-bit halves: their bytes least significant first,
  // upper-case hex, grouped 8-4-4-4-12.
  static std::string compose(std::int64_t first, std::int64_t second);
};

}  // namespace lumenfolio
