// What the Photos.sqlite at hand names differently from a current library,
// found by compiling probes against it once per opening, never from a version
// number. Libraries of older systems keep the same data under other names:
//   - the asset table is ZGENERICASSET (macOS 10.15);
//   - ZASSET has no ZISDETECTEDSCREENSHOT, a screenshot is ZKINDSUBTYPE 10 (up to macOS 14);
//   - ZDETECTEDFACE joins its asset on ZASSET, not ZASSETFORFACE (up to macOS 13).
// A current library needs none of this, and its statements run as they are.
#pragma once

#include <string_view>

#include "sqlite/sqlite_database.hpp"

namespace lumenfolio {

class LibrarySchema {
 public:
  static constexpr std::string_view kScreenshotColumn = "a.ZISDETECTEDSCREENSHOT";
  static constexpr std::string_view kScreenshotBySubtype =
      "CASE WHEN a.ZKINDSUBTYPE = 10 THEN 1 ELSE 0 END";
  static constexpr std::string_view kNoScreenshot = "0";
  static constexpr std::string_view kFaceAssetColumn = "d.ZASSETFORFACE";
  static constexpr std::string_view kOlderFaceAssetColumn = "d.ZASSET";

  // Probes the library's connection. When it has ZGENERICASSET but no ZASSET,
  // the connection gets a TEMP view ZASSET over ZGENERICASSET, so that every
  // statement naming ZASSET reads the older table with the same columns. The
  // temp schema is kept in memory: nothing is written in or beside the package.
  static LibrarySchema adapt(const SqliteDatabase& library);

  // What the analysis pass reads in place of the screenshot column.
  std::string_view screenshot() const noexcept { return screenshot_; }
  // The ZDETECTEDFACE column the face pass joins its asset on.
  std::string_view faceAsset() const noexcept { return faceAsset_; }

 private:
  std::string_view screenshot_ = kScreenshotColumn;
  std::string_view faceAsset_ = kFaceAssetColumn;
};

}  // namespace lumenfolio
