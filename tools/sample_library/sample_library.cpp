#include "sample_library/sample_library.hpp"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "sample_library/sample_asset.hpp"
#include "sample_library/sample_database.hpp"
#include "sample_library/sample_leo_database.hpp"
#include "sample_library/sample_photos_database.hpp"
#include "sample_library/sample_psi_database.hpp"
#include "sample_library/sample_vocabulary.hpp"

namespace lumenfolio::sample {

namespace {

// The newest assets arrive after the last checkpoint, as in a library in use:
// their rows are only in the "-wal" until something checkpoints it.
int recentAssets(int assets) {
  return assets > 0 ? std::max(1, assets / 50) : 0;
}

void count(SampleLibrary::Summary& summary, const SampleAsset& asset) {
  ++summary.assets;
  if (asset.isListedImage()) {
    ++summary.images;
    if (asset.hasCloudGuid()) ++summary.imagesWithCloudID;
  }
  if (asset.analysis) ++summary.analysed;
  summary.faces += static_cast<int>(asset.faces.size());
}

class Writer {
 public:
  Writer(const SampleLibrary::Options& options, const std::array<SampleDatabase*, 3>& databases)
      : options_(options),
        databases_(databases),
        photos_(*databases[0], options.schema),
        psi_(*databases[1]),
        leo_(*databases[2]) {}

  SampleLibrary::Summary write() {
    const int recent = recentAssets(options_.assets);
    summary_.lexemes = static_cast<int>(vocabulary_.lexicon.size());
    summary_.recentAssets = recent;

    execEverywhere("BEGIN");
    psi_.addGroups(vocabulary_);
    leo_.addLexicon(vocabulary_);
    addAssets(0, options_.assets - recent);
    execEverywhere("COMMIT");
    for (const auto* database : databases_) database->switchToWriteAheadLog();

    execEverywhere("BEGIN");
    addAssets(options_.assets - recent, options_.assets);
    execEverywhere("COMMIT");
    return summary_;
  }

 private:
  void execEverywhere(const std::string& sql) const {
    for (const auto* database : databases_) database->exec(sql);
  }

  void addAssets(int from, int to) {
    const auto scoreColumns = SamplePhotosDatabase::computedScoreColumns().size();
    for (int index = from; index < to; ++index) {
      const auto asset = SampleAsset::make(options_.seed, index, scoreColumns, vocabulary_);
      photos_.add(asset);
      summary_.psiTerms += psi_.add(asset);
      summary_.items += leo_.add(asset);
      count(summary_, asset);
    }
    photos_.recordPrimaryKeys();
  }

  const SampleLibrary::Options& options_;
  const SampleVocabulary& vocabulary_ = SampleVocabulary::shared();
  std::array<SampleDatabase*, 3> databases_;
  SamplePhotosDatabase photos_;
  SamplePsiDatabase psi_;
  SampleLeoDatabase leo_;
  SampleLibrary::Summary summary_;
};

}  // namespace

SampleLibrary::Summary SampleLibrary::write(const std::filesystem::path& package,
                                            const Options& options) {
  if (options.assets < 0) throw std::runtime_error("the number of assets cannot be negative");
  const auto database = package / "database";
  const auto search = database / "search";
  std::filesystem::create_directories(search);
  SampleDatabase photos(database / "Photos.sqlite");
  SampleDatabase psi(search / "psi.sqlite");
  SampleDatabase leo(search / "leo.sqlite");
  // The writer's statements are finalized before the connections close.
  const auto summary = Writer(options, {&photos, &psi, &leo}).write();
  for (auto* db : {&photos, &psi, &leo}) db->close(options.sideFiles);
  return summary;
}

}  // namespace lumenfolio::sample
