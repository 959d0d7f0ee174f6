// Everything the sample library holds about one asset, drawn from the seed
// and the asset's position alone, so that the three databases agree on it
// and each asset can be made without the others.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sample_library/sample_vocabulary.hpp"

namespace lumenfolio::sample {

struct SampleAsset {
  struct Analysis {
    double blurriness = 0;
    double exposure = 0;
    int faceCount = 0;
    std::optional<double> activity;
    std::optional<double> wallpaper;
  };

  struct Additional {
    int viewCount = 0;
    int shareCount = 0;
    int peopleScene = 0;
  };

  struct Face {
    int leftEyeClosed = 0;
    int rightEyeClosed = 0;
    int smile = 0;
  };

  struct Extended {
    std::optional<std::string> cameraModel;
    std::optional<std::string> lensModel;
    std::optional<int> iso;
    std::optional<double> aperture;
    std::optional<double> shutterSpeed;
    std::optional<double> focalLength;
    std::optional<int> flashFired;
  };

  // Identity.
  std::array<std::uint8_t, 16> uuid{};
  std::string storedUuid;  // ZUUID as written: mostly upper case, a few lower case or padded
  std::optional<std::string> cloudGuid;

  // ZASSET.
  int kind = 0;  // 0 image, 1 video
  int trashedState = 0;
  int hidden = 0;
  int visibilityState = 0;
  std::optional<int> detectedScreenshot;
  std::optional<double> overallAesthetic;
  std::optional<double> curation;
  std::optional<double> iconic;
  int favorite = 0;
  std::optional<std::string> avalancheUuid;
  int duplicateVisibilityState = 0;
  int hdrType = 0;
  int depthType = 0;
  std::optional<double> latitude;
  std::optional<double> longitude;
  const SampleVocabulary::Locality* locality = nullptr;  // the named place it was taken at
  int width = 0;
  int height = 0;
  double dateCreated = 0;
  std::string filename;

  // The related tables; an absent row is an empty optional.
  std::optional<std::vector<std::optional<double>>> computedScores;  // one per score column
  std::optional<Analysis> analysis;
  std::optional<Additional> additional;
  std::vector<Face> faces;
  std::optional<Extended> extended;

  // The search databases; an asset not yet indexed has neither.
  bool indexed = false;
  std::vector<std::int64_t> psiGroups;  // rowids of groups, in ga order
  std::string leoIdentifier;
  std::vector<std::uint8_t> leoLexemeIds;                 // the items blob
  std::optional<std::vector<std::uint8_t>> otherLeoItem;  // the blob of an item of another type

  // Visible, untrashed, unhidden image: what the photo platform lists.
  bool isListedImage() const;
  bool hasCloudGuid() const;
  std::string upperUuid() const;
  std::int64_t uuidHalf(int half) const;  // little-endian, as psi.sqlite stores them

  // Lexeme ids as leo.sqlite stores them: 4 bytes each, least significant first.
  static std::vector<std::uint8_t> lexemeBlob(const std::vector<std::uint32_t>& ids);

  static SampleAsset make(std::uint64_t seed, int index, std::size_t computedScoreColumns,
                          const SampleVocabulary& vocabulary);
};

}  // namespace lumenfolio::sample
