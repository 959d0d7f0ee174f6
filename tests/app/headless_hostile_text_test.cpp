// Text in the library that is meant to hurt: an asset UUID whose last
// character carries a quarter of a million combining marks. The export still
// ends, and keys that asset by its first 36 characters as a person reads
// them, marks and all.
#include <gtest/gtest.h>

#include <string>

#include "headless_fixture.hpp"
#include "headless_library.hpp"

namespace lumenfolio::testing {
namespace {

constexpr int kMarks = 250000;

TEST(HeadlessHostileText, aUuidWithAQuarterMillionCombiningMarksIsMatchedWhole) {
  HeadlessUser user;
  const auto library = user.scratch("libraries") / "Photos Library.photoslibrary";
  writeSampleLibrary(library, 60, 13);
  const auto shared = user.scratch("shared");

  std::int64_t pk = 0;
  std::string guid;
  double sharpness = 0;
  {
    const auto db = openCopy(photosDatabase(library));
    SqliteStatement chosen(
        db, std::string("SELECT a.Z_PK, TRIM(a.ZCLOUDASSETGUID), m.ZBLURRINESSSCORE FROM ZASSET a "
                        "JOIN ZMEDIAANALYSISASSETATTRIBUTES m ON m.ZASSET = a.Z_PK WHERE ") +
                kListedCondition +
                " AND TRIM(COALESCE(a.ZCLOUDASSETGUID, '')) <> '' AND m.ZBLURRINESSSCORE > 0 "
                "ORDER BY a.Z_PK LIMIT 1");
    ASSERT_TRUE(chosen.step());
    pk = chosen.columnInt64(0);
    guid = std::string(*chosen.columnText(1));
    sharpness = chosen.columnDouble(2);
    std::string marks;
    for (int i = 0; i < kMarks; ++i) marks += "\u0301";
    SqliteStatement update(db, "UPDATE ZASSET SET ZUUID = TRIM(ZUUID) || ?1 WHERE Z_PK = ?2");
    ASSERT_EQ(update.bindText(1, marks), SQLITE_OK);
    ASSERT_EQ(update.bindInt64(2, pk), SQLITE_OK);
    ASSERT_EQ(update.stepResult(), SQLITE_DONE);
  }

  // The limit of finish() only guards against a hang.
  const auto result =
      user.run({"export", "--library", library.string(), "--folder", shared.string()});
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  const auto content = readSharedFile(sharedFileIn(shared));
  ASSERT_TRUE(content.features.contains(guid)) << "asset " << pk << " was dropped";
  EXPECT_EQ(content.features.at(guid).sharpness, sharpness);
}

}  // namespace
}  // namespace lumenfolio::testing
