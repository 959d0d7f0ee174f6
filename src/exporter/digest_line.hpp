// One line of the export digest: a feature row written as text, so that two
// runs with equal rows produce equal digests.
#pragma once

#include <string>

#include "model/bytes.hpp"
#include "sync/sync_file.hpp"

namespace lumenfolio {

class DigestLine {
 public:
  // The ten fields of the row joined by "|": assetID, sharpness, exposure,
  // faces, eyesClosed, smiles, "true"/"false" for isScreenshot, the measures
  // in Base64, terms and panel.
  static std::string of(const SyncFile::Features& row);
  // The same line appended to `line`, whose storage can then serve many rows.
  static void append(const SyncFile::Features& row, std::string& line);

  // The shortest decimal text that reads back as the same double; an integral
  // value keeps a fractional zero ("0.0").
  static std::string number(double value);

  // Standard Base64 with padding and no line breaks.
  static std::string base64(const Bytes& bytes);
};

}  // namespace lumenfolio
