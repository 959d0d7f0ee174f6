#include "sample_library/sample_asset.hpp"

#include <cctype>
#include <cstdio>

#include "sample_library/sample_random.hpp"

namespace lumenfolio::sample {

namespace {

using Stream = SampleRandom::Stream;

std::array<std::uint8_t, 16> randomUuid(SampleRandom& random) {
  std::array<std::uint8_t, 16> bytes{};
  for (int half = 0; half < 2; ++half) {
    const auto value = random.next();
    for (int i = 0; i < 8; ++i) bytes[half * 8 + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return bytes;
}

std::string uuidText(const std::array<std::uint8_t, 16>& bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
    text += digits;
  }
  return text;
}

std::string lowerCased(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Most ZUUIDs are upper case; a few are stored lower case or with white space
// around them, which readers have to cope with.
std::string storedForm(const std::string& upper, SampleRandom& random) {
  const double roll = random.unit();
  if (roll < 0.015) return lowerCased(upper);
  if (roll < 0.0175) return " " + upper + " ";
  if (roll < 0.02) return upper + "\n";
  return upper;
}

std::optional<std::string> cloudGuid(SampleRandom& random) {
  const double roll = random.unit();
  if (roll < 0.04) return std::nullopt;
  if (roll < 0.055) return std::string();
  if (roll < 0.06) return std::string("   ");
  return uuidText(randomUuid(random));
}

std::optional<double> score(SampleRandom& random, double nullShare) {
  if (random.chance(nullShare)) return std::nullopt;
  return random.unit();
}

// Kind, visibility, cloud GUID, scores and flags; returns whether it is a screenshot.
bool drawStateAndFlags(SampleAsset& asset, SampleRandom& random) {
  asset.kind = random.chance(0.08) ? 1 : 0;
  const bool video = asset.kind == 1;
  asset.trashedState = random.chance(0.02) ? 1 : 0;
  asset.hidden = random.chance(0.015) ? 1 : 0;
  asset.visibilityState = random.chance(0.02) ? 2 : 0;
  asset.cloudGuid = cloudGuid(random);
  const bool screenshot = !video && random.chance(0.04);
  asset.detectedScreenshot =
      random.chance(0.005) ? std::nullopt : std::optional(screenshot ? 1 : 0);
  asset.overallAesthetic = score(random, 0.06);
  asset.curation = score(random, 0.06);
  asset.iconic = score(random, 0.2);
  asset.favorite = random.chance(0.06) ? 1 : 0;
  asset.duplicateVisibilityState = random.chance(0.02) ? random.between(1, 2) : 0;
  asset.hdrType = !video && random.chance(0.18) ? random.between(1, 10) : 0;
  asset.depthType = !video && random.chance(0.05) ? random.between(1, 2) : 0;
  return screenshot;
}

void drawLocation(SampleAsset& asset, SampleRandom& random,
                  const std::vector<SampleVocabulary::Locality>& localities) {
  const double place = random.unit();
  if (place < 0.03) {
    asset.latitude = -180.0;  // the library's "no location" marker
    asset.longitude = -180.0;
  } else if (place >= 0.21) {
    // Most located shots were taken in a handful of places, a few anywhere.
    if (random.chance(0.9)) asset.locality = &random.pick(localities);
    const double latitude = asset.locality ? asset.locality->latitude : random.between(-60.0, 70.0);
    const double longitude =
        asset.locality ? asset.locality->longitude : random.between(-180.0, 180.0);
    asset.latitude = latitude + random.between(-0.05, 0.05);
    asset.longitude = longitude + random.between(-0.05, 0.05);
  }
}

void drawFile(SampleAsset& asset, int index, bool screenshot, SampleRandom& random) {
  const bool video = asset.kind == 1;
  struct Size {
    int width, height;
  };
  static const std::vector<Size> photoSizes{{4032, 3024}, {3024, 4032}, {4284, 5712}, {5712, 4284},
                                            {8064, 6048}, {2048, 1536}, {1280, 960},  {640, 480},
                                            {1080, 1080}, {6000, 4000}};
  static const std::vector<Size> videoSizes{{1920, 1080}, {3840, 2160}, {1080, 1920}, {1280, 720}};
  const auto size = screenshot ? Size{1179, 2556} : random.pick(video ? videoSizes : photoSizes);
  asset.width = size.width;
  asset.height = size.height;
  asset.dateCreated = 5.0e8 + index * 1800.0 + random.between(0.0, 1800.0);
  char name[32];
  std::snprintf(name, sizeof name, "IMG_%04d.%s", index % 10000,
                video ? "MOV" : (screenshot ? "PNG" : "HEIC"));
  asset.filename = name;
}

std::vector<std::optional<double>> drawComputedScores(std::size_t columns, SampleRandom& random) {
  // Analysis that ran but scored nothing leaves a row of NULLs.
  const double nullShare = random.chance(0.02) ? 1.0 : 0.07;
  std::vector<std::optional<double>> scores;
  for (std::size_t i = 0; i < columns; ++i) scores.push_back(score(random, nullShare));
  return scores;
}

int faceCount(SampleRandom& random) {
  const double roll = random.unit();
  if (roll < 0.55) return 0;
  if (roll < 0.80) return 1;
  if (roll < 0.92) return 2;
  return random.between(3, 6);
}

SampleAsset::Face face(SampleRandom& random) {
  return {random.chance(0.07) ? 1 : 0, random.chance(0.07) ? 1 : 0, random.chance(0.35) ? 1 : 0};
}

void drawAnalysis(SampleAsset& asset, SampleRandom& random) {
  if (random.chance(asset.kind == 1 ? 0.6 : 0.92)) {
    SampleAsset::Analysis analysis;
    analysis.blurriness = random.unit();
    analysis.exposure = random.unit();
    analysis.faceCount = faceCount(random);
    analysis.activity = score(random, 0.1);
    analysis.wallpaper = score(random, 0.15);
    asset.analysis = analysis;
    for (int i = 0; i < analysis.faceCount; ++i) asset.faces.push_back(face(random));
  } else if (random.chance(0.03)) {
    // Faces found before the media analysis ran.
    for (int i = random.between(1, 2); i > 0; --i) asset.faces.push_back(face(random));
  }
}

void drawAdditional(SampleAsset& asset, SampleRandom& random) {
  if (!random.chance(0.96)) return;
  SampleAsset::Additional additional;
  additional.viewCount = random.chance(0.3) ? 0 : random.between(1, 50);
  additional.shareCount = random.chance(0.12) ? random.between(1, 5) : 0;
  const bool people = asset.faces.empty() ? random.chance(0.03) : random.chance(0.9);
  additional.peopleScene = people ? 1 : 0;
  asset.additional = additional;
}

void drawExtended(SampleAsset& asset, SampleRandom& random) {
  if (!random.chance(asset.kind == 1 ? 0.5 : 0.92)) return;
  SampleAsset::Extended extended;
  if (random.chance(0.04)) {  // a row without any camera details
    asset.extended = extended;
    return;
  }
  struct Camera {
    const char* model;
    const char* lens;
    double focalLength;
  };
  static const std::vector<Camera> cameras{
      {"iPhone 15 Pro", "iPhone 15 Pro back triple camera 6.86mm f/1.78", 6.86},
      {"iPhone 15 Pro", "iPhone 15 Pro front camera 2.69mm f/1.9", 2.69},
      {"iPhone 12", "iPhone 12 back dual wide camera 4.2mm f/1.6", 4.2},
      {"Canon EOS R6", "RF24-105mm F4 L IS USM", 50.0},
      {"FUJIFILM X-T4", "XF35mmF1.4 R", 35.0},
      {"Pixel 7", nullptr, 6.81},
  };
  static const std::vector<int> isos{25, 32, 50, 64, 100, 125, 200, 400, 800, 1600, 3200};
  static const std::vector<double> apertures{1.78, 1.6, 1.9, 2.8, 4.0, 5.6, 8.0};
  const auto& camera = random.pick(cameras);
  extended.cameraModel = camera.model;
  if (camera.lens != nullptr) extended.lensModel = camera.lens;
  if (!random.chance(0.03)) extended.iso = random.chance(0.02) ? 0 : random.pick(isos);
  extended.aperture = random.chance(0.02) ? 0.0 : random.pick(apertures);
  extended.shutterSpeed = 1.0 / random.between(15, 4000);
  extended.focalLength = camera.focalLength;
  if (!random.chance(0.03)) extended.flashFired = random.chance(0.1) ? 1 : 0;
  asset.extended = extended;
}

template <typename T>
void append(std::vector<T>& list, const std::vector<T>& more) {
  list.insert(list.end(), more.begin(), more.end());
}

int recognisedWordCount(SampleRandom& random) {
  const double roll = random.unit();
  if (roll < 0.6) return 0;
  if (roll < 0.95) return random.between(1, 25);
  if (roll < 0.997) return random.between(26, 80);
  return random.between(160, 220);  // a page of text
}

void drawPsi(SampleAsset& asset, SampleRandom& random, const SampleVocabulary::PsiPools& pools) {
  auto& groups = asset.psiGroups;
  append(groups, random.distinct(pools.scenes, random.between(4, 12)));
  if (asset.locality) append(groups, random.distinct(asset.locality->groups, random.between(2, 4)));
  if (!asset.faces.empty()) append(groups, random.distinct(pools.people, random.between(1, 3)));
  append(groups, random.distinct(pools.dates, random.between(2, 4)));
  append(groups, random.distinct(pools.media, random.between(1, 2)));
  append(groups, random.distinct(pools.collections, random.between(1, 2)));
  append(groups, random.distinct(pools.internal, 1));
  append(groups, random.distinct(pools.words, recognisedWordCount(random)));
  if (random.chance(0.03)) groups.push_back(random.pick(pools.odd));
}

int lexiconWordCount(SampleRandom& random) {
  const double roll = random.unit();
  if (roll < 0.5) return 0;
  if (roll < 0.95) return random.between(1, 20);
  if (roll < 0.997) return random.between(21, 40);
  return random.between(65, 80);
}

void drawLeo(SampleAsset& asset, SampleRandom& random, const SampleVocabulary::LeoPools& pools) {
  asset.leoIdentifier = random.chance(0.05) ? lowerCased(asset.upperUuid()) : asset.upperUuid();
  std::vector<std::uint32_t> ids;
  if (!asset.faces.empty()) append(ids, random.distinct(pools.people, random.between(1, 3)));
  if (random.chance(0.1)) append(ids, random.distinct(pools.pets, 1));
  if (asset.locality) append(ids, random.distinct(asset.locality->lexemes, random.between(1, 6)));
  if (random.chance(0.15)) append(ids, random.distinct(pools.commonPlaces, 1));
  append(ids, random.distinct(pools.scenes, random.between(2, 8)));
  if (random.chance(0.2)) append(ids, random.distinct(pools.occasions, random.between(1, 2)));
  append(ids, random.distinct(pools.words, lexiconWordCount(random)));
  if (random.chance(0.6)) append(ids, random.distinct(pools.cameras, random.chance(0.1) ? 2 : 1));
  if (random.chance(0.3)) append(ids, random.distinct(pools.others, 1));
  if (random.chance(0.02)) append(ids, pools.shadowed);
  if (!ids.empty() && random.chance(0.02)) ids.push_back(ids.front());  // one lexeme twice
  asset.leoLexemeIds = SampleAsset::lexemeBlob(ids);
  // A blob cut short in the middle of an id.
  if (random.chance(0.005)) asset.leoLexemeIds.resize(asset.leoLexemeIds.size() + 2, 0xAB);
  if (random.chance(0.02)) asset.otherLeoItem = SampleAsset::lexemeBlob(pools.others);
}

}  // namespace

bool SampleAsset::isListedImage() const {
  return kind == 0 && trashedState == 0 && hidden == 0 && visibilityState == 0;
}

bool SampleAsset::hasCloudGuid() const {
  return cloudGuid && cloudGuid->find_first_not_of(" \t\n") != std::string::npos;
}

std::vector<std::uint8_t> SampleAsset::lexemeBlob(const std::vector<std::uint32_t>& ids) {
  std::vector<std::uint8_t> blob;
  blob.reserve(ids.size() * 4);
  for (const auto id : ids) {
    for (int i = 0; i < 4; ++i) blob.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
  }
  return blob;
}

std::string SampleAsset::upperUuid() const {
  return uuidText(uuid);
}

std::int64_t SampleAsset::uuidHalf(int half) const {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | uuid[static_cast<std::size_t>(half * 8 + i)];
  return static_cast<std::int64_t>(value);
}

SampleAsset SampleAsset::make(std::uint64_t seed, int index, std::size_t computedScoreColumns,
                              const SampleVocabulary& vocabulary) {
  SampleAsset asset;
  const auto position = static_cast<std::uint64_t>(index);
  SampleRandom identity(seed, Stream::identity, position);
  asset.uuid = randomUuid(identity);
  asset.storedUuid = storedForm(asset.upperUuid(), identity);
  asset.indexed = identity.chance(0.97);

  SampleRandom photos(seed, Stream::photos, position);
  const bool screenshot = drawStateAndFlags(asset, photos);
  drawLocation(asset, photos, vocabulary.localities);
  drawFile(asset, index, screenshot, photos);
  // Bursts are runs of neighbouring shots that share one avalanche UUID.
  SampleRandom burst(seed, Stream::burst, position / 6);
  if (burst.chance(0.04)) asset.avalancheUuid = uuidText(randomUuid(burst));
  if (photos.chance(0.88)) asset.computedScores = drawComputedScores(computedScoreColumns, photos);
  drawAnalysis(asset, photos);
  drawAdditional(asset, photos);
  drawExtended(asset, photos);

  if (asset.indexed) {
    SampleRandom psi(seed, Stream::psi, position);
    drawPsi(asset, psi, vocabulary.psi);
    SampleRandom leo(seed, Stream::leo, position);
    drawLeo(asset, leo, vocabulary.leo);
  }
  return asset;
}

}  // namespace lumenfolio::sample
