// The per-asset panel record (people, pets, places, scenes, occasions, words
// and camera details) and its JSON text, the panel column of the shared file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumenfolio {

struct AssetMetadata {
  std::optional<std::string> filename;  // held in memory only: never encoded
  std::vector<std::string> people;
  std::vector<std::string> pets;
  std::vector<std::string> place;
  std::vector<std::string> scenes;
  std::vector<std::string> occasion;
  std::vector<std::string> words;
  std::optional<std::string> camera;
  std::optional<std::string> lens;
  std::optional<std::int64_t> iso;
  std::optional<double> aperture;
  std::optional<double> shutter;
  std::optional<double> focalLength;  // JSON key "focal"
  std::optional<bool> flash;

  // True when the six lists are empty and the seven optional values absent;
  // the file name plays no part.
  bool isEmpty() const;

  // Compact JSON with sorted keys and no empty lists or nulls; the empty text
  // for an empty record.
  std::string json() const;

  // Memberwise; texts compare by canonical equivalence, doubles numerically.
  bool operator==(const AssetMetadata& other) const;

 private:
  bool hasOnlyValidTexts() const;
};

}  // namespace lumenfolio
