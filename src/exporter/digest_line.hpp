// One line of the export digest: a feature row written as text, so that two
// runs with equal rows produce equal digests.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "sync/sync_file.hpp"

namespace lumenfolio {

class DigestLine {
 public:
  // The ten fields of the row joined by "|": assetID, sharpness, exposure,
  // faces, eyesClosed, smiles, "true"/"false" for isScreenshot, the measures
  // in Base64, terms and panel.
  static std::string of(const SyncFile::Features& row);
  // The same line appended to `line`, whose storage can then serve many rows:
  // each field is written straight into it, without a text of its own.
  static void append(const SyncFile::Features& row, std::string& line);

  // Appends the shortest decimal text that reads back as the same double; an
  // integral value keeps a fractional zero ("0.0").
  static void appendNumber(double value, std::string& text);

  // Appends standard Base64 with padding and no line breaks.
  static void appendBase64(std::span<const std::uint8_t> bytes, std::string& text);
};

}  // namespace lumenfolio
