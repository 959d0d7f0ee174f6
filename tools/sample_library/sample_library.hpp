// Writes a synthetic Photos library package: the three databases with the
// tables and columns the exporter reads, filled deterministically for a seed.
#pragma once

#include <cstdint>
#include <filesystem>

namespace lumenfolio::sample {

class SampleLibrary {
 public:
  // How each database's side files are left.
  enum class SideFiles {
    // WAL mode, recent rows still in a non-empty "-wal", with a "-shm" as a
    // read-only reader leaves it (so later readers change no byte): a live library
    live,
    // WAL mode, everything checkpointed, no "-wal" and no "-shm": a tidy copy.
    // SQLite creates both as soon as anyone opens such a database, even read-only.
    none,
    walWithoutShm,  // WAL mode, rows only in the "-wal", the "-shm" lost in copying
  };

  // Whose Photos.sqlite layout is written; the assets are the same in every layout.
  enum class Schema {
    macos10_15,  // ZGENERICASSET, screenshots by ZKINDSUBTYPE, faces joined on ZASSET
    macos12,     // ZASSET, screenshots by ZKINDSUBTYPE, faces joined on ZASSET
    macos14,     // ZASSET, screenshots by ZKINDSUBTYPE, faces joined on ZASSETFORFACE
    current,     // ZASSET with ZISDETECTEDSCREENSHOT, faces joined on ZASSETFORFACE
  };

  struct Options {
    int assets = 1000;
    std::uint64_t seed = 1;
    SideFiles sideFiles = SideFiles::live;
    Schema schema = Schema::current;
  };

  // What was written, for tests and the tool's own report.
  struct Summary {
    int assets = 0;             // rows of the asset table
    int images = 0;             // visible, untrashed, unhidden images
    int imagesWithCloudID = 0;  // of those, with a cloud GUID
    int analysed = 0;           // rows of ZMEDIAANALYSISASSETATTRIBUTES
    int faces = 0;              // rows of ZDETECTEDFACE
    int psiTerms = 0;           // rows of ga
    int lexemes = 0;            // rows of lexicon
    int items = 0;              // rows of items
    int recentAssets = 0;       // the last assets, whose rows were written after the checkpoint
  };

  // Creates `package` (and its "database" and "database/search" folders) and
  // writes Photos.sqlite, psi.sqlite and leo.sqlite into it. The same options
  // give the same rows, whatever the side files. Throws std::runtime_error when
  // a database cannot be written, or when it or one of its side files exists already.
  static Summary write(const std::filesystem::path& package, const Options& options);
};

}  // namespace lumenfolio::sample
