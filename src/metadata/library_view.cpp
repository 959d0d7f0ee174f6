#include "metadata/library_view.hpp"

#include <sys/stat.h>

#include <string>
#include <utility>

namespace lumenfolio {
namespace fs = std::filesystem;
namespace {

// Reading the schema starts the read transaction that BEGIN only announced;
// from here on every statement of the connection sees this version.
constexpr const char* kBeginReading = "BEGIN; SELECT 1 FROM sqlite_master LIMIT 1";

}  // namespace

LibraryView LibraryView::open(fs::path package) {
  LibraryView view;
  view.package_ = std::move(package);
  view.identity_ = identityOf(view.package_);
  view.search_ = openInReadTransaction(view.package_ / kSearchPath);
  view.photos_ = LibraryDatabase::open(view.package_ / kPhotosPath);
  if (view.photos_) {
    // Probed before the transaction begins: an older library gets its TEMP
    // view here, which is no read of the library's own tables.
    view.schema_ = LibrarySchema::adapt(view.photos_->connection());
    if (view.photos_->connection().exec(kBeginReading) != SQLITE_OK) view.photos_.reset();
  }
  view.leo_ = openInReadTransaction(view.package_ / kLeoPath);
  return view;
}

std::optional<LibraryDatabase> LibraryView::openInReadTransaction(const fs::path& file) {
  auto database = LibraryDatabase::open(file);
  if (database && database->connection().exec(kBeginReading) != SQLITE_OK) return std::nullopt;
  return database;
}

fs::path LibraryView::packagePathOf(const fs::path& file) const {
  for (const char* database : {kPhotosPath, kSearchPath, kLeoPath}) {
    if (fs::path(database).filename() == file.filename()) return package_ / database;
  }
  return file;
}

bool LibraryView::isUnchanged() const {
  return identityOf(package_) == identity_;
}

LibraryView::Identity LibraryView::identityOf(const fs::path& package) {
  Identity identity{};
  std::size_t next = 0;
  for (const char* database : {kPhotosPath, kSearchPath, kLeoPath}) {
    for (const char* suffix : {"", "-wal"}) {
      const auto file = (package / database).string() + suffix;
      struct stat status {};
      auto& state = identity[next++];
      if (::stat(file.c_str(), &status) != 0) continue;
      state = {true, status.st_dev, status.st_ino, status.st_size,
               static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 +
                   status.st_mtim.tv_nsec};
    }
  }
  return identity;
}

}  // namespace lumenfolio
